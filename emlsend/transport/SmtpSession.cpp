#include "SmtpSession.h"

#include "AsciiText.h"
#include "ContentEncoding.h"
#include "EnvelopeAddress.h"
#include "ScopeGuard.h"
#include "TcpConnection.h"
#include "TransportErrors.h"

#include <algorithm>
#include <charconv>
#include <netdb.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace emlsend {

SmtpTimeOuts CapTimeOuts(SmtpTimeOuts aTimeOuts, std::chrono::milliseconds aCap)
{
    if (aCap.count() <= 0) {
        return aTimeOuts;
    }
    for (std::chrono::milliseconds* limit : {&aTimeOuts.Greeting, &aTimeOuts.Command, &aTimeOuts.DataStart,
                                             &aTimeOuts.DataBlock, &aTimeOuts.DataEnd, &aTimeOuts.Quit}) {
        *limit = std::min(*limit, aCap);
    }
    return aTimeOuts;
}
namespace {

// The message data after DATA. The header block is collected and sent in
// one write when the body starts; body bytes are gathered into blocks of
// kBlockSize, and every block sent is reported with the running count.
class SocketSink : public ByteSink {
public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    SocketSink(TcpConnection& aConnection, const SmtpSession& aSession) : FConnection(aConnection), FSession(aSession)
    {
    }

    void Write(std::string_view aBytes) override
    {
        if (!FInBody) {
            FBuffer.append(aBytes);
            return;
        }
        if (FBuffer.size() + aBytes.size() > kBlockSize) {
            SendBuffer();
            if (aBytes.size() >= kBlockSize) {
                SendBody(aBytes);
                return;
            }
        }
        FBuffer.append(aBytes);
    }

    void BodyStarted() override
    {
        Send(FBuffer);
        FBuffer.clear();
        FInBody = true;
        if (FSession.OnBodyStarted) {
            FSession.OnBodyStarted();
        }
    }

    void BodyFinished() override { SendBuffer(); }

private:
    void Send(std::string_view aBytes)
    {
        FConnection.WriteAll(aBytes, TcpConnection::Clock::now() + FSession.TimeOuts.DataBlock);
    }
    void SendBody(std::string_view aBytes)
    {
        if (aBytes.empty()) {
            return;
        }
        Send(aBytes);
        FSent += aBytes.size();
        if (FSession.OnBytesWritten) {
            FSession.OnBytesWritten(FSent);
        }
    }
    void SendBuffer()
    {
        SendBody(FBuffer);
        FBuffer.clear();
    }

    TcpConnection& FConnection;
    const SmtpSession& FSession;
    std::string FBuffer;
    bool FInBody = false;
    std::uint64_t FSent = 0;
};

} // namespace

std::string LocalHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') {
        return name;
    }
    utsname system{};
    if (::uname(&system) == 0 && system.nodename[0] != '\0') {
        return std::string(system.nodename).substr(0, 15);
    }
    return "localhost";
}

std::string FullyQualifiedHostName()
{
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(LocalHostName().c_str(), nullptr, &hints, &found) != 0) {
        return {};
    }
    std::string name = found != nullptr && found->ai_canonname != nullptr ? found->ai_canonname : "";
    ::freeaddrinfo(found);
    const std::size_t dot = name.find('.');
    return dot != std::string::npos && dot > 0 && dot + 1 < name.size() ? name : std::string();
}

std::string HelloName(std::string_view aQualified, std::string_view aAddressLiteral)
{
    const std::size_t dot = aQualified.find('.');
    if (dot != std::string_view::npos && dot > 0 && aQualified.back() != '.' &&
        aQualified.find_first_of(" \t\r\n[]") == std::string_view::npos) {
        return std::string(aQualified);
    }
    if (!aAddressLiteral.empty()) {
        return std::string(aAddressLiteral);
    }
    return LocalHostName();
}

SmtpSession::SmtpSession() = default;
SmtpSession::~SmtpSession() = default;

TcpConnection& SmtpSession::Connection()
{
    if (!FConnection) {
        throw ESmtpClientError("Not Connected");
    }
    return *FConnection;
}

void SmtpSession::CloseConnection() noexcept
{
    FConnection.reset();
    FLoggedIn = false;
    FCapabilities.clear();
}

void SmtpSession::Require(const SmtpReply& aReply, std::initializer_list<int> aCodes)
{
    if (std::find(aCodes.begin(), aCodes.end(), aReply.Code) == aCodes.end()) {
        throw ESmtpReplyError(aReply.Code, aReply.Lines);
    }
}

