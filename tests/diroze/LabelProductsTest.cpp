// Label products of the installed template set against their labels: the
// label rectangles are read here from the template files with a DOM parser
// and a unit conversion of the test's own, and every cell the renderer lays
// out from the product's layout must start within 0.2 mm of its label. The
// same through the program: -pdf with -sheet, measured by pdftotext -bbox.

#include "TestPeers.h"
#include "diroze/PrintSpool.h"
#include "diroze/ProgramRun.h"
#include "Papir.h"
#include "products/LabelProducts.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace diroze;

namespace {

const QString kTemplates = QStringLiteral("/usr/share/libglabels-3.0/templates");

double Mm(const QString& aLength)
{
    static const QRegularExpression length(QStringLiteral("^\\s*([-+0-9.eE]+)\\s*(pt|mm|cm|in|pc)?\\s*$"));
    const QRegularExpressionMatch m = length.match(aLength);
    EXPECT_TRUE(m.hasMatch()) << aLength.toStdString();
    const QString unit = m.captured(2);
    const double v = m.captured(1).toDouble();
    return unit == "mm"   ? v
           : unit == "cm" ? v * 10
           : unit == "in" ? v * 25.4
           : unit == "pc" ? v * 25.4 / 6
                          : v * 25.4 / 72;
}

QDomDocument Document(const QString& aPath)
{
    QFile file(aPath);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << aPath.toStdString();
    QDomDocument doc;
    EXPECT_TRUE(doc.setContent(&file)) << aPath.toStdString();
    return doc;
}

// A product as its template file describes it.
struct Reference {
    double paperWidth = 0, paperHeight = 0, labelWidth = 0, labelHeight = 0;
    std::vector<QPointF> labels; // left and top edges, mm, row by row
};

// Every template of the installed set by "brand\npart", read once.
const std::map<QString, QDomElement>& Templates()
{
    static const std::map<QString, QDomElement> templates = [] {
        std::map<QString, QDomElement> all;
        static std::vector<QDomDocument> documents;
        for (const QString& name : QDir(kTemplates).entryList({"*-templates.xml"})) {
            documents.push_back(Document(kTemplates + '/' + name));
            const QDomNodeList list = documents.back().elementsByTagName("Template");
            for (int i = 0; i < list.size(); ++i) {
                const QDomElement t = list.at(i).toElement();
                all.emplace(t.attribute("brand").simplified() + '\n' + t.attribute("part").simplified(), t);
            }
        }
        return all;
    }();
    return templates;
}

QDomElement FindTemplate(const QString& aBrand, const QString& aPart, int aDepth = 0)
{
    const auto found = Templates().find(aBrand + '\n' + aPart);
    if (found == Templates().end() || aDepth > 10)
        return {};
    const QDomElement& t = found->second;
    return t.hasAttribute("equiv") ? FindTemplate(aBrand, t.attribute("equiv"), aDepth + 1) : t;
}

Reference Read(const QString& aBrand, const QString& aPart)
{
    Reference r;
    const QDomElement t = FindTemplate(aBrand, aPart);
    EXPECT_FALSE(t.isNull());
    if (t.isNull())
        return r;
    const QString size = t.attribute("size");
    if (size == "Other") {
        r.paperWidth = Mm(t.attribute("width"));
        r.paperHeight = Mm(t.attribute("height"));
    } else {
        static const QDomDocument paperSizes = Document(kTemplates + "/paper-sizes.xml");
        const QDomNodeList papers = paperSizes.elementsByTagName("Paper-size");
        for (int i = 0; i < papers.size(); ++i)
            if (papers.at(i).toElement().attribute("id") == size) {
                r.paperWidth = Mm(papers.at(i).toElement().attribute("width"));
                r.paperHeight = Mm(papers.at(i).toElement().attribute("height"));
            }
    }
    for (QDomElement label = t.firstChildElement(); !label.isNull(); label = label.nextSiblingElement()) {
        if (!label.tagName().startsWith("Label-"))
            continue;
        const bool round = label.hasAttribute("radius");
        r.labelWidth = round ? 2 * Mm(label.attribute("radius")) : Mm(label.attribute("width"));
        r.labelHeight = round ? 2 * Mm(label.attribute("radius")) : Mm(label.attribute("height"));
        // A CD on a card: the card's sides cut the disc.
        if (round && label.hasAttribute("width"))
            r.labelWidth = std::min(r.labelWidth, Mm(label.attribute("width")));
        if (round && label.hasAttribute("height"))
            r.labelHeight = std::min(r.labelHeight, Mm(label.attribute("height")));
        for (QDomElement l = label.firstChildElement("Layout"); !l.isNull(); l = l.nextSiblingElement("Layout"))
            for (int y = 0; y < l.attribute("ny").toInt(); ++y)
                for (int x = 0; x < l.attribute("nx").toInt(); ++x)
                    r.labels.emplace_back(Mm(l.attribute("x0")) + x * Mm(l.attribute("dx", "0")),
                                          Mm(l.attribute("y0")) + y * Mm(l.attribute("dy", "0")));
    }
    std::sort(r.labels.begin(), r.labels.end(),
              [](const QPointF& a, const QPointF& b) { return std::pair(a.y(), a.x()) < std::pair(b.y(), b.x()); });
    return r;
}

// The renderer's cells, row by row, in mm: the label size when the layout
// has one, else what the margins and gaps leave.
std::vector<QRectF> Cells(const TPapir& p)
{
    int64_t w = (p.Velikost.X - 2 * p.Okraj.X - (p.Pocet.X - 1) * p.Mezery.X) / p.Pocet.X;
    int64_t h = (p.Velikost.Y - 2 * p.Okraj.Y - (p.Pocet.Y - 1) * p.Mezery.Y) / p.Pocet.Y;
    if (p.Stitek.X > 0 && p.Stitek.Y > 0)
        std::tie(w, h) = std::pair<int64_t, int64_t>(p.Stitek.X, p.Stitek.Y);
    std::vector<QRectF> cells;
    for (int r = 0; r < p.Pocet.Y; ++r)
        for (int c = 0; c < p.Pocet.X; ++c)
            cells.emplace_back((p.Okraj.X + (p.Mezery.X + w) * c) / 100.0, (p.Okraj.Y + (p.Mezery.Y + h) * r) / 100.0,
                               w / 100.0, h / 100.0);
    return cells;
}

// The largest distance (mm) of a cell's four edges from its label's.
double CellsOffLabels(const TLabelProduct& aProduct, const Reference& aRef)
{
    TPapirControls controls;
    controls.FontItems = {controls.FontText};
    ApplyProduct(aProduct, controls, QLocale::c());
    const std::vector<QRectF> cells = Cells(ReadPapir(controls, QLocale::c()));
    if (cells.size() != aRef.labels.size())
        return 1e9;
    double off = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        const QRectF label(aRef.labels[i], QSizeF(aRef.labelWidth, aRef.labelHeight));
        off = std::max({off, std::abs(cells[i].left() - label.left()), std::abs(cells[i].top() - label.top()),
                        std::abs(cells[i].right() - label.right()), std::abs(cells[i].bottom() - label.bottom())});
    }
    return off;
}

