#include "Exceptions.h"
#include "QtPrinters.h"
#include "barcodes/Barcodes.h"
#include "preview/Canvas.h"
#include "preview/Metafile.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <random>

using namespace diroze;

namespace {

TMetafile SamplePage()
{
    TMetafile page(21000, 29700);
    TCanvas canvas(page, 2539);
    canvas.Font().Name = QStringLiteral("Times New Roman");
    canvas.Font().Size = 12;
    canvas.Font().Style = {fsBold, fsUnderline};
    canvas.Font().Color = 0x0000FF;
    canvas.Pen().Color = clSilver;
    canvas.Pen().Style = TPenStyle::psDot;
    canvas.Brush().Style = TBrushStyle::bsClear;
    canvas.Rectangle(1000, 1000, 5600, 3590);
    canvas.TextRect(TRect{1200, 1200, 5400, 3390}, QStringLiteral("Žluťoučký kůň & spol."), tfSingleLine | tfCenter);
    canvas.Brush().Style = TBrushStyle::bsSolid;
    canvas.Brush().Color = clBlack;
    canvas.FillRect(TRect{-5, -5, INT32_MAX, INT32_MAX});
    canvas.Modules(rec::Modules{TRect{100, 200, 900, 1000}, 40, 3, {1, 3}, {0b101101}});
    return page;
}

TEST(Metafile, SerialisesAndReadsBackEqual)
{
    const TMetafile page = SamplePage();
    EXPECT_EQ(page.Records().size(), 8u) << "font, pen, brush, rectangle, text, brush, fill, modules";
    const QByteArray bytes = page.Serialize();
    EXPECT_EQ(TMetafile::LengthFromHeader(std::string_view(bytes.constData(), bytes.size())), bytes.size());
    const TMetafile back = TMetafile::Deserialize(std::string_view(bytes.constData(), bytes.size()));
    EXPECT_EQ(back, page);
    EXPECT_EQ(TMetafile::Deserialize(TMetafile(5, 7).Serialize().toStdString()), TMetafile(5, 7));
}

TEST(Metafile, DamagedBytesAreRefusedNotTrusted)
{
    const std::string good = SamplePage().Serialize().toStdString();
    auto refused = [](const std::string& bytes) {
        try {
            TMetafile::Deserialize(bytes);
        } catch (const hostutils::Exception& e) {
            return std::string(e.what()) == "Stream read error";
        }
        return false;
    };
    EXPECT_TRUE(refused(""));
    EXPECT_TRUE(refused(good.substr(0, good.size() - 1))) << "shorter than its header says";
    EXPECT_TRUE(refused(good + "x")) << "longer than its header says";
    std::string badMagic = good;
    badMagic[0] = 'X';
    EXPECT_TRUE(refused(badMagic));
    // A text length far beyond the bytes must not allocate or read past the end.
    std::string hugeText = TMetafile(1, 1).Serialize().toStdString();
    hugeText[20] = 1; // one record
    hugeText += std::string("\x06") + std::string(20, '\0') + "\xff\xff\xff\x7f";
    hugeText[8] = static_cast<char>(hugeText.size());
    EXPECT_TRUE(refused(hugeText));

    // Random damage: a well-formed recording or the read error, never a crash.
    std::mt19937 random(2539);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes = good;
        for (int k = 0; k < 3; ++k)
            bytes[random() % bytes.size()] = static_cast<char>(random());
        try {
            TMetafile::Deserialize(bytes);
        } catch (const hostutils::Exception& e) {
            EXPECT_STREQ(e.what(), "Stream read error");
        }
    }
}

TEST(Canvas, RecordsStateOnlyWhenItChanges)
{
    TMetafile page(100, 100);
    TCanvas canvas(page, 2540);
    canvas.FillRect(TRect{0, 0, 1, 1});
    canvas.FillRect(TRect{1, 1, 2, 2});
    canvas.Brush().Color = clSilver;
    canvas.FillRect(TRect{2, 2, 3, 3});
    ASSERT_EQ(page.Records().size(), 7u) << "font, pen, brush, fill, fill, brush, fill";
    EXPECT_TRUE(std::holds_alternative<rec::Brush>(page.Records()[5]));
    EXPECT_EQ(std::get<rec::Brush>(page.Records()[5]).Value.Color, clSilver);
}

