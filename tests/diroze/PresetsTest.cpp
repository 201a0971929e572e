#include "ConfigFiles.h"
#include "FileSizeLimit.h"
#include "Fonts.h"
#include "Presets.h"
#include "PrinterIni.h"
#include "QtPrinters.h"
#include "Render.h"
#include "ScopeGuard.h"
#include "UtilsNumber.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <clocale>

#include <sys/stat.h>
#include <unistd.h>

using namespace diroze;

namespace {

const QLocale kCzech(QLocale::Czech, QLocale::CzechRepublic);

class PresetsFile : public ::testing::Test {
protected:
    QString Write(const QByteArray& aContent)
    {
        QFile file(Path());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(aContent);
        return Path();
    }
    QByteArray Read() const
    {
        QFile file(Path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString Path() const { return FDir.filePath(QStringLiteral("diroze.xml")); }
    std::string ApplyError(QDomElement aPreset, TPapirControls& aControls)
    {
        try {
            FPresets.Apply(aPreset, aControls, kCzech);
        } catch (const hostutils::EConvertError& e) {
            return e.what();
        }
        return "(applied)";
    }

    QTemporaryDir FDir;
    TPresets FPresets;
};

TEST_F(PresetsFile, MissingFileIsAnEmptyDocumentThatCanBeSaved)
{
    FPresets.Load(Path());
    EXPECT_TRUE(FPresets.IsActive());
    EXPECT_FALSE(FPresets.Modified());
    EXPECT_TRUE(FPresets.Elements().empty());
    QDomElement preset = FPresets.Add(QStringLiteral("První"));
    TPapirControls c;
    c.Format = pA5;
    c.Width = "148";
    c.Height = "210";
    FPresets.Store(preset, c);
    FPresets.Save();
    EXPECT_FALSE(FPresets.Modified());

    TPresets again;
    again.Load(Path());
    ASSERT_EQ(again.Elements().size(), 1u);
    EXPECT_EQ(TPresets::Name(again.Elements()[0]), QStringLiteral("První"));
}

TEST_F(PresetsFile, MalformedFileReportsWhereAndStaysInactive)
{
    const QByteArray bad = "<?xml version=\"1.0\"?>\n<diroze>\n  <predvolby>\n    <predvolba nazev=\"A\" attribute "
                           "without value is not xml at all/>\n";
    Write(bad);
    try {
        FPresets.Load(Path());
        ADD_FAILURE();
    } catch (const EPresetsLoad& e) {
        const QStringList lines = QString::fromUtf8(e.what()).split(u'\n');
        ASSERT_EQ(lines.size(), 3);
        EXPECT_FALSE(lines[0].isEmpty()) << "the parser's reason";
        EXPECT_EQ(lines[1], QStringLiteral("Line: 4"));
        EXPECT_EQ(lines[2], QStringLiteral("    <predvolba nazev=\"A\" attribute witho"))
            << "40 characters of the line";
    }
    EXPECT_FALSE(FPresets.IsActive());
    try {
        FPresets.Add(QStringLiteral("x"));
        ADD_FAILURE();
    } catch (const hostutils::Exception& e) {
        EXPECT_STREQ(e.what(), "No active document");
    }
    EXPECT_THROW(FPresets.MarkUsed({}), hostutils::Exception);
    EXPECT_THROW(FPresets.Save(), hostutils::Exception);
    EXPECT_EQ(Read(), bad) << "a malformed file is never overwritten";
}

TEST_F(PresetsFile, ANulInTheFileDoesNotCutTheMessageShort)
{
    static const char kXml[] = "<diroze><predvolby><predvolba nazev=\"&a\0b;\"/></predvolby></diroze>";
    Write(QByteArray(kXml, sizeof kXml - 1));
    try {
        FPresets.Load(Path());
        ADD_FAILURE();
    } catch (const EPresetsLoad& e) {
        EXPECT_NE(std::string_view(e.what()).find("\nLine: 1\n"), std::string_view::npos) << e.what();
    }
}

TEST_F(PresetsFile, SavedFileAlwaysLoadsAgain)
{
    // Declared in another encoding: written as UTF-8, and declared so.
    Write("<?xml version=\"1.0\" encoding=\"windows-1250\"?><diroze><predvolby>"
          "<predvolba nazev=\"\x8Elu\x9Do\"/></predvolby></diroze>");
    FPresets.Load(Path());
    ASSERT_EQ(TPresets::Name(FPresets.Elements()[0]), QStringLiteral("Žluťo"));
    FPresets.Add(QStringLiteral("nový\x01název"));
    FPresets.Save();
    TPresets again;
    again.Load(Path());
    ASSERT_EQ(again.Elements().size(), 2u);
    EXPECT_EQ(TPresets::Name(again.Elements()[0]), QStringLiteral("Žluťo"));
    EXPECT_EQ(TPresets::Name(again.Elements()[1]), QStringLiteral("nový\uFFFDnázev"))
        << "a control character cannot stand in XML";
}

TEST_F(PresetsFile, StoredPresetReadsBackTheSameAndUnknownContentSurvives)
{
    Write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<!-- presets of the shop -->\n"
          "<diroze verze=\"2\">\n"
          "  <jine>keep me</jine>\n"
          "  <predvolby>\n"
          "    <!-- the first one -->\n"
          "    <predvolba nazev=\"Stará\" vlastni=\"x\"><papir format=\"8\" barva=\"bila\"/></predvolba>\n"
          "    <Predvolba nazev=\"not a preset\"/>\n"
          "  </predvolby>\n"
          "</diroze>\n");
    FPresets.Load(Path());
    ASSERT_EQ(FPresets.Elements().size(), 1u) << "names compare case-sensitively";

    TPapirControls stored;
    stored.Format = pCustom;
    stored.Portrait = false;
    stored.Width = "100,5";
    stored.Height = "50";
    stored.MarginX = "3";
    stored.MarginY = "4";
    stored.PocetX = "2";
    stored.PocetY = "7";
    stored.SpaceX = "0,5";
    stored.SpaceY = "1";
    stored.PaddingX = "1,25";
    stored.PaddingY = "0";
    stored.FontText = "Courier New";
    stored.FontSize = "12";
    stored.AlignmentIndex = 2;
    stored.Radky = {true, false, true};
    stored.Stitek = {6350, 3810}; // a product's label size
    QDomElement preset = FPresets.Add(QStringLiteral("Nová "));
    FPresets.Store(preset, stored);
    FPresets.MarkUsed(preset);
    FPresets.Save();

    const QString text = QString::fromUtf8(Read());
    // Every element's attributes in a fixed order: a preset's as its table
    // lists them, unknown ones after them by name.
    QStringList written;
    for (QXmlStreamReader xml(text); !xml.atEnd();)
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            QStringList names;
            for (const QXmlStreamAttribute& a : xml.attributes())
                names.append(a.name().toString());
            written.append(xml.name().toString() + u':' + names.join(u' '));
        }
    const QStringList expected = {
        "diroze:verze",
        "jine:",
        "predvolby:",
        "predvolba:nazev vybrana vlastni",
        "papir:format barva",
        "Predvolba:nazev",
        "predvolba:nazev vybrana",
        "papir:format na-sirku sirka vyska okraj-x okraj-y",
        "stitek:pocet-x pocet-y mezera-x mezera-y okraj-x okraj-y sirka vyska",
        "pismo:font velikost mezera-x radek-0 radek-1 radek-2 radek-3 radek-4 radek-5 radek-6 radek-7"};
    EXPECT_EQ(written, expected);
    for (const char* kept : {"presets of the shop", "keep me", "the first one", "vlastni=\"x\"", "barva=\"bila\"",
                             "verze=\"2\"", "not a preset"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(kept))) << kept;
    EXPECT_TRUE(text.contains(QStringLiteral("mezera-x=\"2\""))) << "the alignment is stored as mezera-x of pismo";
    EXPECT_TRUE(text.contains(QStringLiteral("sirka=\"63.5\" vyska=\"38.1\""))) << "in any locale with a point";

