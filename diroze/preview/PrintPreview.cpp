#include "PrintPreview.h"

#include "AssignChanged.h"
#include "PrinterSetup.h"

#include <QGuiApplication>
#include <QPrinter>
#include <QScreen>

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

namespace diroze {

TPrintPreview::TPrintPreview()
{
    if (qGuiApp && QGuiApplication::primaryScreen())
        FScreenPixelsPerInch = std::max(1, int(std::lround(QGuiApplication::primaryScreen()->logicalDotsPerInchY())));
    const TPaperSizeInfo& a4 = PaperSizeTable[pA4];
    FPageExt = {ConvertX(a4.Width, a4.Units, FUnits), ConvertY(a4.Height, a4.Units, FUnits)};
    UpdateExtents();
}

TPrintPreview::~TPrintPreview() = default;

void TPrintPreview::SetScreenPixelsPerInch(int32_t aValue)
{
    FScreenPixelsPerInch = std::max(1, aValue);
    UpdateExtents();
}

int32_t TPrintPreview::ConvertX(int32_t aX, TUnits aInUnits, TUnits aOutUnits) const
{
    return ConvertUnits(aX, HorzPixelsPerInch(), aInUnits, aOutUnits);
}

int32_t TPrintPreview::ConvertY(int32_t aY, TUnits aInUnits, TUnits aOutUnits) const
{
    return ConvertUnits(aY, VertPixelsPerInch(), aInUnits, aOutUnits);
}

TPoint TPrintPreview::ConvertXY(int32_t aX, int32_t aY, TUnits aInUnits, TUnits aOutUnits) const
{
    return TPoint{ConvertX(aX, aInUnits, aOutUnits), ConvertY(aY, aInUnits, aOutUnits)};
}

void TPrintPreview::ConvertPoints(TPoint* aPoints, int aNumPoints, TUnits aInUnits, TUnits aOutUnits) const
{
    for (int i = 0; i < aNumPoints; ++i)
        aPoints[i] = ConvertXY(aPoints[i].X, aPoints[i].Y, aInUnits, aOutUnits);
}

TRect TPrintPreview::RectFrom(TUnits aUnits, int32_t aLeft, int32_t aTop, int32_t aRight, int32_t aBottom) const
{
    const TPoint topLeft = PointFrom(aUnits, aLeft, aTop);
    const TPoint bottomRight = PointFrom(aUnits, aRight, aBottom);
    return TRect{topLeft.X, topLeft.Y, bottomRight.X, bottomRight.Y};
}

TRect TPrintPreview::BoundsFrom(TUnits aUnits, int32_t aLeft, int32_t aTop, int32_t aWidth, int32_t aHeight) const
{
    // 64 bits: left + width may leave the 32-bit range; such a rectangle saturates.
    auto sum = [](int32_t a, int32_t b) {
        return static_cast<int32_t>(std::clamp<int64_t>(int64_t{a} + b, INT32_MIN, INT32_MAX));
    };
    return RectFrom(aUnits, aLeft, aTop, sum(aLeft, aWidth), sum(aTop, aHeight));
}

void TPrintPreview::SetPaperType(TPaperType aValue)
{
    if (FState != psReady || aValue == FPaperType || aValue > pCustom)
        return;
    FPaperType = aValue;
    if (aValue == pCustom)
        return;
    const TPaperSizeInfo& row = PaperSizeTable[aValue];
    TPoint size{ConvertX(row.Width, row.Units, FUnits), ConvertY(row.Height, row.Units, FUnits)};
    if (FOrientation == poLandscape)
        std::swap(size.X, size.Y);
    FPageExt = size;
    PaperChanged();
}

void TPrintPreview::SetOrientation(TPrinterOrientation aValue)
{
    if (FState != psReady || aValue == FOrientation)
        return;
    FOrientation = aValue;
    std::swap(FPageExt.X, FPageExt.Y);
    PaperChanged();
}

void TPrintPreview::SetPaperSize(int32_t aWidth, int32_t aHeight)
{
    if (FState != psReady)
        return;
    aWidth = std::max(aWidth, 1);
    aHeight = std::max(aHeight, 1);
    if (aWidth == FPageExt.X && aHeight == FPageExt.Y)
        return;
    FPageExt = {aWidth, aHeight};
    FPaperType = FOrientation == poLandscape ? FindPaperType(aHeight, aWidth) : FindPaperType(aWidth, aHeight);
    PaperChanged();
}

TPaperType TPrintPreview::FindPaperType(int32_t aWidth, int32_t aHeight) const
{
    auto wholeMillimetres = [](int32_t aHiMetric) { return RoundHalfEven(static_cast<long double>(aHiMetric) / 100); };
    const int64_t w = wholeMillimetres(ConvertX(aWidth, FUnits, mmHiMetric));
    const int64_t h = wholeMillimetres(ConvertY(aHeight, FUnits, mmHiMetric));
    for (int t = 0; t < kPaperTypeCount; ++t) {
        const TPaperSizeInfo& row = PaperSizeTable[size_t(t)];
        if (wholeMillimetres(ConvertX(row.Width, row.Units, mmHiMetric)) == w &&
            wholeMillimetres(ConvertY(row.Height, row.Units, mmHiMetric)) == h)
            return static_cast<TPaperType>(t);
    }
    return pCustom;
}

void TPrintPreview::PaperChanged()
{
    FFormName.clear();
    FVirtualFormName.clear();
    UpdateExtents();
    LayoutPaperView(-1, -1);
    if (OnPaperChange)
        OnPaperChange();
}

void TPrintPreview::UpdateExtents()
{
    FDeviceExt = {ConvertX(FPageExt.X, FUnits, mmPixel), ConvertY(FPageExt.Y, FUnits, mmPixel)};
    // The reference device is always the screen, so the two extents are equal.
    FLogicalExt = {MulDiv(FDeviceExt.X, FScreenPixelsPerInch, HorzPixelsPerInch()),
                   MulDiv(FDeviceExt.Y, FScreenPixelsPerInch, VertPixelsPerInch())};
}

void TPrintPreview::LayoutPaperView(int, int) {}

void TPrintPreview::SetState(TPreviewState aValue)
{
    if (hostutils::AssignChanged(FState, aValue) && OnStateChange)
        OnStateChange();
}

void TPrintPreview::BeginDoc()
{
    if (FState != psReady)
        return;
    FPageCanvas.reset();
    PageMetafile.reset();
    FPageList.Clear();
    SetState(psCreating);
    UpdateExtents();
    if (OnBeginDoc)
        OnBeginDoc();
    NewPage();
}

void TPrintPreview::NewPage()
{
    if (FState != psCreating)
        return;
    if (FPageCanvas) {
        if (OnEndPage)
            OnEndPage();
        CloseMetafileCanvas();
    }
    CreateMetafileCanvas();
    ++FCanvasPageNo;
    if (OnNewPage)
        OnNewPage();
}

void TPrintPreview::EndDoc()
{
    if (FState != psCreating)
        return;
    if (OnEndPage)
        OnEndPage();
    FCanvasPageNo = 0;
    if (FPageCanvas)
        CloseMetafileCanvas();
    if (OnEndDoc)
        OnEndDoc();
    SetState(psReady);
}

void TPrintPreview::AbortDoc()
{
    if (FState != psCreating)
        return;
    FPageCanvas.reset();
    PageMetafile.reset();
    FCanvasPageNo = 0;
    SetState(psReady);
}

void TPrintPreview::CreateMetafileCanvas()
{
    try {
        PageMetafile = std::make_unique<TMetafile>(FPageExt.X, FPageExt.Y);
        // Logical units per inch of the surface: the page height over its height in screen pixels.
        const int32_t deviceHeight = ConvertUnits(FPageExt.Y, FScreenPixelsPerInch, FUnits, mmPixel);
        int32_t unitsPerInch = MulDiv(FScreenPixelsPerInch, FPageExt.Y, deviceHeight);
        if (deviceHeight <= 0 || unitsPerInch <= 0)
            unitsPerInch = 2540; // a page less than a pixel high: the exact value
        FPageCanvas = std::make_unique<TCanvas>(*PageMetafile, unitsPerInch);
    } catch (const std::bad_alloc&) {
        FPageCanvas.reset();
        PageMetafile.reset();
        throw EOutOfMemory();
    }
}

void TPrintPreview::CloseMetafileCanvas()
{
    FPageCanvas.reset();
    std::unique_ptr<TMetafile> finished = std::move(PageMetafile);
    try {
        FPageList.Insert(FPageList.Count(), std::move(*finished));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
}

} // namespace diroze
