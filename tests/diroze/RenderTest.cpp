#include "QtPrinters.h"
#include "Render.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

using namespace diroze;

namespace {

// The new dialog's layout with every axis different, so that a mix-up of X and Y shows.
TPapir AsymmetricPapir()
{
    TPapir p = DefaultPapir();
    p.Okraj = {1000, 1200};
    p.Mezery = {200, 300};
    p.Vycpavka = {200, 150};
    return p;
}

// The padded cell (col, row) of the default layout: cells 4600 x 2460.
TRect Padded(int aCol, int aRow)
{
    const int32_t left = 1000 + 4800 * aCol, top = 1200 + 2760 * aRow;
    return TRect{left + 200, top + 150, left + 4400, top + 2310};
}

class RenderFixture : public ::testing::Test {
protected:
    RenderFixture() { FPreview.SetScreenPixelsPerInch(96); }

    void Load(const QStringList& aLines, TStitekOptions aOptions = {soBarCode})
    {
        FLabels.clear();
        for (const QString& line : aLines)
            FLabels.push_back(std::make_unique<TStitek>(line, aOptions));
    }
    // Labels whose only text is "L1", "L2", ...: each fills its padded cell.
    void LoadNumbered(int aCount)
    {
        QStringList lines;
        for (int i = 1; i <= aCount; ++i)
            lines << QStringLiteral(";L%1").arg(i);
        Load(lines);
    }
    const TMetafile& Page(int aIndex) { return *FPreview.PageList().GetEntry(aIndex).Metafile(); }

    template <typename R>
    std::vector<R> All(int aPage)
    {
        std::vector<R> found;
        for (const TMetaRecord& r : Page(aPage).Records())
            if (const R* x = std::get_if<R>(&r))
                found.push_back(*x);
        return found;
    }
    // The rectangle the text was drawn in on aPage; a zero rectangle when absent.
    TRect TextAt(int aPage, const QString& aText)
    {
        for (const rec::TextRect& t : All<rec::TextRect>(aPage))
            if (t.Text == aText)
                return t.R;
        return {};
    }
    int32_t LineHeight()
    {
        TMetafile scratch(1, 1);
        TCanvas canvas(scratch, 2539);
        canvas.Font().Size = 10;
        return canvas.TextHeight(kLineSample);
    }