struct Row {
    const char* what;
    const char* brand;
    const char* part;
    TPaperType format;
    bool landscape;
    QPoint count;
};

const Row kRows[] = {
    {"A4, one column", "Herma", "4283", pA4, false, {1, 6}},
    {"A4, an equivalent part number", "Avery", "L7160", pA4, false, {3, 7}},
    {"US Letter as own sizes", "Avery", "5160", pCustom, false, {3, 10}},
    {"A5", "Endisch", "B104147A5", pA5, false, {1, 2}},
    {"a roll label: the label is the page", "Brother", "DK-1202", pCustom, false, {1, 1}},
    {"round labels by their bounding square", "Avery", "3274.2", pCustom, false, {4, 5}},
    {"a CD by its bounding square", "Avery", "L6015", pA4, false, {1, 2}},
    {"the right margin differs", "Avery", "L7163", pA4, false, {2, 7}},
    {"rows far from the bottom", "Felga", "EP1220", pCustom, false, {10, 2}},
    {"one CD label on A4", "Geha", "Z20-1", pA4, false, {1, 1}},
    {"top and bottom margins apart", "Avery", "5305", pCustom, false, {1, 2}},
};

TEST(LabelProducts, InstalledProductsLayCellsOnTheirLabels)
{
    if (!QFile::exists(kTemplates + "/paper-sizes.xml"))
        SKIP_WITHOUT_PEER("the label template set (glabels-data) is not installed");
    const TProductCatalogue catalogue = LoadProductCatalogue({kTemplates});
    EXPECT_TRUE(catalogue.FileFaults.isEmpty()) << catalogue.FileFaults.join('\n').toStdString();
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        const TLabelProduct& product =
            FindProduct(catalogue, QStringLiteral("%1 %2").arg(row.brand, row.part).toLower());
        ASSERT_TRUE(product.Usable()) << product.Refusal.toStdString();
        const Reference ref = Read(row.brand, row.part);
        EXPECT_EQ(product.Format, row.format);
        EXPECT_EQ(product.Orientace, row.landscape ? poLandscape : poPortrait);

        TPapirControls controls;
        controls.FontItems = {controls.FontText};
        controls.PaddingX = "1,5"; // the user's padding stays
        ApplyProduct(product, controls, QLocale(QLocale::Czech));
        EXPECT_EQ(controls.PaddingX, "1,5");
        const TPapir p = ReadPapir(controls, QLocale(QLocale::Czech));
        EXPECT_NEAR(p.Velikost.X / 100.0, ref.paperWidth, 0.1);
        EXPECT_NEAR(p.Velikost.Y / 100.0, ref.paperHeight, 0.1);
        EXPECT_EQ(QPoint(p.Pocet.X, p.Pocet.Y), row.count);
    }
    // Every usable product, its equivalents too: each cell is its label.
    size_t usable = 0;
    for (const TLabelProduct& product : catalogue.Products) {
        if (!product.Usable())
            continue;
        ++usable;
        SCOPED_TRACE(product.Name().toStdString());
        const Reference ref = Read(product.Brand, product.Part);
        if (ref.labels.empty()) // a roll: one label is the page
            continue;
        EXPECT_LE(CellsOffLabels(product, ref), 0.2);
    }
    EXPECT_GT(usable, 1400u);
}
} // namespace