    TPresets again;
    again.Load(Path());
    const QDomElement back = again.FindByName(QStringLiteral("Nová "));
    ASSERT_FALSE(back.isNull());
    TPapirControls read;
    read.FirstX = "7"; // not part of a preset
    again.Apply(back, read, kCzech);
    EXPECT_EQ(read.Format, stored.Format);
    EXPECT_EQ(read.Portrait, stored.Portrait);
    for (auto field :
         {&TPapirControls::Width, &TPapirControls::Height, &TPapirControls::MarginX, &TPapirControls::MarginY,
          &TPapirControls::PocetX, &TPapirControls::PocetY, &TPapirControls::SpaceX, &TPapirControls::SpaceY,
          &TPapirControls::PaddingX, &TPapirControls::PaddingY, &TPapirControls::FontText, &TPapirControls::FontSize})
        EXPECT_EQ(read.*field, stored.*field);
    EXPECT_EQ(read.AlignmentIndex, 2);
    EXPECT_EQ(read.Radky, stored.Radky);
    EXPECT_EQ(read.FirstX, QStringLiteral("7"));
    EXPECT_EQ(read.Stitek, stored.Stitek);
    EXPECT_FALSE(again.Modified()) << "every element was there";

    // Stored again without a label size, the preset loses it; a file
    // without one gives cells shared out as before.
    read.Stitek = {};
    again.Store(back, read);
    EXPECT_FALSE(back.firstChildElement("stitek").hasAttribute("sirka"));
    read.Stitek = {100, 100};
    again.Apply(back, read, kCzech);
    EXPECT_EQ(read.Stitek, TPoint{});
}

TEST_F(PresetsFile, MissingPartsTakeTheirDefaults)
{
    Write("<diroze><predvolby>"
          "<predvolba nazev=\"bez pisma\"><papir format=\"10\" na-sirku=\"TRUE\" okraj-x=\"\"/><stitek/></predvolba>"
          "<predvolba nazev=\"nula\"><papir format=\"0\"/></predvolba>"
          "<predvolba nazev=\"99\"><papir format=\"99\"/></predvolba>"
          "</predvolby></diroze>");
    FPresets.Load(Path());
    TPapirControls c;
    c.Radky[3] = true;
    FPresets.Apply(FPresets.FindByName(QStringLiteral("bez pisma")), c, kCzech);
    EXPECT_EQ(c.Format, pA5);
    EXPECT_FALSE(c.Portrait);
    EXPECT_EQ(c.Width, QStringLiteral("210")) << "A5 in landscape";
    EXPECT_EQ(c.Height, QStringLiteral("148"));
    EXPECT_EQ(c.MarginX, QString()) << "an empty value stays empty";
    EXPECT_EQ(c.MarginY, QStringLiteral("10"));
    EXPECT_EQ(c.SpaceX, QStringLiteral("1"));
    EXPECT_EQ(c.FontText, QStringLiteral("Arial"));
    EXPECT_EQ(c.FontSize, QStringLiteral("10"));
    EXPECT_EQ(c.AlignmentIndex, 0);
    EXPECT_EQ(c.Radky, (std::array<bool, 8>{}));
    EXPECT_TRUE(FPresets.Modified()) << "the missing pismo was created";

    for (const char* name : {"nula", "99"}) {
        TPapirControls d;
        FPresets.Apply(FPresets.FindByName(QString::fromLatin1(name)), d, kCzech);
        EXPECT_EQ(d.Format, pA4) << name;
        EXPECT_EQ(d.Width, QStringLiteral("210"));
    }
}

TEST_F(PresetsFile, ConversionErrorsStopWithEarlierValuesSet)
{
    Write("<diroze><predvolby>"
          "<predvolba nazev=\"a\"><papir format=\"7\" na-sirku=\"ano\"/></predvolba>"
          "<predvolba nazev=\"b\"><papir format=\"x7\"/></predvolba>"
          "<predvolba nazev=\"c\"><pismo font=\"Times New Roman\" mezera-x=\"\"/></predvolba>"
          "</predvolby></diroze>");
    FPresets.Load(Path());
    TPapirControls c;
    EXPECT_EQ(ApplyError(FPresets.FindByName("a"), c),
              "předvolba \"a\", prvek papir, atribut na-sirku=\"ano\": čeká se true nebo false");
    EXPECT_EQ(c.Format, pA3) << "the format before it was set";
    TPapirControls d;
    EXPECT_EQ(ApplyError(FPresets.FindByName("b"), d),
              "předvolba \"b\", prvek papir, atribut format=\"x7\": čeká se celé číslo");
    EXPECT_FALSE(d.Format.has_value());
    TPapirControls e;
    EXPECT_EQ(ApplyError(FPresets.FindByName("c"), e),
              "předvolba \"c\", prvek pismo, atribut mezera-x=\"\": čeká se celé číslo");
    EXPECT_EQ(e.FontText, QStringLiteral("Times New Roman"));

    EXPECT_TRUE(TPresets::ToBool("TrUe"));
    EXPECT_FALSE(TPresets::ToBool("FALSE"));
    EXPECT_TRUE(TPresets::ToBool("-1"));
    EXPECT_FALSE(TPresets::ToBool("0"));
    EXPECT_TRUE(TPresets::ToBool("2.5"));
    EXPECT_THROW(TPresets::ToBool(""), hostutils::EConvertError);
}

TEST_F(PresetsFile, MarkingLeavesExactlyTheSelectedOne)
{
    Write("<diroze><predvolby><predvolba nazev=\"a\" vybrana=\"true\"/><predvolba nazev=\"b\" vybrana=\"1\"/>"
          "<predvolba nazev=\"c\"/></predvolby></diroze>");
    FPresets.Load(Path());
    EXPECT_EQ(TPresets::Name(FPresets.MarkedElement()), QStringLiteral("b")) << "the later of two";
    FPresets.MarkUsed(FPresets.FindByName("c"));
    EXPECT_TRUE(FPresets.Modified());
    QStringList marks;
    for (const QDomElement& e : FPresets.Elements())
        marks << e.attribute("vybrana");
    EXPECT_EQ(marks, (QStringList{"false", "false", "true"}));
    FPresets.MarkUsed({});
    EXPECT_TRUE(FPresets.MarkedElement().isNull());
}

TEST_F(PresetsFile, FindByNamePrefersTheExactSpelling)
{
    Write("<diroze><predvolby><predvolba nazev=\"Etikety\"/><predvolba nazev=\"etikety\"/></predvolby></diroze>");
    FPresets.Load(Path());
    EXPECT_EQ(FPresets.FindByName("etikety"), FPresets.Elements()[1]);
    EXPECT_EQ(FPresets.FindByName("ETIKETY"), FPresets.Elements()[0]);
    EXPECT_TRUE(FPresets.FindByName("jiné").isNull());
}

// Values a preset holds that the dialog's controls could not: refused with
// the preset, the element, the attribute and what is expected; a refused
// count never reaches the controls, so nothing divides by it.
TEST_F(PresetsFile, ValuesNoControlCouldHoldAreRefusedByName)
{
    struct Row {
        const char* preset;
        const char* message;
    };
    const std::vector<Row> rows = {
        {"<stitek pocet-x=\"0\"/>", "prvek stitek, atribut pocet-x=\"0\": čeká se celé číslo od 1 do 1000"},
        {"<stitek pocet-y=\"1001\"/>", "prvek stitek, atribut pocet-y=\"1001\": čeká se celé číslo od 1 do 1000"},
        {"<stitek pocet-x=\"10000\" pocet-y=\"10000\"/>",
         "prvek stitek, atribut pocet-x=\"10000\": čeká se celé číslo od 1 do 1000"},
        {"<stitek pocet-x=\"-3\"/>", "prvek stitek, atribut pocet-x=\"-3\": čeká se celé číslo od 1 do 1000"},
        {"<stitek pocet-y=\"dva\"/>", "prvek stitek, atribut pocet-y=\"dva\": čeká se celé číslo od 1 do 1000"},
        {"<pismo radek-3=\"snad\"/>", "prvek pismo, atribut radek-3=\"snad\": čeká se true nebo false"},
        {"<stitek pocet-x=\"1000\" pocet-y=\"1\"/>", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.preset);
        Write(QByteArray("<diroze><predvolby><predvolba nazev=\"Chybná\">") + row.preset +
              "</predvolba></predvolby></diroze>");
        FPresets.Load(Path());
        TPapirControls c;
        const std::string error = ApplyError(FPresets.FindByName(QStringLiteral("Chybná")), c);
        EXPECT_EQ(error, row.message ? "předvolba \"Chybná\", " + std::string(row.message) : "(applied)");
        EXPECT_GE(ReadNonNegativeInt(c.PocetX, TSettingsControl::edtPocetX), 1);
        EXPECT_GE(ReadNonNegativeInt(c.PocetY, TSettingsControl::edtPocetY), 1);
    }
    Write("<diroze><predvolby><predvolba nazev=\"Značka\" vybrana=\"ano\"/></predvolby></diroze>");
    FPresets.Load(Path());
    try {
        FPresets.MarkedElement();
        ADD_FAILURE();
    } catch (const EPresetValue& e) {
        EXPECT_STREQ(e.what(), "předvolba \"Značka\", atribut vybrana=\"ano\": čeká se true nebo false");
    }
}

// A presets file that cannot be read says what is wrong with it; one nested
// far deeper than the format's few levels is refused before the DOM is
// built, whose parser would take minutes.
TEST_F(PresetsFile, FilesThatCannotBeReadSayWhy)
{
    const QString folder = FDir.filePath(QStringLiteral("folder.xml"));
    ASSERT_TRUE(QDir(FDir.path()).mkdir(QStringLiteral("folder.xml")));
    const int levels = 200000;
    const QByteArray nested =
        "<diroze>" + QByteArray("<a>").repeated(levels) + QByteArray("</a>").repeated(levels) + "</diroze>";
    struct Row {
        const char* proves;
        QString path;
        QByteArray content; // written to Path() when not empty
        QString message;
    };
    const std::vector<Row> rows = {
        {"a directory", folder, {}, QStringLiteral("Cannot open file \"%1\". Is a directory").arg(folder)},
        {"200,000 levels", Path(), nested,
         QStringLiteral("Prvky jsou vnořeny hlouběji než 64 úrovní, předvolby jich potřebují 4\nLine: 1\n") +
             QString::fromLatin1(nested.left(40))},
        {"64 levels are still read", Path(),
         "<diroze>" + QByteArray("<a>").repeated(63) + QByteArray("</a>").repeated(63) + "</diroze>", QString()},
        {"a file beyond 16 MiB", Path(), "<diroze>" + QByteArray(16 << 20, ' ') + "</diroze>",
         QStringLiteral("Soubor předvoleb je větší než 16 MiB")},
        {"a device without end",
         QStringLiteral("/dev/zero"),
         {},
         QStringLiteral("Soubor předvoleb je větší než 16 MiB")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        if (!row.content.isEmpty())
            Write(row.content);
        try {
            FPresets.Load(row.path);
            EXPECT_TRUE(row.message.isEmpty());
            EXPECT_TRUE(FPresets.IsActive());
        } catch (const hostutils::Exception& e) {
            EXPECT_EQ(QString::fromUtf8(e.what()), row.message);
            EXPECT_FALSE(FPresets.IsActive());
        }
    }
}

// A configuration folder that cannot be made is named with the system's
// reason, in English as the rest of the message also under a Czech locale.
TEST_F(PresetsFile, AFolderThatCannotBeMadeIsNamedWithTheReason)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "cs_CZ.UTF-8"))
        ADD_FAILURE() << "no Czech locale (scripts/setup.sh test makes it)";
    const hostutils::TScopeExit restore([&] { std::setlocale(LC_ALL, saved.c_str()); });
    Write("not a folder");
    FPresets.Load(Path() + QStringLiteral("/diroze/diroze.xml"), FDir.filePath(QStringLiteral("none.xml")));
    FPresets.Add(QStringLiteral("a"));
    try {
        FPresets.Save();
        ADD_FAILURE();
    } catch (const hostutils::EFCreateError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("Cannot create folder \"%1/diroze\". Not a directory").arg(Path()));
    }
    if (::geteuid() == 0)
        return; // permissions do not stop the superuser
    const QString locked = FDir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir(FDir.path()).mkdir(QStringLiteral("locked")));
    ::chmod(QFile::encodeName(locked).constData(), 0500);
    FPresets.Load(locked + QStringLiteral("/diroze/diroze.xml"), FDir.filePath(QStringLiteral("none.xml")));
    FPresets.Add(QStringLiteral("a"));
    try {
        FPresets.Save();
        ADD_FAILURE();
    } catch (const hostutils::EFCreateError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("Cannot create folder \"%1/diroze\". Permission denied").arg(locked));
    }
}