    TPrintPreview FPreview;
    TStitekList FLabels;
    TPapir P = AsymmetricPapir();
};

TEST_F(RenderFixture, PreviewFramesEveryCellOfTheFirstPage)
{
    LoadNumbered(3);
    Render(FPreview, FLabels, P, true);
    ASSERT_EQ(FPreview.TotalPages(), 1);
    const auto frames = All<rec::Rectangle>(0);
    ASSERT_EQ(frames.size(), 40u);
    EXPECT_EQ(frames[0].R, (TRect{1000, 1200, 5600, 3660}));
    EXPECT_EQ(frames[1].R, (TRect{1000, 3960, 5600, 6420})) << "rows within a column first";
    EXPECT_EQ(frames[10].R, (TRect{5800, 1200, 10400, 3660})) << "cell (1, 0)";
    const auto pens = All<rec::Pen>(0);
    ASSERT_FALSE(pens.empty());
    EXPECT_EQ(pens[0].Value.Color, clSilver);
    EXPECT_EQ(pens[0].Value.Style, TPenStyle::psDot);
    EXPECT_EQ(All<rec::Brush>(0).front().Value.Style, TBrushStyle::bsClear);
    EXPECT_EQ(TextAt(0, "L2"), Padded(1, 0));
    EXPECT_EQ(FPreview.ZoomState(), zsZoomToFit);

    Render(FPreview, FLabels, P, false);
    EXPECT_TRUE(All<rec::Rectangle>(0).empty()) << "no frames when printing";
}

// Counts typed far beyond the spin edits (the reader lets them through while
// typing) draw no more frames than the spin edits allow a side, and only
// frames that reach onto the paper: the preview stays quick.
TEST_F(RenderFixture, PreviewFramesAreBounded)
{
    LoadNumbered(3);
    struct Row {
        const char* proves;
        TPoint pocet, okraj, mezery;
        size_t frames;
    };
    const std::vector<Row> rows = {
        {"a hundred million rows: the first thousand", {1, 100'000'000}, {1000, 1200}, {200, 300}, 1000},
        {"1500 columns of 0.14 mm: a thousand", {1500, 2}, {0, 0}, {0, 0}, 2000},
        {"cells beside the paper get no frame", {10, 1}, {0, 0}, {3000, 0}, 8},
        {"the dialog's own grid", {4, 10}, {1000, 1200}, {200, 300}, 40},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        P.Pocet = row.pocet;
        P.Okraj = row.okraj;
        P.Mezery = row.mezery;
        Render(FPreview, FLabels, P, true);
        const auto frames = All<rec::Rectangle>(0);
        EXPECT_EQ(frames.size(), row.frames);
        for (const rec::Rectangle& f : frames)
            ASSERT_TRUE(std::max(f.R.Left, f.R.Right) > 0 && std::min(f.R.Left, f.R.Right) < P.Velikost.X &&
                        std::max(f.R.Top, f.R.Bottom) > 0 && std::min(f.R.Top, f.R.Bottom) < P.Velikost.Y);
    }
}

TEST_F(RenderFixture, FortyLabelsFillOnePageTheFortyFirstStartsTheNext)
{
    LoadNumbered(40);
    Render(FPreview, FLabels, P, false);
    EXPECT_EQ(FPreview.TotalPages(), 1);
    EXPECT_EQ(TextAt(0, "L40"), Padded(3, 9));
    LoadNumbered(41);
    Render(FPreview, FLabels, P, false);
    ASSERT_EQ(FPreview.TotalPages(), 2);
    EXPECT_EQ(TextAt(1, "L41"), Padded(0, 0));

    LoadNumbered(100);
    Render(FPreview, FLabels, P, true);
    EXPECT_EQ(FPreview.TotalPages(), 1) << "preview stops at the first page";
    EXPECT_EQ(All<rec::TextRect>(0).size(), 40u);
}

TEST_F(RenderFixture, StartCell)
{
    LoadNumbered(2);
    P.Zacatek = {2, 3};
    Render(FPreview, FLabels, P, false);
    EXPECT_EQ(TextAt(0, "L1"), Padded(1, 2));
    EXPECT_EQ(TextAt(0, "L2"), Padded(2, 2));

    P.Zacatek = {6, 1}; // beyond the columns: the next label goes to the next row
    Render(FPreview, FLabels, P, false);
    EXPECT_EQ(TextAt(0, "L1"), Padded(5, 0));
    EXPECT_EQ(TextAt(0, "L2"), Padded(0, 1));

    P.Zacatek = {0, 0}; // one cell left of and above the grid
    Render(FPreview, FLabels, P, false);
    EXPECT_EQ(TextAt(0, "L1"), Padded(-1, -1));

    P.Zacatek = {1, 12}; // below the grid
    Render(FPreview, FLabels, P, true);
    EXPECT_EQ(FPreview.TotalPages(), 1);
    EXPECT_TRUE(All<rec::TextRect>(0).empty()) << "only the frames";
    EXPECT_EQ(All<rec::Rectangle>(0).size(), 40u);
    Render(FPreview, FLabels, P, false);
    ASSERT_EQ(FPreview.TotalPages(), 2);
    EXPECT_TRUE(All<rec::TextRect>(0).empty()) << "the first page stays empty";
    EXPECT_EQ(TextAt(1, "L1"), Padded(0, 0));
}

TEST_F(RenderFixture, CommandsMoveToNewRowsAndPages)
{
    Load({"@1;H1", ";a", "@3;H2", ";b", ";c", ";d", "@3;H3", ";e", "@2;H4", ";f", ";g", ";h", "@2;H5", "@1;H6"});
    Render(FPreview, FLabels, P, false);
    ASSERT_EQ(FPreview.TotalPages(), 2) << "a first @1 makes no empty page";
    // Each heading label has one text line at the bottom of its padded cell.
    auto cellOf = [&](int aPage, const char* aText) { return TextAt(aPage, aText).Bottom; };
    EXPECT_EQ(cellOf(0, "H1"), Padded(0, 0).Bottom);
    EXPECT_EQ(TextAt(0, "a"), Padded(1, 0));
    EXPECT_EQ(cellOf(0, "H2"), Padded(0, 1).Bottom) << "@3 mid-row: start of the next row";
    EXPECT_EQ(TextAt(0, "d"), Padded(3, 1));
    EXPECT_EQ(cellOf(0, "H3"), Padded(0, 2).Bottom) << "@3 at the start of a row stays";
    EXPECT_EQ(TextAt(0, "e"), Padded(1, 2));
    EXPECT_EQ(cellOf(0, "H4"), Padded(0, 4).Bottom) << "@2 mid-row: the rest of the row and one row empty";
    EXPECT_EQ(TextAt(0, "h"), Padded(3, 4));
    EXPECT_EQ(cellOf(0, "H5"), Padded(0, 6).Bottom) << "@2 at the start of a row: one row empty";
    EXPECT_EQ(cellOf(1, "H6"), Padded(0, 0).Bottom) << "@1 starts a page";
    EXPECT_EQ(TextAt(1, "H6").Left, Padded(0, 0).Left);

    QStringList full;
    for (int i = 1; i <= 40; ++i)
        full << QStringLiteral(";L%1").arg(i);
    Load(full + QStringList{"@2;X"});
    Render(FPreview, FLabels, P, false);
    ASSERT_EQ(FPreview.TotalPages(), 2);
    EXPECT_EQ(cellOf(1, "X"), Padded(0, 0).Bottom) << "@2 at the top of a new page does not move";
    Load(full + QStringList{"@1;Y"});
    Render(FPreview, FLabels, P, false);
    EXPECT_EQ(FPreview.TotalPages(), 2) << "@1 arriving on a fresh page adds no page";
    EXPECT_EQ(cellOf(1, "Y"), Padded(0, 0).Bottom);
}

TEST_F(RenderFixture, BarcodeLabelLayoutWithNumberLine)
{
    const int32_t lineH = LineHeight();
    Load({"8590000123455;Šroubek;balení"}, {soBarCode, soEan});
    Render(FPreview, FLabels, P, false);
    const TRect R = Padded(0, 0);
    const int32_t textTop = R.Bottom - 2 * lineH;
    const int32_t numberTop = textTop - (lineH / 2 + lineH);
    EXPECT_EQ(TextAt(0, "8590000123455"), (TRect{R.Left, numberTop, R.Right, R.Bottom}));
    EXPECT_EQ(TextAt(0, "Šroubek"), (TRect{R.Left, textTop, R.Right, R.Bottom}));
    EXPECT_EQ(TextAt(0, "balení"), (TRect{R.Left, textTop + lineH, R.Right, R.Bottom}));
    const auto symbols = All<rec::Bars>(0);
    ASSERT_EQ(symbols.size(), 1u);
    const auto bars = BarRects(symbols.front());
    ASSERT_EQ(bars.size(), 30u);
    EXPECT_EQ(bars.front().Top, R.Top);
    EXPECT_EQ(bars.front().Bottom, numberTop) << "the barcode fills the space above the number";
    EXPECT_EQ(bars.front().Left, R.Left + 10 * (4200 / 115));

    // No barcode under "numbers": an empty number line at the top, then the lines.
    Load({";jen text"}, {soBarCode, soEan});
    Render(FPreview, FLabels, P, false);
    EXPECT_EQ(TextAt(0, "jen text").Top, R.Top + lineH / 2 + lineH);
    EXPECT_EQ(TextAt(0, "").Top, R.Top);
}

TEST_F(RenderFixture, HeadingsAreBoldAndATenthLarger)
{
    struct Case {
        int32_t size, heading;
    } sizes[] = {{10, 11}, {15, 16}, {25, 28}, {0, 0}, {5, 6}, {45, 50}, {35, 38}};
    for (const Case& c : sizes)
        EXPECT_EQ(HeadingFontSize(c.size), c.heading) << c.size;

    Load({"@1Oddíl A"});
    Render(FPreview, FLabels, P, false);
    const TRect R = Padded(0, 0);
    EXPECT_EQ(TextAt(0, "Oddíl A"), R) << "the whole padded cell";
    const auto fonts = All<rec::Font>(0);
    ASSERT_FALSE(fonts.empty());
    EXPECT_EQ(fonts.back().Value.Height, MulDiv(11, 2539, 72));
    EXPECT_EQ(fonts.back().Value.Style, 0x01);
    const auto texts = All<rec::TextRect>(0);
    EXPECT_EQ(texts.back().Format, uint32_t{tfSingleLine | tfLeft | tfWordBreak});
}

TEST_F(RenderFixture, LineStylesUnderFontBoldAndBoldLines)
{
    Load({";@bc14Nadpis;@r08malé", "@3Sekce"}, {soBarCode, soOverrideStyle});
    Render(FPreview, FLabels, P, false);
    const auto texts = All<rec::TextRect>(0);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].Format, uint32_t{tfSingleLine | tfCenter});
    EXPECT_EQ(texts[1].Format, uint32_t{tfSingleLine | tfRight});
    EXPECT_EQ(texts[2].Format, uint32_t{tfSingleLine | tfRight | tfWordBreak})
        << "the heading without lines takes the alignment drawn last";
    const auto fonts = All<rec::Font>(0);
    bool bold14 = false;
    for (const auto& f : fonts)
        bold14 |= f.Value.Height == MulDiv(14, 2539, 72) && f.Value.Style == 0x01;
    EXPECT_TRUE(bold14);

    P.Radky[1] = true;
    Load({";první;druhá"});
    Render(FPreview, FLabels, P, false);
    const auto& records = Page(0).Records();
    uint8_t style = 0;
    std::map<QString, uint8_t> styles;
    for (const TMetaRecord& r : records) {
        if (const auto* f = std::get_if<rec::Font>(&r))
            style = f->Value.Style;
        if (const auto* t = std::get_if<rec::TextRect>(&r))
            styles[t->Text] = style;
    }
    EXPECT_EQ(styles[QStringLiteral("první")], 0);
    EXPECT_EQ(styles[QStringLiteral("druhá")], 0x01);
}

