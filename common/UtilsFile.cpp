#include "UtilsFile.h"

#include "Exceptions.h"
#include "FileHandle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hostutils {

namespace {

[[noreturn]] void ThrowOpenError(const QString& aFileName, int aErrno)
{
    throw EFOpenError("Cannot open file \"" + ExpandFileName(aFileName).toStdString() + "\". " + std::strerror(aErrno));
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

std::string ReadWholeFile(const QString& aFileName)
{
    if (aFileName.isEmpty())
        ThrowOpenError(aFileName, ENOENT);
    const QByteArray path = QFile::encodeName(aFileName);
    const TFileHandle file(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid())
        ThrowOpenError(aFileName, errno);
    const int fd = file.Get();

    std::string content;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        content.reserve(static_cast<size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowOpenError(aFileName, errno);
        }
        content.append(buffer, static_cast<size_t>(n));
    }
    return content;
}

qint64 TWholeSaveFile::writeData(const char* aData, qint64 aLength)
{
    qint64 done = 0;
    while (done < aLength) {
        const qint64 n = QSaveFile::writeData(aData + done, aLength - done);
        if (n <= 0)
            return -1; // QSaveFile has noted the error; commit() fails
        done += n;
    }
    return done;
}

} // namespace hostutils