TEST_F(PresetsFile, SavingWhereNothingCanBeWrittenFailsAndKeepsTheMark)
{
    FPresets.Load(FDir.filePath(QStringLiteral("no/such/dir/diroze.xml")));
    FPresets.Add(QStringLiteral("a"));
    EXPECT_THROW(FPresets.Save(), hostutils::EFCreateError);
    EXPECT_TRUE(FPresets.Modified());
}

TEST_F(PresetsFile, AFailedSaveLeavesTheOldFileWhole)
{
    const QByteArray old = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<diroze><predvolby>"
                           "<predvolba nazev=\"Stará\" vybrana=\"true\"/></predvolby></diroze>\n";
    // The disk fills during the writes (1 MB document) or at the final flush (a few KB).
    for (const int nameLength : {1 << 20, 6000}) {
        SCOPED_TRACE(nameLength);
        Write(old);
        FPresets.Load(Path());
        FPresets.Add(QString(nameLength, u'x'));
        {
            const TFileSizeLimit full(4096);
            EXPECT_THROW(FPresets.Save(), hostutils::EFCreateError);
        }
        EXPECT_EQ(Read(), old) << "the old file, byte for byte";
        EXPECT_TRUE(FPresets.Modified());
        EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files), QStringList{"diroze.xml"}) << "no temporary file left";
    }
}