TEST(Canvas, FontSizesAreMadePhysical)
{
    TMetafile page(100, 100);
    TCanvas canvas(page, 2539);
    canvas.Font().Size = 10;
    EXPECT_EQ(canvas.CurrentFontSpec().Height, 353);
    canvas.Font().Size = 0;
    EXPECT_EQ(canvas.CurrentFontSpec().Height, 423) << "size 0: the surface's own 12 pt";
    canvas.Font().Size = 10;
    canvas.Font().Name = QStringLiteral("Arial");
    // A line of Arial (metric-compatible Liberation Sans) is about 1.15 em high.
    const int32_t h = canvas.TextHeight(QStringLiteral("WjpqČÁ9,!"));
    EXPECT_GE(h, 380);
    EXPECT_LE(h, 420);
    canvas.Font().Style = {fsBold};
    EXPECT_GE(canvas.TextHeight(QStringLiteral("x")), 380);
}

// Plays a page into a white image of the page's size in units / 10.
QImage Render(const TMetafile& aPage, bool aAntialias = false)
{
    QImage image(aPage.Width() / 10, aPage.Height() / 10, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    aPage.Play(painter, QRectF(0, 0, image.width(), image.height()), aAntialias);
    painter.end();
    return image;
}

TEST(Playback, FillsRectanglesAndClipsText)
{
    TMetafile page(2000, 2000);
    TCanvas canvas(page, 2540);
    canvas.Brush().Color = clBlack;
    canvas.FillRect(TRect{100, 100, 500, 500});
    canvas.Brush().Style = TBrushStyle::bsClear;
    canvas.FillRect(TRect{600, 100, 900, 500}); // a clear brush fills nothing
    canvas.Pen().Color = 0x0000FF;              // red outline, nothing inside
    canvas.Rectangle(1000, 100, 1500, 600);
    canvas.Font().Size = 18; // taller than its rectangle
    canvas.TextRect(TRect{100, 1000, 1900, 1300}, QStringLiteral("MMMMMMMMMMMMMMMMMMMM"), tfSingleLine);
    canvas.TextRect(TRect{100, 1500, 50, 1900}, QStringLiteral("MMMM"), tfSingleLine); // inverted: nothing

    const QImage image = Render(page);
    EXPECT_EQ(image.pixel(30, 30), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(75, 30), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(125, 35), qRgb(255, 255, 255)) << "inside of the outline";
    EXPECT_EQ(qRed(image.pixel(100, 35)), 255);
    EXPECT_EQ(qBlue(image.pixel(100, 35)), 0) << "the left edge of the outline is red";

    int inkInside = 0, inkOutside = 0;
    for (int y = 90; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                ++((y >= 100 && y < 130 && x >= 10 && x < 190) ? inkInside : inkOutside);
    EXPECT_GT(inkInside, 50) << "the text shows inside its rectangle";
    EXPECT_EQ(inkOutside, 0) << "and nothing of it outside";
    for (int y = 150; y < 190; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(image.pixel(x, y), qRgb(255, 255, 255));
}

TEST(Playback, PenStylesKeepTheirPattern)
{
    // Dark runs along 180 pixels of a rectangle's top edge.
    const struct {
        TPenStyle style;
        int minRuns, maxRuns, minLongest, maxLongest;
    } rows[] = {
        {TPenStyle::psSolid, 1, 1, 180, 180},
        {TPenStyle::psDash, 25, 35, 4, 6},
        {TPenStyle::psDot, 55, 65, 1, 2}, // the label frames' dotted line
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.style));
        TMetafile page(2000, 2000);
        TCanvas canvas(page, 2540);
        canvas.Pen().Style = row.style;
        canvas.Brush().Style = TBrushStyle::bsClear;
        canvas.Rectangle(100, 1000, 1900, 1500);
        const QImage image = Render(page);
        int runs = 0, longest = 0, length = 0;
        for (int x = 10; x < 190; ++x) {
            length = qGray(image.pixel(x, 100)) < 128 ? length + 1 : 0;
            runs += length == 1;
            longest = std::max(longest, length);
        }
        EXPECT_TRUE(runs >= row.minRuns && runs <= row.maxRuns) << runs;
        EXPECT_TRUE(longest >= row.minLongest && longest <= row.maxLongest) << longest;
    }
}

// --- barcode drawing ---

std::vector<TRect> Bars(const TMetafile& aPage)
{
    std::vector<TRect> bars;
    for (const TMetaRecord& r : aPage.Records())
        if (const auto* fill = std::get_if<rec::FillRect>(&r))
            bars.push_back(fill->R);
        else if (const auto* symbol = std::get_if<rec::Bars>(&r))
            for (const TRect& bar : BarRects(*symbol))
                bars.push_back(bar);
    return bars;
}

TMetafile DrawCode(const TCustomBarCode& aCode, const TRect& aRect)
{
    TMetafile page(100000, 100000);
    TCanvas canvas(page, 2540);
    aCode.Draw(canvas, aRect);
    return page;
}

TEST(BarcodeDraw, ModuleWidthQuietZonesAndFullHeight)
{
    TEAN13BarCode code;
    code.SetData(QStringLiteral("5901234123457"));
    const std::vector<TRect> bars = Bars(DrawCode(code, TRect{1000, 200, 5400, 2200}));
    ASSERT_EQ(bars.size(), 30u) << "3 guards of 2, 12 digits of 2 bars";
    EXPECT_EQ(bars.front().Left, 1000 + 380) << "m = 4400 div 115 = 38, after 10 modules";
    EXPECT_EQ(bars.back().Right, 1000 + 3990);
    for (const TRect& bar : bars) {
        EXPECT_EQ(bar.Top, 200);
        EXPECT_EQ(bar.Bottom, 2200);
        EXPECT_EQ((bar.Right - bar.Left) % 38, 0);
    }
}

TEST(BarcodeDraw, NarrowRectanglesInvertedRectanglesAndBackground)
{
    TEAN13BarCode code;
    code.SetData(QStringLiteral("5901234123457"));
    EXPECT_TRUE(Bars(DrawCode(code, TRect{0, 0, 114, 10})).empty()) << "module width 0";
    const std::vector<TRect> one = Bars(DrawCode(code, TRect{0, 0, 115, 10}));
    ASSERT_FALSE(one.empty());
    EXPECT_EQ(one.front().Left, 10);

    EXPECT_TRUE(DrawCode(code, TRect{10, 0, 9, 10}).Records().empty()) << "not even the background";
    EXPECT_TRUE(DrawCode(code, TRect{0, 10, 100, 9}).Records().empty());

    code.SetBackground(0x00FFFF);
    const TMetafile withBackground = DrawCode(code, TRect{0, 0, 50, 10});
    const std::vector<TRect> fills = Bars(withBackground);
    ASSERT_EQ(fills.size(), 1u) << "the background even when no bar fits";
    EXPECT_EQ(fills[0], (TRect{0, 0, 50, 10}));

    code.SetBackground(clNone);
    code.SetAddQuietZones(false);
    const std::vector<TRect> tight = Bars(DrawCode(code, TRect{500, 0, 595, 10}));
    ASSERT_FALSE(tight.empty());
    EXPECT_EQ(tight.front().Left, 500) << "N = 95, no quiet zone";
    EXPECT_EQ(tight.back().Right, 595);

    TEAN8BarCode unassigned;
    unassigned.SetAddQuietZones(false);
    EXPECT_TRUE(Bars(DrawCode(unassigned, TRect{0, 0, 1000, 10})).empty()) << "no data, no modules";
}

TEST(BarcodeDraw, HugeRectanglesDoNotOverflow)
{
    TEAN8BarCode code;
    code.SetData(QStringLiteral("96385074"));
    const std::vector<TRect> bars = Bars(DrawCode(code, TRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}));
    ASSERT_EQ(bars.size(), 22u);
    for (size_t i = 1; i < bars.size(); ++i)
        EXPECT_GT(bars[i].Left, bars[i - 1].Left);
    EXPECT_LE(bars.back().Right, INT32_MAX);
}

} // namespace
