// Sheets at true size: every offered paper and custom sizes written as PDF and
// measured by poppler, and barcodes played at label printers' resolutions and
// read by a real decoder.

#include "TestPeers.h"
#include "diroze/PrintSpool.h"
#include "diroze/ProgramRun.h"
#include "DataFile.h"
#include "FileSizeLimit.h"
#include "Fonts.h"
#include "Papir.h"
#include "ParamParser.h"
#include "PdfOutput.h"
#include "Presets.h"
#include "Render.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <sys/mount.h>
#include <functional>
#include <numeric>
#include <set>

using namespace diroze;
using printspool::HaveTool;
using printspool::Tool;

namespace {

constexpr double kPointsPerMm = 72 / 25.4;

struct Sheet {
    const char* name;
    TPaperType type;
    bool landscape;
    double widthMm, heightMm; // as oriented
    QPoint count;
};

// Every axis differs, so that a mix-up of X and Y moves the last label.
TPapirControls Layout(const Sheet& aSheet)
{
    TPapirControls c;
    c.FontItems = InstalledFontNames();
    c.Format = aSheet.type;
    c.Portrait = !aSheet.landscape;
    c.Width = QString::number(aSheet.landscape ? aSheet.heightMm : aSheet.widthMm);
    c.Height = QString::number(aSheet.landscape ? aSheet.widthMm : aSheet.heightMm);
    if (aSheet.type != pCustom)
        ApplyFormatChange(c, QLocale::c());
    const bool small = aSheet.heightMm < 50;
    c.MarginX = small ? "3" : "7";
    c.MarginY = small ? "2" : "9";
    c.SpaceX = "2";
    c.SpaceY = small ? "0" : "3";
    c.PaddingX = "1.5";
    c.PaddingY = "1";
    c.PocetX = QString::number(aSheet.count.x());
    c.PocetY = QString::number(aSheet.count.y());
    return c;
}

// The word's box in points on the first page of aPdf, and the page size.
struct Measured {
    double pageWidth = 0, pageHeight = 0, xMin = -1, yMin = -1;
};
Measured Measure(const QString& aPdf, const QString& aWord)
{
    const QString html = Tool(QStringLiteral("pdftotext"), {"-bbox", "-f", "1", "-l", "1", aPdf, "-"});
    Measured m;
    const QRegularExpressionMatch page =
        QRegularExpression(QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\"")).match(html);
    if (page.hasMatch()) {
        m.pageWidth = page.captured(1).toDouble();
        m.pageHeight = page.captured(2).toDouble();
    }
    const QRegularExpressionMatch word =
        QRegularExpression(QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>%1</word>").arg(aWord))
            .match(html);
    if (word.hasMatch()) {
        m.xMin = word.captured(1).toDouble();
        m.yMin = word.captured(2).toDouble();
    }
    return m;
}

TEST(TrueSize, EveryPaperKeepsItsSizeAndTheLastLabelItsPlace)
{
    if (!HaveTool("pdftotext"))
        SKIP_WITHOUT_PEER("poppler-utils are not installed");
    const std::vector<Sheet> sheets = {
        {"A2", pA2, false, 420, 594, {3, 4}},
        {"A2 landscape", pA2, true, 594, 420, {3, 4}},
        {"A3", pA3, false, 297, 420, {3, 4}},
        {"A3 landscape", pA3, true, 420, 297, {3, 4}},
        {"A4", pA4, false, 210, 297, {3, 4}},
        {"A4 landscape", pA4, true, 297, 210, {3, 4}},
        {"A5", pA5, false, 148, 210, {3, 4}},
        {"A5 landscape", pA5, true, 210, 148, {3, 4}},
        {"B4 (not JIS B4)", pB4, false, 250, 354, {3, 4}},
        {"B4 landscape", pB4, true, 354, 250, {3, 4}},
        {"B5", pB5, false, 182, 257, {3, 4}},
        {"B5 landscape", pB5, true, 257, 182, {3, 4}},
        {"custom 100 x 150", pCustom, false, 100, 150, {3, 4}},
        {"custom 210.5 x 297 (not A4)", pCustom, false, 210.5, 297, {3, 4}},
        {"custom 62 x 29 label", pCustom, false, 62, 29, {2, 1}},
    };
    QTemporaryDir dir;
    for (const Sheet& sheet : sheets) {
        SCOPED_TRACE(sheet.name);
        const TPapir p = ReadPapir(Layout(sheet), QLocale::c());
        TStitekList labels;
        const int cells = sheet.count.x() * sheet.count.y();
        for (int i = 1; i <= cells; ++i)
            labels.push_back(std::make_unique<TStitek>(
                i < cells ? QStringLiteral(";L%1").arg(i) : QStringLiteral(";LAST"), TStitekOptions{}));
        TPrintPreview preview;
        Render(preview, labels, p, false);
        const QString pdf = dir.filePath(QStringLiteral("%1.pdf").arg(sheet.name));
        WritePdf(preview, pdf);

        const Measured m = Measure(pdf, QStringLiteral("LAST"));
        // Qt's PDF writer sizes pages in whole points.
        EXPECT_LT(std::fabs(m.pageWidth - sheet.widthMm * kPointsPerMm), 0.5) << m.pageWidth;
        EXPECT_LT(std::fabs(m.pageHeight - sheet.heightMm * kPointsPerMm), 0.5) << m.pageHeight;
        // The last cell, padded: its text starts at the cell's top left.
        const int64_t w = (p.Velikost.X - 2 * p.Okraj.X - (p.Pocet.X - 1) * p.Mezery.X) / p.Pocet.X;
        const int64_t h = (p.Velikost.Y - 2 * p.Okraj.Y - (p.Pocet.Y - 1) * p.Mezery.Y) / p.Pocet.Y;
        const double left = (p.Okraj.X + (p.Mezery.X + w) * (p.Pocet.X - 1) + p.Vycpavka.X) / 100.0;
        const double top = (p.Okraj.Y + (p.Mezery.Y + h) * (p.Pocet.Y - 1) + p.Vycpavka.Y) / 100.0;
        EXPECT_NEAR(m.xMin / kPointsPerMm, left, 0.2);
        EXPECT_NEAR(m.yMin / kPointsPerMm, top, 0.2);
    }
}

// A full disk under aDir for one scope: a 16 KiB tmpfs mounted over it
// (only the superuser may; Mounted() tells).
class TSmallDisk {
public:
    explicit TSmallDisk(const QString& aDir)
            : FDir(QFile::encodeName(aDir)), FMounted(::mount("tmpfs", FDir.constData(), "tmpfs", 0, "size=16k") == 0)
    {
    }
    ~TSmallDisk()
    {
        if (FMounted)
            ::umount2(FDir.constData(), MNT_DETACH);
    }
    bool Mounted() const { return FMounted; }

private:
    QByteArray FDir;
    bool FMounted;
};

// Both ways to a PDF file, -pdf and the print dialog's "Tisk do souboru
// (PDF)": on a full disk the old file stays whole. The print job's spool
// file lies elsewhere, so only the output's disk is full.
TEST(TrueSize, AFailedPdfLeavesTheOldFileWhole)
{
    TStitekList labels;
    for (int i = 0; i < 400; ++i)
        labels.push_back(
            std::make_unique<TStitek>(QStringLiteral("8590000123455;štítek %1").arg(i), TStitekOptions{soBarCode}));
    TPrintPreview preview;
    Render(preview, labels, DefaultPapir(), false);
    struct Row {
        const char* name;
        std::function<void(const QString&)> write;
        bool smallDisk; // else a file size limit for the whole process
    };
    const std::vector<Row> rows = {
        {"-pdf", [&](const QString& aPdf) { WritePdf(preview, aPdf); }, false},
        {"print to file",
         [&](const QString& aPdf) {
             preview.Printer().setOutputFileName(aPdf);
             preview.Print();
         },
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        std::optional<TSmallDisk> disk;
        if (row.smallDisk) {
            disk.emplace(dir.path());
            if (!disk->Mounted())
                SKIP_WITHOUT_PEER("a small tmpfs cannot be mounted here (not the superuser)");
        }
        const QString pdf = dir.filePath(QStringLiteral("stitky.pdf"));
        QFile file(pdf);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.4 the old sheets\n");
        file.close();
        {
            std::optional<TFileSizeLimit> full;
            if (!row.smallDisk)
                full.emplace(16384);
            EXPECT_THROW(row.write(pdf), hostutils::Exception);
        }
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("%PDF-1.4 the old sheets\n"));
        file.close();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"stitky.pdf"}) << "no temporary file left";
    }
}

