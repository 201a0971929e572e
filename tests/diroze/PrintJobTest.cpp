// The program run with -print as a host program would run it: to the
// spooler's PDF printer, to a printer that refuses the job, and with no
// printer at all.

#include "TestPeers.h"
#include "diroze/PrintSpool.h"
#include "QtPrinters.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace printspool;

namespace {

struct Result {
    int exitCode = -1;
    QString out, err;
};

// Runs diroze with no display; aEnvironment is added to the environment.
Result RunDiroze(const QStringList& aArgs, const QStringList& aEnvironment)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR", "LPDEST", "PRINTER"})
        env.remove(QString::fromLatin1(name));
    for (const QString& setting : aEnvironment)
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(DIROZE_BINARY), aArgs);
    if (!process.waitForFinished(120000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

const QString kExample = QStringLiteral(EXAMPLES_DIR "/stitky.txt");

TEST(PrintJob, ExampleSheetReachesTheDefaultPrinterAtTrueSize)
{
    if (const QString why = Unavailable(); !why.isEmpty())
        SKIP_WITHOUT_PEER(why.toStdString());
    if (!HaveTool("zbarimg"))
        SKIP_WITHOUT_PEER("zbarimg (zbar-tools) is not installed");
    TSpoolSession spool;
    ASSERT_TRUE(spool.Locked());
    // PRINTER names the user's default destination to the spooler's clients.
    const Result r = RunDiroze({kExample, QStringLiteral("-numbers"), QStringLiteral("-print")},
                               {QStringLiteral("PRINTER=") + kQueue});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    const QString pdf = spool.WaitForPdf();
    ASSERT_FALSE(pdf.isEmpty()) << "no PDF from the queue";
    const QString info = Tool(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(info.contains(QStringLiteral("Pages:           1\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("(A4)"))) << info.toStdString();

    QTemporaryDir dir;
    Tool(QStringLiteral("pdftoppm"), {"-r", "300", "-png", "-singlefile", pdf, dir.filePath(QStringLiteral("sheet"))});
    QStringList codes = Tool(QStringLiteral("zbarimg"), {"-q", "--raw", dir.filePath(QStringLiteral("sheet.png"))})
                            .split('\n', Qt::SkipEmptyParts);
    codes.sort();
    EXPECT_EQ(codes, (QStringList{"40063812", "8590000123455", "8590000123462", "8590000123479", "8590000200019",
                                  "8590000200026", "8590000200033", "8590000200040", "8590000300016", "8590000300023",
                                  "8590000300030", "85900011"}));
}

TEST(PrintJob, ARefusedJobExitsWithOneAndTheSpoolersReason)
{
    if (const QString why = Unavailable(); !why.isEmpty())
        SKIP_WITHOUT_PEER(why.toStdString());
    const Result r = RunDiroze({kExample, QStringLiteral("-print")}, {QStringLiteral("PRINTER=") + kRejectingQueue});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringLiteral("diroze: Printer \"diroze-rejecting\" did not accept the job. "
                                    "Destination \"diroze-rejecting\" is not accepting jobs.\n"));
}

TEST(PrintJob, NoPrinterOrNoDataExitsWithOne)
{
    // A scheduler address where none listens: the spooler lists no printer.
    QTemporaryDir dir;
    const QString noServer = QStringLiteral("CUPS_SERVER=") + dir.filePath(QStringLiteral("no-cups.sock"));
    Result r = RunDiroze({kExample, QStringLiteral("-print")}, {noServer});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringLiteral("diroze: No printer is installed\n"));

    // The data file is read first: its error names the file.
    const QString missing = dir.filePath(QStringLiteral("missing.txt"));
    r = RunDiroze({missing, QStringLiteral("-print")}, {noServer});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("diroze: ") + missing + QStringLiteral(": Cannot open file \"")))
        << r.err.toStdString();
}

} // namespace