// Hostile and odd template files: each product is refused with its reason, a
// broken file names its line, and what is sound still reads.
TEST(LabelProducts, HostileTemplatesAreRefusedPerProduct)
{
    const auto sheet = [](const QString& aLabel, const QString& aLayouts, const QString& aSize = "size=\"A4\"") {
        return QStringLiteral("<Template brand=\"T\" part=\"1\" %1>%2%3</Label-rectangle></Template>")
            .arg(aSize, aLabel, aLayouts);
    };
    const QString label = QStringLiteral("<Label-rectangle id=\"0\" width=\"50mm\" height=\"20mm\">");
    const QString grid = QStringLiteral("<Layout nx=\"3\" ny=\"10\" x0=\"20mm\" y0=\"26mm\" dx=\"60mm\" dy=\"25mm\"/>");
    struct Case {
        const char* what;
        QString body;
        const char* refusal; // "" for a usable product
        const char* fileFault;
    } cases[] = {
        {"a sound sheet", sheet(label, grid), "", ""},
        {"two layouts that make one grid",
         sheet(label,
               "<Layout nx=\"3\" ny=\"1\" x0=\"20mm\" y0=\"26mm\" dx=\"60mm\"/>"
               "<Layout nx=\"3\" ny=\"1\" x0=\"20mm\" y0=\"51mm\" dx=\"60mm\"/>",
               "size=\"Other\" width=\"210mm\" height=\"97mm\""),
         "", ""},
        {"two layouts that are no grid",
         sheet(label, "<Layout nx=\"2\" ny=\"1\" x0=\"20mm\" y0=\"20mm\" dx=\"60mm\"/>"
                      "<Layout nx=\"1\" ny=\"1\" x0=\"50mm\" y0=\"45mm\"/>"),
         "netvoří jednu mřížku", ""},
        {"missing width", sheet("<Label-rectangle id=\"0\" height=\"20mm\">", grid), "chybí atribut width", ""},
        {"zero size", sheet("<Label-rectangle width=\"0\" height=\"20mm\">", grid), "nemá kladnou velikost", ""},
        {"negative size", sheet("<Label-rectangle width=\"-5mm\" height=\"20mm\">", grid), "nemá kladnou velikost", ""},
        {"no length", sheet("<Label-rectangle width=\"5 furlongs\" height=\"20mm\">", grid), "není délka", ""},
        {"100,000 labels", sheet(label, "<Layout nx=\"1000\" ny=\"100\" x0=\"0\" y0=\"0\" dx=\"1pt\" dy=\"1pt\"/>"),
         "víc než 10000", ""},
        {"no count", sheet(label, "<Layout nx=\"0\" ny=\"1\" x0=\"0\" y0=\"0\"/>"), "není počet", ""},
        {"unknown paper", sheet(label, grid, "size=\"Z9\""), "neznámý formát papíru", ""},
        {"an equivalent of nothing", "<Template brand=\"T\" part=\"2\" equiv=\"9\"/>", "není nainstalován", ""},
        {"labels beyond the paper", sheet(label, "<Layout nx=\"1\" ny=\"1\" x0=\"180mm\" y0=\"0\"/>"),
         "přesahují arch o 20.00 mm", ""},
        {"labels that overlap",
         sheet(label, "<Layout nx=\"1\" ny=\"10\" x0=\"10mm\" y0=\"5mm\" dx=\"0\" dy=\"19.7mm\"/>"), "překrývají", ""},
        {"a broken file", sheet(label, grid) + "<Template brand=\"T\" part=\"3\"", "poškozený", "řádek 1"},
        {"nesting without end", sheet(label, grid) + QString("<a>").repeated(100), "poškozený", "vnořené"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<TLabelProduct> products;
        const QString fault = ReadTemplates(("<Glabels-templates>" + c.body + "</Glabels-templates>").toUtf8(), "t.xml",
                                            BuiltInPaperSizes(), products);
        ResolveEquivalents(products);
        EXPECT_TRUE(fault.contains(QString::fromUtf8(c.fileFault))) << fault.toStdString();
        EXPECT_EQ(fault.isEmpty(), !*c.fileFault);
        ASSERT_FALSE(products.empty());
        const TLabelProduct& p = products.back();
        if (!*c.refusal) {
            EXPECT_TRUE(p.Usable()) << p.Refusal.toStdString();
            EXPECT_EQ(p.Okraj, (TPoint{2000, 2600}));
            EXPECT_EQ(p.Mezery, (TPoint{1000, 500}));
        } else {
            EXPECT_TRUE(p.Refusal.contains(QString::fromUtf8(c.refusal))) << p.Refusal.toStdString();
        }
    }
}

// The program: -pdf with -sheet puts one label in every cell of the product
// (the preset's padding 0, so a label's text starts at its cell's corner),
// a user's own template file is found, -sheets lists, an unknown name fails
// naming what and where.
TEST(LabelProducts, PdfWithSheetPrintsOnTheProductsLabels)
{
    using printspool::HaveTool;
    if (!QFile::exists(kTemplates + "/paper-sizes.xml") || !HaveTool("pdftotext"))
        SKIP_WITHOUT_PEER("the label template set (glabels-data) or poppler-utils are not installed");
    QTemporaryDir dir;
    const QString config = dir.filePath("config");
    QDir().mkpath(config + "/diroze/templates");
    QFile presets(config + "/diroze/diroze.xml");
    ASSERT_TRUE(presets.open(QIODevice::WriteOnly));
    presets.write(R"(<diroze><predvolby><predvolba nazev="tight" vybrana="true">
        <papir format="8" okraj-x="3" okraj-y="3"/><stitek pocet-x="2" pocet-y="2" okraj-x="0" okraj-y="0"/>
        <pismo font="Liberation Sans" velikost="8"/></predvolba></predvolby></diroze>)");
    presets.close();
    QFile own(config + "/diroze/templates/own.xml");
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write(R"(<Glabels-templates><Template brand="Vlastní" part="X 1" size="Other" width="100mm" height="80mm">
        <Label-rectangle width="40mm" height="15mm"><Layout nx="2" ny="4" x0="8mm" y0="6mm" dx="44mm" dy="17.5mm"/>
        </Label-rectangle></Template>
        <Template brand="Vlastní" part="X 2" size="Other" width="100mm" height="80mm">
        <Label-rectangle width="40mm" height="15mm"><Layout nx="1" ny="1" x0="8mm" y0="6mm"/></Label-rectangle>
        <Label-round radius="10mm"><Layout nx="1" ny="1" x0="60mm" y0="6mm"/></Label-round>
        </Template></Glabels-templates>)");
    own.close();
    const QStringList env = {"XDG_CONFIG_HOME=" + config};

    struct Case {
        const char* name;
        Reference ref;
    } cases[] = {
        {"Herma 4283", Read("Herma", "4283")},
        {"avery L7163", Read("Avery", "L7163")},
        {"Vlastní X 1", {100, 80, 40, 15, {}}},
    };
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 2; ++x)
            cases[2].ref.labels.emplace_back(8 + 44 * x, 6 + 17.5 * y);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile data(dir.filePath("data.txt"));
        ASSERT_TRUE(data.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (size_t i = 0; i < c.ref.labels.size(); ++i)
            data.write(QStringLiteral(";C%1\r\n").arg(i).toLatin1());
        data.close();
        const QString pdf = dir.filePath("out.pdf");
        const programrun::TRunResult r =
            programrun::RunDiroze({data.fileName(), "-sheet:" + QString::fromUtf8(c.name), "-pdf:" + pdf}, env);
        ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        const QString html = printspool::Tool("pdftotext", {"-bbox", "-f", "1", "-l", "1", pdf, "-"});
        for (size_t i = 0; i < c.ref.labels.size(); ++i) {
            const QRegularExpressionMatch word =
                QRegularExpression(QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>C%1</word>").arg(i))
                    .match(html);
            ASSERT_TRUE(word.hasMatch()) << "label " << i;
            EXPECT_NEAR(word.captured(1).toDouble() * 25.4 / 72, c.ref.labels[i].x(), 0.2) << "label " << i;
            EXPECT_NEAR(word.captured(2).toDouble() * 25.4 / 72, c.ref.labels[i].y(), 0.2) << "label " << i;
        }
    }

    const programrun::TRunResult list = programrun::RunDiroze({"-sheets:herma 4283"}, env);
    EXPECT_EQ(list.ExitCode, 0);
    EXPECT_TRUE(list.Out.startsWith("Herma\t4283\tArch File Labels (small)\tA4\t1 × 6\t192 × 39 mm"))
        << list.Out.toStdString();
    const programrun::TRunResult unknown =
        programrun::RunDiroze({dir.filePath("data.txt"), "-sheet:Herma 99999", "-pdf:" + dir.filePath("x.pdf")}, env);
    EXPECT_EQ(unknown.ExitCode, 1);
    EXPECT_TRUE(unknown.Err.contains("\"Herma 99999\"") && unknown.Err.contains(config + "/diroze/templates") &&
                unknown.Err.contains(kTemplates))
        << unknown.Err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("x.pdf")));
    // A product no grid describes is refused with its reason, never laid out.
    for (const QString& job : {"-pdf:" + dir.filePath("x.pdf"), QStringLiteral("-check")}) {
        SCOPED_TRACE(job.toStdString());
        const programrun::TRunResult refused =
            programrun::RunDiroze({dir.filePath("data.txt"), "-sheet:Vlastní X 2", job}, env);
        EXPECT_EQ(refused.ExitCode, 1);
        EXPECT_TRUE(refused.Err.contains("\"Vlastní X 2\" nelze použít: víc tvarů štítků"))
            << refused.Err.toStdString();
        EXPECT_FALSE(QFile::exists(dir.filePath("x.pdf")));
    }
}