// --- barcodes on label printers ---

struct Symbol {
    rec::Bars bars;
    QRect device; // where it lands, in device pixels
};

// Plays every page of aPreview at aDpi, plain, with or without whole dots;
// each page is checked by aCheck and then read by zbarimg. The codes read.
std::multiset<QString> PlayAndDecode(TPrintPreview& aPreview, int aDpi, bool aWholeDots,
                                     const std::function<void(const QImage&, const TMetafile&, double)>& aCheck)
{
    QTemporaryDir dir;
    std::multiset<QString> codes;
    const double scale = aDpi / 2540.0; // device pixels per hundredth of a millimetre
    for (int i = 0; i < aPreview.TotalPages(); ++i) {
        const TMetafile& page = *aPreview.PageList().GetEntry(i).Metafile();
        QImage image(int(std::lround(page.Width() * scale)), int(std::lround(page.Height() * scale)),
                     QImage::Format_Grayscale8);
        image.setDotsPerMeterX(int(std::lround(aDpi / 0.0254)));
        image.setDotsPerMeterY(int(std::lround(aDpi / 0.0254)));
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            page.Play(painter, QRectF(0, 0, page.Width() * scale, page.Height() * scale), false,
                      aWholeDots ? std::optional(TDotPlayback{}) : std::nullopt);
        }
        aCheck(image, page, scale);
        const QString png = dir.filePath(QStringLiteral("page%1.png").arg(i));
        image.save(png);
        for (const QString& code :
             Tool(QStringLiteral("zbarimg"), {"-q", "--raw", png}).split('\n', Qt::SkipEmptyParts))
            codes.insert(code);
    }
    return codes;
}

