// The program itself, run with -pdf and -check as a host program would run it.

#include "TestPeers.h"
#include "diroze/PrintSpool.h"
#include "diroze/ProgramRun.h"
#include "preview/Units.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace printspool;
using namespace programrun;

namespace {

bool HaveTools() { return HaveTool("pdfinfo") && HaveTool("pdftotext") && HaveTool("pdftoppm") && HaveTool("zbarimg"); }

TEST(PdfJob, ExampleSheetIsTrueSizeReadableAndScannable)
{
    if (!HaveTools())
        SKIP_WITHOUT_PEER("poppler-utils or zbar-tools are not installed");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("stitky.pdf"));
    const TRunResult r = RunDiroze({kExample, QStringLiteral("-numbers"), QStringLiteral("-pdf:") + pdf});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();

    const QString info = Tool(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n")))) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("(A4)"))) << info.toStdString();

    // Reading order: the heading, then the first row's texts left to right.
    const QString text = Tool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    const QStringList inOrder = {"Spojovací materiál",       "Šroubek M6 × 20",  "Matice M6 pozinkovaná",
                                 "Podložka 6,4 mm",          "Hmoždinka 8 × 40", "Nářadí",
                                 "Kladivo zámečnické 500 g", "Barvy a laky",     "Ředidlo S 6006"};
    qsizetype at = 0;
    for (const QString& piece : inOrder) {
        const qsizetype found = text.indexOf(piece, at);
        EXPECT_GE(found, at) << piece.toStdString();
        at = std::max(at, found);
    }

    EXPECT_EQ(ScannedCodes(pdf, dir.path()), kExampleCodes);
}

TEST(PdfJob, ManySheetsMakeManyPages)
{
    if (!HaveTools())
        SKIP_WITHOUT_PEER("poppler-utils are not installed");
    QTemporaryDir dir;
    QFile data(dir.filePath(QStringLiteral("many.txt")));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    for (int i = 0; i < 95; ++i)
        data.write(QStringLiteral("96385074;štítek %1\r\n").arg(i).toLatin1());
    data.close();
    const QString pdf = dir.filePath(QStringLiteral("many.pdf"));
    const TRunResult r = RunDiroze({data.fileName(), QStringLiteral("-pdf:") + pdf});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(Tool(QStringLiteral("pdfinfo"), {pdf}).contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))));
}

// On a terminal the pages done are counted on one line of standard error;
// into a pipe nothing but failures is written there.
TEST(PdfJob, ATerminalSeesThePagesDoneOnOneLine)
{
    if (!HaveTool("python3"))
        SKIP_WITHOUT_PEER("python3 is not installed");
    QTemporaryDir dir;
    QFile data(dir.filePath(QStringLiteral("three.txt")));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    for (int i = 0; i < 95; ++i)
        data.write(QStringLiteral("96385074;štítek %1\r\n").arg(i).toLatin1());
    data.close();
    // The helper that runs a program on a pseudo-terminal and passes on what it wrote there.
    const QString pty = QStringLiteral(EXAMPLES_DIR "/../tests/emlsend/run_in_pty.py");
    const QString pdf = dir.filePath(QStringLiteral("three.pdf"));
    const QStringList job = {data.fileName(), QStringLiteral("-pdf:") + pdf};
    const struct {
        const char* name;
        bool terminal;
        QString expected; // what the terminal or the pipe of standard error got
    } cases[] = {
        {"terminal", true,
         QStringLiteral("\rHotovo 0 z 3 stran\rHotovo 1 z 3 stran\rHotovo 2 z 3 stran\rHotovo 3 z 3 stran\r\n")},
        {"pipe", false, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(pdf);
        const TRunResult r =
            c.terminal ? RunDiroze(QStringList{pty, QStringLiteral(DIROZE_BINARY)} + job, {}, QStringLiteral("python3"))
                       : RunDiroze(job);
        ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString() << r.Out.toStdString();
        EXPECT_EQ(c.terminal ? r.Out : r.Err, c.expected);
        EXPECT_TRUE(QFileInfo(pdf).size() > 0);
    }
}

TEST(PdfJob, FailuresExitWithOneAndLeaveNoFile)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));

    TRunResult r = RunDiroze({dir.filePath(QStringLiteral("missing.txt")), QStringLiteral("-pdf:") + pdf});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("Cannot open file \"") + dir.filePath(QStringLiteral("missing.txt")) +
                               QStringLiteral("\". No such file or directory")))
        << r.Err.toStdString();

    QFile bad(dir.filePath(QStringLiteral("bad.txt")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(";ok\r\n@9\r\n");
    bad.close();
    r = RunDiroze({bad.fileName(), QStringLiteral("-pdf:") + pdf});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("řádek 2: Neznámý povel \"@9\""))) << r.Err.toStdString();
    EXPECT_FALSE(QFile::exists(pdf));

    r = RunDiroze({kExample, QStringLiteral("-pdf:") + dir.filePath(QStringLiteral("no/such/dir/out.pdf"))});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("Cannot create file"))) << r.Err.toStdString();

    // A good file is not replaced by a failed run.
    QFile previous(pdf);
    ASSERT_TRUE(previous.open(QIODevice::WriteOnly));
    previous.write("previous");
    previous.close();
    r = RunDiroze({bad.fileName(), QStringLiteral("-pdf:") + pdf});
    EXPECT_EQ(r.ExitCode, 1);
    ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
    EXPECT_EQ(previous.readAll(), QByteArray("previous"));
}

