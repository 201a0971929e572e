#include "preview/PageLayout.h"
#include "preview/PrintPreview.h"
#include "preview/Units.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>

using namespace diroze;

namespace {

TEST(Units, ConvertUnitsExamplesAndRounding)
{
    struct Case {
        const char* what;
        int32_t value;
        TUnits in, out;
        int32_t expected;
    } cases[] = {
        {"A4 width in pixels", 21000, mmHiMetric, mmPixel, 794},
        {"A4 height in pixels", 29700, mmHiMetric, mmPixel, 1123},
        {"letter width in hundredths of a millimetre", 8500, mmHiEnglish, mmHiMetric, 21590},
        {"hundredths to tenths truncate", 21005, mmHiMetric, mmLoMetric, 2100},
        {"truncation toward zero, negative", -15, mmHiMetric, mmLoMetric, -1},
        {"truncation toward zero, positive", 15, mmHiMetric, mmLoMetric, 1},
        {"tenths to hundredths", 2970, mmLoMetric, mmHiMetric, 29700},
        {"LoEnglish to HiEnglish", -7, mmLoEnglish, mmHiEnglish, -70},
        {"points to twips", 12, mmPoints, mmTWIPS, 240},
        {"twips to points truncate", -39, mmTWIPS, mmPoints, -1},
        {"half rounds to even, down", 75, mmHiEnglish, mmHiMetric, 190},
        {"half rounds to even, up", 25, mmHiEnglish, mmHiMetric, 64},
        {"negative half to even", -75, mmHiEnglish, mmHiMetric, -190},
        {"same unit unchanged", 12345, mmTWIPS, mmTWIPS, 12345},
        {"no 32-bit overflow in the product", 2000000000, mmHiMetric, mmLoEnglish, 78740157},
        {"saturates instead of wrapping", INT32_MAX, mmLoMetric, mmHiMetric, INT32_MAX},
        {"saturates negative", INT32_MIN, mmPoints, mmTWIPS, INT32_MIN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ConvertUnits(c.value, 96, c.in, c.out), c.expected);
    }
    EXPECT_EQ(ConvertUnits(100, 0, mmPixel, mmHiMetric), 0) << "a resolution of 0 divides by nothing";
}

TEST(Units, MulDivRoundsHalfAwayFromZeroAndRefusesDivisionByZero)
{
    EXPECT_EQ(MulDiv(10, 2539, 72), 353);
    EXPECT_EQ(MulDiv(96, 29700, 1123), 2539);
    EXPECT_EQ(MulDiv(3, 1, 2), 2);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv(5, 7, 0), -1);
    EXPECT_EQ(MulDiv(INT32_MAX, INT32_MAX, 1), -1);
    EXPECT_EQ(MulDiv(INT32_MAX, INT32_MAX, INT32_MAX), INT32_MAX);
    EXPECT_EQ(RoundHalfEven(2.5L), 2);
    EXPECT_EQ(RoundHalfEven(3.5L), 4);
    EXPECT_EQ(RoundHalfEven(-2.5L), -2);
}