// The widths of the first aCount alternating dark and light runs of row aY
// from aX on.
std::vector<int> Runs(const QImage& aImage, int aX, int aY, size_t aCount)
{
    std::vector<int> runs;
    bool dark = true;
    int length = 0;
    for (int x = aX; x < aImage.width() && runs.size() < aCount; ++x) {
        const bool now = qGray(aImage.pixel(x, aY)) < 128;
        if (now == dark) {
            ++length;
        } else {
            runs.push_back(length);
            dark = now;
            length = 1;
        }
    }
    if (runs.size() < aCount)
        runs.push_back(length);
    return runs;
}

TEST(TrueSize, BarModulesAreWholePrinterDotsAndDecode)
{
    if (!HaveTool("zbarimg"))
        SKIP_WITHOUT_PEER("zbar-tools are not installed");
    TStitekList labels;
    const hostutils::TParamParser noSwitches;
    LoadFile(labels, QStringLiteral(EXAMPLES_DIR "/stitky.txt"), DefaultOptionsFromParams(noSwitches), noSwitches);
    TPrintPreview preview;
    Render(preview, labels, DefaultPapir(), false);
    const std::multiset<QString> expected(programrun::kExampleCodes.begin(), programrun::kExampleCodes.end());

    for (int dpi : {203, 300}) {
        SCOPED_TRACE(dpi);
        int symbols = 0;
        const auto wholeDots = [&](const QImage& aImage, const TMetafile& aPage, double aScale) {
            for (const TMetaRecord& r : aPage.Records()) {
                const auto* bars = std::get_if<rec::Bars>(&r);
                if (!bars)
                    continue;
                ++symbols;
                // The symbol and its quiet zones of 10 modules at the module
                // printed stay inside its room, the cell's padded body.
                const double roomLeft = (bars->R.Left - 10.0 * bars->Module) * aScale;
                const double roomRight = (bars->R.Right + 10.0 * bars->Module) * aScale;
                const int y = int(std::lround((bars->R.Top + bars->R.Bottom) / 2.0 * aScale));
                int left = int(std::ceil(roomLeft));
                while (left < aImage.width() && qGray(aImage.pixel(left, y)) >= 128)
                    ++left;
                const std::vector<int> runs = Runs(aImage, left, y, bars->Runs.size());
                ASSERT_EQ(runs.size(), bars->Runs.size());
                const int dots = runs[0] / bars->Runs[0];
                for (size_t k = 0; k < runs.size(); ++k)
                    ASSERT_EQ(runs[k], bars->Runs[k] * dots) << "element " << k << " of a symbol at x " << left;
                const int width = std::accumulate(runs.begin(), runs.end(), 0);
                EXPECT_GE(left - 10 * dots, roomLeft - 1) << "left quiet zone";
                EXPECT_LE(left + width + 10 * dots, roomRight + 1) << "right quiet zone";
                // The nearest whole dots, or fewer only as the quiet zones need.
                EXPECT_GE(dots, std::max(1.0, std::floor(bars->Module * aScale)));
                EXPECT_LE(dots, std::max(1L, std::lround(bars->Module * aScale)));
            }
        };
        const std::multiset<QString> decoded = PlayAndDecode(preview, dpi, true, wholeDots);
        EXPECT_EQ(decoded, expected);
        EXPECT_EQ(symbols, 12);

        // The same symbols at their recorded widths, each module rounded on
        // its own: the decode count shows why printers get whole dots.
        const size_t unsnapped =
            PlayAndDecode(preview, dpi, false, [](const QImage&, const TMetafile&, double) {}).size();
        RecordProperty(("decoded_unsnapped_" + std::to_string(dpi)).c_str(), int(unsnapped));
        std::printf("%d dpi: %zu of 12 symbols decode at whole dots, %zu at recorded widths\n", dpi, decoded.size(),
                    unsnapped);
    }
}

} // namespace
