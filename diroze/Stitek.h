#pragma once
// One label of the data file: its barcode, eight text lines, per-line font
// overrides and the option flags that steer the sheet layout.

#include "Set.h"
#include "barcodes/Barcodes.h"
#include "barcodes/Symbols.h"

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <memory>
#include <variant>

namespace diroze {

enum TStitekOption : uint8_t {
    soBarCode,       // the label draws its barcode
    soEan,           // the barcode number is printed as a text line
    soBreak,         // heading label: the rest of field 0 is drawn in bold
    soNewLine,       // the label starts a new row
    soNewPage,       // the label starts a new page
    soSkipLine,      // one row is left empty before the label
    soOverrideStyle, // text lines may begin with a style prefix
};
using TStitekOptions = hostutils::TSet<TStitekOption>;

enum TZarovnaniTextu : uint8_t { ztInherit, ztLeft, ztRight, ztCenter };

// A font description; empty face and size 0 keep what is in force.
struct TPismo {
    QString Nazev;
    int32_t Velikost = 0; // points
    TFontStyles Styl;
    TZarovnaniTextu Zarovnani = ztInherit;

    bool operator==(const TPismo&) const = default;
};

constexpr int kLineCount = 8;
using TRadkyStitku = std::array<QString, kLineCount>;
using TPisma = std::array<TPismo, kLineCount>;

class TStitek {
public:
    // Parses one data line ("EAN;line 1;...;line 8", commands "@ ", "@1", "@2",
    // "@3" in field 0, style prefixes under soOverrideStyle). A field 0 of
    // the form "KIND:DATA" (KIND a letter and letters or digits) asks for a
    // symbol of another kind; its DATA takes the escapes of TSymbolBarCode,
    // "\;" included, so that the field may hold a semicolon. Throws
    // hostutils::Exception with the Czech message of the bad field, or the
    // barcode's own message.
    TStitek(QStringView aLine, TStitekOptions aDefaultOptions);
    TStitek(const TStitek&) = delete;
    TStitek& operator=(const TStitek&) = delete;

    // The barcode, an EAN-13 or EAN-8 object owned by the label, or nullptr.
    const TNumeric1DBarCode* BarCode() const;
    // A symbol of another kind ("KIND:DATA"), owned by the label, or nullptr.
    const TSymbolBarCode* Symbol() const
    {
        const auto* symbol = std::get_if<std::unique_ptr<TSymbolBarCode>>(&FBarCode);
        return symbol ? symbol->get() : nullptr;
    }
    // Whether a number line belongs under the barcode: an EAN's or a linear
    // symbol's, not a matrix symbol's.
    bool HasNumberLine() const { return !Symbol() || Symbol()->Linear(); }
    // The number line's text: the EAN field, or a linear symbol's own text.
    QString NumberText() const { return Symbol() ? Symbol()->HumanText() : EAN().toString(); }
    // Field 0 after an optional command: the barcode number or the heading
    // text. The view lives as long as the label.
    QStringView EAN() const { return Piece(0); }
    // Text line aIndex + 1 (0 to 7), style prefix removed; empty when not given.
    QStringView Radek(int aIndex) const { return Piece(aIndex + 1); }
    // The eight text lines as owned strings.
    TRadkyStitku Radky() const;
    TStitekOptions Options() const { return FOptions; }
    // The font override of each line; all default unless a style prefix set one.
    const TPisma& Pisma() const;

private:
    QStringView Piece(int aPiece) const;
    void ReadStylePrefix(int aLine, QStringView& aText);

    // Field 0 and the eight lines, back to back in one string: a label costs
    // few allocations however many lines it has.
    QString FText;
    std::array<uint32_t, 1 + kLineCount> FEnds{};
    // A symbol of another kind lives on the heap: the many EAN labels stay small.
    std::variant<std::monostate, TEAN13BarCode, TEAN8BarCode, std::unique_ptr<TSymbolBarCode>> FBarCode;
    TStitekOptions FOptions;
    // Allocated only when a style prefix sets an override: most labels have none.
    std::unique_ptr<TPisma> FPisma;
};

} // namespace diroze