// A copy of the program in a directory of its own finds its presets file there.
TEST(PdfJob, EachFailureNamesTheFileOrThingAtFault)
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("diroze"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(DIROZE_BINARY), program));
    const QString presets = dir.filePath(QStringLiteral("diroze.xml"));
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    const QString unwritable = dir.filePath(QStringLiteral("no/such/dir/out.pdf"));
    const QByteArray goodPresets = "<diroze><predvolby><predvolba nazev=\"A\" vybrana=\"true\"><papir format=\"8\"/>"
                                   "</predvolba><predvolba nazev=\"Záporná\"><papir format=\"8\" okraj-x=\"-1\"/>"
                                   "</predvolba></predvolby></diroze>";
    struct Case {
        const char* what;
        QByteArray presets;
        QStringList switches;
        QString expected; // the start of the report
    } cases[] = {
        {"malformed presets file",
         "<diroze><predvolby>",
         {QStringLiteral("-pdf:") + pdf},
         QStringLiteral("diroze: ") + presets + QStringLiteral(": Premature end of document.")},
        {"a preset's value",
         goodPresets,
         {QStringLiteral("-pdf:") + pdf, QStringLiteral("-preset:Záporná")},
         QStringLiteral("diroze: ") + presets +
             QStringLiteral(": předvolba \"Záporná\", prvek papir, atribut okraj-x=\"-1\": Hodnota nesmí být "
                            "záporná.\n")},
        {"unknown preset",
         goodPresets,
         {QStringLiteral("-pdf:") + pdf, QStringLiteral("-preset:X")},
         QStringLiteral("diroze: Předvolba \"X\" neexistuje.\n")},
        {"unknown preset when printing",
         goodPresets,
         {QStringLiteral("-print"), QStringLiteral("-preset:X")},
         QStringLiteral("diroze: Předvolba \"X\" neexistuje.\n")},
        {"output file",
         goodPresets,
         {QStringLiteral("-pdf:") + unwritable},
         QStringLiteral("diroze: ") + unwritable + QStringLiteral(": Cannot create file \"") + unwritable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile file(presets);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.presets);
        file.close();
        const TRunResult r = RunDiroze(QStringList{kExample} + c.switches, {}, program);
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_TRUE(r.Err.startsWith(c.expected)) << r.Err.toStdString();
    }
}