// What the catalogue says about what it read: files it could not read, part
// numbers that lead on through others, products hidden by the user's, a
// folder reached twice, a part number without its brand.
TEST(LabelProducts, TheCatalogueNamesWhatItCouldNotReadAndWhatHidesWhat)
{
    QTemporaryDir dir;
    const QString user = dir.filePath("user"), system = dir.filePath("system");
    QDir().mkpath(user);
    QDir().mkpath(system);
    ASSERT_TRUE(QFile::link(system, dir.filePath("linked")));
    const auto write = [](const QString& aPath, const QByteArray& aBytes) {
        QFile file(aPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(aBytes);
    };
    const QByteArray sheet = R"(<Label-rectangle width="50mm" height="20mm">
        <Layout nx="2" ny="1" x0="20mm" y0="26mm" dx="60mm"/></Label-rectangle>)";
    const auto product = [&](const char* aBrand, const char* aPart, const QByteArray& aRest) {
        return "<Template brand=\"" + QByteArray(aBrand) + "\" part=\"" + aPart + "\" " + aRest + "</Template>";
    };
    write(system + "/s-templates.xml",
          "<Glabels-templates>" + product("T", "1", "size=\"A4\">" + sheet) + product("T", "3", "equiv=\"2\">") +
              product("T", "2", "equiv=\"1\" description=\"same\">") + product("T", "4", "equiv=\"5\">") +
              product("T", "5", "equiv=\"4\">") + product("U", "1", "size=\"A4\">" + sheet) +
              product("T", "wide", "size=\"Other\" width=\"211mm\" height=\"297mm\">" + sheet) +
              product("T", "near", "size=\"Other\" width=\"210.05mm\" height=\"297mm\">" + sheet) +
              product("T", "grid",
                      "size=\"A4\"><Label-rectangle width=\"50mm\" height=\"20mm\">"
                      "<Layout nx=\"1\" ny=\"1\" x0=\"0\" y0=\"0\"/><Layout nx=\"1\" ny=\"1\" "
                      "x0=\"60mm\" y0=\"30mm\"/></Label-rectangle>") +
              "</Glabels-templates>");
    write(user + "/own.xml",
          "<Glabels-templates>" + product("T", "1", "size=\"A5\">" + sheet) + "</Glabels-templates>");
    const struct {
        const char* file;
        QByteArray bytes;
        const char* reason;
    } broken[] = {
        {"amp.xml", "<Glabels-templates><Template brand=\"F\" part=\"2\" description=\"A & B\"/></Glabels-templates>",
         "řádek 1"},
        {"cp1250.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Glabels-templates><Template brand=\"F\" part=\"\xe8\"/>",
         "řádek 1"},
        {"text.xml", "plain text", "řádek 1"},
        {"root.xml", "<Glabels-paper-sizes/>", "kořen Glabels-paper-sizes"},
    };
    for (const auto& b : broken)
        write(user + '/' + b.file, b.bytes);

    const TProductCatalogue catalogue = LoadProductCatalogue({user, system, dir.filePath("linked")});
    for (const auto& b : broken) {
        SCOPED_TRACE(b.file);
        const QString fault = catalogue.FileFaults.filter(user + '/' + b.file).join(' ');
        EXPECT_TRUE(fault.contains(QString::fromUtf8(b.reason))) << fault.toStdString();
    }
    EXPECT_EQ(catalogue.Products.size(), 10u) << "the linked folder is read once";

    const TLabelProduct& own = FindProduct(catalogue, "T 1");
    EXPECT_EQ(own.PaperName, "A5");
    EXPECT_TRUE(own.Note.contains(system + "/s-templates.xml")) << own.Note.toStdString();
    const auto hidden = std::find_if(catalogue.Products.begin(), catalogue.Products.end(),
                                     [](const TLabelProduct& p) { return p.Name() == "T 1" && p.PaperName == "A4"; });
    ASSERT_NE(hidden, catalogue.Products.end());
    EXPECT_TRUE(hidden->Note.startsWith("zakrytá")) << hidden->Note.toStdString();

    const struct {
        const char* name;
        const char* refusal; // "" for usable
    } rows[] = {
        {"T 3", ""}, // through T 2 to T 1
        {"T 4", "kruhu"},
        {"T grid", "(2 štítky, 2 sloupce, 2 řady)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const TLabelProduct& p = FindProduct(catalogue, row.name);
        EXPECT_TRUE(p.Refusal.contains(QString::fromUtf8(row.refusal))) << p.Refusal.toStdString();
        EXPECT_EQ(p.Usable(), !*row.refusal);
    }
    EXPECT_EQ(FindProduct(catalogue, "T 3").Description, "same");
    // A paper 1 mm off A4 keeps its own size; one within a tenth is A4.
    EXPECT_EQ(FindProduct(catalogue, "T wide").Format, pCustom);
    EXPECT_EQ(FindProduct(catalogue, "T wide").Velikost.X, 21100);
    EXPECT_EQ(FindProduct(catalogue, "T near").Format, pA4);

    const auto failure = [&](const QString& aName) {
        try {
            FindProduct(catalogue, aName);
        } catch (const std::exception& e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    };
    EXPECT_TRUE(failure("1").contains("T 1, U 1")) << failure("1").toStdString();
    EXPECT_TRUE(failure("F 2").contains(user + "/amp.xml")) << failure("F 2").toStdString();
}
