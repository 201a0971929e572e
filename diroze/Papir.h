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
#include <span>

namespace diroze {

// Every length in hundredths of a millimetre; counts and positions plain.
struct TPapir {
    TPaperType Format = pLetter;
    TPrinterOrientation Orientace = poPortrait;
    TPoint Velikost; // sheet width and height as laid out (oriented)
    TPoint Pocet;    // labels across and down
    TPoint Okraj;    // sheet margins: left and right, top and bottom
    TPoint Mezery;   // gaps between labels
    TPoint Stitek;   // the label's own width and height when a product gave them, else 0 × 0
    TPoint Vycpavka; // padding inside each label
    TPoint Zacatek;  // column and row (from 1) of the first label's cell
    TPismo Pismo;
    std::array<bool, kLineCount> Radky{}; // line i + 1 is bold
    bool operator==(const TPapir&) const = default;
};

// The settings controls, by the names the dialog gives them.
enum class TSettingsControl : uint8_t {
    lstFormat,
    chkPortrait,
    chkLandScape,
    edtWidth,
    edtHeight,
    edtMarginX,
    edtMarginY,
    edtPocetX,
    edtPocetY,
    edtPaddingX,
    edtPaddingY,
    edtSpaceX,
    edtSpaceY,
    edtFirstX,
    edtFirstY,
    lstFontSize,
    lstFont,
    lstAlignment,
    lstRadky,
};

// A value of a settings control that cannot be read.
class EInvalidInput : public hostutils::Exception {
public:
    EInvalidInput(TSettingsControl aControl, const QString& aMessage)
            : Exception(aMessage.toStdString()), FControl(aControl)
    {
    }
    TSettingsControl Control() const { return FControl; }

private:
    TSettingsControl FControl;
};

// The range of the spin edits (label counts, first label): what the dialog
// lets a count be once the field is left, and all a preset may set.
constexpr int32_t kSpinEditMin = 1;
constexpr int32_t kSpinEditMax = 1000;

// What the settings controls hold. The texts start as a new dialog shows
// them (the dialog defaults of kTextSettings).
struct TPapirControls {
    TPapirControls();
    std::optional<TPaperType> Format; // the selected format's type; none when nothing is selected
    bool Portrait = true;
    QString Width, Height, MarginX, MarginY, PocetX, PocetY, PaddingX, PaddingY, SpaceX, SpaceY, FirstX, FirstY;
    QString FontSize;
    int FontIndex = -1; // the selected item of the font list, -1 for none
    QString FontText;
    QStringList FontItems;  // the installed fonts the list offers
    int AlignmentIndex = 0; // "vlevo", "vpravo", "na střed"
    std::array<bool, kLineCount> Radky{};
    // A product's label width and height, hundredths of a millimetre: with
    // both above 0 every cell is the label and the far margins are what
    // remains; 0 × 0 for cells that share what the margins and gaps leave.
    TPoint Stitek;
};

// How the text of a setting is read into the layout.
enum class TSettingReader : uint8_t {
    Millimetres, // ReadMillimetres
    WholeNumber, // ReadNonNegativeInt
    FontName,    // the font list's item that the text names
};

// A layout setting the dialog shows as text. Element and Attribute name where
// a preset stores it (none: presets do not keep it). DialogDefault is the
// text of a new dialog, PresetDefault what a preset without the attribute
// gives (none: the text stays, for the sizes the paper format's). Value is
// where the read value goes in the layout (none for the font name).
struct TTextSetting {
    TSettingsControl Control;
    QString TPapirControls::*Text;
    const char* Element;
    const char* Attribute;
    const char* DialogDefault;
    const char* PresetDefault;
    TSettingReader Reader;
    int32_t& (*Value)(TPapir&);
};

// Every text setting, in the dialog's order: the order in which they are read.
extern const std::span<const TTextSetting> kTextSettings;

// The layout of a new dialog on A4 portrait: 4 x 10 labels, margins 10 mm,
// gaps and padding 2 mm, Arial 10 pt.
TPapir DefaultPapir();

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
