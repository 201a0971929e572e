// Printing through a real CUPS scheduler into its PDF printer: page ranges,
// paper sizes and orientation as they reach the sheet, true-size placement,
// an empty job title, a cancelled job and a printer that refuses the job.

#include "TestPeers.h"
#include "diroze/PrintSpool.h"
#include "diroze/preview/RecordedPages.h"
#include "DataFile.h"
#include "Papir.h"
#include "ParamParser.h"
#include "PrinterIni.h"
#include "Render.h"
#include "QtPrinters.h"
#include "preview/PrintPreview.h"

#include <QDir>
#include <QImage>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace diroze;
using namespace printspool;

namespace {

#define SKIP_WITHOUT_SPOOLER()                                                                                         \
    if (const QString why = Unavailable(); !why.isEmpty()) {                                                           \
        SKIP_WITHOUT_PEER(why.toStdString());                                                                          \
    }

void RecordPages(TPrintPreview& aPreview, int aCount) { recordedpages::RecordMarkedPages(aPreview, aCount); }

QString Info(const QString& aPdf, const QString& aKey)
{
    const QRegularExpressionMatch m =
        QRegularExpression(aKey + QStringLiteral(":\\s+(.*)\\n")).match(Tool(QStringLiteral("pdfinfo"), {aPdf}));
    return m.hasMatch() ? m.captured(1) : QString();
}

// The dark pixels of page 1 at 10 pixels per millimetre, within aArea (millimetres).
QRect DarkBox(const QString& aPdf, const QRect& aArea)
{
    QTemporaryDir dir;
    Tool(QStringLiteral("pdftoppm"), {"-r", "254", "-gray", "-png", "-f", "1", "-l", "1", "-singlefile", aPdf,
                                      dir.filePath(QStringLiteral("page"))});
    const QImage image(dir.filePath(QStringLiteral("page.png")));
    QRect box;
    for (int y = aArea.top() * 10; y < std::min(image.height(), (aArea.bottom() + 1) * 10); ++y)
        for (int x = aArea.left() * 10; x < std::min(image.width(), (aArea.right() + 1) * 10); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(PrintSpooler, RangeAndAllPagesReachThePrinterWithAnEmptyTitle)
{
    SKIP_WITHOUT_SPOOLER();
    TPrintPreview preview;
    RecordPages(preview, 5);
    preview.Printer().setPrinterName(kQueue);
    {
        TSpoolSession spool;
        ASSERT_TRUE(spool.Locked());
        preview.PrintPages(2, 3);
        const QString pdf = spool.WaitForPdf(preview.LastJobId());
        ASSERT_FALSE(pdf.isEmpty()) << "no PDF from the queue";
        EXPECT_EQ(Info(pdf, QStringLiteral("Pages")), QStringLiteral("2"));
        EXPECT_EQ(PrintedPages(pdf), (std::vector<int>{2, 3}));
        EXPECT_EQ(Info(pdf, QStringLiteral("Title")), QStringLiteral("()")); // the job has no title
    }
    {
        TSpoolSession spool;
        ASSERT_TRUE(spool.Locked());
        preview.Print();
        const QString pdf = spool.WaitForPdf(preview.LastJobId());
        ASSERT_FALSE(pdf.isEmpty()) << "no PDF from the queue";
        EXPECT_EQ(Info(pdf, QStringLiteral("Pages")), QStringLiteral("5"));
        EXPECT_EQ(PrintedPages(pdf), (std::vector<int>{1, 2, 3, 4, 5}));
    }
    EXPECT_EQ(preview.State(), psReady);
}

TEST(PrintSpooler, PaperSizeOrientationAndTrueSizePlacement)
{
    SKIP_WITHOUT_SPOOLER();
    struct Row {
        const char* proves;
        TPaperType type;
        TPrinterOrientation orientation;
        TPoint customSize; // hundredths of a millimetre as oriented, for pCustom
        QString formName;
        bool dummy;
        double widthPt, heightPt; // the sheet as it leaves the printer, portrait
        QRectF square;            // where the 10 mm square lands on it, millimetres
        QString printerIni = {};  // the calibration the job reads
    };
    // A landscape page is printed turned on portrait paper: its top-left
    // corner lies at the sheet's bottom-left.
    // clang-format off
    const std::vector<Row> rows = {
        {"A4 portrait", pA4, poPortrait, {}, "A4", false, 595.3, 841.9, QRect(20, 30, 10, 10)},
        {"A4 landscape: same form, the page turned", pA4, poLandscape, {}, "A4", false, 595.3, 841.9, QRect(30, 297 - 30, 10, 10)},
        {"A5 portrait: the printer's own A5 is 421 x 595 pt", pA5, poPortrait, {}, "A5", false, 421, 595.3, QRect(20, 30, 10, 10)},
        {"custom 100 x 150 mm: no form fits, a custom size", pCustom, poPortrait, {10000, 15000}, "100mm x 150mm", true, 283.5, 425.2, QRect(20, 30, 10, 10)},
        {"custom 150 x 100 mm landscape: sent in portrait position", pCustom, poLandscape, {15000, 10000}, "150mm x 100mm Rotated", true, 283.5, 425.2, QRect(30, 150 - 30, 10, 10)},
        {"B4 is 250 x 354 mm, not JIS B4", pB4, poPortrait, {}, "250mm x 354mm", true, 708.7, 1003.5, QRect(20, 30, 10, 10)},
        {"custom 210.4 x 297 mm: the printer's A4, within half a millimetre", pCustom, poPortrait, {21040, 29700}, "A4", false, 595.3, 841.9, QRect(20, 30, 10, 10)},
        {"custom 210.6 x 297 mm: more than half a millimetre off A4, a custom size", pCustom, poPortrait, {21060, 29700}, "211mm x 297mm", true, 597, 841.9, QRect(20, 30, 10, 10)},
        {"a calibrated printer shifts the page", pA4, poPortrait, {}, "A4", false, 595.3, 841.9, QRectF(21.5, 28, 10, 10), "[Printer]\nName=diroze-pdf\n[DIROZE-PDF]\nOffsetX=1.5\nOffsetY=-2\n"},
        {"another printer's calibration does not", pA4, poPortrait, {}, "A4", false, 595.3, 841.9, QRect(20, 30, 10, 10), "[diroze-other]\nOffsetX=1.5\nOffsetY=-2\n"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        TPrintPreview preview;
        preview.SetPaperType(row.type);
        preview.SetOrientation(row.orientation);
        if (row.type == pCustom) {
            preview.SetPaperWidth(row.customSize.X);
            preview.SetPaperHeight(row.customSize.Y);
        }
        RecordPages(preview, 1);
        preview.Printer().setPrinterName(kQueue);
        preview.OnPrinterCalibration = [&](const QString& aPrinter) {
            return PrinterCalibration(row.printerIni, aPrinter);
        };
        EXPECT_EQ(preview.FormName(), row.formName);
        EXPECT_EQ(preview.IsDummyFormName(), row.dummy);

        TSpoolSession spool;
        ASSERT_TRUE(spool.Locked());
        preview.Print();
        // The printer's layout has the paper's size to half a millimetre.
        const QPageLayout layout = preview.Printer().pageLayout();
        EXPECT_EQ(layout.orientation() == QPageLayout::Landscape, row.orientation == poLandscape);
        const QSizeF mm = layout.fullRect(QPageLayout::Millimeter).size();
        EXPECT_NEAR(mm.width(), preview.PageSize().X / 100.0, 0.5);
        EXPECT_NEAR(mm.height(), preview.PageSize().Y / 100.0, 0.5);
        const QString pdf = spool.WaitForPdf(preview.LastJobId());
        ASSERT_FALSE(pdf.isEmpty()) << "no PDF from the queue";
        const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("([0-9.]+) x ([0-9.]+) pts"))
                                                 .match(Info(pdf, QStringLiteral("Page size")));
        ASSERT_TRUE(size.hasMatch());
        // Pages are sized in whole points.
        EXPECT_NEAR(size.captured(1).toDouble(), row.widthPt, 0.5);
        EXPECT_NEAR(size.captured(2).toDouble(), row.heightPt, 0.5);
        // Edges within 0.2 mm of where the page put them, measured from the sheet's corner.
        const QRect box = DarkBox(pdf, row.square.toAlignedRect().adjusted(-8, -8, 8, 8));
        EXPECT_NEAR(box.left(), row.square.left() * 10, 2);
        EXPECT_NEAR(box.top(), row.square.top() * 10, 2);
        EXPECT_NEAR(box.right() + 1, (row.square.left() + 10) * 10, 2);
        EXPECT_NEAR(box.bottom() + 1, (row.square.top() + 10) * 10, 2);
    }
}

// A label sheet printed on a queue whose PPD says 300 dpi and on one whose
// PPD says 203 dpi: the job's pages are drawn at that resolution, so every
// bar module of the sheet as printed is a whole number of the printer's
// dots, less the bar width reduction. Measured on the PDF rendered at ten
// pixels a dot.
TEST(PrintSpooler, BarModulesAreWholeDotsOfTheQueuesResolution)
{
    SKIP_WITHOUT_SPOOLER();
    const QString thermal = QStringLiteral("diroze-thermal203");
    if (!QPrinterInfo::availablePrinterNames().contains(thermal))
        SKIP_WITHOUT_PEER("no CUPS queue diroze-thermal203 (scripts/start-services.sh makes it)");
    TStitekList labels;
    const hostutils::TParamParser noSwitches;
    LoadFile(labels, QStringLiteral(EXAMPLES_DIR "/stitky.txt"), DefaultOptionsFromParams(noSwitches), noSwitches);
    TPrintPreview preview;
    Render(preview, labels, DefaultPapir(), false);
    const rec::Bars* bars = nullptr;
    for (const TMetaRecord& r : preview.PageList().GetEntry(0).Metafile()->Records())
        if (!bars)
            bars = std::get_if<rec::Bars>(&r);
    ASSERT_NE(bars, nullptr);

    for (const auto& [queue, dpi] : {std::pair{kQueue, 300}, std::pair{thermal, 203}}) {
        SCOPED_TRACE(queue.toStdString());
        preview.Printer().setPrinterName(queue);
        TSpoolSession spool;
        preview.Print();
        EXPECT_EQ(preview.Printer().resolution(), dpi);
        const QString pdf = spool.WaitForPdf(preview.LastJobId());
        ASSERT_FALSE(pdf.isEmpty()) << "no PDF from the queue";

        // One row across the symbol's middle, aPerDot pixels a printer dot:
        // the dark and light runs from the first dark pixel.
        auto rowRuns = [&](int aPerDot) {
            const int scale = aPerDot * dpi;
            auto pixels = [&](int32_t aHiMetric) { return int(std::lround(aHiMetric / 2540.0 * scale)); };
            const int x = pixels(bars->R.Left) - 4 * aPerDot, y = pixels((bars->R.Top + bars->R.Bottom) / 2);
            const int width = pixels(bars->R.Right) + 4 * aPerDot - x;
            QTemporaryDir dir;
            Tool(QStringLiteral("pdftoppm"), {"-r", QString::number(scale), "-x", QString::number(x), "-y",
                                              QString::number(y), "-W", QString::number(width), "-H", "1", "-gray",
                                              "-png", "-singlefile", pdf, dir.filePath(QStringLiteral("row"))});
            const QImage row(dir.filePath(QStringLiteral("row.png")));
            std::vector<int> runs;
            for (int px = 0; px < row.width(); ++px) {
                const bool dark = qGray(row.pixel(px, 0)) < 128;
                if (runs.empty() && !dark)
                    continue;
                if (runs.empty() || dark != (runs.size() % 2 == 1))
                    runs.push_back(0);
                ++runs.back();
            }
            if (runs.size() % 2 == 0 && !runs.empty())
                runs.pop_back(); // the white beyond the last bar
            return runs;
        };
        // Each bar is drawn a quarter of a dot narrower on each side, which
        // the driver's rasteriser takes back.
        std::vector<int> runs = rowRuns(10);
        ASSERT_EQ(runs.size(), bars->Runs.size());
        const int dots = int(std::lround((runs[0] + 5) / 10.0 / bars->Runs[0]));
        for (size_t k = 0; k < runs.size(); ++k)
            EXPECT_NEAR(runs[k], bars->Runs[k] * dots * 10 + (k % 2 == 0 ? -5 : 5), 2)
                << "element " << k << " of " << runs.size();
        // A rasteriser that paints the pixels whose centre a shape covers
        // (Poppler's) gives back the whole dots at the printer's resolution.
        runs = rowRuns(1);
        ASSERT_EQ(runs.size(), bars->Runs.size());
        for (size_t k = 0; k < runs.size(); ++k)
            EXPECT_EQ(runs[k], bars->Runs[k] * dots) << "element " << k << " at one pixel a dot";
    }
}

TEST(PrintSpooler, CancelledOrSkippedJobsNeverReachTheSpooler)
{
    SKIP_WITHOUT_SPOOLER();
    TPrintPreview preview;
    RecordPages(preview, 3);
    preview.Printer().setPrinterName(kQueue);
    TSpoolSession spool; // keeps other print tests' jobs out of the count
    ASSERT_TRUE(spool.Locked());
    const std::vector<int> before = JobIds();
    preview.OnPageProcessing = [](int aPageNo, TPageProcessingChoice& aChoice) {
        if (aPageNo == 3)
            aChoice = pcCancellAll;
    };
    EXPECT_NO_THROW(preview.Print());
    preview.OnPageProcessing = [](int, TPageProcessingChoice& aChoice) { aChoice = pcIgnore; };
    EXPECT_NO_THROW(preview.Print());
    // The job is handed over inside Print, so the count is final here.
    EXPECT_EQ(NewJobs(before, JobIds()), 0u);
    EXPECT_EQ(preview.State(), psReady);
}

TEST(PrintSpooler, ARefusedJobIsAnError)
{
    SKIP_WITHOUT_SPOOLER();
    TPrintPreview preview;
    RecordPages(preview, 2);
    preview.Printer().setPrinterName(kRejectingQueue);
    ASSERT_EQ(preview.Printer().printerName(), kRejectingQueue);
    int afterPrint = 0;
    preview.OnAfterPrint = [&] { ++afterPrint; };
    try {
        preview.Print();
        ADD_FAILURE() << "a refused job passed as printed";
    } catch (const EPrinter& e) {
        EXPECT_STREQ(e.what(), "Printer \"diroze-rejecting\" did not accept the job. "
                               "Destination \"diroze-rejecting\" is not accepting jobs.");
    }
    EXPECT_EQ(afterPrint, 1);
    EXPECT_EQ(preview.State(), psReady);
}

} // namespace
