#include "Papir.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace diroze {

namespace {

constexpr std::array<const char*, kPaperTypeCount> kPaperTypeNames = {
    "Letter",
    "LetterSmall",
    "Tabloid",
    "Ledger",
    "Legal",
    "Statement",
    "Executive",
    "A3",
    "A4",
    "A4Small",
    "A5",
    "B4",
    "B5",
    "Folio",
    "Quatro",
    "10x14",
    "11x17",
    "Note",
    "Env9",
    "Env10",
    "Env11",
    "Env12",
    "Env14",
    "CSheet",
    "DSheet",
    "ESheet",
    "EnvDL",
    "EnvC5",
    "EnvC3",
    "EnvC4",
    "EnvC6",
    "EnvC65",
    "EnvB4",
    "EnvB5",
    "EnvB6",
    "EnvItaly",
    "EnvMonarch",
    "EnvPersonal",
    "FanfoldUSStd",
    "FanfoldGermanStd",
    "FanfoldGermanLegal",
    "B4ISO",
    "JapanesePostcard",
    "9x11",
    "10x11",
    "15x11",
    "EnvInvite",
    "LetterExtra",
    "LegalExtra",
    "TabloidExtra",
    "A4Extra",
    "LetterTransverse",
    "A4Transverse",
    "LetterExtraTransverse",
    "APlus",
    "BPlus",
    "LetterPlus",
    "A4Plus",
    "A5Transverse",
    "B5Transverse",
    "A3Extra",
    "A5Extra",
    "B5Extra",
    "A2",
    "A3Transverse",
    "A3ExtraTransverse",
    nullptr,
};

const QString kNotWhole = QStringLiteral("Hodnota musí být celočíselná.");
const QString kNegative = QStringLiteral("Hodnota nesmí být záporná.");
const QString kNotMillimetres = QStringLiteral("Hodnota musí být zadána\rv milimetrech jako\rdesetiné číslo.");

template <TPoint TPapir::*Point, bool Vertical>
int32_t& Axis(TPapir& aPapir)
{
    return Vertical ? (aPapir.*Point).Y : (aPapir.*Point).X;
}

int32_t& FontSize(TPapir& aPapir) { return aPapir.Pismo.Velikost; }

// Neither side of the paper may be shorter than a millimetre.
void RequireRealSize(const TPoint& aVelikost)
{
    if (aVelikost.X < 100)
        throw EInvalidInput(TSettingsControl::edtWidth, QStringLiteral("Zadejte reálnou velikost."));
    if (aVelikost.Y < 100)
        throw EInvalidInput(TSettingsControl::edtHeight, QStringLiteral("Zadejte reálnou velikost."));
}

// The item of the font list that the controls name: the selected one, else
// the first whose name matches the text without regard to case.
QString ReadFontName(const TPapirControls& aControls)
{
    int font = aControls.FontIndex >= 0 && aControls.FontIndex < aControls.FontItems.size() ? aControls.FontIndex : -1;
    if (font < 0)
        for (int i = 0; i < aControls.FontItems.size() && font < 0; ++i)
            if (aControls.FontItems[i].compare(aControls.FontText, Qt::CaseInsensitive) == 0)
                font = i;
    if (font < 0)
        throw EInvalidInput(TSettingsControl::lstFont, QStringLiteral("Prosím vyberte existující font."));
    return aControls.FontItems[font];
}

} // namespace

// Each row: control, text, preset element and attribute, dialog default,
// preset default, reader, layout value. Both gap defaults are meant: the
// dialog starts at 2 mm, a preset that does not say gives 1 mm.
constexpr auto kTextSettingRows = std::to_array<TTextSetting>({
    {TSettingsControl::edtWidth, &TPapirControls::Width, "papir", "sirka", "", nullptr, TSettingReader::Millimetres,
     Axis<&TPapir::Velikost, false>},
    {TSettingsControl::edtHeight, &TPapirControls::Height, "papir", "vyska", "", nullptr, TSettingReader::Millimetres,
     Axis<&TPapir::Velikost, true>},
    {TSettingsControl::edtMarginX, &TPapirControls::MarginX, "papir", "okraj-x", "10", "10",
     TSettingReader::Millimetres, Axis<&TPapir::Okraj, false>},
    {TSettingsControl::edtMarginY, &TPapirControls::MarginY, "papir", "okraj-y", "10", "10",
     TSettingReader::Millimetres, Axis<&TPapir::Okraj, true>},
    {TSettingsControl::edtPocetX, &TPapirControls::PocetX, "stitek", "pocet-x", "4", "4", TSettingReader::WholeNumber,
     Axis<&TPapir::Pocet, false>},
    {TSettingsControl::edtPocetY, &TPapirControls::PocetY, "stitek", "pocet-y", "10", "10", TSettingReader::WholeNumber,
     Axis<&TPapir::Pocet, true>},
    {TSettingsControl::edtPaddingX, &TPapirControls::PaddingX, "stitek", "okraj-x", "2", "2",
     TSettingReader::Millimetres, Axis<&TPapir::Vycpavka, false>},
    {TSettingsControl::edtPaddingY, &TPapirControls::PaddingY, "stitek", "okraj-y", "2", "2",
     TSettingReader::Millimetres, Axis<&TPapir::Vycpavka, true>},
    {TSettingsControl::edtSpaceX, &TPapirControls::SpaceX, "stitek", "mezera-x", "2", "1", TSettingReader::Millimetres,
     Axis<&TPapir::Mezery, false>},
    {TSettingsControl::edtSpaceY, &TPapirControls::SpaceY, "stitek", "mezera-y", "2", "1", TSettingReader::Millimetres,
     Axis<&TPapir::Mezery, true>},
    {TSettingsControl::edtFirstX, &TPapirControls::FirstX, nullptr, nullptr, "1", nullptr, TSettingReader::WholeNumber,
     Axis<&TPapir::Zacatek, false>},
    {TSettingsControl::edtFirstY, &TPapirControls::FirstY, nullptr, nullptr, "1", nullptr, TSettingReader::WholeNumber,
     Axis<&TPapir::Zacatek, true>},
    {TSettingsControl::lstFontSize, &TPapirControls::FontSize, "pismo", "velikost", "10", "10",
     TSettingReader::WholeNumber, FontSize},
    {TSettingsControl::lstFont, &TPapirControls::FontText, "pismo", "font", "Arial", "Arial", TSettingReader::FontName,
     nullptr},
});
constexpr std::span<const TTextSetting> kTextSettings = kTextSettingRows;

