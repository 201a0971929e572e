#pragma once
// TLS over a connected non-blocking socket, through OpenSSL 3. The server's
// certificate is always verified: against the system's trust store, plus
// the certificates of an optional PEM file, and against the host name (or
// the IP address) that was asked for. There is no way to switch that off.
//
// Every call that may wait takes a deadline; the socket is polled, no thread
// is started. Writes never raise SIGPIPE.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace emlsend {

class TlsLayer {
public:
    using Clock = std::chrono::steady_clock;

    // Runs the client handshake on aHandle (connected, non-blocking; still
    // owned by the caller) for the server aHost, trusting the system's
    // certificate authorities and those in aTrustFile (PEM, may be empty).
    // Failures: ETlsError "TLS: ..." with the reason, such as
    // "TLS: certificate verify failed: self-signed certificate",
    // "TLS: wrong version number" or "TLS: the server closed the connection
    // during the handshake."; ETimeOutError "TLS handshake timed out." when
    // aDeadline passes; ESocketError for a failed socket call.
    static std::unique_ptr<TlsLayer> Handshake(int aHandle, const std::string& aHost, const std::string& aTrustFile,
                                               Clock::time_point aDeadline);

    ~TlsLayer();
    TlsLayer(const TlsLayer&) = delete;
    TlsLayer& operator=(const TlsLayer&) = delete;

    // Up to aSize decrypted bytes into aBuffer, waiting until aDeadline for
    // them; 0 when the peer has closed. Failures: ETimeOutError
    // "Read timed out."; ETlsError; ESocketError.
    std::size_t Read(char* aBuffer, std::size_t aSize, Clock::time_point aDeadline);

    // Sends all of aBytes. Failures: ETimeOutError "Write timed out." when no
    // progress is possible until aDeadline; ETlsError; ESocketError.
    void WriteAll(std::string_view aBytes, Clock::time_point aDeadline);

    // The negotiated protocol version, such as "TLSv1.3".
    std::string Version() const;

private:
    struct State;
    explicit TlsLayer(std::unique_ptr<State> aState);
    std::unique_ptr<State> FState;
};

} // namespace emlsend
