#pragma once
// The SMTP client (RFC 5321): one TCP connection over IPv6 or IPv4, plain,
// upgraded with STARTTLS (RFC 3207) or in TLS from the first byte; EHLO or
// HELO; a sign-in when wanted and offered (LOGIN, PLAIN under TLS, or an
// OAuth 2 token through XOAUTH2 or OAUTHBEARER); one mail transaction; QUIT.
// No pipelining: every command is one line and waits for its reply. Every reply is bounded in size (SmtpReply.h) and in
// time (SmtpTimeOuts), so a broken or hostile server cannot hang the client or make it hold unbounded memory.
//
// Failure texts (what() of the exceptions, TransportErrors.h):
//   a refusal (ESmtpReplyError)        the reply's text lines, each + CRLF;
//                                      a 421 at any step also closes the
//                                      connection (no HELO, RSET or QUIT)
//   a message over the server's SIZE   "The message has %llu bytes; the
//                                      server takes at most %llu (SIZE)."
//   empty host or port 0               "" (ESmtpClientError)
//   no connection within the limit     "Connect timed out."
//   a socket call failed               "Socket Error # %d\r\n%s"
//   the server closed while we read    "Connection Closed Gracefully."
//   a command without a connection     "Not Connected"
//   a reply code that is no code       "Reply Code is not valid: %s"
//   no reply within its limit          "Read timed out."
//   the peer takes no data             "Write timed out."
//   a reply over the size bounds       "Reply too long."
//   an address with a line break       "Line break in SMTP command."
//   an address without ASCII form      "The address \"%s\" cannot be sent: ..."
//                                      (EnvelopeAddress.h)
//   TLS could not be set up or broke   "TLS: <reason>" (TlsLayer.h), and
//                                      "TLS handshake timed out."
//   StartTLS without the extension     "TLS: the server does not offer STARTTLS."
//   an OAuth 2 token, no mechanism     "The server offers no OAuth 2 sign-in
//                                      (XOAUTH2, OAUTHBEARER)."
//   an OAuth 2 token, no user name     "OAuth 2 sign-in needs a UserName."
//   the token could not be had         what the OAuthToken callback throws
//   an attachment that cannot be read  the message writer's texts

#include "MessageWriter.h"
#include "SmtpReply.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace emlsend {

class TcpConnection;

// The longest command line sent, CRLF included (RFC 5321 section
// 4.5.3.1.4); a longer AUTH initial response follows the server's 334.
inline constexpr std::size_t kMaxCommandLine = 512;

// The reply code with which a server closes the session at any step.
inline constexpr int kServiceClosing = 421;

enum class SmtpAuthentication { saNone, saLogin };

// ssNone: plain text throughout; ssStartTls: EHLO, STARTTLS, the handshake and
// EHLO again, a server without STARTTLS being a failure; ssTls: TLS from the
// first byte (the port is then usually 465).
enum class SmtpSecurity { ssNone, ssStartTls, ssTls };

// How long the client waits for each reply and for each block of data to be
// taken by the peer. Defaults follow RFC 5321 section 4.5.3.2, except QUIT,
// whose answer changes nothing once the transaction is over.
struct SmtpTimeOuts {
    std::chrono::milliseconds Greeting{5 * 60 * 1000};  // the 220 greeting
    std::chrono::milliseconds Command{5 * 60 * 1000};   // EHLO, AUTH, RSET, MAIL, RCPT
    std::chrono::milliseconds DataStart{2 * 60 * 1000}; // the 354 after DATA
    std::chrono::milliseconds DataBlock{3 * 60 * 1000}; // each write of the message
    std::chrono::milliseconds DataEnd{10 * 60 * 1000};  // the 250 after "."
    std::chrono::milliseconds Quit{30 * 1000};          // the 221 after QUIT
};

// aTimeOuts with every limit cut to aCap where aCap is shorter. A cap of
// zero or less changes nothing: a cap can only shorten the waits.
SmtpTimeOuts CapTimeOuts(SmtpTimeOuts aTimeOuts, std::chrono::milliseconds aCap);

class SmtpSession {
public:
    // Settings, read when Connect and SendMessage run.
    std::string Host; // name, IPv4 or IPv6 address
    std::uint16_t Port = 25;
    std::string UserName;
    std::string Password;
    // Limit for the TCP connection in ms: > 0 a limit, 0 and negative values
    // no limit of our own (the system's connect time-out applies).
    int ConnectTimeOut = 30000;
    SmtpAuthentication Authentication = SmtpAuthentication::saLogin;
    SmtpSecurity Security = SmtpSecurity::ssNone;
    // PEM file of certificates trusted besides the system's; empty: none.
    std::string TlsTrustFile;
    // When set, the sign-in uses an OAuth 2 access token that this returns
    // (called once per sign-in, after the connection is secured), as
    // UserName; its exceptions fail the send with their text.
    std::function<std::string()> OAuthToken;
    SmtpTimeOuts TimeOuts;
    // Writes the message after DATA; tests pin its boundaries and date.
    MessageWriter Writer;

    // Progress of the message data: once when the body starts (after the
    // header block went out), then after every write of the body with the
    // number of body bytes sent so far.
    std::function<void()> OnBodyStarted;
    std::function<void(std::uint64_t)> OnBytesWritten;

