#include "Canvas.h"

#include <QFontMetrics>

#include <cstdlib>

namespace diroze {

namespace {

constexpr int32_t kDefaultPoints = 12;

} // namespace

TCanvas::TCanvas(TMetafile& aTarget, int32_t aPixelsPerInch) : FTarget(aTarget), FPixelsPerInch(aPixelsPerInch) {}

TFontSpec TCanvas::CurrentFontSpec() const
{
    const int32_t points = FFont.Size == 0 ? kDefaultPoints : FFont.Size;
    int32_t em = MulDiv(std::abs(points), FPixelsPerInch, 72);
    if (em <= 0)
        em = 1;
    return TFontSpec{FFont.Name, em, FFont.Style.ToBits(), FFont.Color};
}

void TCanvas::Flush()
{
    const TFontSpec font = CurrentFontSpec();
    if (FRecordedFont != font) {
        FTarget.Add(rec::Font{font});
        FRecordedFont = font;
    }
    if (FRecordedPen != FPen) {
        FTarget.Add(rec::Pen{FPen});
        FRecordedPen = FPen;
    }
    if (FRecordedBrush != FBrush) {
        FTarget.Add(rec::Brush{FBrush});
        FRecordedBrush = FBrush;
    }
}

void TCanvas::Rectangle(int32_t aLeft, int32_t aTop, int32_t aRight, int32_t aBottom)
{
    Flush();
    FTarget.Add(rec::Rectangle{TRect{aLeft, aTop, aRight, aBottom}});
}

void TCanvas::FillRect(const TRect& aRect)
{
    Flush();
    FTarget.Add(rec::FillRect{aRect});
}

void TCanvas::Bars(const TRect& aRect, int32_t aModule, std::vector<uint8_t> aRuns, uint8_t aQuiet)
{
    Flush();
    FTarget.Add(rec::Bars{aRect, aModule, std::move(aRuns), aQuiet});
}

void TCanvas::Modules(rec::Modules aGrid)
{
    Flush();
    FTarget.Add(std::move(aGrid));
}

void TCanvas::TextRect(const TRect& aRect, const QString& aText, uint32_t aFormat)
{
    Flush();
    FTarget.Add(rec::TextRect{aRect, aText, aFormat});
}

int32_t TCanvas::TextHeight(const QString& aText) const
{
    // A single line is as high as the font, whatever its characters.
    Q_UNUSED(aText);
    return QFontMetrics(ToQFont(CurrentFontSpec())).height();
}

} // namespace diroze
