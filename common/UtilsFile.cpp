#include "UtilsFile.h"

#include "Exceptions.h"
#include "FileHandle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <clocale>
#include <locale.h>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hostutils {

namespace {

[[noreturn]] void ThrowOpenError(const QString& aFileName, int aErrno)
{
    throw EFOpenError("Cannot open file \"" + ExpandFileName(aFileName).toStdString() + "\". " +
                      SystemReason(aErrno).toStdString());
}

} // namespace

QString GetApplicationDir()
{
    static const QString dir = [] {
        const QFileInfo exe(QStringLiteral("/proc/self/exe"));
        const QString target = exe.symLinkTarget();
        QString path = target.isEmpty() ? QDir::currentPath() : QFileInfo(target).absolutePath();
        if (!path.endsWith(u'/'))
            path += u'/';
        return path;
    }();
    return dir;
}

QString ExpandFileName(const QString& aFileName)
{
    if (aFileName.isEmpty())
        return {};
    return QDir::cleanPath(QFileInfo(aFileName).absoluteFilePath());
}

void ReadFileChunks(const QString& aFileName, const std::function<bool(std::string_view)>& aChunk)
{
    if (aFileName.isEmpty())
        ThrowOpenError(aFileName, ENOENT);
    const QByteArray path = QFile::encodeName(aFileName);
    const TFileHandle file(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid())
        ThrowOpenError(aFileName, errno);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
        if (n == 0)
            return;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowOpenError(aFileName, errno);
        }
        if (!aChunk(std::string_view(buffer, static_cast<size_t>(n))))
            return;
    }
}

std::string ReadWholeFile(const QString& aFileName)
{
    std::string content;
    bool first = true;
    ReadFileChunks(aFileName, [&](std::string_view aChunk) {
        if (first) {
            first = false;
            struct stat st {};
            if (::stat(QFile::encodeName(aFileName).constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
                content.reserve(static_cast<size_t>(st.st_size));
        }
        content.append(aChunk);
        return true;
    });
    return content;
}

QString SystemReason(int aErrno)
{
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    return QString::fromUtf8(c ? ::strerror_l(aErrno, c) : std::strerror(aErrno));
}

bool TWholeSaveFile::Noted(bool aDone)
{
    if (!aDone && errno != 0 && FReason.isEmpty())
        FReason = SystemReason(errno);
    return aDone;
}

bool TWholeSaveFile::Open()
{
    errno = 0;
    return Noted(open(QIODevice::WriteOnly | QIODevice::Unbuffered));
}

bool TWholeSaveFile::Commit()
{
    errno = 0;
    return Noted(commit());
}

qint64 TWholeSaveFile::writeData(const char* aData, qint64 aLength)
{
    qint64 done = 0;
    while (done < aLength) {
        errno = 0;
        const qint64 n = QSaveFile::writeData(aData + done, aLength - done);
        if (!Noted(n > 0))
            return -1; // QSaveFile has noted the error; commit() fails
        done += n;
    }
    return done;
}

} // namespace hostutils

namespace hostutils {

// Output written straight to a descriptor, every byte or an error.
class TOutputFile::TDirectDevice : public QIODevice {
public:
    explicit TDirectDevice(TFileHandle aHandle) : FHandle(std::move(aHandle)) {}
    bool Failed() const { return FFailed; }
    bool Finish()
    {
        close();
        const int handle = FHandle.Release();
        if (handle >= 0 && ::close(handle) != 0 && errno != EINTR && !FFailed) {
            FFailed = true;
            setErrorString(SystemReason(errno));
        }
        return !FFailed;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* aData, qint64 aLength) override
    {
        if (FFailed)
            return -1;
        qint64 done = 0;
        while (done < aLength) {
            const ssize_t n = ::write(FHandle.Get(), aData + done, static_cast<size_t>(aLength - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                FFailed = true;
                setErrorString(SystemReason(n < 0 ? errno : EIO));
                return -1;
            }
            done += n;
        }
        return done;
    }

private:
    TFileHandle FHandle;
    bool FFailed = false;
};

namespace {

// The descriptor that a name of this process's open descriptors stands for, -1 for other names.
int DescriptorOfName(const QString& aFileName)
{
    if (aFileName == QStringLiteral("/dev/stdout"))
        return 1;
    if (aFileName == QStringLiteral("/dev/stderr"))
        return 2;
    for (const QString& prefix : {QStringLiteral("/dev/fd/"), QStringLiteral("/proc/self/fd/")}) {
        if (!aFileName.startsWith(prefix))
            continue;
        bool ok = false;
        const int fd = aFileName.mid(prefix.size()).toInt(&ok);
        return ok && fd >= 0 ? fd : -1;
    }
    return -1;
}

} // namespace

TOutputFile::TOutputFile(const QString& aFileName) : FFileName(aFileName) {}

TOutputFile::~TOutputFile() = default;

bool TOutputFile::Open()
{
    if (FFileName.isEmpty()) {
        FError = QStringLiteral("No file name given");
        return false;
    }
    if (const int fd = DescriptorOfName(FFileName); fd >= 0) {
        TFileHandle handle(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
        if (!handle.Valid()) {
            FError = SystemReason(errno);
            return false;
        }
        FDirect = std::make_unique<TDirectDevice>(std::move(handle));
        return FDirect->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    const QByteArray path = QFile::encodeName(FFileName);
    struct stat own {};
    if (::lstat(path.constData(), &own) != 0 && errno != ENOENT) {
        FError = SystemReason(errno);
        return false;
    }
    struct stat target {};
    const bool exists = ::stat(path.constData(), &target) == 0;
    if (!exists && errno != ENOENT) {
        FError = SystemReason(errno);
        return false;
    }
    if (!exists && S_ISLNK(own.st_mode)) {
        FError = QStringLiteral("It is a symbolic link to a missing file");
        return false;
    }
    if (!exists || S_ISREG(target.st_mode)) {
        // A link stays a link: the file it leads to is replaced.
        const QString file = exists && S_ISLNK(own.st_mode) ? QFileInfo(FFileName).canonicalFilePath() : FFileName;
        FSave = std::make_unique<TWholeSaveFile>(file);
        if (!FSave->Open()) {
            FError = FSave->Reason();
            return false;
        }
        return true;
    }
    if (S_ISFIFO(target.st_mode) || S_ISCHR(target.st_mode)) {
        TFileHandle handle(::open(path.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
        if (!handle.Valid()) {
            FError = SystemReason(errno);
            return false;
        }
        FDirect = std::make_unique<TDirectDevice>(std::move(handle));
        return FDirect->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    FError = S_ISDIR(target.st_mode)   ? SystemReason(EISDIR)
             : S_ISBLK(target.st_mode) ? QStringLiteral("It is a block device, which is never written")
                                       : QStringLiteral("It is neither a regular file, a FIFO nor a character device");
    return false;
}

QIODevice* TOutputFile::Device() const
{
    if (FDirect)
        return FDirect.get();
    return FSave.get();
}

bool TOutputFile::Commit()
{
    if (FDirect) {
        if (!FDirect->Finish()) {
            FError = FDirect->errorString();
            return false;
        }
        return true;
    }
    if (!FSave || !FSave->Commit()) {
        FError = FSave ? FSave->Reason() : QStringLiteral("The file was not opened");
        return false;
    }
    return true;
}

QString TOutputFile::ErrorString() const { return FError; }

} // namespace hostutils