    SmtpSession();
    // Closes an open connection without QUIT.
    ~SmtpSession();
    SmtpSession(const SmtpSession&) = delete;
    SmtpSession& operator=(const SmtpSession&) = delete;

    // Connects and greets: GetGreeting, then Hello. A host that is empty or a
    // port of 0 fails with an empty text before anything else. When the
    // greeting or the hello fails, the connection is closed without QUIT.
    // A connection already open is dropped first.
    // With Security ssTls the handshake runs before the greeting, with
    // ssStartTls after the first EHLO; either must succeed.
    void Connect();

    // Checks that every envelope address has an ASCII form (a non-ASCII
    // local part fails, naming the address, before any command is sent)
    // and that the message is within the server's SIZE (CheckSize);
    // sign-in (once per connection, Login), then RSET, MAIL FROM, RCPT TO for To, Cc
    // and Bcc in order, DATA, the message without "Bcc", and ".". A refused
    // RCPT, DATA or "." is followed by RSET (its outcome ignored) and then
    // fails with the refusal; a refused login or sender fails at once. A
    // failure while the message data is being sent closes the connection,
    // so that the server discards the incomplete message and no later
    // command can be taken as message text. Requires a connection:
    // "Not Connected" otherwise.
    void SendMessage(const MailMessage& aMessage);

    // When connected: QUIT, expecting 221, then closes the connection even
    // when QUIT failed (the failure is passed on). Clears the login flag.
    // Does nothing when not connected.
    void Disconnect();

    bool Connected() const noexcept { return FConnection != nullptr; }
    bool LoggedIn() const noexcept { return FLoggedIn; }
    bool Secure() const noexcept;
    // The EHLO reply's lines after the first; empty after HELO.
    const std::vector<std::string>& Capabilities() const noexcept { return FCapabilities; }
    // The mechanisms of the capability lines "AUTH ..." / "AUTH=...", upper
    // case.
    std::vector<std::string> AuthMechanisms() const;

    // The limit of the EHLO keyword "SIZE n" (RFC 1870) in bytes; 0 when
    // none is announced or it is 0 (no limit) or no number.
    std::uint64_t SizeLimit() const;

    // The protocol steps, each one command and its reply.
    void GetGreeting(); // needs 220
    void Hello();       // EHLO, else HELO needing 250
    void StartTls();    // STARTTLS 220, handshake, EHLO
    // With OAuthToken: XOAUTH2 (else OAUTHBEARER), 235, failing when neither
    // is offered. Otherwise, with Authentication saLogin and a user name:
    // AUTH LOGIN (334, 334, 235) when offered, else, only over TLS,
    // AUTH PLAIN (235) when offered, else no sign-in.
    void Login();
    // "AUTH <aMechanism> <aInitialResponse in base64>" and its reply; when
    // that line with CRLF would pass kMaxCommandLine, "AUTH <aMechanism>"
    // alone, needing 334, and then the response on a line of its own.
    SmtpReply Authenticate(std::string_view aMechanism, std::string_view aInitialResponse);
    // Fails (ESmtpClientError) when the server announced a SizeLimit and
    // the message measured (MessageWriter::Measure) is larger: "The message
    // has %llu bytes; the server takes at most %llu (SIZE)." Sends nothing.
    void CheckSize(const MailMessage& aMessage) const;
    void Reset(); // RSET, any reply
    // MAIL FROM: <a>, needs 250, and RCPT TO:<a>, needs 250 or 251; the
    // address in its ASCII form (EnvelopeAddress.h), aCharset being that of
    // its bytes.
    void SendSender(const MailAddress& aFrom, std::string_view aCharset);
    void SendRecipient(const MailAddress& aTo, std::string_view aCharset);
    void SendData(const MailMessage& aMessage); // DATA 354, message, "." 250
    void Quit();                                // QUIT, needs 221

    // Sends aLine with CRLF and reads the reply within aTimeOut.
    SmtpReply Command(std::string_view aLine, std::chrono::milliseconds aTimeOut);
    // Reads one reply within aTimeOut.
    SmtpReply ReadReply(std::chrono::milliseconds aTimeOut);

private:
    // Throws ESmtpReplyError unless aReply's code is one of aCodes.
    static void Require(const SmtpReply& aReply, std::initializer_list<int> aCodes);
    TcpConnection& Connection();
    void CloseConnection() noexcept;

    std::unique_ptr<TcpConnection> FConnection;
    std::vector<std::string> FCapabilities;
    bool FLoggedIn = false;
};

// The computer's name: the host name, else the node name cut to 15
// characters, else "localhost".
std::string LocalHostName();

// The fully qualified name of this computer as the resolver gives it for
// LocalHostName(); empty when it gives none with a dot in it.
std::string FullyQualifiedHostName();

// The name sent with EHLO and HELO (RFC 5321 section 4.1.4): aQualified
// when it is a fully qualified domain name (holds an inner dot), else
// aAddressLiteral (the local end of the connection, "[192.0.2.1]"), else
// LocalHostName().
std::string HelloName(std::string_view aQualified, std::string_view aAddressLiteral);

} // namespace emlsend
