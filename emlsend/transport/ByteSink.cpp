#include "ByteSink.h"

#include "TransportErrors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace emlsend {

void ByteSink::AddCount(std::uint64_t) { throw std::logic_error("ByteSink::AddCount on a sink that keeps bytes"); }

void CountingSink::AddCount(std::uint64_t aCount)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    FCount = aCount > kMax - FCount ? kMax : FCount + aCount;
}

namespace {

// A new file of mode 0600 beside aPath, named ".<name>.XXXXXX"; -1 when
// none can be made there or aPath exists and is neither a regular file nor
// a symbolic link (which the rename replaces, never writes through).
int CreateBeside(const std::string& aPath, std::string& aTempPath)
{
    struct stat info {};
    if (::lstat(aPath.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
        return -1;
    }
    const std::size_t slash = aPath.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : aPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? aPath : aPath.substr(slash + 1);
    if (name.empty()) {
        return -1;
    }
    std::string pattern = directory + "." + name + ".XXXXXX";
    const int handle = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (handle >= 0) {
        aTempPath = std::move(pattern);
    }
    return handle;
}

} // namespace

FileSink::FileSink(std::string aPath, mode_t aMode) : FPath(std::move(aPath))
{
    FHandle = CreateBeside(FPath, FTempPath);
    if (FHandle >= 0 && aMode != 0600) {
        // The hidden file was made 0600: give it the mode open(2) would.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(FHandle, aMode & ~mask);
    }
    if (FHandle < 0) {
        // Another user who can write the directory may have put a link here.
        FHandle = ::open(FPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, aMode);
    }
    if (FHandle < 0) {
        throw EFCreateError("Cannot create file \"" + FPath + "\". " + std::strerror(errno));
    }
    FBuffer = std::make_unique<char[]>(kBufferSize);
}

FileSink::~FileSink()
{
    if (FHandle < 0) {
        return;
    }
    if (!FTempPath.empty()) {
        // Never closed: the file at FPath stays as it was.
        ::close(FHandle);
        ::unlink(FTempPath.c_str());
        return;
    }
    try {
        Flush();
    } catch (const ETransportError&) {
        // Best effort: the failure was or will be reported by Write or Close.
    }
    ::close(FHandle);
}

void FileSink::Write(std::string_view aBytes)
{
    if (FHandle < 0) {
        throw EInOutError("Cannot write file \"" + FPath + "\". File is closed");
    }
    if (aBytes.size() > kBufferSize - FUsed) {
        Flush();
        if (aBytes.size() >= kBufferSize) {
            WriteAll(aBytes.data(), aBytes.size());
            return;
        }
    }
    std::memcpy(FBuffer.get() + FUsed, aBytes.data(), aBytes.size());
    FUsed += aBytes.size();
}

void FileSink::Close()
{
    if (FHandle < 0) {
        return;
    }
    Flush(); // on failure the destructor removes the hidden file
    if (!FTempPath.empty() && ::fsync(FHandle) != 0) {
        throw EInOutError("Cannot write file \"" + FPath + "\". " + std::strerror(errno));
    }
    const int handle = FHandle;
    FHandle = -1;
    const std::string temp = std::move(FTempPath);
    FTempPath.clear();
    if (::close(handle) != 0) {
        const int error = errno;
        if (!temp.empty()) {
            ::unlink(temp.c_str());
        }
        throw EInOutError("Cannot write file \"" + FPath + "\". " + std::strerror(error));
    }
    if (!temp.empty() && ::rename(temp.c_str(), FPath.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw EInOutError("Cannot write file \"" + FPath + "\". " + std::strerror(error));
    }
}

void FileSink::Flush()
{
    const std::size_t used = FUsed;
    FUsed = 0;
    WriteAll(FBuffer.get(), used);
}

void FileSink::WriteAll(const char* aData, std::size_t aSize)
{
    while (aSize > 0) {
        const ssize_t written = ::write(FHandle, aData, aSize);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EInOutError("Cannot write file \"" + FPath + "\". " + std::strerror(errno));
        }
        aData += written;
        aSize -= static_cast<std::size_t>(written);
    }
}

} // namespace emlsend
