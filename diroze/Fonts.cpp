#include "Fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace diroze {

namespace {

struct TCoreFace {
    const char* Name;
    std::array<const char*, 2> Compatible;
};

// Faces with the same metrics as the core faces stored presets name.
constexpr std::array<TCoreFace, 3> kCoreFaces = {{
    {"Arial", {"Liberation Sans", "Arimo"}},
    {"Times New Roman", {"Liberation Serif", "Tinos"}},
    {"Courier New", {"Liberation Mono", "Cousine"}},
}};

} // namespace

QStringList InstalledFontNames()
{
    static const QRegularExpression foundry(QStringLiteral("\\s*\\[[^\\]]*\\]$"));
    QStringList names;
    for (QString family : QFontDatabase::families(QFontDatabase::Latin)) {
        if (family.startsWith(u'@'))
            continue;
        family.remove(foundry);
        names.append(family);
    }
    for (const TCoreFace& face : kCoreFaces) {
        const QString resolved = QFontInfo(QFont(QString::fromLatin1(face.Name))).family();
        for (const char* compatible : face.Compatible)
            if (resolved.compare(QString::fromLatin1(compatible), Qt::CaseInsensitive) == 0)
                names.append(QString::fromLatin1(face.Name));
    }
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    names.erase(std::unique(names.begin(), names.end(),
                            [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }),
                names.end());
    return names;
}

} // namespace diroze
