#include "DialogApplication.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace diroze {

QTranslator* InstallQtTranslations(const QLocale& aLocale)
{
    auto* translator = new QTranslator(qApp);
    if (!translator->load(aLocale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

QTranslator* SetUpDialogApplication() { return InstallQtTranslations(QLocale()); }

} // namespace diroze
