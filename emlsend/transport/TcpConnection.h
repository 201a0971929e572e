#pragma once
// A TCP connection over IPv4 with a bounded connect, bounded reads and
// bounded writes. All waits use poll(2) on a non-blocking socket; no thread
// is started. Writes never raise SIGPIPE.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace emlsend {

class TcpConnection {
public:
    using Clock = std::chrono::steady_clock;

    // Resolves aHost (a dotted IPv4 address or a name, through the system's
    // resolver) and connects to the first address that answers.
    // aTimeOutMs > 0 limits the whole attempt (waited for in steps of
    // 125 ms); 0 and any negative value leave the limit to the system.
    // Failures: ETimeOutError "Connect timed out."; ESocketError
    // "Socket Error # %d\r\n%s" with errno and its text (for a name that
    // cannot be resolved: the resolver's code and text).
    static std::unique_ptr<TcpConnection> Open(const std::string& aHost, std::uint16_t aPort,
                                               int aTimeOutMs);

    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // The next line up to a line feed, without it and without a carriage
    // return before it. Failures: EConnClosedGracefully when the peer closes
    // first; ETimeOutError "Read timed out." when aDeadline passes;
    // ESmtpClientError "Reply too long." for a line longer than aMaxLength;
    // ESocketError.
    std::string ReadLine(std::size_t aMaxLength, Clock::time_point aDeadline);

    // Sends all of aBytes. Failures: ETimeOutError "Write timed out." when the
    // peer takes nothing until aDeadline; ESocketError (a closed peer gives
    // EPIPE or ECONNRESET).
    void WriteAll(std::string_view aBytes, Clock::time_point aDeadline);

private:
    explicit TcpConnection(int aHandle) : FHandle(aHandle) {}
    // Waits for aEvents until aDeadline; false when the deadline passed.
    bool Wait(short aEvents, Clock::time_point aDeadline) const;

    int FHandle = -1;
    std::string FInput;          // received bytes not yet returned
    std::size_t FInputStart = 0; // first unreturned byte of FInput
};

} // namespace emlsend
