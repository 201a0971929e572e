#include "PrinterIni.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>

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

// A value without the quotes around it, as a value written "Kancelar HP" means.
QString Unquoted(const QString& aValue)
{
    if (aValue.size() >= 2 && (aValue.front() == u'"' || aValue.front() == u'\'') && aValue.back() == aValue.front())
        return aValue.sliced(1, aValue.size() - 2);
    return aValue;
}

// The lines of an INI text: they end at LF, CR LF or a lone CR.
QList<QStringView> IniLines(const QString& aText)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    return QStringView(aText).split(lineEnd);
}

// The value of aKey in the first section whose trimmed name aSectionMatches.
template <typename SectionMatch>
QString IniValueIn(const QString& aText, SectionMatch aSectionMatches, const QString& aKey)
{
    bool inSection = false;
    for (QStringView raw : IniLines(aText)) {
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
            return Unquoted(Trimmed(QStringView(line).sliced(eq + 1)));
    }
    return {};
}

// A number with a decimal point as hundredths, half to even; nullopt for
// any other text or a value beyond +-aLimit.
std::optional<int32_t> Hundredths(const QString& aText, double aLimit)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)$"));
    if (!number.match(aText).hasMatch())
        return std::nullopt;
    // The C locale whatever the user's: the file's decimal point is a point.
    const double value = QLocale::c().toDouble(aText);
    if (!(std::fabs(value) <= aLimit))
        return std::nullopt;
    return static_cast<int32_t>(RoundHalfEven(static_cast<long double>(value) * 100));
}

// The largest printer file that is read.
constexpr qint64 kMaxIniBytes = qint64{1} << 20;

// An INI file's text: UTF-16 or UTF-32 with a byte-order mark, else UTF-8
// (its byte-order mark skipped). aFault, when given, gets why the file
// cannot be read or understood, or stays empty. No file gives no text.
QString IniText(const QString& aIniPath, QString* aFault = nullptr)
{
    if (aIniPath.isEmpty())
        return {};
    QFile file(aIniPath);
    if (!file.open(QIODevice::ReadOnly)) {
        if (aFault)
            *aFault = file.errorString();
        return {};
    }
    const QByteArray bytes = file.read(kMaxIniBytes + 1);
    if (bytes.size() > kMaxIniBytes) {
        if (aFault)
            *aFault = QStringLiteral("soubor je větší než 1 MiB");
        return {};
    }
    QStringDecoder decoder(QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8));
    const QString text = decoder.decode(bytes);
    if (aFault && (decoder.hasError() || text.contains(QChar(0))))
        *aFault = QStringLiteral("není to text v UTF-8 ani v UTF-16 s BOM");
    return text;
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

QString PrinterIniFault(const QString& aIniPath)
{
    QString fault;
    const QString text = IniText(aIniPath, &fault);
    if (!fault.isEmpty())
        return fault;
    int number = 0;
    for (QStringView raw : IniLines(text)) {
        ++number;
        const QString line = Trimmed(raw);
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') ? line.indexOf(u']') < 0 : line.indexOf(u'=') <= 0)
            return QStringLiteral("řádek %1 není sekce [název] ani klíč=hodnota: %2").arg(number).arg(line.left(40));
    }
    return {};
}

TPrinterCalibration PrinterCalibration(const QString& aIniText, const QString& aPrinterName)
{
    const auto matches = [&](const QString& aName) { return SamePrinterName(aName, aPrinterName); };
    TPrinterCalibration calibration;
    // A value of the printer's section: nothing when the key is missing.
    const auto value = [&](const QString& aKey, QLatin1StringView aExpected, double aLimit, bool aSigned) {
        const QString text = IniValueIn(aIniText, matches, aKey);
        std::optional<int32_t> hundredths;
        if (!text.isEmpty()) {
            hundredths = Hundredths(text, aLimit);
            if (!hundredths || (!aSigned && *hundredths < 0))
                throw EPrinter(QStringLiteral("printer.ini: %1 of printer \"%2\" is \"%3\", not %4")
                                   .arg(aKey, aPrinterName, text, aExpected)
                                   .toStdString());
        }
        return hundredths;
    };
    const QLatin1StringView shift("millimetres like -1.5");
    if (const auto x = value(QStringLiteral("OffsetX"), shift, 1000, true))
        calibration.Offset.X = *x;
    if (const auto y = value(QStringLiteral("OffsetY"), shift, 1000, true))
        calibration.Offset.Y = *y;
    if (const auto reduction = value(QStringLiteral("BarWidthReduction"),
                                     QLatin1StringView("printer dots from 0 to 1 like 0.25"), 1, false))
        calibration.BarWidthReduction = *reduction / 100.0;
    if (const auto module =
            value(QStringLiteral("MinModuleMm"), QLatin1StringView("millimetres from 0 to 10 like 0.38"), 10, false))
        calibration.MinModule = *module;
    return calibration;
}

TPrintPreview::TPrinterCalibrationEvent PrinterCalibrationsFromFile(const QString& aIniPath)
{
    return [aIniPath](const QString& aPrinterName) { return PrinterCalibration(IniText(aIniPath), aPrinterName); };
}

} // namespace diroze