// The layout of -pdf and -print: the preset -preset names, else the one
// marked as used; the A3 and custom sizes show which one was taken.
TEST(PdfJob, TheNamedOrMarkedPresetLaysOutPdfAndPrint)
{
    if (const QString why = Unavailable(); !why.isEmpty())
        SKIP_WITHOUT_PEER(why.toStdString());
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("diroze"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(DIROZE_BINARY), program));
    QFile presets(dir.filePath(QStringLiteral("diroze.xml")));
    ASSERT_TRUE(presets.open(QIODevice::WriteOnly));
    presets.write(QStringLiteral("<diroze><predvolby>"
                                 "<predvolba nazev=\"Velké\" vybrana=\"true\"><papir format=\"%1\"/></predvolba>"
                                 "<predvolba nazev=\"Štítek\"><papir format=\"%2\" sirka=\"100\" vyska=\"150\"/>"
                                 "<stitek pocet-x=\"1\" pocet-y=\"2\"/></predvolba></predvolby></diroze>")
                      .arg(int(diroze::pA3))
                      .arg(int(diroze::pCustom))
                      .toUtf8());
    presets.close();
    QFile ini(dir.filePath(QStringLiteral("printer.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Printer]\nName=" + kQueue.toUtf8() + "\n");
    ini.close();
    struct Row {
        const char* proves;
        QStringList switches;
        double width, height; // points; pages are sized in whole points or finer
    };
    const std::vector<Row> rows = {
        {"-pdf: the marked preset", {"-pdf:OUT"}, 841.9, 1190.6},
        {"-pdf -preset: the named one, its name spelt in another case", {"-pdf:OUT", "-preset:ŠTÍTEK"}, 283.5, 425.2},
        {"-print: the marked preset", {"-print"}, 841.9, 1190.6},
        {"-print -preset: the named one", {"-print", "-preset:Štítek"}, 283.5, 425.2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
        QStringList args{kExample};
        for (const QString& s : row.switches)
            args << QString(s).replace(QStringLiteral("OUT"), pdf);
        TSpoolSession spool;
        ASSERT_TRUE(spool.Locked());
        const TRunResult r = RunDiroze(args, {}, program);
        ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        const QString out = row.switches.front() == "-print" ? spool.WaitForPdf() : pdf;
        ASSERT_FALSE(out.isEmpty()) << "no PDF from the queue";
        const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+)"))
                                                 .match(Tool(QStringLiteral("pdfinfo"), {out}));
        ASSERT_TRUE(size.hasMatch());
        EXPECT_NEAR(size.captured(1).toDouble(), row.width, 0.6);
        EXPECT_NEAR(size.captured(2).toDouble(), row.height, 0.6);
        QFile::remove(pdf);
    }
}

TEST(CheckJob, ListsLabelsOrReportsTheBadLine)
{
    TRunResult r = RunDiroze({kExample, QStringLiteral("-check"), QStringLiteral("-numbers")});
    EXPECT_EQ(r.ExitCode, 0);
    // The module on the current printer, when there is one, stands in brackets after the code.
    EXPECT_TRUE(r.Out.contains(QRegularExpression(QStringLiteral("\n2: EAN-13 8590000123455 (\\[[^]]*\\] )?\\| "
                                                                 "Šroubek M6 × 20"))))
        << r.Out.toStdString();
    EXPECT_TRUE(r.Out.endsWith(QStringLiteral("Štítků: 16\n")));
    r = RunDiroze({kExample, QStringLiteral("-check"), QStringLiteral("-codePage:abc")});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("'abc' is not a valid integer value")));
}

TEST(Program, AnswersHelpVersionAndNamesItsFiles)
{
    QTemporaryDir config;
    const QString installedDefaults = QDir::cleanPath(QFileInfo(QStringLiteral(DIROZE_BINARY)).absolutePath() +
                                                      QStringLiteral("/../share/diroze/diroze.xml"));
    const struct {
        QStringList args;
        QString expectedStart;
    } cases[] = {
        {{QStringLiteral("--version")}, QStringLiteral("diroze " HOSTUTILS_VERSION "\n")},
        {{QStringLiteral("--help"), kExample}, QStringLiteral("Usage: diroze DATAFILE")},
        {{kExample, QStringLiteral("-check")},
         QStringLiteral("Soubor předvoleb: %1/diroze/diroze.xml (zatím neexistuje, předvolby se čtou z %2)\n"
                        "Soubor tiskárny: žádný (hledá se ")
             .arg(config.path(), installedDefaults)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const TRunResult r = RunDiroze(c.args, {QStringLiteral("XDG_CONFIG_HOME=") + config.path()});
        EXPECT_EQ(r.ExitCode, 0);
        EXPECT_TRUE(r.Out.startsWith(c.expectedStart)) << r.Out.toStdString();
        EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
    }
    // A directory in the presets file's place fails the check as it fails -pdf.
    ASSERT_TRUE(QDir().mkpath(config.filePath(QStringLiteral("diroze/diroze.xml"))));
    const TRunResult r =
        RunDiroze({kExample, QStringLiteral("-check")}, {QStringLiteral("XDG_CONFIG_HOME=") + config.path()});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Out.startsWith(
        QStringLiteral("Soubor předvoleb: %1/diroze/diroze.xml (je to adresář, ne soubor)\n").arg(config.path())))
        << r.Out.toStdString();
    EXPECT_TRUE(r.Err.contains(QStringLiteral("Is a directory"))) << r.Err.toStdString();
}

