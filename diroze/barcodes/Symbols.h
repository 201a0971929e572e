#pragma once
// Barcode kinds beyond EAN, encoded by libzint: Code 128, GS1-128, Code 39,
// ITF-14, UPC-A, UPC-E, QR Code, Data Matrix, GS1 DataMatrix and PDF417.
//
// A data file asks for one with field 0 of the form "KIND:DATA" (KIND case-
// insensitive). DATA takes backslash escapes: "\;" a semicolon, "\\" a
// backslash, "\G" the group separator (0x1D), "\xHH" the character of code
// HH (two hex digits). Encoding happens once, when the label is read; the
// symbol keeps its module grid and draws it as one rec::Modules record.

#include "preview/Canvas.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace diroze {

enum class TSymbolKind : uint8_t { skC128, skGS1, skC39, skITF14, skUPCA, skUPCE, skQR, skDM, skGS1DM, skPDF417 };

class TSymbolBarCode {
public:
    // Encodes aData (escapes already resolved) as aKind. Throws
    // hostutils::Exception("KIND: <Czech reason> (<libzint's text>)") when
    // the kind cannot encode the data.
    TSymbolBarCode(TSymbolKind aKind, const QString& aData);
    TSymbolBarCode(const TSymbolBarCode&) = delete;
    TSymbolBarCode& operator=(const TSymbolBarCode&) = delete;

    // The kind a data-file name means ("qr", "C128", ...), case-insensitive.
    static std::optional<TSymbolKind> KindFromName(QStringView aName);
    // The data file's name of a kind, upper case.
    static QString KindName(TSymbolKind aKind);
    // Resolves the escapes of DATA. Throws hostutils::Exception("KIND:
    // neplatná úniková sekvence \"...\"") for a backslash followed by
    // anything else, or at the end.
    static QString Unescape(TSymbolKind aKind, QStringView aEscaped);
    // The end of field 0 in a line that starts with "KIND:": the first ";"
    // not escaped by a backslash, or the line's length.
    static qsizetype EscapedFieldEnd(QStringView aLine);

    TSymbolKind Kind() const { return FKind; }
    // Bars in one row (linear) or a matrix of modules (QR, DM, GS1DM, PDF417).
    bool Linear() const;
    // The human-readable text of a linear symbol (GS1 AIs in brackets).
    const QString& HumanText() const { return FHumanText; }
    int32_t Columns() const { return FColumns; }
    int32_t RowCount() const { return static_cast<int32_t>(FRowHeights.size()); }

    // Records the symbol into aPaintRect of the canvas's logical units with
    // the brush's colour set to black. A linear symbol fills the rectangle
    // as an EAN does: 10 modules of quiet zone on each side, bars the full
    // height, at the left. A matrix symbol is the largest it can be with
    // its quiet zone, at the horizontal alignment aFormat (tfLeft, tfRight or
    // tfCenter) and centred vertically. Throws hostutils::Exception when the
    // rectangle cannot hold the symbol at one logical unit per module.
    void Draw(TCanvas& aCanvas, const TRect& aPaintRect, uint32_t aFormat) const;

private:
    TSymbolKind FKind;
    int32_t FColumns = 0;
    std::vector<uint8_t> FRowHeights; // in modules
    std::vector<uint8_t> FCells;      // row-major, 1 a dark module
    QString FHumanText;
};

} // namespace diroze
