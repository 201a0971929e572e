#pragma once
// The sheet layout and its reading from the settings controls' texts.
//
// The reader works on the values the controls hold (texts, selections, check
// states) so it runs without a window; a failure names the control by its
// TSettingsControl so that the dialog can point at the widget.

#include "Exceptions.h"
#include "Stitek.h"
#include "preview/Units.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace diroze {

// Every length in hundredths of a millimetre; counts and positions plain.
struct TPapir {
    TPaperType Format = pLetter;
    TPrinterOrientation Orientace = poPortrait;
    TPoint Velikost; // sheet width and height as laid out (oriented)
    TPoint Pocet;    // labels across and down
    TPoint Okraj;    // sheet margins: left and right, top and bottom
    TPoint Mezery;   // gaps between labels
    TPoint Vycpavka; // padding inside each label
    TPoint Zacatek;  // column and row (from 1) of the first label's cell
    TPismo Pismo;
    std::array<bool, kLineCount> Radky{}; // line i + 1 is bold
    bool operator==(const TPapir&) const = default;
};

// The settings controls, by the names the dialog gives them.
enum class TSettingsControl : uint8_t {
    lstFormat, chkPortrait, chkLandScape, edtWidth, edtHeight, edtMarginX, edtMarginY, edtPocetX,
    edtPocetY, edtPaddingX, edtPaddingY, edtSpaceX, edtSpaceY, edtFirstX, edtFirstY, lstFontSize,
    lstFont, lstAlignment, lstRadky,
};

// A value of a settings control that cannot be read.
class EInvalidInput : public hostutils::Exception {
public:
    EInvalidInput(TSettingsControl aControl, const QString& aMessage)
        : Exception(aMessage.toStdString()), FControl(aControl) {}
    TSettingsControl Control() const { return FControl; }

private:
    TSettingsControl FControl;
};

// What the settings controls hold.
struct TPapirControls {
    std::optional<TPaperType> Format; // the selected format's type; none when nothing is selected
    bool Portrait = true;
    QString Width, Height;
    QString MarginX = QStringLiteral("10"), MarginY = QStringLiteral("10");
    QString PocetX = QStringLiteral("4"), PocetY = QStringLiteral("10");
    QString PaddingX = QStringLiteral("2"), PaddingY = QStringLiteral("2");
    QString SpaceX = QStringLiteral("2"), SpaceY = QStringLiteral("2");
    QString FirstX = QStringLiteral("1"), FirstY = QStringLiteral("1");
    QString FontSize = QStringLiteral("10");
    int FontIndex = -1; // the selected item of the font list, -1 for none
    QString FontText = QStringLiteral("Arial");
    QStringList FontItems; // the installed fonts the list offers
    int AlignmentIndex = 0; // "vlevo", "vpravo", "na střed"
    std::array<bool, kLineCount> Radky{};
};

// Display names by paper type: the value's name without "p"; pCustom "Vlastní formát...".
QString PaperFormatName(TPaperType aType);
// The formats the format list offers, in its order.
extern const std::array<TPaperType, 7> OfferedPaperFormats;

// The text of a whole number: an optional sign and decimal digits.
// Throws "Hodnota musí být celočíselná." or "Hodnota nesmí být záporná.".
int32_t ReadNonNegativeInt(const QString& aText, TSettingsControl aControl);

// Decimal millimetres in aLocale's format (no group separators), in hundredths rounded half to even.
// Throws "Hodnota musí být zadána\rv milimetrech jako\rdesetiné číslo." for
// text that is no number or whose hundredths leave the 32-bit range, and
// "Hodnota nesmí být záporná." below 0.
int32_t ReadMillimetres(const QString& aText, TSettingsControl aControl, const QLocale& aLocale);

// Reads every control in the dialog's order; throws EInvalidInput at the first bad value.
TPapir ReadPapir(const TPapirControls& aControls, const QLocale& aLocale);

// The width and height texts that choosing aType shows, oriented, in aLocale's format.
std::pair<QString, QString> PaperSizeTexts(TPaperType aType, TPrinterOrientation aOrientation, const QLocale& aLocale);

} // namespace diroze
