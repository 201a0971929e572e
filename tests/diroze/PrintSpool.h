#pragma once
// The printing tests' real spooler: the CUPS queue "diroze-pdf" that
// scripts/start-services.sh sets up, whose cups-pdf output lands in
// /var/spool/cups-pdf-diroze/<user>, and "diroze-rejecting", which refuses
// every job. A test that prints holds a lock shared by all test processes
// (ctest runs tests in parallel), notes the PDF files already there, prints,
// and waits a bounded time for the one new file.

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

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

// One print through the spooler: construct before printing, then WaitForPdf.
class TSpoolSession {
public:
    TSpoolSession() : FLock(QDir::temp().filePath(QStringLiteral("diroze-print-tests.lock")))
    {
        FLock.setStaleLockTime(0); // only a dead holder's lock is stale
        FLocked = FLock.tryLock(240000);
        FBefore = PdfFiles();
    }
    ~TSpoolSession()
    {
        for (const QString& file : FFound)
            QFile::remove(file);
    }
    TSpoolSession(const TSpoolSession&) = delete;
    TSpoolSession& operator=(const TSpoolSession&) = delete;

    bool Locked() const { return FLocked; }

    // The PDF the print made, once the queue is idle and pdfinfo reads it;
    // empty when none appears within 90 seconds or more than one does.
    QString WaitForPdf()
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 90000) {
            QStringList fresh = PdfFiles();
            for (const QString& old : FBefore)
                fresh.removeAll(old);
            if (!fresh.isEmpty() && QueueIdle()) {
                FFound = fresh;
                if (fresh.size() != 1)
                    return QString();
                int exitCode = -1;
                Tool(QStringLiteral("pdfinfo"), {fresh.front()}, &exitCode);
                if (exitCode == 0)
                    return fresh.front();
            }
            QThread::msleep(200);
        }
        return QString();
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
    static bool QueueIdle()
    {
        return Tool(QStringLiteral("lpstat"), {QStringLiteral("-o"), kQueue}).trimmed().isEmpty();
    }

    QLockFile FLock;
    bool FLocked = false;
    QStringList FBefore;
    QStringList FFound;
};

} // namespace printspool
