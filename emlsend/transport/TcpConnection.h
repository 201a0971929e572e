#pragma once
// A TCP connection over IPv6 or IPv4 with a bounded connect, bounded reads
// and bounded writes, plain or through TLS (TlsLayer.h) once StartTls has
// run. All waits use poll(2) on a non-blocking socket; no thread is
// started. Writes never raise SIGPIPE.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct addrinfo;

namespace emlsend {

class TlsLayer;

// Waits until aHandle is ready for aEvents (poll(2) events) or aDeadline
// passes; false when the deadline passed. Throws ESocketError when poll
// fails.
bool WaitForSocket(int aHandle, short aEvents, std::chrono::steady_clock::time_point aDeadline);

class TcpConnection {
public:
    using Clock = std::chrono::steady_clock;

    // Resolves aHost (an IPv4 or IPv6 address or a name, through the
    // system's resolver) and tries every address it gives, IPv6 and IPv4, in
    // the resolver's order, until one answers. aTimeOutMs > 0 limits the
    // attempts together, from the end of the name resolution on (waited for
    // in steps of 125 ms); however small, the limit allows one full step. 0 and any negative value leave the limit to
    // the system. When every address fails, the failure of the last one is
    // reported.
    // Failures: ETimeOutError "Connect timed out."; ESocketError
    // "Socket Error # %d\r\n%s" with errno and its text (for a name that
    // cannot be resolved: the resolver's code and text).
    static std::unique_ptr<TcpConnection> Open(const std::string& aHost, std::uint16_t aPort, int aTimeOutMs);
    // The connecting part of Open: tries the list aAddresses in order
    // within aTimeOutMs, with the same rules and failures.
    static std::unique_ptr<TcpConnection> Connect(const addrinfo* aAddresses, int aTimeOutMs);

    ~TcpConnection();

    // Runs the TLS handshake (TlsLayer::Handshake, same failures); from then
    // on every read and write goes through TLS. Bytes the server sent before
    // the handshake that were not read yet make it fail with ETlsError
    // "TLS: the server sent data before the handshake.".
    void StartTls(const std::string& aHost, const std::string& aTrustFile, Clock::time_point aDeadline);
    bool Secure() const noexcept { return FTls != nullptr; }

    // The local end of the connection as an address literal of RFC 5321:
    // "[192.0.2.1]" or "[IPv6:2001:db8::1]"; empty when it cannot be read.
    std::string LocalAddressLiteral() const;
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
    explicit TcpConnection(int aHandle);
    // Up to aSize received bytes, waiting until aDeadline; 0 when the peer
    // closed.
    std::size_t Receive(char* aBuffer, std::size_t aSize, Clock::time_point aDeadline);

    int FHandle = -1;
    std::unique_ptr<TlsLayer> FTls; // set once StartTls succeeded
    std::string FInput;             // received bytes not yet returned
    std::size_t FInputStart = 0;    // first unreturned byte of FInput
};

} // namespace emlsend
