// Recorded pages played into images and PDF files, checked with real tools:
// a barcode reader and the PDF inspector.

#include "TestPeers.h"
#include "diroze/PrintSpool.h"
#include "barcodes/Barcodes.h"
#include "preview/PrintPreview.h"

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

} // namespace
