#include "PrinterIni.h"

#include <QFile>

namespace diroze {

namespace {

QString Trimmed(QStringView aText)
{
    qsizetype from = 0, to = aText.size();
    while (from < to && aText[from].unicode() <= 32)
        ++from;
    while (to > from && aText[to - 1].unicode() <= 32)
        --to;
    return aText.sliced(from, to - from).toString();
}

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

} // namespace

QString IniValue(const QString& aText, const QString& aSection, const QString& aKey)
{
    bool inSection = false;
    for (QStringView raw : QStringView(aText).split(u'\n')) {
        const QString line = Trimmed(raw);
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            inSection = close > 0 && Trimmed(QStringView(line).sliced(1, close - 1)).compare(aSection, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inSection && eq > 0 && Trimmed(QStringView(line).first(eq)).compare(aKey, Qt::CaseInsensitive) == 0)
            return Trimmed(QStringView(line).sliced(eq + 1));
    }
    return {};
}

bool SamePrinterName(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i].unicode()) != AsciiUpper(b[i].unicode()))
            return false;
    return true;
}

QString PrinterFromIni(const QString& aIniPath, const QStringList& aInstalled)
{
    QFile file(aIniPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString name = IniValue(QString::fromUtf8(file.readAll()), QStringLiteral("Printer"), QStringLiteral("Name"));
    if (name.isEmpty())
        return {};
    for (const QString& printer : aInstalled)
        if (SamePrinterName(printer, name))
            return printer;
    return {};
}

} // namespace diroze