// A page is whole points: the size a job asks for lies within half a point
// of the millimetres, named where a name fits them that well.
TEST(Units, PageSizesStayWithinHalfAPointOfTheirMillimetres)
{
    struct Case {
        int32_t width, height;
        bool named;
    } cases[] = {
        {21000, 29700, true},  {14800, 21000, true},  {21590, 27940, true},  {10500, 14800, false},
        {10000, 14800, false}, {21100, 29700, false}, {21020, 29700, false}, {5000, 2500, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        const QPageSize size = PageSizeFor(c.width, c.height);
        const QSizeF points = size.sizePoints();
        EXPECT_NEAR(points.width() * 2540 / 72, c.width, 17.7);
        EXPECT_NEAR(points.height() * 2540 / 72, c.height, 17.7);
        EXPECT_EQ(size.id() != QPageSize::Custom, c.named);
    }
}

TEST(Units, PaperSizeTable)
{
    ASSERT_EQ(PaperSizeTable.size(), 67u);
    std::set<int32_t> codes;
    for (const TPaperSizeInfo& row : PaperSizeTable)
        codes.insert(row.PaperCode);
    EXPECT_EQ(codes.size(), 67u) << "every code once";
    EXPECT_EQ(codes.count(48) + codes.count(49), 0u);
    EXPECT_EQ(PaperSizeTable[pLetter].PaperCode, 1);
    EXPECT_EQ(PaperSizeTable[pA4].PaperCode, 9);
    EXPECT_EQ(PaperSizeTable[pA4].Width, 2100);
    EXPECT_EQ(PaperSizeTable[pA4].Units, mmLoMetric);
    EXPECT_EQ(PaperSizeTable[pEnvInvite].PaperCode, 47);
    EXPECT_EQ(PaperSizeTable[pLetterExtra].PaperCode, 50);
    EXPECT_EQ(PaperSizeTable[pFanfoldUSStd].Width, 14875);
    EXPECT_EQ(PaperSizeTable[pA3ExtraTransverse].PaperCode, 68);
    EXPECT_EQ(PaperSizeTable[pCustom].PaperCode, 256);
    EXPECT_EQ(PaperSizeTable[pCustom].Units, mmPixel);
}

class Preview : public ::testing::Test {
protected:
    Preview()
    {
        FPreview.SetScreenPixelsPerInch(96);
        FPreview.OnPaperChange = [this] { ++FPaperChanges; };
        FPreview.OnStateChange = [this] { FStates.push_back(FPreview.State()); };
    }
    TPrintPreview FPreview;
    int FPaperChanges = 0;
    std::vector<TPreviewState> FStates;
};

TEST_F(Preview, StartsWithA4Portrait)
{
    EXPECT_EQ(FPreview.Units(), mmHiMetric);
    EXPECT_EQ(FPreview.PaperType(), pA4);
    EXPECT_EQ(FPreview.Orientation(), poPortrait);
    EXPECT_EQ(FPreview.PageSize(), (TPoint{21000, 29700}));
    EXPECT_EQ(FPreview.PageDevicePixels(), (TPoint{794, 1123}));
    EXPECT_EQ(FPreview.PageLogicalPixels(), (TPoint{794, 1123}));
    EXPECT_EQ(FPreview.PageBounds(), (TRect{0, 0, 21000, 29700}));
    EXPECT_EQ(FPreview.State(), psReady);
    EXPECT_EQ(FPreview.CacheSize(), 10);
    EXPECT_EQ(FPreview.TotalPages(), 0);
    EXPECT_EQ(FPreview.Canvas(), nullptr);
}

TEST_F(Preview, OrientationAndTypeChanges)
{
    FPreview.SetOrientation(poLandscape);
    EXPECT_EQ(FPreview.PageSize(), (TPoint{29700, 21000}));
    EXPECT_TRUE(FPreview.IsPaperRotated());
    FPreview.SetPaperType(pA5);
    EXPECT_EQ(FPreview.PageSize(), (TPoint{21000, 14800})) << "landscape swaps the table's row";
    FPreview.SetOrientation(poLandscape);
    EXPECT_EQ(FPaperChanges, 2) << "setting the same value changes nothing";
    FPreview.SetOrientation(poPortrait);
    EXPECT_EQ(FPreview.PageSize(), (TPoint{14800, 21000}));
    FPreview.SetPaperType(pLetter);
    EXPECT_EQ(FPreview.PageSize(), (TPoint{21590, 27940}));
    FPreview.SetPaperType(pLedger);
    EXPECT_EQ(FPreview.PageSize(), (TPoint{43180, 27940})) << "a row wider than high stays so in portrait";
    EXPECT_EQ(FPaperChanges, 5);
}

TEST_F(Preview, CustomPaper)
{
    FPreview.SetPaperType(pCustom);
    EXPECT_EQ(FPreview.PageSize(), (TPoint{21000, 29700})) << "pCustom alone keeps the size";
    EXPECT_EQ(FPreview.PageDevicePixels(), (TPoint{794, 1123}));
    EXPECT_EQ(FPaperChanges, 0);
    EXPECT_TRUE(FPreview.IsPaperCustom());

    FPreview.SetPaperWidth(10000);
    EXPECT_EQ(FPreview.PaperType(), pCustom);
    FPreview.SetPaperWidth(21050);
    EXPECT_EQ(FPreview.PaperType(), pA4) << "210.5 mm rounds to 210 (half to even)";
    FPreview.SetPaperWidth(21051);
    EXPECT_EQ(FPreview.PaperType(), pCustom);
    FPreview.SetPaperWidth(0);
    EXPECT_EQ(FPreview.PaperWidth(), 1);
    FPreview.SetPaperHeight(-5);
    EXPECT_EQ(FPreview.PaperHeight(), 1);

    FPreview.SetOrientation(poLandscape);
    FPreview.SetPaperWidth(29700);
    FPreview.SetPaperHeight(21000);
    EXPECT_EQ(FPreview.PaperType(), pA4) << "landscape sizes are matched in portrait order";
    FPreview.SetPaperWidth(27940);
    FPreview.SetPaperHeight(21600);
    EXPECT_EQ(FPreview.PaperType(), pLetter) << "216 x 279 mm";
}

TEST_F(Preview, FindPaperTypeTakesTheFirstRowOfASize)
{
    EXPECT_EQ(FPreview.FindPaperType(21000, 29700), pA4);
    EXPECT_EQ(FPreview.FindPaperType(29700, 42000), pA3);
    EXPECT_EQ(FPreview.FindPaperType(21590, 27940), pLetter);
    EXPECT_EQ(FPreview.FindPaperType(12345, 12345), pCustom);
    // Every row finds itself or an earlier row of the same size in whole millimetres.
    auto mm = [](const TPaperSizeInfo& r, int32_t v) {
        return RoundHalfEven(ConvertUnits(v, 96, r.Units, mmHiMetric) / 100.0L);
    };
    for (int t = 0; t < pCustom; ++t) {
        SCOPED_TRACE(t);
        const TPaperSizeInfo& row = PaperSizeTable[size_t(t)];
        const TPaperType found = FPreview.FindPaperType(ConvertUnits(row.Width, 96, row.Units, mmHiMetric),
                                                        ConvertUnits(row.Height, 96, row.Units, mmHiMetric));
        ASSERT_LE(found, t);
        const TPaperSizeInfo& other = PaperSizeTable[found];
        EXPECT_EQ(mm(other, other.Width), mm(row, row.Width));
        EXPECT_EQ(mm(other, other.Height), mm(row, row.Height));
    }
    EXPECT_EQ(FPreview.FindPaperType(21000, 29700), pA4) << "not pA4Small or pA4Transverse";
}

TEST_F(Preview, DocumentStatesAndPages)
{
    FPreview.NewPage();
    FPreview.EndDoc();
    EXPECT_EQ(FPreview.TotalPages(), 0) << "outside a document NewPage and EndDoc do nothing";

    FPreview.BeginDoc();
    EXPECT_EQ(FPreview.State(), psCreating);
    EXPECT_EQ(FPreview.CanvasPageNo(), 1);
    ASSERT_NE(FPreview.Canvas(), nullptr);
    FPreview.SetPaperType(pA3);
    FPreview.SetOrientation(poLandscape);
    FPreview.SetPaperWidth(100);
    EXPECT_EQ(FPreview.PageSize(), (TPoint{21000, 29700})) << "paper changes are ignored during a document";
    FPreview.BeginDoc();
    EXPECT_EQ(FPreview.CanvasPageNo(), 1) << "BeginDoc during a document is ignored";
    EXPECT_EQ(FPreview.TotalPages(), 0) << "the page being drawn is not counted";
    FPreview.NewPage();
    EXPECT_EQ(FPreview.TotalPages(), 1);
    EXPECT_EQ(FPreview.CanvasPageNo(), 2);
    FPreview.EndDoc();
    EXPECT_EQ(FPreview.TotalPages(), 2);
    EXPECT_EQ(FPreview.CanvasPageNo(), 0);
    EXPECT_EQ(FPreview.Canvas(), nullptr);
    EXPECT_EQ(FStates, (std::vector<TPreviewState>{psCreating, psReady}));

    FPreview.BeginDoc();
    FPreview.EndDoc();
    EXPECT_EQ(FPreview.TotalPages(), 1) << "an empty document still holds its one page";
    const TMetafile* page = FPreview.PageList().GetEntry(0).Metafile();
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->Records().empty());
    EXPECT_EQ(page->Width(), 21000);
    EXPECT_EQ(page->Height(), 29700);
}

