#include "TlsLayer.h"

#include "TcpConnection.h"
#include "TransportErrors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace emlsend {
namespace {

struct ContextDeleter {
    void operator()(SSL_CTX* aContext) const { SSL_CTX_free(aContext); }
};
struct SslDeleter {
    void operator()(SSL* aSsl) const { SSL_free(aSsl); }
};

// A socket BIO of our own: OpenSSL's writes with write(2), which raises
// SIGPIPE on a closed peer; this one sends with MSG_NOSIGNAL.
int SocketOf(BIO* aBio) { return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(aBio))); }

int BioWrite(BIO* aBio, const char* aData, int aSize)
{
    BIO_clear_retry_flags(aBio);
    const ssize_t sent = ::send(SocketOf(aBio), aData, static_cast<std::size_t>(aSize), MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        BIO_set_retry_write(aBio);
    }
    return static_cast<int>(sent);
}

int BioRead(BIO* aBio, char* aData, int aSize)
{
    BIO_clear_retry_flags(aBio);
    const ssize_t got = ::recv(SocketOf(aBio), aData, static_cast<std::size_t>(aSize), 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        BIO_set_retry_read(aBio);
    }
    return static_cast<int>(got);
}

int BioPuts(BIO* aBio, const char* aText) { return BioWrite(aBio, aText, static_cast<int>(std::strlen(aText))); }

long BioControl(BIO*, int aCommand, long, void*) { return aCommand == BIO_CTRL_FLUSH ? 1 : 0; }

BIO_METHOD* SocketMethod()
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "emlsend socket");
        if (made != nullptr) {
            BIO_meth_set_write(made, BioWrite);
            BIO_meth_set_read(made, BioRead);
            BIO_meth_set_puts(made, BioPuts);
            BIO_meth_set_ctrl(made, BioControl);
        }
        return made;
    }();
    return method;
}

// The reason of the first queued OpenSSL error, the queue emptied.
std::string QueuedReason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return {};
    }
    const char* reason = ERR_reason_error_string(code);
    return reason != nullptr ? reason : "error " + std::to_string(ERR_GET_REASON(code));
}

[[noreturn]] void ThrowTls(const std::string& aReason) { throw ETlsError("TLS: " + aReason); }

bool IsAddressLiteral(const std::string& aHost)
{
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, aHost.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, aHost.c_str(), buffer) == 1;
}

// What an SSL call's result asks for: keep going after the socket is ready
// for aEvents, or stop with the error's text.
enum class Step { done, again, closed };

} // namespace

struct TlsLayer::State {
    int Handle = -1;
    std::unique_ptr<SSL_CTX, ContextDeleter> Context;
    std::unique_ptr<SSL, SslDeleter> Ssl;

    // Interprets aResult of an SSL call. Waits for the socket when the call
    // wants to read or write (false when aDeadline passed), throws on errors.
    // Returns Step::closed when the peer ended the connection.
    Step Continue(int aResult, Clock::time_point aDeadline, bool& aTimedOut)
    {
        const int error = SSL_get_error(Ssl.get(), aResult);
        switch (error) {
        case SSL_ERROR_NONE:
            return Step::done;
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            aTimedOut = !WaitForSocket(Handle, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, aDeadline);
            return Step::again;
        case SSL_ERROR_ZERO_RETURN:
            return Step::closed;
        case SSL_ERROR_SYSCALL: {
            const int code = errno;
            if (const std::string reason = QueuedReason(); !reason.empty()) {
                ThrowTls(reason);
            }
            if (aResult == 0 || code == 0) {
                return Step::closed;
            }
            throw ESocketError(code, std::strerror(code));
        }
        default: {
            const std::string reason = QueuedReason();
            ThrowTls(reason.empty() ? "protocol error " + std::to_string(error) : reason);
        }
        }
    }
};

TlsLayer::TlsLayer(std::unique_ptr<State> aState) : FState(std::move(aState)) {}
TlsLayer::~TlsLayer() = default;

