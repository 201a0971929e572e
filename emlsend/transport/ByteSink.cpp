#include "ByteSink.h"

#include "TransportErrors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <stdexcept>
#include <unistd.h>

namespace emlsend {

void ByteSink::AddCount(std::uint64_t) {
    throw std::logic_error("ByteSink::AddCount on a sink that keeps bytes");
}

void CountingSink::AddCount(std::uint64_t aCount) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    FCount = aCount > kMax - FCount ? kMax : FCount + aCount;
}

FileSink::FileSink(std::string aPath) : FPath(std::move(aPath)) {
    FHandle = ::open(FPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (FHandle < 0) {
        throw EFCreateError("Cannot create file \"" + FPath + "\". " + std::strerror(errno));
    }
    FBuffer = std::make_unique<char[]>(kBufferSize);
}

FileSink::~FileSink() {
    if (FHandle < 0) {
        return;
    }
    try {
        Flush();
    } catch (const ETransportError&) {
        // Best effort: the failure was or will be reported by Write or Close.
    }
    ::close(FHandle);
}

void FileSink::Write(std::string_view aBytes) {
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

void FileSink::Close() {
    if (FHandle < 0) {
        return;
    }
    Flush();
    const int handle = FHandle;
    FHandle = -1;
    if (::close(handle) != 0) {
        throw EInOutError("Cannot write file \"" + FPath + "\". " + std::strerror(errno));
    }
}

void FileSink::Flush() {
    const std::size_t used = FUsed;
    FUsed = 0;
    WriteAll(FBuffer.get(), used);
}

void FileSink::WriteAll(const char* aData, std::size_t aSize) {
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