TEST_F(Preview, EachPageStartsWithAFreshSurfaceInPhysicalUnits)
{
    FPreview.BeginDoc();
    TCanvas& first = *FPreview.Canvas();
    EXPECT_EQ(first.PixelsPerInch(), 2539);
    first.Font().Size = 10;
    first.Font().Name = QStringLiteral("Courier New");
    first.TextRect(TRect{0, 0, 1000, 1000}, QStringLiteral("x"), tfSingleLine);
    FPreview.NewPage();
    EXPECT_EQ(FPreview.Canvas()->Font().Size, 8);
    EXPECT_EQ(FPreview.Canvas()->Font().Name, QStringLiteral("Arial"));
    FPreview.Canvas()->Rectangle(0, 0, 10, 10);
    FPreview.EndDoc();

    const auto& records = FPreview.PageList().GetEntry(0).Metafile()->Records();
    ASSERT_FALSE(records.empty());
    const auto* font = std::get_if<rec::Font>(&records[0]);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->Value.Height, 353) << "10 pt at 2539 units per inch";
    EXPECT_EQ(font->Value.Name, QStringLiteral("Courier New"));
    const auto& second = FPreview.PageList().GetEntry(1).Metafile()->Records();
    EXPECT_EQ(std::get<rec::Font>(second[0]).Value.Height, 282) << "8 pt Arial again";
    EXPECT_EQ(std::get<rec::Pen>(second[1]).Value, TPenSpec{});
    EXPECT_EQ(std::get<rec::Brush>(second[2]).Value, TBrushSpec{});
}

TEST_F(Preview, AbortDocReturnsToReady)
{
    FPreview.BeginDoc();
    FPreview.AbortDoc();
    EXPECT_EQ(FPreview.State(), psReady);
    EXPECT_EQ(FPreview.TotalPages(), 0);
    FPreview.BeginDoc();
    EXPECT_EQ(FPreview.State(), psCreating);
}

TEST_F(Preview, StorageFailureLeavesTheDocumentOpen)
{
    FPreview.SetCacheSize(1);
    FPreview.PageList().SetStorageDirectory("/nonexistent/dir");
    FPreview.BeginDoc();
    FPreview.NewPage(); // page 1 stored in memory
    try {
        FPreview.NewPage(); // storing page 2 evicts page 1 to a file that cannot be made
        ADD_FAILURE();
    } catch (const hostutils::Exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create the temporary page file in \"/nonexistent/dir\": No such file or directory");
    }
    EXPECT_EQ(FPreview.State(), psCreating);
    EXPECT_EQ(FPreview.TotalPages(), 1);
    FPreview.AbortDoc();
    EXPECT_EQ(FPreview.State(), psReady);
}

} // namespace