TEST(PdfJob, TheInstalledPresetsAreReadUntilTheUserHasOwn)
{
    if (!HaveTools())
        SKIP_WITHOUT_PEER("poppler-utils are not installed");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("label.pdf"));
    // A preset of the installed defaults; the run saves nothing.
    TRunResult r = RunDiroze({kExample, QStringLiteral("-preset:Štítek 62 × 29 mm"), QStringLiteral("-pdf:") + pdf},
                             {QStringLiteral("XDG_CONFIG_HOME=") + dir.path()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    const QString info = Tool(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+17[56](\\.\\d+)? x 82(\\.\\d+)? pts"))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+16\\n")))) << "one label a page";
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("diroze")))) << "nothing is written";

    // Once the user has presets of their own, the installed ones are not read.
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("diroze")));
    QFile own(dir.filePath(QStringLiteral("diroze/diroze.xml")));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("<diroze><predvolby/></diroze>");
    own.close();
    r = RunDiroze({kExample, QStringLiteral("-preset:Štítek 62 × 29 mm"), QStringLiteral("-pdf:") + pdf},
                  {QStringLiteral("XDG_CONFIG_HOME=") + dir.path()});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("Předvolba \"Štítek 62 × 29 mm\" neexistuje."))) << r.Err.toStdString();
}

