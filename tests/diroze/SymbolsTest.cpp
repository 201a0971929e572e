// Barcode kinds beyond EAN: every kind on a label, written as PDF and read
// back by a real decoder at 300 dpi, and played in whole printer dots at
// 203 dpi; bad fields refused with their line.

#include "TestPeers.h"
#include "diroze/PrintSpool.h"
#include "CheckReport.h"
#include "DataFile.h"
#include "Fonts.h"
#include "Papir.h"
#include "PdfOutput.h"
#include "Render.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using namespace diroze;
using printspool::HaveTool;
using printspool::Tool;

namespace {

// One label of aWidth x aHeight mm on a sheet of its own size.
TPapir LabelSheet(const char* aWidth, const char* aHeight)
{
    TPapirControls c;
    c.FontItems = InstalledFontNames();
    c.Format = pCustom;
    c.Width = aWidth;
    c.Height = aHeight;
    c.MarginX = c.MarginY = c.SpaceX = c.SpaceY = "0";
    c.PaddingX = "2";
    c.PaddingY = "1.5";
    c.PocetX = c.PocetY = "1";
    return ReadPapir(c, QLocale::c());
}

void RenderLine(TPrintPreview& aPreview, const QString& aLine, const TPapir& aPapir)
{
    TStitekList labels;
    const QByteArray utf8 = aLine.toUtf8();
    LoadLabels(labels, std::string_view(utf8.constData(), size_t(utf8.size())), 65001,
               TStitekOptions{soBarCode, soEan});
    Render(aPreview, labels, aPapir, false);
}

// Whether the first row and, for a matrix, the first column of the page's
// symbol lie in aImage (played at aDpi) with every module exactly the whole
// number of dots the player gives it.
void ExpectWholeDots(const QImage& aImage, const TMetafile& aPage, int aDpi)
{
    const rec::Modules* grid = nullptr;
    for (const TMetaRecord& r : aPage.Records())
        if (!grid)
            grid = std::get_if<rec::Modules>(&r);
    ASSERT_NE(grid, nullptr);
    const double scale = aDpi / 2540.0;
    const int left = int(std::lround(grid->R.Left * scale)), top = int(std::lround(grid->R.Top * scale));
    const int right = int(std::floor(grid->R.Right * scale + 1e-6));
    const int bottom = int(std::floor(grid->R.Bottom * scale + 1e-6));
    int high = 0;
    for (uint8_t h : grid->RowHeights)
        high += h;
    const int columns = int(grid->Columns);
    int dots = std::max(1, int(std::lround(grid->Module * scale)));
    while (dots > 1 && (left + columns * dots > right || top + high * dots > bottom))
        --dots;
    const int y = grid->RowHeights[0] == 0 ? int(std::lround((grid->R.Top + grid->R.Bottom) / 2.0 * scale))
                                           : top + grid->RowHeights[0] * dots / 2;
    for (int col = 0; col < columns; ++col) {
        const bool dark = (grid->Bits[size_t(col) / 8] >> (col % 8)) & 1;
        for (int x : {left + col * dots, left + col * dots + dots - 1})
            ASSERT_EQ(qGray(aImage.pixel(x, y)) < 128, dark)
                << "module " << col << " of " << dots << " dots at x " << x;
    }
    // Down the first column of a matrix symbol every row is its own height
    // in whole dots.
    if (grid->RowHeights[0] == 0)
        return;
    int rowTop = top;
    for (size_t row = 0; row < grid->RowHeights.size(); ++row) {
        const size_t bit = row * size_t(columns);
        const bool dark = (grid->Bits[bit / 8] >> (bit % 8)) & 1;
        const int rowBottom = rowTop + grid->RowHeights[row] * dots;
        for (int yy : {rowTop, rowBottom - 1})
            ASSERT_EQ(qGray(aImage.pixel(left + dots / 2, yy)) < 128, dark) << "row " << row << " at y " << yy;
        rowTop = rowBottom;
    }
}

// The first page played plain at aDpi, bar and grid modules in whole dots.
QImage PlayWholeDots(TPrintPreview& aPreview, int aDpi)
{
    const TMetafile& page = *aPreview.PageList().GetEntry(0).Metafile();
    const double scale = aDpi / 2540.0;
    QImage image(int(std::lround(page.Width() * scale)), int(std::lround(page.Height() * scale)),
                 QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    page.Play(painter, QRectF(0, 0, page.Width() * scale, page.Height() * scale), false, TDotPlayback{});
    return image;
}

enum class Decoder { Zbar, Zxing };

// The text of the one symbol in a grey image file, read by aDecoder.
QString Decode(Decoder aDecoder, const QString& aImage)
{
    if (aDecoder == Decoder::Zbar)
        return Tool(QStringLiteral("zbarimg"), {"-q", "--raw", "-Supca.enable", "-Supce.enable", aImage}).chopped(1);
    static const char kScript[] = "import sys, numpy, zxingcpp\n"
                                  "d = open(sys.argv[1], 'rb').read().split(maxsplit=4)\n"
                                  "w, h = int(d[1]), int(d[2])\n"
                                  "a = numpy.frombuffer(d[4][:w * h], dtype=numpy.uint8).reshape(h, w)\n"
                                  "r = zxingcpp.read_barcode(a)\n"
                                  "sys.stdout.buffer.write(r.text.encode() if r else b'')\n";
    return Tool(QStringLiteral("/usr/bin/python3"), {"-c", kScript, aImage});
}

// GS1 element strings as decoders give them (AIs run together, a group
// separator after a variable-length field) in the bracketed form.
QString AiForm(QString aRaw)
{
    if (aRaw.startsWith(u']'))
        aRaw.remove(0, 3);
    QString out;
    for (qsizetype at = 0; at + 2 <= aRaw.size();) {
        const QString ai = aRaw.mid(at, 2);
        at += 2;
        const qsizetype fixed = ai == "01" || ai == "02" ? 14 : ai == "11" || ai == "17" ? 6 : -1;
        const qsizetype end = fixed > 0                           ? at + fixed
                              : aRaw.indexOf(QChar(0x1D), at) < 0 ? aRaw.size()
                                                                  : aRaw.indexOf(QChar(0x1D), at);
        out += u'(' + ai + u')' + aRaw.mid(at, end - at);
        at = end + (end < aRaw.size() && aRaw[end] == QChar(0x1D) ? 1 : 0);
    }
    return out;
}

TEST(Symbols, EveryKindDecodesFromPdfAt300DpiAndInWholeDotsAt203Dpi)
{
    if (!HaveTool("zbarimg") || !HaveTool("pdftoppm"))
        SKIP_WITHOUT_PEER("zbar-tools or poppler-utils are not installed");
    if (Tool(QStringLiteral("/usr/bin/python3"), {"-c", "import numpy, zxingcpp; print('ok')"}) != "ok\n")
        SKIP_WITHOUT_PEER("python3-zxing-cpp is not installed");
    struct Row {
        const char* line;
        Decoder decoder;
        const char* expected; // the decoded text; GS1 in its bracketed form
        bool linear;          // with -numbers, its text is printed under it
    };
    const Row rows[] = {
        {"C128:LOT A\\;12;Code 128 with an escaped semicolon", Decoder::Zbar, "LOT A;12", true},
        {"GS1:(01)09501101530003(17)250101(10)AB12;GS1-128", Decoder::Zbar, "(01)09501101530003(17)250101(10)AB12",
         true},
        {"c39:ABC-123;Code 39, name in lower case", Decoder::Zbar, "ABC-123", true},
        {"ITF14:0950110153000;ITF-14, check digit added", Decoder::Zbar, "09501101530003", true},
        {"UPCA:01234567890;UPC-A", Decoder::Zbar, "012345678905", true},
        {"UPCE:0123456;UPC-E", Decoder::Zbar, "01234565", true},
        {"QR:Příliš žluťoučký kůň úpěl ďábelské ódy;QR with Czech text", Decoder::Zbar,
         "Příliš žluťoučký kůň úpěl ďábelské ódy", false},
        {"DM:Žluťoučký kůň č. 12;Data Matrix with Czech text", Decoder::Zxing, "Žluťoučký kůň č. 12", false},
        {"GS1DM:(01)09501101530003(17)250101(10)AB12;GS1 DataMatrix", Decoder::Zxing,
         "(01)09501101530003(17)250101(10)AB12", false},
        {"PDF417:Řeřicha 250 g, šarže 7;PDF417", Decoder::Zxing, "Řeřicha 250 g, šarže 7", false},
    };
    const TPapir label = LabelSheet("70", "37");
    QTemporaryDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const bool gs1 = QString::fromUtf8(row.line).startsWith(QStringLiteral("GS1"));
        TPrintPreview preview;
        RenderLine(preview, QString::fromUtf8(row.line), label);
        // The number line is the one centred text of the label.
        std::optional<QString> numberLine;
        for (const TMetaRecord& r : preview.PageList().GetEntry(0).Metafile()->Records())
            if (const auto* text = std::get_if<rec::TextRect>(&r); text && (text->Format & tfCenter))
                numberLine = text->Text;
        if (row.linear)
            EXPECT_TRUE(numberLine && numberLine->contains(QString::fromUtf8(row.expected)))
                << numberLine.value_or(QStringLiteral("(none)")).toStdString();
        else
            EXPECT_FALSE(numberLine) << "no number line under a matrix symbol";
        const QString pdf = dir.filePath(QStringLiteral("label.pdf"));
        WritePdf(preview, pdf);
        const QString raster = dir.filePath(QStringLiteral("label300"));
        Tool(QStringLiteral("pdftoppm"), {"-r", "300", "-gray", "-singlefile", pdf, raster});
        const QString at300 = Decode(row.decoder, raster + QStringLiteral(".pgm"));
        EXPECT_EQ(gs1 ? AiForm(at300) : at300, QString::fromUtf8(row.expected)) << "300 dpi from the PDF";

        const QString dots = dir.filePath(QStringLiteral("label203.pgm"));
        const QImage image = PlayWholeDots(preview, 203);
        ExpectWholeDots(image, *preview.PageList().GetEntry(0).Metafile(), 203);
        ASSERT_TRUE(image.save(dots));
        const QString at203 = Decode(row.decoder, dots);
        EXPECT_EQ(gs1 ? AiForm(at203) : at203, QString::fromUtf8(row.expected)) << "203 dpi in whole dots";
    }

    // A symbol that gets less than one dot a module on a small label is refused.
    TPrintPreview preview;
    RenderLine(preview, QStringLiteral("QR:") + QString(1500, u'x'), LabelSheet("20", "15"));
    try {
        PlayWholeDots(preview, 203);
        ADD_FAILURE() << "played a symbol of modules under one dot";
    } catch (const hostutils::Exception& e) {
        EXPECT_NE(std::string(e.what()).find("modul by byl menší než jedna tečka tiskárny"), std::string::npos)
            << e.what();
    }
}

TEST(Symbols, FieldsAreReadWithEscapesAndBadOnesFailWithTheirLine)
{
    struct Row {
        std::string line;
        const char* result; // the label as -check describes it, or the start of the message
        bool fails;
    };
    const Row rows[] = {
        {"C128:a\\;b\\\\;text", "2: C128 a\\;b\\\\ | text", false},
        {"qr:\\G\\x41\\xe1;text", "2: QR \\G\\x41\\xe1 | text", false},
        {"XYZ:1;x", "Neznámý druh čárového kódu \"XYZ\"", true},
        {"12:34", "Data must be numeric value", true},
        {"C128:a\\q1", "C128: neplatná úniková sekvence \"\\q1\"", true},
        {"DM:end\\", "DM: neplatná úniková sekvence \"\\\"", true},
        {"DM:\\x4", "DM: neplatná úniková sekvence \"\\x4\"", true},
        {"QR:", "QR: chybí data", true},
        {"QR:" + std::string(8000, 'A'), "QR: data jsou příliš dlouhá (Error ", true},
        {"UPCA:ABC", "UPCA: data obsahují znaky, které tento druh kódu nezapíše (Error ", true},
        {"C128:žluť", "C128: data obsahují znaky, které tento druh kódu nezapíše (Error ", true},
        {"GS1:(01)123", "GS1: ", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line.substr(0, 40));
        const std::string file = "C128:first;1\n" + row.line + "\nC128:never;3\n";
        TStitekList labels;
        try {
            LoadLabels(labels, file, 65001, TStitekOptions{soBarCode});
            EXPECT_FALSE(row.fails);
            ASSERT_EQ(labels.size(), 3u);
            ASSERT_NE(labels[1]->Symbol(), nullptr);
            EXPECT_EQ(DescribeLabel(2, *labels[1]), QString::fromUtf8(row.result));
        } catch (const EBadLine& e) {
            EXPECT_TRUE(row.fails) << e.what();
            EXPECT_EQ(e.LineNumber(), 2);
            EXPECT_EQ(std::string(e.what()).rfind(row.result, 0), 0u) << e.what();
            EXPECT_EQ(labels.size(), 1u) << "the label before it stays";
        }
    }
    EXPECT_EQ(TSymbolBarCode::Unescape(TSymbolKind::skC128, u"a\\;b\\\\c\\G\\x41\\xe1"), QStringLiteral("a;b\\c\x1D"
                                                                                                        "A\u00E1"));
}

} // namespace
