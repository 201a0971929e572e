#pragma once
// One label of the data file: its barcode, eight text lines, per-line font
// overrides and the option flags that steer the sheet layout.

#include "Set.h"
#include "barcodes/Barcodes.h"

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <memory>

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

enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = hostutils::TSet<TFontStyle>;

// A font specification; empty face and size 0 keep what is in force.
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
    // "@3" in field 0, style prefixes under soOverrideStyle). Throws
    // hostutils::Exception with the Czech message of the bad field, or the
    // barcode's own message.
    TStitek(QStringView aLine, TStitekOptions aDefaultOptions);

    // The barcode, an EAN-13 or EAN-8 object, or nullptr.
    const TNumeric1DBarCode* BarCode() const { return FBarCode.get(); }
    // Field 0 after an optional command: the barcode number or the heading text.
    const QString& EAN() const { return FEAN; }
    const TRadkyStitku& Radky() const { return FRadky; }
    TStitekOptions Options() const { return FOptions; }
    // The font override of each line; all default unless a style prefix set one.
    const TPisma& Pisma() const;

private:
    void ReadStylePrefix(int aLine, QStringView aText);

    std::unique_ptr<TNumeric1DBarCode> FBarCode;
    QString FEAN;
    TRadkyStitku FRadky;
    TStitekOptions FOptions;
    // Allocated only when a style prefix sets an override: most labels have none.
    std::unique_ptr<TPisma> FPisma;
};

} // namespace diroze
