#pragma once
// The drawing surface of a page being recorded. Its logical unit is the
// hundredth of a millimetre; a font given in points is made physical with the
// surface's logical units per inch (10 pt is an em of 353 units at 2539).
// Font, pen and brush changes are recorded when the next drawing needs them.

#include "Metafile.h"

#include <QString>

#include <optional>

namespace diroze {

constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clWhite = 0xFFFFFF;

class TCanvasFont {
public:
    QString Name = QStringLiteral("Arial");
    int32_t Size = 8; // points; 0 leaves the choice to the surface (12 pt)
    TFontStyles Style;
    TColor Color = 0;
};

class TCanvas {
public:
    // Records into aTarget; aPixelsPerInch is logical units per inch of the surface.
    TCanvas(TMetafile& aTarget, int32_t aPixelsPerInch);

    TCanvasFont& Font() { return FFont; }
    TPenSpec& Pen() { return FPen; }
    TBrushSpec& Brush() { return FBrush; }
    int32_t PixelsPerInch() const { return FPixelsPerInch; }

    void Rectangle(int32_t aLeft, int32_t aTop, int32_t aRight, int32_t aBottom);
    void Rectangle(const TRect& aRect) { Rectangle(aRect.Left, aRect.Top, aRect.Right, aRect.Bottom); }
    void FillRect(const TRect& aRect);
    // The bars of a symbol with the brush (see rec::Bars).
    void Bars(const TRect& aRect, int32_t aModule, std::vector<uint8_t> aRuns, uint8_t aQuiet = 0);
    // The modules of a symbol's grid with the brush (see rec::Modules).
    void Modules(rec::Modules aGrid);
    void TextRect(const TRect& aRect, const QString& aText, uint32_t aFormat);
    // The height of a line of aText in the current font, in logical units.
    int32_t TextHeight(const QString& aText) const;

    // What has been recorded so far.
    const TMetafile& Recording() const { return FTarget; }

    // The font record the current font makes.
    TFontSpec CurrentFontSpec() const;

private:
    void Flush();

    TMetafile& FTarget;
    int32_t FPixelsPerInch;
    TCanvasFont FFont;
    TPenSpec FPen;
    TBrushSpec FBrush;
    std::optional<TFontSpec> FRecordedFont;
    std::optional<TPenSpec> FRecordedPen;
    std::optional<TBrushSpec> FRecordedBrush;
};

} // namespace diroze