TEST_F(RenderFixture, EmptyLinesBeforeTheLastCountAndLinesMayRiseAboveTheCell)
{
    const int32_t lineH = LineHeight();
    Load({"12345678;;;třetí"});
    Render(FPreview, FLabels, P, false);
    EXPECT_EQ(TextAt(0, "třetí").Top, Padded(0, 0).Bottom - lineH) << "n = 3, the last line ends at the bottom";

    Load({"12345678;1;2;3;4;5;6;7;8"});
    Render(FPreview, FLabels, P, false);
    EXPECT_LT(TextAt(0, "1").Top, Padded(0, 0).Top) << "eight lines rise above the padded cell";
    EXPECT_TRUE(All<rec::Bars>(0).empty()) << "no room left for bars";
}

TEST_F(RenderFixture, ZeroCountFailsAfterThePaperIsSet)
{
    LoadNumbered(1);
    Render(FPreview, FLabels, P, false);
    P.Pocet.X = 0;
    P.Orientace = poLandscape;
    try {
        Render(FPreview, FLabels, P, true);
        ADD_FAILURE();
    } catch (const hostutils::Exception& e) {
        EXPECT_STREQ(e.what(), "Division by zero");
    }
    EXPECT_EQ(FPreview.Orientation(), poLandscape);
    EXPECT_EQ(FPreview.TotalPages(), 1) << "the previous pages stay";
    EXPECT_EQ(FPreview.State(), psReady);
}