TEST_F(PresetsFile, UntilTheUsersFileExistsTheSeedIsReadAndTheFirstSaveWritesTheUsersCopy)
{
    const QByteArray seedContent = "<diroze><predvolby><predvolba nazev=\"Výchozí\"/></predvolby></diroze>";
    const QString seed = Write(seedContent);
    const QString user = FDir.filePath(QStringLiteral("config/diroze/diroze.xml"));
    FPresets.Load(user, seed);
    ASSERT_EQ(FPresets.Elements().size(), 1u);
    EXPECT_EQ(TPresets::Name(FPresets.Elements()[0]), QStringLiteral("Výchozí"));
    EXPECT_EQ(FPresets.Path(), user);
    EXPECT_FALSE(FPresets.Modified()) << "reading the seed changes nothing";

    FPresets.MarkUsed(FPresets.Elements()[0]);
    FPresets.Save();
    EXPECT_EQ(Read(), seedContent) << "the seed is never written";
    struct stat folder {};
    ASSERT_EQ(::stat(QFile::encodeName(FDir.filePath(QStringLiteral("config"))).constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u) << "a created configuration folder is the user's alone";

    // From now on the user's copy counts, whatever the seed holds.
    Write("<diroze><predvolby/></diroze>");
    FPresets.Load(user, seed);
    EXPECT_EQ(TPresets::Name(FPresets.MarkedElement()), QStringLiteral("Výchozí"));

    // Neither file there: an empty document that can be saved, folder and all.
    FPresets.Load(FDir.filePath(QStringLiteral("other/diroze/diroze.xml")), FDir.filePath(QStringLiteral("none.xml")));
    EXPECT_TRUE(FPresets.IsActive());
    EXPECT_TRUE(FPresets.Elements().empty());
    FPresets.Add(QStringLiteral("První"));
    FPresets.Save();
    EXPECT_TRUE(QFile::exists(FDir.filePath(QStringLiteral("other/diroze/diroze.xml"))));
}

// The presets installed with the program, as a first start reads them.
TEST(DefaultPresets, EveryPresetIsValidAndTheMarkedOneFillsAnA4SheetWithFortyLabels)
{
    TPresets presets;
    presets.Load(QStringLiteral(DEFAULT_PRESETS));
    const struct {
        const char* name;
        TPaperType format;
        TPoint size, count;
    } expected[] = {
        {"A4 4 × 10", pA4, {21000, 29700}, {4, 10}},
        {"A4 3 × 8", pA4, {21000, 29700}, {3, 8}},
        {"A4 2 × 7", pA4, {21000, 29700}, {2, 7}},
        {"A5 2 × 4", pA5, {14800, 21000}, {2, 4}},
        {"Štítek 100 × 150 mm", pCustom, {10000, 15000}, {1, 1}},
        {"Štítek 62 × 29 mm", pCustom, {6200, 2900}, {1, 1}},
    };
    const std::vector<QDomElement> elements = presets.Elements();
    ASSERT_EQ(elements.size(), std::size(expected));
    for (size_t i = 0; i < elements.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(TPresets::Name(elements[i]), QString::fromUtf8(expected[i].name));
        for (const QLocale& locale : {kCzech, QLocale::c()}) {
            TPapirControls controls;
            controls.FontItems = {QStringLiteral("Arial")};
            presets.Apply(elements[i], controls, locale);
            const TPapir papir = ReadPapir(controls, locale);
            EXPECT_EQ(papir.Format, expected[i].format);
            EXPECT_EQ(papir.Velikost, expected[i].size);
            EXPECT_EQ(papir.Pocet, expected[i].count);
        }
    }
    EXPECT_FALSE(presets.Modified()) << "every preset is complete";
    ASSERT_EQ(presets.MarkedElement(), elements[0]);

    TPapirControls controls;
    controls.FontItems = InstalledFontNames();
    presets.Apply(presets.MarkedElement(), controls, kCzech);
    const TPapir papir = ReadPapir(controls, kCzech);
    TStitekList labels;
    for (int i = 1; i <= 41; ++i)
        labels.push_back(
            std::make_unique<TStitek>(QStringLiteral("96385074;Štítek %1").arg(i), TStitekOptions{soBarCode}));
    TPrintPreview preview;
    Render(preview, labels, papir, false);
    ASSERT_EQ(preview.TotalPages(), 2) << "forty labels on the first sheet, the forty-first on the next";
    int texts = 0;
    for (const TMetaRecord& r : preview.PageList().GetEntry(0).Metafile()->Records())
        texts += std::holds_alternative<rec::TextRect>(r) ? 1 : 0;
    EXPECT_EQ(texts, 40);
}

TEST(ConfigFiles, PresetsAndPrinterFileAreFoundByTheirPlaces)
{
    QTemporaryDir root;
    const TConfigPlaces places{root.filePath("app/"), root.filePath("user/diroze/"), root.filePath("share/diroze/"),
                               root.filePath("etc/diroze/")};
    // Which files exist (a: beside the program, u: the user's folder, d: the
    // installed defaults, s: the system folder) and where each is then found.
    const struct {
        const char* what;
        QStringList existing;
        const char* presets;
        const char* seed;
        const char* printerIni;
    } cases[] = {
        {"a portable install keeps both beside the program",
         {"app/diroze.xml", "app/printer.ini", "user/diroze/printer.ini"},
         "app/diroze.xml",
         "",
         "app/printer.ini"},
        {"an installed program uses the user's folder, seeded by the defaults",
         {"share/diroze/diroze.xml", "user/diroze/printer.ini", "etc/diroze/printer.ini"},
         "user/diroze/diroze.xml",
         "share/diroze/diroze.xml",
         "user/diroze/printer.ini"},
        {"the system's printer file when the user has none",
         {"etc/diroze/printer.ini"},
         "user/diroze/diroze.xml",
         "share/diroze/diroze.xml",
         "etc/diroze/printer.ini"},
        {"a printer file beside the program comes first",
         {"app/printer.ini", "etc/diroze/printer.ini", "share/diroze/diroze.xml"},
         "user/diroze/diroze.xml",
         "share/diroze/diroze.xml",
         "app/printer.ini"},
        {"an office-wide layout in the system folder seeds in place of the defaults",
         {"share/diroze/diroze.xml", "etc/diroze/diroze.xml"},
         "user/diroze/diroze.xml",
         "etc/diroze/diroze.xml",
         ""},
        {"presets beside the program come before the office's",
         {"app/diroze.xml", "etc/diroze/diroze.xml"},
         "app/diroze.xml",
         "",
         ""},
        {"nothing anywhere", {}, "user/diroze/diroze.xml", "share/diroze/diroze.xml", ""},
    };
    auto at = [&](const char* aPlace) { return *aPlace ? root.filePath(QString::fromUtf8(aPlace)) : QString(); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(QDir(root.path()).removeRecursively() && QDir().mkpath(root.path()));
        for (const char* dir : {"app", "user/diroze", "share/diroze", "etc/diroze"})
            QDir(root.path()).mkpath(dir);
        for (const QString& file : c.existing) {
            QFile f(root.filePath(file));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        const TConfigFiles files = LocateConfigFiles(places);
        EXPECT_EQ(files.Presets, at(c.presets));
        EXPECT_EQ(files.PresetsSeed, at(c.seed));
        EXPECT_EQ(files.PrinterIni, at(c.printerIni));
        EXPECT_EQ(files.PrinterIniPlaces.size(), 3);
    }

    // Presets beside a program in a folder the user may not write are the
    // start of the user's own (root may write anywhere: not checked then).
    if (::geteuid() != 0) {
        QFile(root.filePath("app/diroze.xml")).open(QIODevice::WriteOnly);
        QFile(root.filePath("app")).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        const TConfigFiles files = LocateConfigFiles(places);
        QFile(root.filePath("app")).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(files.Presets, root.filePath("user/diroze/diroze.xml"));
        EXPECT_EQ(files.PresetsSeed, root.filePath("app/diroze.xml"));
    }

    // The user's folder follows XDG_CONFIG_HOME when it is an absolute path.
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/srv/cfg/");
    EXPECT_EQ(CurrentConfigPlaces().UserDir, QStringLiteral("/srv/cfg/diroze/"));
    qputenv("XDG_CONFIG_HOME", "relative/cfg");
    EXPECT_EQ(CurrentConfigPlaces().UserDir, QDir::homePath() + QStringLiteral("/.config/diroze/"));
    if (wasSet)
        qputenv("XDG_CONFIG_HOME", saved);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

TEST(PrinterIni, SectionKeyAndNameMatching)
{
    const QString ini =
        QStringLiteral("; settings\n[Jine]\nName=Nope\n[ printer ]\r\n  NAME =  \tKancelář HP 2\t \r\nName=second\n");
    EXPECT_EQ(IniValue(ini, "Printer", "Name"), QStringLiteral("Kancelář HP 2"));
    EXPECT_EQ(IniValue(ini, "Printer", "Port"), QString());
    EXPECT_EQ(IniValue(QStringLiteral("Name=x\n"), "Printer", "Name"), QString()) << "outside any section";

    EXPECT_TRUE(SamePrinterName("kancelář hp 2", "KANCELÁŘ HP 2") == false) << "accented letters keep their case";
    EXPECT_TRUE(SamePrinterName("Kancelář hp 2", "KANCELář HP 2"));
    EXPECT_FALSE(SamePrinterName("a", "ab"));

    QTemporaryDir dir;
    QFile file(dir.filePath("printer.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[PRINTER]\nname= office_pdf \n");
    file.close();
    EXPECT_EQ(PrinterFromIni(file.fileName(), {"Other", "Office_PDF", "office_pdf"}), QStringLiteral("Office_PDF"))
        << "the first in the system's order";
    EXPECT_EQ(PrinterFromIni(file.fileName(), {"Other"}), QString());
    EXPECT_EQ(PrinterFromIni(dir.filePath("missing.ini"), {"Other"}), QString());
}

// printer.ini as Windows editors save it: UTF-16 with a byte-order mark,
// CR-only line ends, a quoted value. What cannot be understood, -check says.
TEST(PrinterIni, FilesAsWindowsEditorsSaveThem)
{
    auto utf16 = [](const QString& aText, bool aBigEndian) {
        QByteArray bytes = aBigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
        for (const QChar c : aText) {
            const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
            bytes +=
                aBigEndian ? QByteArray{&high, 1} + QByteArray{&low, 1} : QByteArray{&low, 1} + QByteArray{&high, 1};
        }
        return bytes;
    };
    const QString plain = QStringLiteral("[Printer]\r\nName=Kancelar HP\r\n");
    struct Row {
        const char* proves;
        QByteArray bytes;
        QString printer; // what PrinterFromIni finds
        QString fault;   // what PrinterIniFault says
    };
    const std::vector<Row> rows = {
        {"UTF-16 LE with BOM", utf16(plain, false), "Kancelar HP", ""},
        {"UTF-16 BE with BOM", utf16(plain, true), "Kancelar HP", ""},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + plain.toUtf8(), "Kancelar HP", ""},
        {"CR-only line ends", "; tiskárna\r[Printer]\rName=Kancelar HP\r", "Kancelar HP", ""},
        {"a quoted value", "[Printer]\nName=\"Kancelar HP\"\n", "Kancelar HP", ""},
        {"a single-quoted value", "[Printer]\nName = 'Kancelar HP' \n", "Kancelar HP", ""},
        {"UTF-16 without BOM", utf16(plain, false).mid(2), "",
         QStringLiteral("není to text v UTF-8 ani v UTF-16 s BOM")},
        {"a line that is no setting", "[Printer]\nKancelar HP\n", "",
         QStringLiteral("řádek 2 není sekce [název] ani klíč=hodnota: Kancelar HP")},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("printer.ini"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(row.bytes);
        file.close();
        EXPECT_EQ(PrinterFromIni(path, {"Jiná", "Kancelar HP"}), row.printer);
        EXPECT_EQ(PrinterIniFault(path), row.fault);
        TConfigFiles files = ConfigFilesIn(dir.path() + QStringLiteral("/"));
        const QString line = DescribeConfigFiles(files).value(1);
        EXPECT_EQ(line,
                  QStringLiteral("Soubor tiskárny: ") + path +
                      (row.fault.isEmpty() ? QString()
                                           : QStringLiteral(" (nepoužije se, nelze mu rozumět: %1)").arg(row.fault)));
    }
}

// Without a printer.ini nothing is read and nothing is said.
TEST(PrinterIni, NoFileNoWarning)
{
    static QStringList messages;
    messages.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& aText) { messages << aText; });
    EXPECT_EQ(PrinterFromIni(QString(), {"Kancelar HP"}), QString());
    EXPECT_EQ(PrinterCalibrationsFromFile(QString())(QStringLiteral("Kancelar HP")), TPrinterCalibration{});
    EXPECT_EQ(PrinterIniFault(QString()), QString());
    qInstallMessageHandler(previous);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST(PrinterIni, CalibrationOfTheNamedPrinter)
{
    const QString ini = QStringLiteral("[Printer]\nName=Zebra_ZD420\nOffsetX=9\n"
                                       "[zebra_zd420]\n OffsetX = 1.5 \nOffsetY=-2\nDarkness=20\n"
                                       "BarWidthReduction=0\nMinModuleMm=0.38\n"
                                       "[Kancelar]\nOffsetY=.25\nOffsetX=+0.125\nBarWidthReduction=1\n");
    struct Row {
        const char* proves;
        QString text, printer;
        TPrinterCalibration calibration;
    };
    const std::vector<Row> rows = {
        {"the section named like the printer, A-Z ignoring case; unknown keys ignored",
         ini,
         "Zebra_ZD420",
         {{150, -200}, 0, 38}},
        {"a missing key keeps its default; halves of a hundredth go to even", ini, "KANCELAR", {{12, 25}, 1, 0}},
        {"no section for the printer", ini, "Other", {}},
        {"accented letters keep their case", "[Tiskárna]\nOffsetX=1\n", "TISKÁRNA", {}},
        {"1000 mm is the most either way", "[P]\nOffsetX=-1000\nOffsetY=1000.00\n", "P", {{-100000, 100000}}},
        {"10 mm is the largest module floor", "[P]\nMinModuleMm=10\nBarWidthReduction=.5\n", "P", {{}, 0.5, 1000}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        EXPECT_EQ(PrinterCalibration(row.text, row.printer), row.calibration);
    }
    struct Bad {
        const char* key;
        const char* value;
        const char* expected;
    };
    const char* shift = "millimetres like -1.5";
    const char* dots = "printer dots from 0 to 1 like 0.25";
    const char* module = "millimetres from 0 to 10 like 0.38";
    const std::vector<Bad> bad = {
        {"OffsetY", "1,5", shift},       {"OffsetY", "1 000", shift},          {"OffsetY", "1e2", shift},
        {"OffsetY", "0x10", shift},      {"OffsetY", "1000.01", shift},        {"OffsetY", "-", shift},
        {"OffsetY", "١", shift},         {"BarWidthReduction", "-0.25", dots}, {"BarWidthReduction", "1.01", dots},
        {"MinModuleMm", "0,38", module}, {"MinModuleMm", "10.5", module},      {"MinModuleMm", "-1", module},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(std::string(b.key) + "=" + b.value);
        try {
            PrinterCalibration(QStringLiteral("[P]\n%1=%2").arg(QLatin1String(b.key), QString::fromUtf8(b.value)),
                               QStringLiteral("P"));
            ADD_FAILURE() << "read as a number";
        } catch (const EPrinter& e) {
            EXPECT_EQ(QString::fromUtf8(e.what()),
                      QStringLiteral("printer.ini: %1 of printer \"P\" is \"%2\", not %3")
                          .arg(QLatin1String(b.key), QString::fromUtf8(b.value), QString::fromUtf8(b.expected)));
        }
    }
}

} // namespace
