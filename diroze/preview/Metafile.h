#pragma once
// A recorded page: an ordered list of drawing records in logical units
// (hundredths of a millimetre, origin at the paper's top-left corner, y down)
// with the page's size. It serialises to bytes whose header states their total
// length, and plays back onto any QPainter stretched into a target rectangle.

#include "Set.h"
#include "Units.h"

#include <QByteArray>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

class QPainter;
class QRectF;
class QTransform;
class QFont;

namespace diroze {

// A colour as 0x00BBGGRR.
using TColor = uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clNone = 0x1FFFFFFF;

enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = hostutils::TSet<TFontStyle>;

enum class TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear };
enum class TBrushStyle : uint8_t { bsSolid, bsClear };

// Bits of the text format of TextRect.
enum TTextFormatBits : uint32_t {
    tfCenter = 0x4,
    tfLeft = 0x100,
    tfRight = 0x1000,
    tfSingleLine = 0x4000,
    tfWordBreak = 0x20000,
};

struct TFontSpec {
    QString Name;
    int32_t Height = 0; // em height in logical units, > 0
    uint8_t Style = 0;  // bold 0x01, italic 0x02, underline 0x04, strike-out 0x08
    TColor Color = 0;
    bool operator==(const TFontSpec&) const = default;
};

struct TPenSpec {
    TColor Color = 0;
    TPenStyle Style = TPenStyle::psSolid;
    int32_t Width = 1; // logical units; 1 or less is the thinnest line the device draws
    bool operator==(const TPenSpec&) const = default;
};

struct TBrushSpec {
    TColor Color = 0xFFFFFF;
    TBrushStyle Style = TBrushStyle::bsSolid;
    bool operator==(const TBrushSpec&) const = default;
};

namespace rec {
struct Font {
    TFontSpec Value;
    bool operator==(const Font&) const = default;
};
struct Pen {
    TPenSpec Value;
    bool operator==(const Pen&) const = default;
};
struct Brush {
    TBrushSpec Value;
    bool operator==(const Brush&) const = default;
};
// Outline with the pen, inside with the brush (a clear brush fills nothing).
struct Rectangle {
    TRect R;
    bool operator==(const Rectangle&) const = default;
};
// Fills with the brush, no outline.
struct FillRect {
    TRect R;
    bool operator==(const FillRect&) const = default;
};
// Text at the top of R, aligned by the format, clipped to R, no background.
struct TextRect {
    TRect R;
    QString Text;
    uint32_t Format = 0;
    bool operator==(const TextRect&) const = default;
};
// The bars of a one-dimensional symbol, filled with the brush: element i is
// Runs[i] modules of Module units, bar first, then alternating space and bar,
// from R.Left, the full height of R. R.Right is as far as the symbol may
// reach; Quiet modules of quiet zone lie beyond R.Left and R.Right. On a
// printer a module becomes a whole number of dots.
struct Bars {
    TRect R;
    int32_t Module = 0;
    std::vector<uint8_t> Runs;
    uint8_t Quiet = 0;
    bool operator==(const Bars&) const = default;
};
// The modules of a symbol kept as a grid, filled with the brush: rows of
// Columns modules of Module units, row k RowHeights[k] modules high (0: down
// to R.Bottom), from R.Left and R.Top. Bits holds the modules row by row,
// module i dark when bit i % 8 of Bits[i / 8] is set. R.Right and R.Bottom
// are as far as the symbol may reach; Quiet modules of quiet zone lie beyond
// R on each side (above and below only when no row reaches down to
// R.Bottom). On a printer a module becomes a whole number of dots.
struct Modules {
    TRect R;
    int32_t Module = 0;
    uint32_t Columns = 0;
    std::vector<uint8_t> RowHeights;
    std::vector<uint8_t> Bits;
    uint8_t Quiet = 0;
    bool operator==(const Modules&) const = default;
};
} // namespace rec

using TMetaRecord = std::variant<rec::Font, rec::Pen, rec::Brush, rec::Rectangle, rec::FillRect, rec::TextRect,
                                 rec::Bars, rec::Modules>;