TEST_F(RenderFixture, HugeValuesDoNotOverflow)
{
    LoadNumbered(3);
    P.Okraj = {INT32_MAX, INT32_MAX};
    P.Mezery = {INT32_MAX, INT32_MAX};
    P.Zacatek = {INT32_MAX, INT32_MAX};
    P.Pocet = {1000, 1000};
    EXPECT_NO_THROW(Render(FPreview, FLabels, P, false));
    P.Pocet = {1, 1};
    P.Zacatek = {INT32_MIN + 1, 1};
    EXPECT_NO_THROW(Render(FPreview, FLabels, P, false));
    EXPECT_EQ(FPreview.State(), psReady);
}

TEST_F(RenderFixture, CustomPaperSize)
{
    LoadNumbered(1);
    P.Format = pCustom;
    P.Velikost = {10000, 5000};
    P.Pocet = {2, 1};
    Render(FPreview, FLabels, P, false);
    EXPECT_EQ(FPreview.PageSize(), (TPoint{10000, 5000}));
    EXPECT_EQ(Page(0).Width(), 10000);
    EXPECT_EQ(TextAt(0, "L1"), (TRect{1200, 1350, 4700, 3650})) << "cells 3900 x 2600";

    // With the label's own size every cell is the label, whatever is left at the right and the bottom.
    LoadNumbered(2);
    P.Stitek = {3000, 2000};
    Render(FPreview, FLabels, P, true);
    const auto frames = All<rec::Rectangle>(0);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].R, (TRect{1000, 1200, 4000, 3200}));
    EXPECT_EQ(frames[1].R, (TRect{4200, 1200, 7200, 3200})) << "the gap after the label";
}

} // namespace