SmtpReply SmtpSession::ReadReply(std::chrono::milliseconds aTimeOut)
{
    TcpConnection& connection = Connection();
    const auto deadline = TcpConnection::Clock::now() + aTimeOut;
    // Closed, timed out, oversized or broken: the next bytes could belong to
    // any reply, so the connection is of no further use. A reply with an
    // invalid code was read whole: the connection is still in step.
    bool inStep = false;
    const hostutils::TScopeFail closeOutOfStep([&] {
        if (!inStep) {
            CloseConnection();
        }
    });
    SmtpReply reply;
    try {
        reply = ReadSmtpReply([&](std::size_t aMaxLength) { return connection.ReadLine(aMaxLength, deadline); });
    } catch (const EInvalidReplyCode&) {
        inStep = true;
        throw;
    }
    if (reply.Code == kServiceClosing) {
        // The server closes the channel (RFC 5321 section 3.8): nothing more
        // is said, not even QUIT.
        throw ESmtpReplyError(reply.Code, reply.Lines);
    }
    return reply;
}

SmtpReply SmtpSession::Command(std::string_view aLine, std::chrono::milliseconds aTimeOut)
{
    TcpConnection& connection = Connection();
    if (aLine.find_first_of("\r\n") != std::string_view::npos) {
        throw ESmtpClientError("Line break in SMTP command.");
    }
    {
        const hostutils::TScopeFail closeOnFailure([this] { CloseConnection(); });
        connection.WriteAll(std::string(aLine) + "\r\n", TcpConnection::Clock::now() + TimeOuts.Command);
    }
    return ReadReply(aTimeOut);
}

void SmtpSession::Connect()
{
    if (Host.empty() || Port == 0) {
        throw ESmtpClientError("");
    }
    CloseConnection();
    FConnection = TcpConnection::Open(Host, Port, ConnectTimeOut);
    const hostutils::TScopeFail closeOnFailure([this] { CloseConnection(); });
    if (Security == SmtpSecurity::ssTls) {
        FConnection->StartTls(Host, TlsTrustFile, TcpConnection::Clock::now() + TimeOuts.Greeting);
    }
    GetGreeting();
    Hello();
    if (Security == SmtpSecurity::ssStartTls) {
        StartTls();
    }
}

void SmtpSession::GetGreeting() { Require(ReadReply(TimeOuts.Greeting), {220}); }

bool SmtpSession::Secure() const noexcept { return FConnection && FConnection->Secure(); }

void SmtpSession::Hello()
{
    const std::string name = HelloName(FullyQualifiedHostName(), Connection().LocalAddressLiteral());
    FCapabilities.clear();
    const SmtpReply ehlo = Command("EHLO " + name, TimeOuts.Command);
    if (ehlo.Code == 250) {
        FCapabilities.assign(ehlo.Lines.begin() + 1, ehlo.Lines.end());
        return;
    }
    Require(Command("HELO " + name, TimeOuts.Command), {250});
}

std::vector<std::string> SmtpSession::AuthMechanisms() const
{
    std::vector<std::string> mechanisms;
    for (const std::string& line : FCapabilities) {
        if (!hostutils::StartsWithIgnoringAsciiCase(line, "AUTH") || line.size() < 5 ||
            (line[4] != ' ' && line[4] != '=')) {
            continue;
        }
        std::string rest = line.substr(5);
        for (char& c : rest) {
            c = c == '=' ? ' ' : hostutils::AsciiUpper(c);
        }
        std::size_t start = 0;
        while (start < rest.size()) {
            const std::size_t end = std::min(rest.find(' ', start), rest.size());
            if (end > start) {
                mechanisms.push_back(rest.substr(start, end - start));
            }
            start = end + 1;
        }
    }
    return mechanisms;
}

void SmtpSession::StartTls()
{
    const std::vector<std::string>& offered = FCapabilities;
    if (std::none_of(offered.begin(), offered.end(), [](const std::string& aLine) {
            return aLine.size() == 8 && hostutils::StartsWithIgnoringAsciiCase(aLine, "STARTTLS");
        })) {
        throw ETlsError("TLS: the server does not offer STARTTLS.");
    }
    Require(Command("STARTTLS", TimeOuts.Command), {220});
    Connection().StartTls(Host, TlsTrustFile, TcpConnection::Clock::now() + TimeOuts.Command);
    // What the server said before TLS may have been changed on the way.
    Hello();
}

void SmtpSession::Login()
{
    if (FLoggedIn) {
        return;
    }
    const std::vector<std::string> mechanisms = AuthMechanisms();
    const auto offers = [&](std::string_view aName) {
        return std::find(mechanisms.begin(), mechanisms.end(), aName) != mechanisms.end();
    };
    if (OAuthToken) {
        if (UserName.empty()) {
            throw ESmtpClientError("OAuth 2 sign-in needs a UserName.");
        }
        const bool xoauth2 = offers("XOAUTH2");
        if (!xoauth2 && !offers("OAUTHBEARER")) {
            throw ESmtpClientError("The server offers no OAuth 2 sign-in (XOAUTH2, OAUTHBEARER).");
        }
        const std::string token = OAuthToken();
        // RFC 7628 section 3.2.1, and the earlier XOAUTH2 form without the
        // GS2 header.
        const std::string separator(1, '\x01');
        const std::string response =
            xoauth2 ? "user=" + UserName + separator + "auth=Bearer " + token + separator + separator
                    : "n,a=" + UserName + "," + separator + "host=" + Host + separator +
                          "port=" + std::to_string(Port) + separator + "auth=Bearer " + token + separator + separator;
        const SmtpReply reply = Authenticate(xoauth2 ? "XOAUTH2" : "OAUTHBEARER", response);
        if (reply.Code == 334) {
            // The server's error details; the dummy response ends the
            // exchange with the final refusal.
            Require(Command(xoauth2 ? "" : EncodeBase64("\x01"), TimeOuts.Command), {235});
        } else {
            Require(reply, {235});
        }
        FLoggedIn = true;
        return;
    }
    if (Authentication != SmtpAuthentication::saLogin || UserName.empty()) {
        return;
    }
    if (offers("LOGIN")) {
        Require(Command("AUTH LOGIN", TimeOuts.Command), {334});
        Require(Command(EncodeBase64(UserName), TimeOuts.Command), {334});
        Require(Command(EncodeBase64(Password), TimeOuts.Command), {235});
        FLoggedIn = true;
    } else if (Secure() && offers("PLAIN")) {
        Require(Authenticate("PLAIN", std::string(1, '\0') + UserName + '\0' + Password), {235});
        FLoggedIn = true;
    }
}