// The bar rectangles of a bars record at its recorded module width.
std::vector<TRect> BarRects(const rec::Bars& aBars);

// Where a symbol record may lie and how many modules it has: Across, the
// sum of a bars record's runs or a grid's columns; Down, a grid's modules
// from top to bottom, 0 for a symbol that spans R's height (bars, and a
// grid whose rows reach down to R.Bottom); Quiet, its quiet zone in modules
// on each side (above and below only when Down is not 0).
struct TSymbolGeometry {
    TRect R;
    int32_t Module = 0;
    int64_t Across = 0;
    int64_t Down = 0;
    int64_t Quiet = 0;
};
TSymbolGeometry SymbolGeometry(const rec::Bars& aBars);
TSymbolGeometry SymbolGeometry(const rec::Modules& aGrid);

// A symbol in whole device pixels: Module pixels a module (0 when not one
// pixel a module fits); Left and Top, the corner of its first module; Bottom,
// the foot of a symbol that spans R's height.
struct TDotLayout {
    int64_t Module = 0;
    int64_t Left = 0, Top = 0, Bottom = 0;
};

// How a symbol lies when its page is played through aPageToDevice (a
// printer's page at its resolution). The module is the nearest whole number
// of pixels to its width, at least one, fewer when the symbol and its quiet
// zones would otherwise not fit into R widened by the recorded quiet zones.
// The symbol keeps its corner, moved only as far as its quiet zones need.
// Nothing when the transformation is not a plain scale and shift, or the
// symbol lies beyond the device's coordinates: it then plays as recorded.
std::optional<TDotLayout> WholeDotLayout(const QTransform& aPageToDevice, const TSymbolGeometry& aSymbol);

// A quarter of a device pixel: bars and dark modules drawn that much
// narrower on each side come out of a rasteriser with exactly their whole
// pixels, whether it paints every pixel a shape touches or only those whose
// centre it covers.
constexpr double kDefaultBarWidthReduction = 0.25;

// How symbols play onto a printer's page in whole dots. GridOrigin: where
// the printer's dot grid starts, in device pixels (its fraction matters: a
// driver's raster starts at the corner of the printable area, which need
// not lie on a whole device pixel of the page). BarReduction: how much
// narrower each bar and dark run is drawn on each side, in dots, kept at
// least half a dot wide; it takes back the gain of the printer's rasteriser.
struct TDotPlayback {
    double BarReduction = 0;
    QPointF GridOrigin;
};

// The Qt font a font record means, its pixel size being the em in logical units.
QFont ToQFont(const TFontSpec& aSpec);

class TMetafile {
public:
    TMetafile() = default;
    TMetafile(int32_t aWidth, int32_t aHeight) : FWidth(aWidth), FHeight(aHeight) {}

    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    const std::vector<TMetaRecord>& Records() const { return FRecords; }
    void Add(TMetaRecord aRecord) { FRecords.push_back(std::move(aRecord)); }
    bool operator==(const TMetafile&) const = default;

    // The serialised form. Its first 12 bytes are the header: the magic
    // "DRZP", the format version and the total length, little-endian.
    QByteArray Serialize() const;
    static constexpr int kHeaderSize = 12;
    // The total length a header states, or -1 when the bytes are no header.
    static int64_t LengthFromHeader(std::string_view aHeader);
    // Reads a serialised recording. Throws hostutils::Exception("Stream read
    // error") when the bytes are not a complete, well-formed recording.
    static TMetafile Deserialize(std::string_view aBytes);

    // Plays the records onto aPainter with the page stretched into aTarget.
    // Antialiasing smooths edges and text; without it the plain path draws.
    // With aDots (a printer's page played at its resolution) every module of
    // a symbol is a whole number of the printer's dots (WholeDotLayout), and
    // each bar or dark run is drawn narrower as aDots says.
    void Play(QPainter& aPainter, const QRectF& aTarget, bool aAntialias = true,
              const std::optional<TDotPlayback>& aDots = std::nullopt) const;

private:
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    std::vector<TMetaRecord> FRecords;
};

} // namespace diroze