std::unique_ptr<TlsLayer> TlsLayer::Handshake(int aHandle, const std::string& aHost, const std::string& aTrustFile,
                                              Clock::time_point aDeadline)
{
    ERR_clear_error();
    auto state = std::make_unique<State>();
    state->Handle = aHandle;
    state->Context.reset(SSL_CTX_new(TLS_client_method()));
    if (!state->Context) {
        ThrowTls(QueuedReason());
    }
    SSL_CTX* const context = state->Context.get();
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(context) != 1) {
        ThrowTls("cannot read the system's trust store: " + QueuedReason());
    }
    if (!aTrustFile.empty()) {
        if (::access(aTrustFile.c_str(), R_OK) != 0) {
            ThrowTls("cannot read the trust file \"" + aTrustFile + "\": " + std::strerror(errno));
        }
        if (SSL_CTX_load_verify_locations(context, aTrustFile.c_str(), nullptr) != 1) {
            ThrowTls("cannot read the trust file \"" + aTrustFile + "\": " + QueuedReason());
        }
    }

    state->Ssl.reset(SSL_new(context));
    BIO* const bio = SocketMethod() != nullptr ? BIO_new(SocketMethod()) : nullptr;
    if (!state->Ssl || bio == nullptr) {
        BIO_free(bio);
        ThrowTls(QueuedReason());
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(aHandle)));
    BIO_set_init(bio, 1);
    SSL* const ssl = state->Ssl.get();
    SSL_set_bio(ssl, bio, bio);
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (IsAddressLiteral(aHost)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), aHost.c_str()) != 1) {
            ThrowTls(QueuedReason());
        }
    } else if (SSL_set1_host(ssl, aHost.c_str()) != 1 || SSL_set_tlsext_host_name(ssl, aHost.c_str()) != 1) {
        ThrowTls(QueuedReason());
    }

    while (true) {
        const int result = SSL_connect(ssl);
        if (result == 1) {
            break;
        }
        if (result <= 0 && SSL_get_error(ssl, result) == SSL_ERROR_SSL && SSL_get_verify_result(ssl) != X509_V_OK) {
            ERR_clear_error();
            ThrowTls(std::string("certificate verify failed: ") +
                     X509_verify_cert_error_string(SSL_get_verify_result(ssl)));
        }
        bool timedOut = false;
        const Step step = state->Continue(result, aDeadline, timedOut);
        if (step == Step::closed) {
            ThrowTls("the server closed the connection during the handshake.");
        }
        if (timedOut) {
            throw ETimeOutError("TLS handshake timed out.");
        }
    }
    return std::unique_ptr<TlsLayer>(new TlsLayer(std::move(state)));
}

std::size_t TlsLayer::Read(char* aBuffer, std::size_t aSize, Clock::time_point aDeadline)
{
    const int size = static_cast<int>(std::min<std::size_t>(aSize, 1 << 30));
    while (true) {
        ERR_clear_error();
        const int got = SSL_read(FState->Ssl.get(), aBuffer, size);
        if (got > 0) {
            return static_cast<std::size_t>(got);
        }
        bool timedOut = false;
        if (FState->Continue(got, aDeadline, timedOut) == Step::closed) {
            return 0;
        }
        if (timedOut) {
            throw ETimeOutError("Read timed out.");
        }
    }
}

void TlsLayer::WriteAll(std::string_view aBytes, Clock::time_point aDeadline)
{
    while (!aBytes.empty()) {
        ERR_clear_error();
        const int size = static_cast<int>(std::min<std::size_t>(aBytes.size(), 1 << 30));
        const int sent = SSL_write(FState->Ssl.get(), aBytes.data(), size);
        if (sent > 0) {
            aBytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        bool timedOut = false;
        if (FState->Continue(sent, aDeadline, timedOut) == Step::closed) {
            throw ESocketError(EPIPE, std::strerror(EPIPE));
        }
        if (timedOut) {
            throw ETimeOutError("Write timed out.");
        }
    }
}

std::string TlsLayer::Version() const { return SSL_get_version(FState->Ssl.get()); }

} // namespace emlsend
