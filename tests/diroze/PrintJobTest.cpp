// The program run with -print as a host program would run it: to the
// spooler's PDF printer, to a printer that refuses the job, and with no
// printer at all.

#include "TestPeers.h"
#include "diroze/PrintSpool.h"
#include "diroze/ProgramRun.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QPrinterInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace printspool;
using namespace programrun;

namespace {

TEST(PrintJob, ExampleSheetReachesTheDefaultPrinterAtTrueSize)
{
    if (const QString why = Unavailable(); !why.isEmpty())
        SKIP_WITHOUT_PEER(why.toStdString());
    if (!HaveTool("zbarimg"))
        SKIP_WITHOUT_PEER("zbarimg (zbar-tools) is not installed");
    TSpoolSession spool;
    ASSERT_TRUE(spool.Locked());
    // PRINTER names the user's default destination to the spooler's clients.
    const TRunResult r = RunDiroze({kExample, QStringLiteral("-numbers"), QStringLiteral("-print")},
                                   {QStringLiteral("PRINTER=") + kQueue});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.isEmpty()) << r.Out.toStdString();
    const QString pdf = spool.WaitForPdf();
    ASSERT_FALSE(pdf.isEmpty()) << "no PDF from the queue";
    const QString info = Tool(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(info.contains(QStringLiteral("Pages:           1\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("(A4)"))) << info.toStdString();

    QTemporaryDir dir;
    EXPECT_EQ(ScannedCodes(pdf, dir.path()), kExampleCodes);
}

TEST(PrintJob, ARefusedJobExitsWithOneAndTheSpoolersReason)
{
    if (const QString why = Unavailable(); !why.isEmpty())
        SKIP_WITHOUT_PEER(why.toStdString());
    const TRunResult r =
        RunDiroze({kExample, QStringLiteral("-print")}, {QStringLiteral("PRINTER=") + kRejectingQueue});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, QStringLiteral("diroze: Printer \"diroze-rejecting\" did not accept the job. "
                                    "Destination \"diroze-rejecting\" is not accepting jobs.\n"));
}

TEST(PrintJob, NoPrinterOrNoDataExitsWithOne)
{
    // A scheduler address where none listens: the spooler lists no printer,
    // and the message says why.
    QTemporaryDir dir;
    const QString socket = dir.filePath(QStringLiteral("no-cups.sock"));
    const QString noServer = QStringLiteral("CUPS_SERVER=") + socket;
    TRunResult r = RunDiroze({kExample, QStringLiteral("-print")}, {noServer});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(
        r.Err,
        QStringLiteral("diroze: The print service cannot be reached at %1 (No such file or directory)\n").arg(socket));

    // The data file is read first: its error names the file.
    const QString missing = dir.filePath(QStringLiteral("missing.txt"));
    r = RunDiroze({missing, QStringLiteral("-print")}, {noServer});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Err.startsWith(QStringLiteral("diroze: ") + missing + QStringLiteral(": Cannot open file \"")))
        << r.Err.toStdString();
}

// The destination the job goes to: a default named by LPDEST or PRINTER
// that does not exist, or a print service that cannot be reached, is an
// error before anything is printed.
TEST(PrintJob, AMissingDestinationOrServiceIsNamed)
{
    if (const QString why = Unavailable(); !why.isEmpty())
        SKIP_WITHOUT_PEER(why.toStdString());
    struct Row {
        const char* proves;
        QStringList environment;
        QString err;
    };
    const Row rows[] = {
        {"LPDEST names a missing queue",
         {QStringLiteral("LPDEST=no-such-queue")},
         QStringLiteral("diroze: The printer or class \"no-such-queue\" (LPDEST) does not exist\n")},
        {"PRINTER names a missing queue",
         {QStringLiteral("PRINTER=no-such-queue")},
         QStringLiteral("diroze: The printer or class \"no-such-queue\" (PRINTER) does not exist\n")},
        {"LPDEST comes before PRINTER",
         {QStringLiteral("LPDEST=no-such-queue"), QStringLiteral("PRINTER=") + kQueue},
         QStringLiteral("diroze: The printer or class \"no-such-queue\" (LPDEST) does not exist\n")},
        {"a scheduler address where nothing listens",
         {QStringLiteral("CUPS_SERVER=127.0.0.1:9")},
         QStringLiteral("diroze: The print service cannot be reached at 127.0.0.1:9 (Connection refused)\n")},
    };
    // Keeps the other print tests' jobs out of the job list meanwhile.
    TSpoolSession spool;
    ASSERT_TRUE(spool.Locked());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        const std::vector<int> before = JobIds();
        const TRunResult r = RunDiroze({kExample, QStringLiteral("-print")}, row.environment);
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Err, row.err);
        EXPECT_EQ(NewJobs(before, JobIds()), 0u) << "nothing printed";
    }
}

// The destination is found as the spooler's own clients find it, with the
// user's printer options file in play: LPDEST before the file's Default,
// the file's Default before the service's, and a file that only sets
// options for the LPDEST queue does not lose it.
TEST(PrintJob, TheDestinationIsTheOneTheUsersCupsSetUpChooses)
{
    if (const QString why = Unavailable(); !why.isEmpty())
        SKIP_WITHOUT_PEER(why.toStdString());
    const QString other = QStringLiteral("diroze-thermal203");
    if (!QPrinterInfo::availablePrinterNames().contains(other))
        SKIP_WITHOUT_PEER("no CUPS queue diroze-thermal203 (scripts/start-services.sh makes it)");
    struct Row {
        const char* proves;
        QString lpoptions, lpdest, queue;
    };
    const Row rows[] = {
        {"options for the LPDEST queue", "Dest diroze-thermal203 Resolution=203dpi\n", other, other},
        {"the file's Default", "Default diroze-thermal203\n", QString(), other},
        {"LPDEST before the file's Default", "Default diroze-thermal203\n", kQueue, kQueue},
    };
    TSpoolSession spool;
    ASSERT_TRUE(spool.Locked());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        QTemporaryDir home;
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral(".cups")));
        QFile lpoptions(home.filePath(QStringLiteral(".cups/lpoptions")));
        ASSERT_TRUE(lpoptions.open(QIODevice::WriteOnly));
        lpoptions.write(row.lpoptions.toUtf8());
        lpoptions.close();
        QStringList environment = {QStringLiteral("HOME=") + home.path()};
        if (!row.lpdest.isEmpty())
            environment << QStringLiteral("LPDEST=") + row.lpdest;
        const std::vector<int> before = JobIds(kQueue), otherBefore = JobIds(other);
        const TRunResult r = RunDiroze({kExample, QStringLiteral("-print")}, environment);
        ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        const bool onQueue = row.queue == kQueue;
        EXPECT_EQ(NewJobs(before, JobIds(kQueue)), onQueue ? 1u : 0u);
        EXPECT_EQ(NewJobs(otherBefore, JobIds(other)), onQueue ? 0u : 1u);
    }
}

} // namespace