// Reads a FIFO from the side a host would, without ever blocking: opened
// before the program starts, drained until Stop() and then to its end.
class TFifoReader {
public:
    explicit TFifoReader(const QString& aPath)
            : FHandle(::open(QFile::encodeName(aPath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
    {
        FThread = std::thread([this] {
            char buffer[4096];
            for (bool last = false;;) {
                const ssize_t n = ::read(FHandle, buffer, sizeof buffer);
                if (n > 0) {
                    FData.append(buffer, n);
                    continue;
                }
                if (last)
                    return;
                last = FStop.load();
                if (!last)
                    ::usleep(10000);
            }
        });
    }
    ~TFifoReader() { Stop(); }
    // All that was read; call once the writer has ended.
    QByteArray Stop()
    {
        FStop = true;
        if (FThread.joinable())
            FThread.join();
        if (FHandle >= 0)
            ::close(std::exchange(FHandle, -1));
        return FData;
    }

private:
    int FHandle;
    std::atomic<bool> FStop{false};
    QByteArray FData;
    std::thread FThread;
};

// What a path is, as lstat sees it.
mode_t KindOf(const QString& aPath)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(aPath).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

// -pdf:TARGET replaces only regular files (or creates missing ones); FIFOs,
// character devices and descriptors get the PDF written straight into them,
// and what cannot take a PDF is refused with the reason. Nothing that is not
// a regular file is ever removed or replaced.
TEST(PdfJob, TargetsThatAreNoRegularFileAreWrittenDirectlyOrRefused)
{
    QTemporaryDir dir;
    const QString base = dir.path() + QStringLiteral("/");
    auto node = [&](const char* aName, mode_t aMode, dev_t aDevice) {
        return ::mknod(QFile::encodeName(base + QLatin1String(aName)).constData(), aMode | 0600, aDevice) == 0;
    };
    ASSERT_TRUE(node("fifo", S_IFIFO, 0));
    const bool devices = node("full", S_IFCHR, makedev(1, 7)) && node("null", S_IFCHR, makedev(1, 3));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(base + "dangling").constData()), 0);
    QFile old(base + QStringLiteral("old.pdf"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();
    ASSERT_EQ(::symlink("old.pdf", QFile::encodeName(base + "link.pdf").constData()), 0);
    // Links are followed to what they lead to: a FIFO or a device is written, the link stays.
    ASSERT_EQ(::symlink("fifo", QFile::encodeName(base + "fifolink").constData()), 0);
    if (devices) {
        ASSERT_EQ(::symlink("null", QFile::encodeName(base + "nulllink").constData()), 0);
    }

    struct Row {
        const char* target;
        bool needsDevices;
        int exitCode;
        const char* error; // part of the message on standard error; empty for none
        mode_t kindAfter;  // the target's own kind afterwards
        const char* pdfIn; // where the PDF must be found: "fifo", "stdout" or a file
    };
    const std::vector<Row> rows = {
        {"fifo", false, 0, "", S_IFIFO, "fifo"},
        {"/dev/stdout", false, 0, "", S_IFLNK, "stdout"},
        {"full", true, 1, "No space left on device", S_IFCHR, ""},
        {"null", true, 0, "", S_IFCHR, ""},
        {"fifolink", false, 0, "", S_IFLNK, "fifo"},
        {"nulllink", true, 0, "", S_IFLNK, ""},
        {"folder", false, 1, "Is a directory", S_IFDIR, ""},
        {"dangling", false, 1, "symbolic link to a missing file", S_IFLNK, ""},
        {"link.pdf", false, 0, "", S_IFLNK, "old.pdf"},
        {"new.pdf", false, 0, "", S_IFREG, "new.pdf"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.target);
        if (row.needsDevices && !devices) {
            if (::testpeers::PeersRequired())
                ADD_FAILURE() << "character devices cannot be made here (not the superuser)";
            continue;
        }
        const QString target = row.target[0] == '/' ? QString::fromLatin1(row.target) : base + row.target;
        std::optional<TFifoReader> reader;
        if (QLatin1String(row.pdfIn) == QLatin1String("fifo"))
            reader.emplace(target);
        const TRunResult r = RunDiroze({kExample, QStringLiteral("-pdf:") + target});
        const QByteArray fromFifo = reader ? reader->Stop() : QByteArray();
        EXPECT_EQ(r.ExitCode, row.exitCode) << r.Err.toStdString();
        if (*row.error)
            EXPECT_TRUE(r.Err.contains(QLatin1String(row.error))) << r.Err.toStdString();
        else
            EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
        EXPECT_EQ(KindOf(target), row.kindAfter);
        QByteArray pdf;
        if (QLatin1String(row.pdfIn) == QLatin1String("fifo"))
            pdf = fromFifo;
        else if (QLatin1String(row.pdfIn) == QLatin1String("stdout"))
            pdf = r.Out.toLatin1();
        else if (*row.pdfIn) {
            QFile written(base + row.pdfIn);
            EXPECT_TRUE(written.open(QIODevice::ReadOnly));
            pdf = written.readAll();
        }
        if (*row.pdfIn) {
            EXPECT_TRUE(pdf.startsWith("%PDF-")) << pdf.left(20).toStdString();
            EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF")) << "the whole PDF";
        }
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot).size(),
              devices ? 10 : 7)
        << "no temporary file left";
}

// The dialog needs a window system; without one it says so in one line
// instead of aborting in Qt, and names the switches that need none.
TEST(PdfJob, TheDialogWithoutADisplaySaysSoInOneLine)
{
    const std::vector<QStringList> environments = {
        {},
        {"DISPLAY=:97"}, // no X server answers there
        {"QT_QPA_PLATFORM=wayland"},
        {"QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY=wayland-97"},
    };
    ASSERT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X97")));
    for (const QStringList& environment : environments) {
        SCOPED_TRACE(environment.join(u' ').toStdString());
        const TRunResult r = RunDiroze({kExample}, environment);
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Err, QStringLiteral("diroze: Dialog \"Tisk štítků\" potřebuje grafický displej (DISPLAY nebo "
                                        "WAYLAND_DISPLAY), žádný není k dispozici; -pdf, -print a -check displej "
                                        "nepotřebují.\n"));
    }
}

// A preset value that no control of the dialog could hold, or one the layout
// cannot read (a decimal comma in the C locale), stops -pdf with the presets
// file, the preset, the attribute and what it should be.
TEST(PdfJob, BadPresetValuesAreNamedWithTheirFile)
{
    struct Row {
        const char* preset;
        const char* message;
    };
    const std::vector<Row> rows = {
        {"<predvolba nazev=\"A\" vybrana=\"true\"><stitek pocet-x=\"0\"/></predvolba>",
         "předvolba \"A\", prvek stitek, atribut pocet-x=\"0\": čeká se celé číslo od 1 do 1000"},
        {"<predvolba nazev=\"B\" vybrana=\"true\"><stitek pocet-y=\"10000\"/></predvolba>",
         "předvolba \"B\", prvek stitek, atribut pocet-y=\"10000\": čeká se celé číslo od 1 do 1000"},
        {"<predvolba nazev=\"C\" vybrana=\"ano\"/>",
         "předvolba \"C\", atribut vybrana=\"ano\": čeká se true nebo false"},
        {"<predvolba nazev=\"D\" vybrana=\"true\"><papir okraj-y=\"15,47\"/></predvolba>",
         "předvolba \"D\", prvek papir, atribut okraj-y=\"15,47\": Hodnota musí být zadána v milimetrech jako "
         "desetiné číslo."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.preset);
        QTemporaryDir config;
        ASSERT_TRUE(QDir(config.path()).mkdir(QStringLiteral("diroze")));
        const QString path = config.filePath(QStringLiteral("diroze/diroze.xml"));
        QFile presets(path);
        ASSERT_TRUE(presets.open(QIODevice::WriteOnly));
        presets.write(QByteArray("<diroze><predvolby>") + row.preset + "</predvolby></diroze>");
        presets.close();
        const TRunResult r = RunDiroze({kExample, QStringLiteral("-pdf:") + config.filePath(QStringLiteral("o.pdf"))},
                                       {QStringLiteral("XDG_CONFIG_HOME=") + config.path()});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Err, QStringLiteral("diroze: %1: %2\n").arg(path, QString::fromUtf8(row.message)));
    }
}

} // namespace
