#include "Metafile.h"

#include "Exceptions.h"
#include "ScopeGuard.h"

#include <QBrush>
#include <QFont>
#include <QList>
#include <QPainter>
#include <QRectF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <optional>

namespace diroze {

namespace {

constexpr char kMagic[4] = {'D', 'R', 'Z', 'P'};
constexpr uint32_t kVersion = 3;

enum RecordType : uint8_t { rtFont = 1, rtPen, rtBrush, rtRectangle, rtFillRect, rtTextRect, rtBars, rtModules };

class Writer {
public:
    void U8(uint8_t v) { FBytes.append(static_cast<char>(v)); }
    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            FBytes.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void Rect(const TRect& r)
    {
        I32(r.Left);
        I32(r.Top);
        I32(r.Right);
        I32(r.Bottom);
    }
    void String(const QString& s)
    {
        U32(static_cast<uint32_t>(s.size()));
        for (QChar c : s) {
            FBytes.append(static_cast<char>(c.unicode() & 0xFF));
            FBytes.append(static_cast<char>(c.unicode() >> 8));
        }
    }
    void PatchU32(qsizetype at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            FBytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    QByteArray& Bytes() { return FBytes; }

private:
    QByteArray FBytes;
};

[[noreturn]] void Corrupt() { throw hostutils::Exception("Stream read error"); }

class Reader {
public:
    explicit Reader(std::string_view aBytes) : FBytes(aBytes) {}
    bool AtEnd() const { return FPos == FBytes.size(); }
    uint8_t U8()
    {
        Need(1);
        return static_cast<uint8_t>(FBytes[FPos++]);
    }
    uint32_t U32()
    {
        Need(4);
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t{static_cast<uint8_t>(FBytes[FPos + i])} << (8 * i);
        FPos += 4;
        return v;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    TRect Rect()
    {
        TRect r;
        r.Left = I32();
        r.Top = I32();
        r.Right = I32();
        r.Bottom = I32();
        return r;
    }
    QString String()
    {
        const uint32_t length = U32();
        if (length > (FBytes.size() - FPos) / 2)
            Corrupt();
        QString s(static_cast<qsizetype>(length), Qt::Uninitialized);
        for (uint32_t i = 0; i < length; ++i)
            s[i] = QChar(static_cast<char16_t>(static_cast<uint8_t>(FBytes[FPos + 2 * i]) |
                                               (static_cast<uint8_t>(FBytes[FPos + 2 * i + 1]) << 8)));
        FPos += 2 * size_t{length};
        return s;
    }
    template <typename E>
    E Enum(uint8_t aMax)
    {
        const uint8_t v = U8();
        if (v > aMax)
            Corrupt();
        return static_cast<E>(v);
    }

private:
    void Need(size_t n)
    {
        if (FBytes.size() - FPos < n)
            Corrupt();
    }
    std::string_view FBytes;
    size_t FPos = 0;
};

QColor ToQColor(TColor aColor)
{
    return QColor(int(aColor & 0xFF), int((aColor >> 8) & 0xFF), int((aColor >> 16) & 0xFF));
}

QPen ToQPen(const TPenSpec& aPen)
{
    if (aPen.Style == TPenStyle::psClear)
        return QPen(Qt::NoPen);
    QPen pen(ToQColor(aPen.Color));
    pen.setWidth(aPen.Width <= 1 ? 0 : aPen.Width); // 0: the device's thinnest line
    // Indexed by TPenStyle; psClear was handled above.
    static constexpr Qt::PenStyle kStyles[] = {Qt::SolidLine,   Qt::DashLine,       Qt::DotLine,
                                               Qt::DashDotLine, Qt::DashDotDotLine, Qt::NoPen};
    const auto style = static_cast<size_t>(aPen.Style);
    pen.setStyle(style < std::size(kStyles) ? kStyles[style] : Qt::SolidLine);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

QRectF ToQRectF(const TRect& aRect)
{
    return QRectF(aRect.Left, aRect.Top, double(int64_t{aRect.Right} - aRect.Left),
                  double(int64_t{aRect.Bottom} - aRect.Top));
}

int ToQtTextFlags(uint32_t aFormat)
{
    int flags = Qt::AlignTop;
    if (aFormat & tfCenter)
        flags |= Qt::AlignHCenter;
    else if (aFormat & tfRight)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    // A heading may break at words; every other text stays on its one line.
    flags |= (aFormat & tfWordBreak) ? Qt::TextWordWrap : Qt::TextSingleLine;
    return flags;
}

// The sum of module counts: a symbol's width from its runs, a grid's height
// from its rows.
int64_t TotalModules(const std::vector<uint8_t>& aCounts)
{
    return std::accumulate(aCounts.begin(), aCounts.end(), int64_t{0});
}

// Device pixels beyond this, in either direction, are not drawn in whole dots.
constexpr double kDeviceLimit = 1 << 30;

// One fill of rectangles in pixels of the printer's dot grid: the device
// gets the colour once, not per rectangle. Narrowed boxes are drawn in
// quarter pixels, where a quarter of a pixel off each side still leaves
// whole numbers, which a PDF writes short.
void FillDeviceRects(QPainter& aPainter, QList<QRectF> aRects, const QBrush& aBrush, const TDotPlayback& aDots)
{
    if (aRects.isEmpty())
        return;
    const double parts = aDots.BarReduction == 0 && aDots.GridOrigin.isNull() ? 1 : 4;
    if (parts != 1)
        for (QRectF& r : aRects)
            r = QRectF(r.x() * parts, r.y() * parts, r.width() * parts, r.height() * parts);
    aPainter.save();
    aPainter.setTransform(QTransform(1 / parts, 0, 0, 1 / parts, aDots.GridOrigin.x(), aDots.GridOrigin.y()));
    aPainter.setPen(Qt::NoPen);
    aPainter.setBrush(aBrush);
    aPainter.drawRects(aRects.constData(), int(aRects.size()));
    aPainter.restore();
}

// Where the painter's logical units land on the printer's dot grid.
QTransform DotGridTransform(const QPainter& aPainter, const TDotPlayback& aDots)
{
    return aPainter.deviceTransform() * QTransform::fromTranslate(-aDots.GridOrigin.x(), -aDots.GridOrigin.y());
}

// A box of whole pixels drawn aReduction of a pixel smaller on each side
// (at the top and bottom too unless aAcrossOnly, for a bar whose height does
// not matter), but never thinner than half a pixel: a rasteriser that paints
// every pixel the shape touches, and one that paints the pixels whose
// centres it covers, both give back exactly the whole pixels.
QRectF ReducedBox(int64_t aX, int64_t aY, int64_t aWidth, int64_t aHeight, double aReduction, bool aAcrossOnly)
{
    const double rx = std::clamp((double(aWidth) - 0.5) / 2, 0.0, aReduction);
    const double ry = aAcrossOnly ? 0.0 : std::clamp((double(aHeight) - 0.5) / 2, 0.0, aReduction);
    return QRectF(double(aX) + rx, double(aY) + ry, double(aWidth) - 2 * rx, double(aHeight) - 2 * ry);
}

// Draws the bars in device pixels, each module a whole number of them. False
// when the painter's transformation is not a plain scale and shift, or the
// symbol lies beyond the device's coordinates: the caller then draws the
// bars as recorded.
bool PlayBarsInWholeDots(QPainter& aPainter, const rec::Bars& aBars, const QBrush& aBrush, const TDotPlayback& aDots)
{
    const TSymbolGeometry symbol = SymbolGeometry(aBars);
    const std::optional<TDotLayout> layout = WholeDotLayout(DotGridTransform(aPainter, aDots), symbol);
    if (!layout)
        return false;
    if (aBars.Module <= 0 || symbol.Across == 0 || aBars.R.Bottom <= aBars.R.Top)
        return true;
    // A symbol too wide for its room still gets one dot a module.
    const int64_t dots = std::max<int64_t>(layout->Module, 1);
    if (layout->Left + symbol.Across * dots > kDeviceLimit || layout->Bottom <= layout->Top)
        return true;
    QList<QRectF> bars;
    bars.reserve(static_cast<qsizetype>((aBars.Runs.size() + 1) / 2));
    int64_t x = layout->Left;
    for (size_t i = 0; i < aBars.Runs.size(); ++i) {
        const int64_t width = aBars.Runs[i] * dots;
        if (i % 2 == 0 && width > 0)
            bars.append(ReducedBox(x, layout->Top, width, layout->Bottom - layout->Top, aDots.BarReduction, true));
        x += width;
    }
    FillDeviceRects(aPainter, bars, aBrush, aDots);
    return true;
}

// Whether the bits hold every module of the grid.
bool GridComplete(const rec::Modules& aGrid)
{
    const uint64_t modules = uint64_t{aGrid.Columns} * aGrid.RowHeights.size();
    return aGrid.Columns > 0 && !aGrid.RowHeights.empty() && aGrid.Bits.size() == (modules + 7) / 8;
}

struct TBox64 {
    int64_t X, Y, Width, Height;
};

// The dark runs of a grid, row by row, with the grid's top left at aLeft,
// aTop and a module aUnit wide; a row of height 0 reaches down to aBottom.
std::vector<TBox64> GridBoxes(const rec::Modules& aGrid, int64_t aLeft, int64_t aTop, int64_t aUnit, int64_t aBottom)
{
    std::vector<TBox64> boxes;
    if (!GridComplete(aGrid) || aUnit <= 0)
        return boxes;
    const auto dark = [&](uint64_t aIndex) { return (aGrid.Bits[aIndex / 8] >> (aIndex % 8)) & 1; };
    int64_t y = aTop;
    // Far beyond any page: a grid that reaches there is drawn no further.
    constexpr int64_t kFar = int64_t{1} << 40;
    for (size_t row = 0; row < aGrid.RowHeights.size() && y < kFar; ++row) {
        const int64_t height = aGrid.RowHeights[row] == 0 ? aBottom - y : aGrid.RowHeights[row] * aUnit;
        const uint64_t first = uint64_t{aGrid.Columns} * row;
        for (uint32_t col = 0; col < aGrid.Columns;) {
            if (!dark(first + col)) {
                ++col;
                continue;
            }
            uint32_t end = col;
            while (end < aGrid.Columns && dark(first + end))
                ++end;
            if (height > 0)
                boxes.push_back(TBox64{aLeft + col * aUnit, y, (end - col) * aUnit, height});
            col = end;
        }
        y += std::max<int64_t>(height, 0);
    }
    return boxes;
}

// Draws a grid in device pixels, each module a whole number of them (see
// WholeDotLayout). False when the painter's transformation is not a plain
// scale and shift or the symbol lies beyond the device's coordinates: the
// caller then draws it as recorded. Throws when one pixel a module is too many.
bool PlayGridInWholeDots(QPainter& aPainter, const rec::Modules& aGrid, const QBrush& aBrush, const TDotPlayback& aDots)
{
    const QTransform t = DotGridTransform(aPainter, aDots);
    const TSymbolGeometry symbol = SymbolGeometry(aGrid);
    const std::optional<TDotLayout> layout = WholeDotLayout(t, symbol);
    if (!layout)
        return false;
    if (aGrid.Module <= 0 || !GridComplete(aGrid))
        return true;
    if (layout->Module < 1)
        throw hostutils::Exception(
            QStringLiteral("Čárový kód (%1 × %2 modulů) se při %3 dpi nevejde na štítek: modul by byl menší než "
                           "jedna tečka tiskárny")
                .arg(symbol.Across)
                .arg(std::max<int64_t>(symbol.Down, 1))
                .arg(std::lround(t.m11() * 2540))
                .toStdString());
    QList<QRectF> boxes;
    for (const TBox64& b : GridBoxes(aGrid, layout->Left, layout->Top, layout->Module, layout->Bottom))
        boxes.append(ReducedBox(b.X, b.Y, b.Width, b.Height, aDots.BarReduction, symbol.Down == 0));
    FillDeviceRects(aPainter, boxes, aBrush, aDots);
    return true;
}

} // namespace

TSymbolGeometry SymbolGeometry(const rec::Bars& aBars)
{
    return {aBars.R, aBars.Module, TotalModules(aBars.Runs), 0, aBars.Quiet};
}

TSymbolGeometry SymbolGeometry(const rec::Modules& aGrid)
{
    const bool fullHeight = std::find(aGrid.RowHeights.begin(), aGrid.RowHeights.end(), 0) != aGrid.RowHeights.end();
    return {aGrid.R, aGrid.Module, aGrid.Columns, fullHeight ? 0 : TotalModules(aGrid.RowHeights), aGrid.Quiet};
}

std::optional<TDotLayout> WholeDotLayout(const QTransform& aPageToDevice, const TSymbolGeometry& aSymbol)
{
    const QTransform& t = aPageToDevice;
    if (t.type() > QTransform::TxScale || t.m11() <= 0 || t.m22() <= 0)
        return std::nullopt;
    const TSymbolGeometry& s = aSymbol;
    const double quietX = double(s.Quiet) * s.Module;
    const double quietY = s.Down > 0 ? quietX : 0;
    const QPointF start = t.map(QPointF(s.R.Left, s.R.Top));
    const QPointF roomTopLeft = t.map(QPointF(s.R.Left - quietX, s.R.Top - quietY));
    const QPointF roomBottomRight = t.map(QPointF(s.R.Right + quietX, s.R.Bottom + quietY));
    for (const QPointF& p : {start, roomTopLeft, roomBottomRight})
        if (std::fabs(p.x()) > kDeviceLimit || std::fabs(p.y()) > kDeviceLimit)
            return std::nullopt;
    if (s.Module * std::max(t.m11(), t.m22()) > kDeviceLimit)
        return std::nullopt;
    TDotLayout layout;
    layout.Left = std::llround(start.x());
    layout.Top = std::llround(start.y());
    layout.Bottom = std::llround(t.map(QPointF(s.R.Right, s.R.Bottom)).y());
    if (s.Module <= 0 || s.Across <= 0)
        return layout;
    const int64_t left = std::llround(roomTopLeft.x());
    const int64_t top = std::llround(roomTopLeft.y());
    const int64_t right = static_cast<int64_t>(std::floor(roomBottomRight.x() + 1e-6));
    const int64_t bottom = static_cast<int64_t>(std::floor(roomBottomRight.y() + 1e-6));
    int64_t most = (right - left) / (s.Across + 2 * s.Quiet);
    if (s.Down > 0)
        most = std::min(most, (bottom - top) / (s.Down + 2 * s.Quiet));
    layout.Module = std::max<int64_t>(0, std::min(std::max<int64_t>(1, std::llround(s.Module * t.m11())), most));
    // The corner moves only as far as the quiet zones at the module printed
    // need; where even they cannot fit, the left and top ones are kept.
    const int64_t dots = std::max<int64_t>(layout.Module, 1);
    const auto between = [](int64_t aValue, int64_t aLow, int64_t aHigh) {
        return std::max(aLow, std::min(aValue, aHigh));
    };
    layout.Left = between(layout.Left, left + s.Quiet * dots, right - (s.Across + s.Quiet) * dots);
    if (s.Down > 0)
        layout.Top = between(layout.Top, top + s.Quiet * dots, bottom - (s.Down + s.Quiet) * dots);
    return layout;
}

std::vector<TRect> BarRects(const rec::Bars& aBars)
{
    std::vector<TRect> bars;
    if (aBars.Module <= 0)
        return bars;
    bars.reserve((aBars.Runs.size() + 1) / 2);
    int64_t x = aBars.R.Left;
    for (size_t i = 0; i < aBars.Runs.size(); ++i) {
        const int64_t width = int64_t{aBars.Runs[i]} * aBars.Module;
        if (i % 2 == 0)
            bars.push_back(TRect{static_cast<int32_t>(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX)), aBars.R.Top,
                                 static_cast<int32_t>(std::clamp<int64_t>(x + width, INT32_MIN, INT32_MAX)),
                                 aBars.R.Bottom});
        x += width;
    }
    return bars;
}

QFont ToQFont(const TFontSpec& aSpec)
{
    QFont font(aSpec.Name);
    font.setPixelSize(std::max(1, aSpec.Height));
    font.setBold(aSpec.Style & 0x01);
    font.setItalic(aSpec.Style & 0x02);
    font.setUnderline(aSpec.Style & 0x04);
    font.setStrikeOut(aSpec.Style & 0x08);
    // Metrics and shapes must not depend on the device the page is played on.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(true);
    return font;
}

QByteArray TMetafile::Serialize() const
{
    Writer w;
    for (char c : kMagic)
        w.Bytes().append(c);
    w.U32(kVersion);
    w.U32(0); // total length, patched below
    w.I32(FWidth);
    w.I32(FHeight);
    w.U32(static_cast<uint32_t>(FRecords.size()));
    for (const TMetaRecord& record : FRecords) {
        std::visit(
            [&](const auto& r) {
                using T = std::decay_t<decltype(r)>;
                if constexpr (std::is_same_v<T, rec::Font>) {
                    w.U8(rtFont);
                    w.String(r.Value.Name);
                    w.I32(r.Value.Height);
                    w.U8(r.Value.Style);
                    w.U32(r.Value.Color);
                } else if constexpr (std::is_same_v<T, rec::Pen>) {
                    w.U8(rtPen);
                    w.U32(r.Value.Color);
                    w.U8(static_cast<uint8_t>(r.Value.Style));
                    w.I32(r.Value.Width);
                } else if constexpr (std::is_same_v<T, rec::Brush>) {
                    w.U8(rtBrush);
                    w.U32(r.Value.Color);
                    w.U8(static_cast<uint8_t>(r.Value.Style));
                } else if constexpr (std::is_same_v<T, rec::Rectangle>) {
                    w.U8(rtRectangle);
                    w.Rect(r.R);
                } else if constexpr (std::is_same_v<T, rec::FillRect>) {
                    w.U8(rtFillRect);
                    w.Rect(r.R);
                } else if constexpr (std::is_same_v<T, rec::Bars>) {
                    w.U8(rtBars);
                    w.Rect(r.R);
                    w.I32(r.Module);
                    w.U32(static_cast<uint32_t>(r.Runs.size()));
                    for (uint8_t run : r.Runs)
                        w.U8(run);
                    w.U8(r.Quiet);
                } else if constexpr (std::is_same_v<T, rec::Modules>) {
                    w.U8(rtModules);
                    w.Rect(r.R);
                    w.I32(r.Module);
                    w.U32(r.Columns);
                    w.U32(static_cast<uint32_t>(r.RowHeights.size()));
                    for (uint8_t height : r.RowHeights)
                        w.U8(height);
                    w.U32(static_cast<uint32_t>(r.Bits.size()));
                    for (uint8_t bits : r.Bits)
                        w.U8(bits);
                    w.U8(r.Quiet);
                } else {
                    w.U8(rtTextRect);
                    w.Rect(r.R);
                    w.U32(r.Format);
                    w.String(r.Text);
                }
            },
            record);
    }
    w.PatchU32(8, static_cast<uint32_t>(w.Bytes().size()));
    return w.Bytes();
}

int64_t TMetafile::LengthFromHeader(std::string_view aHeader)
{
    if (aHeader.size() < size_t{kHeaderSize} || std::memcmp(aHeader.data(), kMagic, 4) != 0)
        return -1;
    Reader r(aHeader.substr(4, 8));
    if (r.U32() != kVersion)
        return -1;
    const uint32_t length = r.U32();
    return length < uint32_t{kHeaderSize} ? -1 : int64_t{length};
}

TMetafile TMetafile::Deserialize(std::string_view aBytes)
{
    if (LengthFromHeader(aBytes) != static_cast<int64_t>(aBytes.size()))
        Corrupt();
    Reader r(aBytes.substr(kHeaderSize));
    TMetafile mf;
    mf.FWidth = r.I32();
    mf.FHeight = r.I32();
    const uint32_t count = r.U32();
    if (count > aBytes.size()) // every record takes at least one byte
        Corrupt();
    mf.FRecords.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        switch (r.U8()) {
        case rtFont: {
            rec::Font f;
            f.Value.Name = r.String();
            f.Value.Height = r.I32();
            f.Value.Style = r.U8();
            f.Value.Color = r.U32();
            mf.FRecords.emplace_back(std::move(f));
            break;
        }
        case rtPen: {
            rec::Pen p;
            p.Value.Color = r.U32();
            p.Value.Style = r.Enum<TPenStyle>(static_cast<uint8_t>(TPenStyle::psClear));
            p.Value.Width = r.I32();
            mf.FRecords.emplace_back(p);
            break;
        }
        case rtBrush: {
            rec::Brush b;
            b.Value.Color = r.U32();
            b.Value.Style = r.Enum<TBrushStyle>(static_cast<uint8_t>(TBrushStyle::bsClear));
            mf.FRecords.emplace_back(b);
            break;
        }
        case rtRectangle:
            mf.FRecords.emplace_back(rec::Rectangle{r.Rect()});
            break;
        case rtFillRect:
            mf.FRecords.emplace_back(rec::FillRect{r.Rect()});
            break;
        case rtBars: {
            rec::Bars b;
            b.R = r.Rect();
            b.Module = r.I32();
            const uint32_t runs = r.U32();
            if (runs > aBytes.size())
                Corrupt();
            b.Runs.reserve(runs);
            for (uint32_t k = 0; k < runs; ++k)
                b.Runs.push_back(r.U8());
            b.Quiet = r.U8();
            mf.FRecords.emplace_back(std::move(b));
            break;
        }
        case rtModules: {
            rec::Modules m;
            m.R = r.Rect();
            m.Module = r.I32();
            m.Columns = r.U32();
            for (std::vector<uint8_t>* bytes : {&m.RowHeights, &m.Bits}) {
                const uint32_t count = r.U32();
                if (count > aBytes.size())
                    Corrupt();
                bytes->reserve(count);
                for (uint32_t k = 0; k < count; ++k)
                    bytes->push_back(r.U8());
            }
            m.Quiet = r.U8();
            if (!GridComplete(m))
                Corrupt();
            mf.FRecords.emplace_back(std::move(m));
            break;
        }
        case rtTextRect: {
            rec::TextRect t;
            t.R = r.Rect();
            t.Format = r.U32();
            t.Text = r.String();
            mf.FRecords.emplace_back(std::move(t));
            break;
        }
        default:
            Corrupt();
        }
    }
    if (!r.AtEnd())
        Corrupt();
    return mf;
}

void TMetafile::Play(QPainter& aPainter, const QRectF& aTarget, bool aAntialias,
                     const std::optional<TDotPlayback>& aDots) const
{
    if (FWidth <= 0 || FHeight <= 0 || aTarget.isEmpty())
        return;
    aPainter.save();
    // A symbol too small for the device leaves the painter as it was.
    const hostutils::TScopeFail restore([&aPainter] { aPainter.restore(); });
    aPainter.setRenderHint(QPainter::Antialiasing, aAntialias);
    aPainter.setRenderHint(QPainter::TextAntialiasing, aAntialias);
    aPainter.setRenderHint(QPainter::SmoothPixmapTransform, aAntialias);
    aPainter.translate(aTarget.topLeft());
    aPainter.scale(aTarget.width() / FWidth, aTarget.height() / FHeight);
    aPainter.setClipRect(QRectF(0, 0, FWidth, FHeight), Qt::IntersectClip);

    // The state a fresh page surface starts with.
    QFont font = ToQFont(TFontSpec{QStringLiteral("Arial"), 282, 0, 0});
    QColor fontColor = Qt::black;
    QPen pen = ToQPen(TPenSpec{});
    TBrushSpec brush;
    std::optional<QBrush> barBrush;

    for (const TMetaRecord& record : FRecords) {
        std::visit(
            [&](const auto& r) {
                using T = std::decay_t<decltype(r)>;
                if constexpr (std::is_same_v<T, rec::Font>) {
                    font = ToQFont(r.Value);
                    fontColor = ToQColor(r.Value.Color);
                } else if constexpr (std::is_same_v<T, rec::Pen>) {
                    pen = ToQPen(r.Value);
                } else if constexpr (std::is_same_v<T, rec::Brush>) {
                    brush = r.Value;
                } else if constexpr (std::is_same_v<T, rec::Rectangle>) {
                    aPainter.setPen(pen);
                    aPainter.setBrush(brush.Style == TBrushStyle::bsClear ? QBrush(Qt::NoBrush)
                                                                          : QBrush(ToQColor(brush.Color)));
                    aPainter.drawRect(ToQRectF(r.R));
                } else if constexpr (std::is_same_v<T, rec::FillRect>) {
                    if (brush.Style != TBrushStyle::bsClear && r.R.Right > r.R.Left && r.R.Bottom > r.R.Top)
                        aPainter.fillRect(ToQRectF(r.R), ToQColor(brush.Color));
                } else if constexpr (std::is_same_v<T, rec::Bars>) {
                    if (brush.Style == TBrushStyle::bsClear)
                        return;
                    // The same QBrush object from one symbol to the next, so
                    // that the painter sees no change of state between them.
                    if (!barBrush || barBrush->color() != ToQColor(brush.Color))
                        barBrush = QBrush(ToQColor(brush.Color));
                    if (aDots && PlayBarsInWholeDots(aPainter, r, *barBrush, *aDots))
                        return;
                    QList<QRectF> bars;
                    for (const TRect& bar : BarRects(r))
                        if (bar.Right > bar.Left && bar.Bottom > bar.Top)
                            bars.append(ToQRectF(bar));
                    if (bars.isEmpty())
                        return;
                    // All bars as one path and one fill.
                    aPainter.setPen(Qt::NoPen);
                    aPainter.setBrush(*barBrush);
                    aPainter.drawRects(bars.constData(), int(bars.size()));
                } else if constexpr (std::is_same_v<T, rec::Modules>) {
                    if (brush.Style == TBrushStyle::bsClear)
                        return;
                    const QBrush fill(ToQColor(brush.Color));
                    if (aDots && PlayGridInWholeDots(aPainter, r, fill, *aDots))
                        return;
                    QList<QRectF> boxes;
                    for (const TBox64& b : GridBoxes(r, r.R.Left, r.R.Top, r.Module, r.R.Bottom))
                        boxes.append(QRectF(double(b.X), double(b.Y), double(b.Width), double(b.Height)));
                    if (boxes.isEmpty())
                        return;
                    aPainter.setPen(Qt::NoPen);
                    aPainter.setBrush(fill);
                    aPainter.drawRects(boxes.constData(), int(boxes.size()));
                } else {
                    if (r.R.Right <= r.R.Left || r.R.Bottom <= r.R.Top || r.Text.isEmpty())
                        return;
                    // Font and pen stay set for the texts that follow (the
                    // other records set their own), so that a run of texts
                    // reaches the device without a change of state. The
                    // painter clips a text to its box only when its lines do
                    // not fit: one that fits costs no clip.
                    if (aPainter.font() != font)
                        aPainter.setFont(font);
                    aPainter.setPen(fontColor); // the same pen is no change
                    aPainter.drawText(ToQRectF(r.R), ToQtTextFlags(r.Format), r.Text);
                }
            },
            record);
    }
    aPainter.restore();
}

} // namespace diroze
