// Printing on the page engine: the printer form search against given form
// lists, and the job's steps, page choice and failures on a printer object
// that writes a PDF file (no spooler needed).

#include "TestPeers.h"
#include "diroze/PrintSpool.h"
#include "diroze/preview/RecordedPages.h"
#include "QtPrinters.h"
#include "preview/PrintPreview.h"
#include "preview/PrinterSetup.h"

#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace diroze;
using printspool::HaveTool;
using printspool::Tool;

namespace {

// Forms as a printer lists them, thousandths of a millimetre.
const std::vector<TPrinterForm> kForms = {
    {"Letter", 215900, 279400},
    {"A4", 210000, 297000},
    {"A5", 148000, 210000},
    {"Tabloid", 279400, 431800},
    {"Label 100x150", 100000, 150000},
    {"Half 210", 210500, 148500},
};

TEST(PrintForms, SearchFindsDirectRotatedOrMadeUpNames)
{
    struct Row {
        const char* proves;
        std::vector<TPrinterForm> forms;
        int64_t widthMm, heightMm;
        bool turned;
        QString formName, virtualName;
    };
    const std::vector<Row> rows = {
        {"A4 portrait: the direct form", kForms, 210, 297, false, "A4", ""},
        {"A4 landscape: the same form, searched in portrait position", kForms, 210, 297, true, "A4", ""},
        {"Letter 215.9 x 279.4 rounds to 216 x 279", kForms, 216, 279, false, "Letter", ""},
        {"a form of 210.5 x 148.5 mm rounds half to even: 210 x 148", kForms, 210, 148, false, "Half 210", ""},
        {"no form: made-up name", kForms, 120, 80, false, "", "120mm x 80mm"},
        {"no form, landscape: made-up name turned and Rotated", kForms, 100, 160, true, "", "160mm x 100mm Rotated"},
        {"a form that fits only turned, portrait page: Rotated", kForms, 432, 279, false, "", "Tabloid Rotated"},
        {"a form that fits only turned, landscape page: the form lies right", kForms, 432, 279, true, "", "Tabloid"},
        {"two turned forms: the later wins",
         {{"First", 297000, 210000}, {"Second", 297400, 209600}},
         210,
         297,
         false,
         "",
         "Second Rotated"},
        {"a direct form after a turned one ends the search with no virtual name",
         {{"Turned", 297000, 210000}, {"Direct", 210000, 297000}},
         210,
         297,
         false,
         "Direct",
         ""},
        {"no forms at all", {}, 100, 150, false, "", "100mm x 150mm"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        const TFormNames names = SearchForms(row.forms, row.widthMm, row.heightMm, row.turned);
        EXPECT_EQ(names.FormName, row.formName);
        EXPECT_EQ(names.VirtualFormName, row.virtualName);
    }
}

bool HavePoppler() { return HaveTool("pdftotext") && HaveTool("pdfinfo"); }

// Records aCount pages; page N says "Strana N".
void RecordPages(TPrintPreview& aPreview, int aCount)
{
    recordedpages::RecordPages(aPreview, aCount, [](TCanvas& aCanvas, int aPage) {
        aCanvas.Font().Size = 20;
        aCanvas.TextRect(TRect{2000, 5000, 9000, 7000}, QStringLiteral("Strana %1").arg(aPage), tfLeft | tfSingleLine);
    });
}

// The page numbers printed into aPdf, in page order.
std::vector<int> PrintedPages(const QString& aPdf)
{
    std::vector<int> pages;
    const QString text = Tool(QStringLiteral("pdftotext"), {aPdf, QStringLiteral("-")});
    QRegularExpressionMatchIterator it = QRegularExpression(QStringLiteral("Strana (\\d+)")).globalMatch(text);
    while (it.hasNext())
        pages.push_back(it.next().captured(1).toInt());
    return pages;
}

TEST(PrintEngine, RangesAndListsPrintTheChosenPagesInOrder)
{
    if (!HavePoppler())
        SKIP_WITHOUT_PEER("poppler-utils are not installed");
    TPrintPreview preview;
    RecordPages(preview, 3);
    QTemporaryDir dir;
    struct Row {
        const char* proves;
        std::function<void()> print;
        std::vector<int> pages;
    };
    const std::vector<Row> rows = {
        {"0 to 0 prints nothing", [&] { preview.PrintPages(0, 0); }, {}},
        {"2 to 99 is cut at the last page", [&] { preview.PrintPages(2, 99); }, {2, 3}},
        {"5 to 7 lies beyond the last page", [&] { preview.PrintPages(5, 7); }, {}},
        {"a reversed range prints nothing", [&] { preview.PrintPages(3, 2); }, {}},
        {"-4 to 1 starts at page 1", [&] { preview.PrintPages(-4, 1); }, {1}},
        {"Print prints every page", [&] { preview.Print(); }, {1, 2, 3}},
        {"a list prints in list order, repeats included",
         [&] {
             preview.PrintPagesEx({3, 1, 3});
         },
         {3, 1, 3}},
        {"an empty list prints nothing", [&] { preview.PrintPagesEx({}); }, {}},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        const QString pdf = dir.filePath(QStringLiteral("out%1.pdf").arg(++n));
        preview.Printer().setOutputFileName(pdf);
        row.print();
        EXPECT_EQ(preview.State(), psReady);
        if (row.pages.empty()) {
            EXPECT_FALSE(QFile::exists(pdf));
            continue;
        }
        EXPECT_EQ(PrintedPages(pdf), row.pages);
        EXPECT_TRUE(Tool(QStringLiteral("pdfinfo"), {pdf})
                        .contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(row.pages.size()))));
    }
}

