#include "DialogSeam.h"

#include "FormEtikety.h"
#include "FormSave.h"

#include <QApplication>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>

namespace diroze {

QString ErrorBoxText(const QString& aMessage)
{
    if (!aMessage.isEmpty() && aMessage.back().unicode() > u'.')
        return aMessage + u'.';
    return aMessage;
}

bool TDialogSeam::Question(QWidget* aOwner, const QString& aCaption, const QString& aText)
{
    return QMessageBox::question(aOwner, aCaption, aText, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TDialogSeam::Error(QWidget* aOwner, const QString& aText)
{
    QMessageBox::critical(aOwner, QStringLiteral("Tisk štítků"), ErrorBoxText(aText));
}

namespace {

// The print engine's property that holds the spooler's job options as
// name/value pairs (Qt's CUPS support keeps them there).
const auto kCupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);

} // namespace

TPrintChoice PrintChoiceOf(QPrinter& aPrinter, int aTotalPages)
{
    TPrintChoice choice;
    choice.Accepted = true;
    // The spooler would pick pages out of the job once more, counting the
    // job's pages, not the document's: "1,3" of a two-page job is one page.
    QString pageSet;
    QStringList options = aPrinter.printEngine()->property(kCupsOptions).toStringList();
    for (qsizetype i = 0; i + 1 < options.size();) {
        const QString name = options[i];
        if (name == QStringLiteral("page-set") || name == QStringLiteral("page-ranges")) {
            if (name == QStringLiteral("page-set"))
                pageSet = options[i + 1];
            options.remove(i, 2);
        } else {
            i += 2;
        }
    }
    if (aPrinter.printEngine()->property(kCupsOptions).isValid())
        aPrinter.printEngine()->setProperty(kCupsOptions, options);

    const bool someRanges = aPrinter.printRange() == QPrinter::PageRange && !aPrinter.pageRanges().isEmpty();
    const bool odd = pageSet == QStringLiteral("odd"), even = pageSet == QStringLiteral("even");
    choice.Range = someRanges || odd || even;
    for (int page = 1; page <= aTotalPages; ++page)
        if ((!someRanges || aPrinter.pageRanges().contains(page)) && !(odd && page % 2 == 0) &&
            !(even && page % 2 == 1))
            choice.Pages.push_back(page);
    return choice;
}

TPrintChoice TDialogSeam::Print(QWidget* aOwner, QPrinter& aPrinter, int aTotalPages)
{
    QPrintDialog dialog(&aPrinter, aOwner);
    dialog.setMinMax(1, aTotalPages);
    dialog.setFromTo(1, aTotalPages);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return PrintChoiceOf(aPrinter, aTotalPages);
}

bool TDialogSeam::ExecSave(TfrmSave& aDialog) { return aDialog.exec() == QDialog::Accepted; }

bool TDialogSeam::ExecEtikety(TfrmEtikety& aDialog) { return aDialog.exec() == QDialog::Accepted; }

void TDialogSeam::Beep() { QApplication::beep(); }

} // namespace diroze