TPapirControls::TPapirControls()
{
    for (const TTextSetting& s : kTextSettings)
        this->*s.Text = QString::fromLatin1(s.DialogDefault);
}

TPapir DefaultPapir()
{
    TPapirControls c;
    c.Format = pA4;
    std::tie(c.Width, c.Height) = PaperSizeTexts(pA4, poPortrait, QLocale::c());
    c.FontItems = {c.FontText};
    return ReadPapir(c, QLocale::c());
}

const std::array<TPaperType, 7> OfferedPaperFormats = {pA2, pA3, pA4, pA5, pB4, pB5, pCustom};

QString PaperFormatName(TPaperType aType)
{
    if (aType >= pCustom)
        return QStringLiteral("Vlastní formát...");
    return QString::fromLatin1(kPaperTypeNames[aType]);
}

int32_t ReadNonNegativeInt(const QString& aText, TSettingsControl aControl)
{
    qsizetype i = 0;
    const bool negative = aText.startsWith(u'-');
    if (negative || aText.startsWith(u'+'))
        i = 1;
    if (i == aText.size())
        throw EInvalidInput(aControl, kNotWhole);
    int64_t value = 0;
    for (; i < aText.size(); ++i) {
        const QChar c = aText[i];
        if (c < u'0' || c > u'9')
            throw EInvalidInput(aControl, kNotWhole);
        value = value * 10 + (c.unicode() - u'0');
        if (value > std::numeric_limits<int32_t>::max() + int64_t{1})
            throw EInvalidInput(aControl, kNotWhole); // beyond any 32-bit number
    }
    if (negative && value > 0)
        throw EInvalidInput(aControl, kNegative);
    if (value > std::numeric_limits<int32_t>::max())
        throw EInvalidInput(aControl, kNotWhole);
    return static_cast<int32_t>(value);
}

int32_t ReadMillimetres(const QString& aText, TSettingsControl aControl, const QLocale& aLocale)
{
    // Only the plain form: sign, digits and the decimal separator. The
    // locale's group separator would make "1,000" a thousand millimetres.
    QLocale plain = aLocale;
    plain.setNumberOptions(aLocale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = plain.toDouble(aText, &ok);
    if (!ok || !std::isfinite(value))
        throw EInvalidInput(aControl, kNotMillimetres);
    if (value < 0)
        throw EInvalidInput(aControl, kNegative);
    // The product of a double and 100 is exact in the 64-bit mantissa of long double.
    const long double hundredths = static_cast<long double>(value) * 100.0L;
    if (hundredths > static_cast<long double>(std::numeric_limits<int32_t>::max()) + 0.5L)
        throw EInvalidInput(aControl, kNotMillimetres);
    return static_cast<int32_t>(RoundHalfEven(hundredths));
}

TPapir ReadPapir(const TPapirControls& aControls, const QLocale& aLocale)
{
    TPapir p;
    if (!aControls.Format)
        throw EInvalidInput(TSettingsControl::lstFormat, QStringLiteral("Prosím vyberte formát papíru."));
    p.Format = *aControls.Format;
    p.Orientace = aControls.Portrait ? poPortrait : poLandscape;
    for (const TTextSetting& s : kTextSettings) {
        switch (s.Reader) {
        case TSettingReader::Millimetres:
            s.Value(p) = ReadMillimetres(aControls.*s.Text, s.Control, aLocale);
            break;
        case TSettingReader::WholeNumber:
            s.Value(p) = ReadNonNegativeInt(aControls.*s.Text, s.Control);
            break;
        case TSettingReader::FontName:
            p.Pismo.Nazev = ReadFontName(aControls);
            break;
        }
        // The sizes are checked once both are read, before the next setting.
        if (s.Control == TSettingsControl::edtHeight)
            RequireRealSize(p.Velikost);
    }
    p.Pismo.Zarovnani = static_cast<TZarovnaniTextu>(std::clamp(aControls.AlignmentIndex, 0, 2) + 1);
    p.Radky = aControls.Radky;
    if (aControls.Stitek.X > 0 && aControls.Stitek.Y > 0)
        p.Stitek = aControls.Stitek;
    return p;
}

std::pair<QString, QString> PaperSizeTexts(TPaperType aType, TPrinterOrientation aOrientation, const QLocale& aLocale)
{
    const TPaperSizeInfo& row = PaperSizeTable[aType];
    const double width = ConvertUnits(row.Width, 96, row.Units, mmLoMetric) / 10.0;
    const double height = ConvertUnits(row.Height, 96, row.Units, mmLoMetric) / 10.0;
    auto text = [&](double v) { return aLocale.toString(v, 'g', QLocale::FloatingPointShortest); };
    if (aOrientation == poLandscape)
        return {text(height), text(width)};
    return {text(width), text(height)};
}

} // namespace diroze