TEST(PrintEngine, StepsRunInOrderAndSkippedPagesAreNotPrinted)
{
    if (!HavePoppler())
        SKIP_WITHOUT_PEER("poppler-utils are not installed");
    TPrintPreview preview;
    RecordPages(preview, 3);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("steps.pdf"));
    preview.Printer().setOutputFileName(pdf);
    QStringList steps;
    preview.OnStateChange = [&] { steps << QStringLiteral("state %1").arg(int(preview.State())); };
    preview.OnBeforePrint = [&] { steps << QStringLiteral("before"); };
    preview.OnProgress = [&](int aDone, int aTotal) {
        steps << QStringLiteral("progress %1/%2").arg(aDone).arg(aTotal);
        preview.Print(); // a nested print does nothing while printing
    };
    preview.OnPageProcessing = [&](int aPageNo, TPageProcessingChoice& aChoice) {
        EXPECT_EQ(aChoice, pcAccept);
        steps << QStringLiteral("choose %1").arg(aPageNo);
        if (aPageNo == 2)
            aChoice = pcIgnore;
    };
    preview.OnPrintBackground = [&](int aPageNo, QPainter&) { steps << QStringLiteral("background %1").arg(aPageNo); };
    preview.OnPrintAnnotation = [&](int aPageNo, QPainter&) { steps << QStringLiteral("annotation %1").arg(aPageNo); };
    preview.OnAfterPrint = [&] { steps << QStringLiteral("after"); };
    preview.Print();
    EXPECT_EQ(steps, (QStringList{"state 2", "before", "progress 0/3", "choose 1", "background 1", "annotation 1",
                                  "progress 1/3", "choose 2", "progress 2/3", "choose 3", "background 3",
                                  "annotation 3", "progress 3/3", "after", "state 0"}));
    EXPECT_EQ(PrintedPages(pdf), (std::vector<int>{1, 3}));
    EXPECT_TRUE(preview.Printer().docName().isEmpty());
}

