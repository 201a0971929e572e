// Recorded pages played into images and PDF files, checked with real tools:
// a barcode reader and the PDF inspector.

#include "TestPeers.h"
#include "diroze/PrintSpool.h"
#include "barcodes/Barcodes.h"
#include "preview/PrintPreview.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace diroze;
using printspool::HaveTool;
using printspool::Tool;

namespace {

// Records one A4 page with one label-sized barcode per code, 42 x 20 mm each.
void RecordCodes(TPrintPreview& aPreview, const QStringList& aCodes)
{
    aPreview.BeginDoc();
    TCanvas& canvas = *aPreview.Canvas();
    int y = 1000;
    for (const QString& data : aCodes) {
        std::unique_ptr<TNumeric1DBarCode> code;
        if (data.size() > 8)
            code = std::make_unique<TEAN13BarCode>();
        else
            code = std::make_unique<TEAN8BarCode>();
        code->SetData(data);
        code->Draw(canvas, TRect{1000, y, 5200, y + 2000});
        y += 3000;
    }
    aPreview.EndDoc();
}

TEST(PlaybackPeers, BarcodesDecodeFromAnImageAtLabelSize)
{
    if (!HaveTool("zbarimg"))
        SKIP_WITHOUT_PEER("zbarimg (zbar-tools) is not installed");
    const QStringList codes = {"5901234123457", "8590000123455", "4006381333931", "96385074", "40063812"};
    TPrintPreview preview;
    RecordCodes(preview, codes);
    QTemporaryDir dir;
    for (bool antialias : {true, false}) {
        SCOPED_TRACE(antialias);
        // 300 dpi: 21000 units are 2480 pixels.
        QImage image(2480, 3508, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        preview.PageList().GetEntry(0).Metafile()->Play(painter, QRectF(0, 0, 2480, 3508), antialias);
        painter.end();
        const QString path = dir.filePath(QStringLiteral("codes.png"));
        ASSERT_TRUE(image.save(path));
        QStringList found = Tool(QStringLiteral("zbarimg"), {"-q", "--raw", path}).split('\n', Qt::SkipEmptyParts);
        found.sort();
        QStringList expected = codes;
        expected.sort();
        EXPECT_EQ(found, expected);
    }
}

TEST(PlaybackPeers, PdfPageHasThePapersSizeAndScannableCodes)
{
    if (!HaveTool("pdfinfo") || !HaveTool("pdftoppm") || !HaveTool("zbarimg"))
        SKIP_WITHOUT_PEER("poppler-utils or zbar-tools are not installed");
    TPrintPreview preview;
    preview.SetPaperType(pA5);
    preview.SetOrientation(poLandscape);
    RecordCodes(preview, {"5901234123457", "96385074"});
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
    {
        QPdfWriter writer(pdf);
        writer.setResolution(1200);
        writer.setPageLayout(QPageLayout(QPageSize(QSizeF(210, 148), QPageSize::Millimeter), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0)));
        QPainter painter(&writer);
        const QRectF full(0, 0, writer.width(), writer.height());
        preview.PageList().GetEntry(0).Metafile()->Play(painter, full);
    }
    // 210 x 148 mm is 595.3 x 419.5 pt; the writer keeps whole points.
    const QString info = Tool(QStringLiteral("pdfinfo"), {pdf});
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts")).match(info);
    ASSERT_TRUE(size.hasMatch()) << info.toStdString();
    EXPECT_NEAR(size.captured(1).toDouble(), 595.3, 0.5);
    EXPECT_NEAR(size.captured(2).toDouble(), 419.5, 0.6);
    Tool(QStringLiteral("pdftoppm"), {"-r", "300", "-png", pdf, dir.filePath(QStringLiteral("page"))});
    QStringList found = Tool(QStringLiteral("zbarimg"), {"-q", "--raw", dir.filePath(QStringLiteral("page-1.png"))})
                            .split('\n', Qt::SkipEmptyParts);
    found.sort();
    EXPECT_EQ(found, (QStringList{"5901234123457", "96385074"}));
}

// Clipping paths in the content of a one-page PDF that aPage is played into.
int PdfClips(const TMetafile& aPage, const QTemporaryDir& aDir)
{
    const QString pdf = aDir.filePath(QStringLiteral("texts.pdf")), qdf = aDir.filePath(QStringLiteral("texts.qdf"));
    {
        QPdfWriter writer(pdf);
        writer.setResolution(1200);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        QPainter painter(&writer);
        aPage.Play(painter, QRectF(0, 0, writer.width(), writer.height()));
    }
    int exitCode = -1;
    Tool(QStringLiteral("qpdf"), {"--qdf", "--object-streams=disable", pdf, qdf}, &exitCode);
    QFile file(qdf);
    if (exitCode != 0 || !file.open(QIODevice::ReadOnly))
        return -1;
    return int(QString::fromLatin1(file.readAll()).count(QRegularExpression(QStringLiteral("\\sW\\*? n\\s"))));
}

// A text whose lines lie inside its box reaches a PDF page without a clip of
// its own; one that does not fit is still cut at its box.
TEST(PlaybackPeers, OnlyTextsOutgrowingTheirBoxesAreClippedInThePdf)
{
    if (!HaveTool("qpdf"))
        SKIP_WITHOUT_PEER("qpdf is not installed");
    QTemporaryDir dir;
    TMetafile empty(21000, 29700);
    const int pageClips = PdfClips(empty, dir);
    ASSERT_GE(pageClips, 0);
    const struct {
        const char* proves;
        int size;     // points
        int height;   // of each box, hundredths of a millimetre
        bool clipped; // each text: at least one clipping path beyond the page's
    } rows[] = {
        {"forty one-line texts that fit: no clip", 10, 600, false},
        {"forty texts taller than their boxes: a clip each", 18, 300, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.proves);
        TMetafile page(21000, 29700);
        TCanvas canvas(page, 2540);
        canvas.Font().Size = row.size;
        for (int i = 0; i < 40; ++i) {
            const int top = 1000 + i * 700;
            canvas.TextRect(TRect{1000, top, 20000, top + row.height}, QStringLiteral("Šroubek M6 × 20 č. %1").arg(i),
                            tfSingleLine);
        }
        const int clips = PdfClips(page, dir) - pageClips;
        if (row.clipped)
            EXPECT_GE(clips, 40);
        else
            EXPECT_EQ(clips, 0);
    }
}

} // namespace
