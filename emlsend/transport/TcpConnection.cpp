#include "TcpConnection.h"

#include "TransportErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace emlsend {
namespace {

constexpr int kPollStepMs = 125;

[[noreturn]] void ThrowSocketError(int aCode) { throw ESocketError(aCode, std::strerror(aCode)); }

// Closes a socket handle unless released.
struct HandleGuard {
    int handle = -1;
    ~HandleGuard() {
        if (handle >= 0) {
            ::close(handle);
        }
    }
};

struct AddrInfoDeleter {
    void operator()(addrinfo* aInfo) const { ::freeaddrinfo(aInfo); }
};

// Milliseconds left until aDeadline, capped for poll(2).
int MillisecondsLeft(TcpConnection::Clock::time_point aDeadline, int aCap) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          aDeadline - TcpConnection::Clock::now())
                          .count();
    if (left <= 0) {
        return 0;
    }
    return static_cast<int>(std::min<long long>(left, aCap));
}

constexpr int kOwnLimit = -1; // ConnectOne's error when our own limit passed

// Connects one socket to aAddress. Returns the connected handle, or -1 with
// aError set to the errno of the failure or to kOwnLimit.
int ConnectOne(const addrinfo& aAddress, int aTimeOutMs, int& aError,
               TcpConnection::Clock::time_point aDeadline) {
    HandleGuard guard{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    if (guard.handle < 0) {
        ThrowSocketError(errno);
    }
    if (::connect(guard.handle, aAddress.ai_addr, aAddress.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            aError = errno;
            return -1;
        }
        while (true) {
            pollfd fd{guard.handle, POLLOUT, 0};
            int wait = kPollStepMs;
            if (aTimeOutMs > 0) {
                wait = MillisecondsLeft(aDeadline, kPollStepMs);
                if (wait == 0) {
                    aError = kOwnLimit;
                    return -1;
                }
            }
            const int ready = ::poll(&fd, 1, wait);
            if (ready < 0 && errno != EINTR) {
                ThrowSocketError(errno);
            }
            if (ready > 0) {
                break;
            }
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(guard.handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
        if (error != 0) {
            aError = error;
            return -1;
        }
    }
    const int noDelay = 1;
    ::setsockopt(guard.handle, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    const int handle = guard.handle;
    guard.handle = -1;
    return handle;
}

} // namespace

std::unique_ptr<TcpConnection> TcpConnection::Open(const std::string& aHost, std::uint16_t aPort,
                                                   int aTimeOutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(aTimeOutMs);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(aPort);
    const int status = ::getaddrinfo(aHost.c_str(), service.c_str(), &hints, &found);
    if (status != 0) {
        if (status == EAI_SYSTEM) {
            ThrowSocketError(errno);
        }
        throw ESocketError(status, ::gai_strerror(status));
    }
    const std::unique_ptr<addrinfo, AddrInfoDeleter> addresses(found);
    int error = ECONNREFUSED;
    for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
        const int handle = ConnectOne(*address, aTimeOutMs, error, deadline);
        if (handle >= 0) {
            return std::unique_ptr<TcpConnection>(new TcpConnection(handle));
        }
        if (error == kOwnLimit) {
            throw ETimeOutError("Connect timed out.");
        }
    }
    ThrowSocketError(error);
}

TcpConnection::~TcpConnection() {
    if (FHandle >= 0) {
        ::close(FHandle);
    }
}

bool TcpConnection::Wait(short aEvents, Clock::time_point aDeadline) const {
    while (true) {
        const int wait = MillisecondsLeft(aDeadline, 60 * 60 * 1000);
        pollfd fd{FHandle, aEvents, 0};
        const int ready = ::poll(&fd, 1, wait);
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            ThrowSocketError(errno);
        }
        if (ready == 0 && wait == 0) {
            return false;
        }
    }
}

std::string TcpConnection::ReadLine(std::size_t aMaxLength, Clock::time_point aDeadline) {
    std::size_t searched = FInputStart;
    while (true) {
        const std::size_t lineFeed = FInput.find('\n', searched);
        if (lineFeed != std::string::npos) {
            std::size_t end = lineFeed;
            if (end > FInputStart && FInput[end - 1] == '\r') {
                --end;
            }
            if (end - FInputStart > aMaxLength) {
                throw ESmtpClientError("Reply too long.");
            }
            std::string line = FInput.substr(FInputStart, end - FInputStart);
            FInputStart = lineFeed + 1;
            if (FInputStart == FInput.size()) {
                FInput.clear();
                FInputStart = 0;
            }
            return line;
        }
        // +1 leaves room for the carriage return before the line feed.
        if (FInput.size() - FInputStart > aMaxLength + 1) {
            throw ESmtpClientError("Reply too long.");
        }
        if (FInputStart > 0) {
            FInput.erase(0, FInputStart);
            FInputStart = 0;
        }
        searched = FInput.size();
        char buffer[4096];
        const ssize_t got = ::recv(FHandle, buffer, sizeof buffer, 0);
        if (got > 0) {
            FInput.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            throw EConnClosedGracefully();
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!Wait(POLLIN, aDeadline)) {
                throw ETimeOutError("Read timed out.");
            }
        } else if (errno != EINTR) {
            ThrowSocketError(errno);
        }
    }
}

void TcpConnection::WriteAll(std::string_view aBytes, Clock::time_point aDeadline) {
    while (!aBytes.empty()) {
        const ssize_t sent = ::send(FHandle, aBytes.data(), aBytes.size(), MSG_NOSIGNAL);
        if (sent >= 0) {
            aBytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!Wait(POLLOUT, aDeadline)) {
                throw ETimeOutError("Write timed out.");
            }
        } else if (errno != EINTR) {
            ThrowSocketError(errno);
        }
    }
}

} // namespace emlsend