TEST(PrintEngine, CancelSkipAllAndFailuresLeaveTheEngineReady)
{
    if (!HavePoppler())
        SKIP_WITHOUT_PEER("poppler-utils are not installed");
    TPrintPreview preview;
    RecordPages(preview, 3);
    QTemporaryDir dir;
    int afterPrint = 0;
    preview.OnAfterPrint = [&] { ++afterPrint; };

    // Cancelling at page 2 aborts the job without an error.
    preview.OnPageProcessing = [](int aPageNo, TPageProcessingChoice& aChoice) {
        if (aPageNo == 2)
            aChoice = pcCancellAll;
    };
    preview.Printer().setOutputFileName(dir.filePath(QStringLiteral("cancelled.pdf")));
    EXPECT_NO_THROW(preview.Print());
    EXPECT_EQ(preview.State(), psReady);
    EXPECT_EQ(afterPrint, 1);
    EXPECT_TRUE(PrintedPages(dir.filePath(QStringLiteral("cancelled.pdf"))).empty());

    // Every page skipped: no blank sheet is handed over.
    preview.OnPageProcessing = [](int, TPageProcessingChoice& aChoice) { aChoice = pcIgnore; };
    preview.Printer().setOutputFileName(dir.filePath(QStringLiteral("skipped.pdf")));
    EXPECT_NO_THROW(preview.Print());
    EXPECT_TRUE(PrintedPages(dir.filePath(QStringLiteral("skipped.pdf"))).empty());
    preview.OnPageProcessing = nullptr;

    // A page the store does not hold: the store's error, the job aborted.
    preview.Printer().setOutputFileName(dir.filePath(QStringLiteral("missing.pdf")));
    try {
        preview.PrintPagesEx({1, 7});
        ADD_FAILURE() << "page 7 of 3 printed";
    } catch (const hostutils::EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (6)");
    }
    EXPECT_EQ(preview.State(), psReady);
    EXPECT_EQ(afterPrint, 3);

    // A handler's error leaves the same way.
    preview.OnPrintAnnotation = [](int, QPainter&) { throw std::runtime_error("toner low"); };
    EXPECT_THROW(preview.Print(), std::runtime_error);
    EXPECT_EQ(preview.State(), psReady);
    preview.OnPrintAnnotation = nullptr;

    // The engine is not stuck: the next print works.
    const QString again = dir.filePath(QStringLiteral("again.pdf"));
    preview.Printer().setOutputFileName(again);
    preview.PrintPages(1, 2);
    EXPECT_EQ(PrintedPages(again), (std::vector<int>{1, 2}));
}

TEST(PrintEngine, PaperBeyondWhatAPrinterTakesFailsBeforeAnyJob)
{
    TPrintPreview preview;
    preview.SetPaperType(pCustom);
    preview.SetPaperWidth(10000);
    preview.SetPaperHeight(327680); // 3276.8 mm
    RecordPages(preview, 1);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("huge.pdf"));
    preview.Printer().setOutputFileName(pdf);
    int before = 0;
    preview.OnBeforePrint = [&] { ++before; };
    try {
        preview.Print();
        ADD_FAILURE() << "a 3276.8 mm sheet printed";
    } catch (const EPrinter& e) {
        EXPECT_STREQ(e.what(), "Paper of 100 x 3276.8 mm is larger than a printer accepts (3276.7 mm)");
    }
    EXPECT_EQ(before, 1);
    EXPECT_EQ(preview.State(), psReady);
    EXPECT_FALSE(QFile::exists(pdf));

    // 3276.7 mm still prints.
    preview.SetPaperHeight(327670);
    RecordPages(preview, 1);
    preview.Print();
    EXPECT_TRUE(QFile::exists(pdf));
}

TEST(PrintEngine, PhysicalPageBoundsAreThePaperInPrinterPixels)
{
    TPrintPreview preview;
    QTemporaryDir dir;
    preview.Printer().setOutputFileName(dir.filePath(QStringLiteral("x.pdf")));
    preview.Printer().setResolution(600);
    // 210 mm at 600 dpi: 4960.6 pixels; 297 mm: 7015.7; origin at the paper's corner.
    EXPECT_EQ(preview.PrinterPhysicalPageBounds(), (TRect{0, 0, 4961, 7016}));
    preview.SetOrientation(poLandscape);
    EXPECT_EQ(preview.PrinterPhysicalPageBounds(), (TRect{0, 0, 7016, 4961}));
}

} // namespace
