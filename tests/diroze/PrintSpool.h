#pragma once
// The printing tests' real spooler: the CUPS queue "diroze-pdf" that
// scripts/start-services.sh sets up, whose cups-pdf output lands in
// /var/spool/cups-pdf-diroze/<user>, and "diroze-rejecting", which refuses
// every job. A test that prints holds a lock shared by all test processes
// (ctest runs tests in parallel), prints, and waits a bounded time for the
// file that its own job made.

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLockFile>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace printspool {

inline const QString kQueue = QStringLiteral("diroze-pdf");
inline const QString kRejectingQueue = QStringLiteral("diroze-rejecting");

inline QString OutputDirectory()
{
    const passwd* user = getpwuid(geteuid());
    return QStringLiteral("/var/spool/cups-pdf-diroze/") + QString::fromLocal8Bit(user ? user->pw_name : "");
}

inline bool HaveTool(const char* aProgram)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(aProgram)).isEmpty();
}

// Runs a tool for at most a minute; its standard output, or empty.
inline QString Tool(const QString& aProgram, const QStringList& aArgs, int* aExitCode = nullptr)
{
    QProcess process;
    process.start(aProgram, aArgs);
    const bool finished = process.waitForFinished(60000);
    if (!finished)
        process.kill();
    if (aExitCode)
        *aExitCode = finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Empty when the spooler tests can run; otherwise why they skip.
inline QString Unavailable()
{
    if (!HaveTool("pdfinfo") || !HaveTool("pdftoppm") || !HaveTool("lpstat"))
        return QStringLiteral("poppler-utils or cups-client are not installed");
    const QStringList printers = QPrinterInfo::availablePrinterNames();
    if (!printers.contains(kQueue) || !printers.contains(kRejectingQueue))
        return QStringLiteral("no CUPS scheduler with the queues diroze-pdf and diroze-rejecting "
                              "(scripts/start-services.sh starts them when run as root)");
    if (!QFileInfo(QStringLiteral("/var/spool/cups-pdf-diroze")).isDir())
        return QStringLiteral("the cups-pdf output directory /var/spool/cups-pdf-diroze is missing");
    return QString();
}

// The ids of the jobs the scheduler knows for aQueue, finished ones included.
inline std::vector<int> JobIds(const QString& aQueue = kQueue)
{
    std::vector<int> ids;
    const QString prefix = aQueue + u'-';
    for (const QString& line :
         Tool(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o"), aQueue})
             .split(u'\n', Qt::SkipEmptyParts)) {
        const QString request = line.section(u' ', 0, 0);
        if (request.startsWith(prefix))
            ids.push_back(request.mid(prefix.size()).toInt());
    }
    return ids;
}

// How many of aAfter are newer than every job of aBefore: the scheduler
// drops the oldest finished jobs from its history, so counts alone mislead.
inline size_t NewJobs(const std::vector<int>& aBefore, const std::vector<int>& aAfter)
{
    const int newest = aBefore.empty() ? 0 : *std::max_element(aBefore.begin(), aBefore.end());
    return size_t(std::count_if(aAfter.begin(), aAfter.end(), [newest](int aId) { return aId > newest; }));
}

// While it lives, the lock driver_print_check.py takes on the driver
// queues: no other test's job lands in a sink whose jobs are being counted.
class TDriverQueuesLock {
public:
    TDriverQueuesLock() : FHandle(::open("/tmp/diroze-driver-queues.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666))
    {
        if (FHandle >= 0)
            ::flock(FHandle, LOCK_EX);
    }
    ~TDriverQueuesLock()
    {
        if (FHandle >= 0)
            ::close(FHandle); // closing releases the lock
    }
    TDriverQueuesLock(const TDriverQueuesLock&) = delete;
    TDriverQueuesLock& operator=(const TDriverQueuesLock&) = delete;

private:
    int FHandle;
};

// One print through the spooler: construct before printing, then WaitForPdf
// with the job's id. The session also holds a lock shared by all test
// processes, for tests that count the queue's jobs.
class TSpoolSession {
public:
    TSpoolSession() : FLock(QDir::temp().filePath(QStringLiteral("diroze-print-tests.lock")))
    {
        FLock.setStaleLockTime(0); // only a dead holder's lock is stale
        FLocked = FLock.tryLock(240000);
        FBefore = PdfFiles();
        FJobsBefore = JobIds();
    }
    ~TSpoolSession()
    {
        if (!FFound.isEmpty())
            QFile::remove(FFound);
    }
    TSpoolSession(const TSpoolSession&) = delete;
    TSpoolSession& operator=(const TSpoolSession&) = delete;

    bool Locked() const { return FLocked; }

    // The PDF that the job aJobId made, once the job has left the queue and
    // pdfinfo reads it; empty when none appears within 90 seconds. cups-pdf
    // names its files "...-job_<id>.pdf", so jobs that other tests print at
    // the same time are told apart.
    QString WaitForPdf(int aJobId)
    {
        if (aJobId <= 0)
            return QString();
        const QString suffix = QStringLiteral("-job_%1.pdf").arg(aJobId);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 90000) {
            for (const QString& file : PdfFiles()) {
                if (!file.endsWith(suffix) || FBefore.contains(file) || !JobDone(aJobId))
                    continue;
                int exitCode = -1;
                Tool(QStringLiteral("pdfinfo"), {file}, &exitCode);
                if (exitCode == 0) {
                    FFound = file;
                    return file;
                }
            }
            QThread::msleep(200);
        }
        return QString();
    }

    // For a job printed by another process: the one job of the queue that
    // was submitted since the session began; empty when there is not
    // exactly one.
    QString WaitForPdf()
    {
        std::vector<int> fresh;
        for (int id : JobIds())
            if (std::find(FJobsBefore.begin(), FJobsBefore.end(), id) == FJobsBefore.end())
                fresh.push_back(id);
        return fresh.size() == 1 ? WaitForPdf(fresh.front()) : QString();
    }

private:
    static QStringList PdfFiles()
    {
        QStringList files;
        const QDir dir(OutputDirectory());
        for (const QString& name : dir.entryList({QStringLiteral("*.pdf")}, QDir::Files))
            files << dir.filePath(name);
        return files;
    }
    // The job is no longer pending or printing on any queue.
    static bool JobDone(int aJobId)
    {
        const QString suffix = QStringLiteral("-%1").arg(aJobId);
        for (const QString& line : Tool(QStringLiteral("lpstat"), {QStringLiteral("-o")}).split(u'\n'))
            if (line.section(u' ', 0, 0).endsWith(suffix))
                return false;
        return true;
    }

    QLockFile FLock;
    bool FLocked = false;
    QStringList FBefore;
    std::vector<int> FJobsBefore;
    QString FFound;
};

// The page numbers that the pages of a portrait aPdf show, in page order.
inline std::vector<int> PrintedPages(const QString& aPdf)
{
    QTemporaryDir dir;
    Tool(QStringLiteral("pdftoppm"), {"-r", "127", "-gray", "-png", aPdf, dir.filePath(QStringLiteral("p"))});
    std::vector<int> pages;
    QStringList files = QDir(dir.path()).entryList({QStringLiteral("p-*.png")}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        const QImage image(dir.filePath(file));
        const int y = 62 * 5; // 5 pixels a millimetre
        int runs = 0;
        bool dark = false;
        for (int x = 0; x < std::min(image.width(), 150 * 5); ++x) {
            const bool now = qGray(image.pixel(x, y)) < 128;
            runs += now && !dark;
            dark = now;
        }
        pages.push_back(runs);
    }
    return pages;
}

} // namespace printspool
