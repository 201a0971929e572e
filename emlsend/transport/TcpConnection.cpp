#include "TcpConnection.h"

#include "FileHandle.h"
#include "TlsLayer.h"
#include "TransportErrors.h"

#include <arpa/inet.h>
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

struct AddrInfoDeleter {
    void operator()(addrinfo* aInfo) const { ::freeaddrinfo(aInfo); }
};

// Milliseconds left until aDeadline, capped for poll(2).
int MillisecondsLeft(TcpConnection::Clock::time_point aDeadline, int aCap)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - TcpConnection::Clock::now()).count();
    if (left <= 0) {
        return 0;
    }
    return static_cast<int>(std::min<long long>(left, aCap));
}

constexpr int kOwnLimit = -1; // ConnectOne's error when our own limit passed

// Connects one socket to aAddress. Returns the connected handle, or -1 with
// aError set to the errno of the failure or to kOwnLimit. With a limit
// (aLimited), waits until aDeadline.
int ConnectOne(const addrinfo& aAddress, bool aLimited, TcpConnection::Clock::time_point aDeadline, int& aError)
{
    hostutils::TFileHandle guard(::socket(aAddress.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!guard.Valid()) {
        aError = errno;
        return -1;
    }
    if (::connect(guard.Get(), aAddress.ai_addr, aAddress.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            aError = errno;
            return -1;
        }
        while (true) {
            pollfd fd{guard.Get(), POLLOUT, 0};
            int wait = kPollStepMs;
            if (aLimited) {
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
        if (::getsockopt(guard.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
        if (error != 0) {
            aError = error;
            return -1;
        }
    }
    const int noDelay = 1;
    ::setsockopt(guard.Get(), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    return guard.Release();
}

} // namespace

std::unique_ptr<TcpConnection> TcpConnection::Open(const std::string& aHost, std::uint16_t aPort, int aTimeOutMs)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
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
    return Connect(found, aTimeOutMs);
}

std::unique_ptr<TcpConnection> TcpConnection::Connect(const addrinfo* aAddresses, int aTimeOutMs)
{
    // The limit counts from here: resolving the name is not charged to it.
    // However small, it allows one full polling step.
    const bool limited = aTimeOutMs > 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(aTimeOutMs, kPollStepMs));
    int error = ECONNREFUSED;
    for (const addrinfo* address = aAddresses; address != nullptr; address = address->ai_next) {
        if (address->ai_socktype != SOCK_STREAM) {
            continue;
        }
        const int handle = ConnectOne(*address, limited, deadline, error);
        if (handle >= 0) {
            return std::unique_ptr<TcpConnection>(new TcpConnection(handle));
        }
        if (error == kOwnLimit || (limited && Clock::now() >= deadline)) {
            throw ETimeOutError("Connect timed out.");
        }
    }
    ThrowSocketError(error);
}

void TcpConnection::StartTls(const std::string& aHost, const std::string& aTrustFile, Clock::time_point aDeadline)
{
    if (FInputStart < FInput.size()) {
        // Injected after the STARTTLS reply: it would be taken as protected.
        throw ETlsError("TLS: the server sent data before the handshake.");
    }
    FTls = TlsLayer::Handshake(FHandle, aHost, aTrustFile, aDeadline);
}

std::string TcpConnection::LocalAddressLiteral() const
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(FHandle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {};
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        if (::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text) != nullptr) {
            return "[" + std::string(text) + "]";
        }
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
            if (::inet_ntop(AF_INET, &v6.sin6_addr.s6_addr[12], text, sizeof text) != nullptr) {
                return "[" + std::string(text) + "]";
            }
        } else if (::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text) != nullptr) {
            return "[IPv6:" + std::string(text) + "]";
        }
    }
    return {};
}

std::size_t TcpConnection::Receive(char* aBuffer, std::size_t aSize, Clock::time_point aDeadline)
{
    if (FTls) {
        return FTls->Read(aBuffer, aSize, aDeadline);
    }
    while (true) {
        const ssize_t got = ::recv(FHandle, aBuffer, aSize, 0);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitForSocket(FHandle, POLLIN, aDeadline)) {
                throw ETimeOutError("Read timed out.");
            }
        } else if (errno != EINTR) {
            ThrowSocketError(errno);
        }
    }
}

TcpConnection::TcpConnection(int aHandle) : FHandle(aHandle) {}

TcpConnection::~TcpConnection()
{
    if (FHandle >= 0) {
        ::close(FHandle);
    }
}

bool WaitForSocket(int aHandle, short aEvents, std::chrono::steady_clock::time_point aDeadline)
{
    while (true) {
        const int wait = MillisecondsLeft(aDeadline, 60 * 60 * 1000);
        pollfd fd{aHandle, aEvents, 0};
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

std::string TcpConnection::ReadLine(std::size_t aMaxLength, Clock::time_point aDeadline)
{
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
        const std::size_t got = Receive(buffer, sizeof buffer, aDeadline);
        if (got == 0) {
            throw EConnClosedGracefully();
        }
        FInput.append(buffer, got);
    }
}

void TcpConnection::WriteAll(std::string_view aBytes, Clock::time_point aDeadline)
{
    if (FTls) {
        FTls->WriteAll(aBytes, aDeadline);
        return;
    }
    while (!aBytes.empty()) {
        const ssize_t sent = ::send(FHandle, aBytes.data(), aBytes.size(), MSG_NOSIGNAL);
        if (sent >= 0) {
            aBytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitForSocket(FHandle, POLLOUT, aDeadline)) {
                throw ETimeOutError("Write timed out.");
            }
        } else if (errno != EINTR) {
            ThrowSocketError(errno);
        }
    }
}

} // namespace emlsend