SmtpReply SmtpSession::Authenticate(std::string_view aMechanism, std::string_view aInitialResponse)
{
    const std::string response = EncodeBase64(aInitialResponse);
    const std::string command = "AUTH " + std::string(aMechanism);
    if (command.size() + 1 + response.size() + 2 <= kMaxCommandLine) {
        return Command(command + " " + response, TimeOuts.Command);
    }
    // RFC 4954 section 4: too long for the command line, so the response
    // answers the server's empty challenge.
    Require(Command(command, TimeOuts.Command), {334});
    return Command(response, TimeOuts.Command);
}

std::uint64_t SmtpSession::SizeLimit() const
{
    for (const std::string& line : FCapabilities) {
        if (line.size() > 5 && hostutils::StartsWithIgnoringAsciiCase(line, "SIZE ")) {
            std::uint64_t limit = 0;
            const char* const end = line.data() + line.size();
            const auto [at, error] = std::from_chars(line.data() + 5, end, limit);
            return error == std::errc() && at == end ? limit : 0;
        }
    }
    return 0;
}

void SmtpSession::CheckSize(const MailMessage& aMessage) const
{
    const std::uint64_t limit = SizeLimit();
    if (limit == 0) {
        return;
    }
    const std::uint64_t size = Writer.Measure(aMessage);
    if (size > limit) {
        throw ESmtpClientError("The message has " + std::to_string(size) + " bytes; the server takes at most " +
                               std::to_string(limit) + " (SIZE).");
    }
}

void SmtpSession::Reset() { Command("RSET", TimeOuts.Command); }

void SmtpSession::SendSender(const MailAddress& aFrom, std::string_view aCharset)
{
    Require(Command("MAIL FROM: <" + EnvelopeAddress(aFrom.Address, aCharset) + ">", TimeOuts.Command), {250});
}

void SmtpSession::SendRecipient(const MailAddress& aTo, std::string_view aCharset)
{
    Require(Command("RCPT TO:<" + EnvelopeAddress(aTo.Address, aCharset) + ">", TimeOuts.Command), {250, 251});
}

void SmtpSession::SendData(const MailMessage& aMessage)
{
    Require(Command("DATA", TimeOuts.DataStart), {354});
    {
        // Never end a partial message with "."; closing makes the server
        // drop it.
        const hostutils::TScopeFail closeOnFailure([this] { CloseConnection(); });
        SocketSink sink(Connection(), *this);
        Writer.WriteMessage(aMessage, sink, MessageForm::mfTransmission);
    }
    Require(Command(".", TimeOuts.DataEnd), {250});
}

void SmtpSession::SendMessage(const MailMessage& aMessage)
{
    Connection();
    // Every envelope address has its ASCII form, or nothing is sent.
    EnvelopeAddress(aMessage.From.Address, aMessage.Charset);
    for (const auto* list : {&aMessage.To, &aMessage.Cc, &aMessage.Bcc}) {
        for (const MailAddress& recipient : *list) {
            EnvelopeAddress(recipient.Address, aMessage.Charset);
        }
    }
    CheckSize(aMessage);
    Login();
    Reset();
    SendSender(aMessage.From, aMessage.Charset);
    try {
        for (const auto* list : {&aMessage.To, &aMessage.Cc, &aMessage.Bcc}) {
            for (const MailAddress& recipient : *list) {
                SendRecipient(recipient, aMessage.Charset);
            }
        }
        SendData(aMessage);
    } catch (const ESmtpReplyError&) {
        if (Connected()) {
            try {
                Reset();
            } catch (const ETransportError&) {
                // The refusal is the failure to report.
            }
        }
        throw;
    }
}

void SmtpSession::Quit() { Require(Command("QUIT", TimeOuts.Quit), {221}); }

void SmtpSession::Disconnect()
{
    if (!FConnection) {
        return;
    }
    const hostutils::TScopeExit close([this] { CloseConnection(); });
    Quit();
}

} // namespace emlsend
