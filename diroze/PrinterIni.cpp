#include "PrinterIni.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <optional>

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

// The value of aKey in the first section whose trimmed name aSectionMatches.
template <typename SectionMatch>
QString IniValueIn(const QString& aText, SectionMatch aSectionMatches, const QString& aKey)
{
    bool inSection = false;
    for (QStringView raw : QStringView(aText).split(u'\n')) {
        const QString line = Trimmed(raw);
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            inSection = close > 0 && aSectionMatches(Trimmed(QStringView(line).sliced(1, close - 1)));
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inSection && eq > 0 && Trimmed(QStringView(line).first(eq)).compare(aKey, Qt::CaseInsensitive) == 0)
            return Trimmed(QStringView(line).sliced(eq + 1));
    }
    return {};
}

// Millimetres with a decimal point as hundredths, half to even; nullopt for
// any other text or a value beyond +-1000 mm.
std::optional<int32_t> OffsetHundredths(const QString& aText)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)$"));
    if (!number.match(aText).hasMatch())
        return std::nullopt;
    // The C locale whatever the user's: the file's decimal point is a point.
    const double mm = QLocale::c().toDouble(aText);
    if (!(std::fabs(mm) <= 1000))
        return std::nullopt;
    return static_cast<int32_t>(RoundHalfEven(static_cast<long double>(mm) * 100));
}

// The text of an INI file; empty when there is no file to read.
QString IniText(const QString& aIniPath)
{
    QFile file(aIniPath);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

QString IniValue(const QString& aText, const QString& aSection, const QString& aKey)
{
    return IniValueIn(
        aText, [&](const QString& aName) { return aName.compare(aSection, Qt::CaseInsensitive) == 0; }, aKey);
}

bool SamePrinterName(const QString& aLeft, const QString& aRight)
{
    if (aLeft.size() != aRight.size())
        return false;
    for (qsizetype i = 0; i < aLeft.size(); ++i)
        if (AsciiUpper(aLeft[i].unicode()) != AsciiUpper(aRight[i].unicode()))
            return false;
    return true;
}

QString PrinterFromIni(const QString& aIniPath, const QStringList& aInstalled)
{
    const QString name = IniValue(IniText(aIniPath), QStringLiteral("Printer"), QStringLiteral("Name"));
    if (name.isEmpty())
        return {};
    for (const QString& printer : aInstalled)
        if (SamePrinterName(printer, name))
            return printer;
    return {};
}

TPoint PrinterOffset(const QString& aIniText, const QString& aPrinterName)
{
    const auto matches = [&](const QString& aName) { return SamePrinterName(aName, aPrinterName); };
    TPoint offset;
    for (auto [key, value] :
         {std::pair{QStringLiteral("OffsetX"), &offset.X}, std::pair{QStringLiteral("OffsetY"), &offset.Y}}) {
        const QString text = IniValueIn(aIniText, matches, key);
        if (text.isEmpty())
            continue;
        const std::optional<int32_t> hundredths = OffsetHundredths(text);
        if (!hundredths)
            throw EPrinter(QStringLiteral("printer.ini: %1 of printer \"%2\" is \"%3\", not millimetres like -1.5")
                               .arg(key, aPrinterName, text)
                               .toStdString());
        *value = *hundredths;
    }
    return offset;
}

TPrintPreview::TPrinterOffsetEvent PrinterOffsetsFromFile(const QString& aIniPath)
{
    return [aIniPath](const QString& aPrinterName) { return PrinterOffset(IniText(aIniPath), aPrinterName); };
}

} // namespace diroze
