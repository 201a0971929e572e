#include "SmtpSession.h"

#include "ContentEncoding.h"
#include "TcpConnection.h"
#include "TransportErrors.h"

#include <algorithm>
#include <cctype>
#include <sys/utsname.h>
#include <unistd.h>

namespace emlsend {

SmtpTimeOuts CapTimeOuts(SmtpTimeOuts aTimeOuts, std::chrono::milliseconds aCap) {
    if (aCap.count() <= 0) {
        return aTimeOuts;
    }
    for (std::chrono::milliseconds* limit : {&aTimeOuts.greeting, &aTimeOuts.command, &aTimeOuts.dataStart,
                                             &aTimeOuts.dataBlock, &aTimeOuts.dataEnd, &aTimeOuts.quit}) {
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

    SocketSink(TcpConnection& aConnection, const SmtpSession& aSession)
        : FConnection(aConnection), FSession(aSession) {}

    void Write(std::string_view aBytes) override {
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

    void BodyStarted() override {
        Send(FBuffer);
        FBuffer.clear();
        FInBody = true;
        if (FSession.onBodyStarted) {
            FSession.onBodyStarted();
        }
    }

    void BodyFinished() override { SendBuffer(); }

private:
    void Send(std::string_view aBytes) {
        FConnection.WriteAll(aBytes, TcpConnection::Clock::now() + FSession.timeOuts.dataBlock);
    }
    void SendBody(std::string_view aBytes) {
        if (aBytes.empty()) {
            return;
        }
        Send(aBytes);
        FSent += aBytes.size();
        if (FSession.onBytesWritten) {
            FSession.onBytesWritten(FSent);
        }
    }
    void SendBuffer() {
        SendBody(FBuffer);
        FBuffer.clear();
    }

    TcpConnection& FConnection;
    const SmtpSession& FSession;
    std::string FBuffer;
    bool FInBody = false;
    std::uint64_t FSent = 0;
};

bool StartsWithIgnoringCase(std::string_view aText, std::string_view aPrefix) {
    return aText.size() >= aPrefix.size() &&
           std::equal(aPrefix.begin(), aPrefix.end(), aText.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

} // namespace

std::string LocalHostName() {
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

SmtpSession::SmtpSession() = default;
SmtpSession::~SmtpSession() = default;

TcpConnection& SmtpSession::Connection() {
    if (!FConnection) {
        throw ESmtpClientError("Not Connected");
    }
    return *FConnection;
}

void SmtpSession::CloseConnection() noexcept {
    FConnection.reset();
    FLoggedIn = false;
    FCapabilities.clear();
}

void SmtpSession::Require(const SmtpReply& aReply, std::initializer_list<int> aCodes) {
    if (std::find(aCodes.begin(), aCodes.end(), aReply.code) == aCodes.end()) {
        throw ESmtpReplyError(aReply.code, aReply.lines);
    }
}

SmtpReply SmtpSession::ReadReply(std::chrono::milliseconds aTimeOut) {
    TcpConnection& connection = Connection();
    const auto deadline = TcpConnection::Clock::now() + aTimeOut;
    try {
        return ReadSmtpReply(
            [&](std::size_t aMaxLength) { return connection.ReadLine(aMaxLength, deadline); });
    } catch (const EInvalidReplyCode&) {
        throw; // the whole reply was read: still in step
    } catch (...) {
        // Closed, timed out, oversized or broken: the next bytes could belong
        // to any reply, so the connection is of no further use.
        CloseConnection();
        throw;
    }
}

SmtpReply SmtpSession::Command(std::string_view aLine, std::chrono::milliseconds aTimeOut) {
    TcpConnection& connection = Connection();
    if (aLine.find_first_of("\r\n") != std::string_view::npos) {
        throw ESmtpClientError("Line break in SMTP command.");
    }
    try {
        connection.WriteAll(std::string(aLine) + "\r\n",
                            TcpConnection::Clock::now() + timeOuts.command);
    } catch (...) {
        CloseConnection();
        throw;
    }
    return ReadReply(aTimeOut);
}

void SmtpSession::Connect() {
    if (host.empty() || port == 0) {
        throw ESmtpClientError("");
    }
    CloseConnection();
    FConnection = TcpConnection::Open(host, port, connectTimeOut);
    try {
        GetGreeting();
        Hello();
    } catch (...) {
        CloseConnection();
        throw;
    }
}

void SmtpSession::GetGreeting() { Require(ReadReply(timeOuts.greeting), {220}); }

void SmtpSession::Hello() {
    const std::string name = LocalHostName();
    FCapabilities.clear();
    const SmtpReply ehlo = Command("EHLO " + name, timeOuts.command);
    if (ehlo.code == 250) {
        FCapabilities.assign(ehlo.lines.begin() + 1, ehlo.lines.end());
        return;
    }
    Require(Command("HELO " + name, timeOuts.command), {250});
}

std::vector<std::string> SmtpSession::AuthMechanisms() const {
    std::vector<std::string> mechanisms;
    for (const std::string& line : FCapabilities) {
        if (!StartsWithIgnoringCase(line, "AUTH") || line.size() < 5 ||
            (line[4] != ' ' && line[4] != '=')) {
            continue;
        }
        std::string rest = line.substr(5);
        for (char& c : rest) {
            c = c == '=' ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
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

void SmtpSession::Login() {
    if (FLoggedIn || authentication != SmtpAuthentication::login || userName.empty()) {
        return;
    }
    const std::vector<std::string> mechanisms = AuthMechanisms();
    if (std::find(mechanisms.begin(), mechanisms.end(), "LOGIN") == mechanisms.end()) {
        return;
    }
    Require(Command("AUTH LOGIN", timeOuts.command), {334});
    Require(Command(EncodeBase64(userName), timeOuts.command), {334});
    Require(Command(EncodeBase64(password), timeOuts.command), {235});
    FLoggedIn = true;
}

void SmtpSession::Reset() { Command("RSET", timeOuts.command); }

void SmtpSession::SendSender(const MailAddress& aFrom) {
    Require(Command("MAIL FROM: <" + aFrom.address + ">", timeOuts.command), {250});
}

void SmtpSession::SendRecipient(const MailAddress& aTo) {
    Require(Command("RCPT TO:<" + aTo.address + ">", timeOuts.command), {250, 251});
}

void SmtpSession::SendData(const MailMessage& aMessage) {
    Require(Command("DATA", timeOuts.dataStart), {354});
    try {
        SocketSink sink(Connection(), *this);
        writer.WriteMessage(aMessage, sink, MessageForm::transmission);
    } catch (...) {
        // Never end a partial message with "."; closing makes the server
        // drop it.
        CloseConnection();
        throw;
    }
    Require(Command(".", timeOuts.dataEnd), {250});
}

void SmtpSession::SendMessage(const MailMessage& aMessage) {
    Connection();
    Login();
    Reset();
    SendSender(aMessage.from);
    try {
        for (const auto* list : {&aMessage.to, &aMessage.cc, &aMessage.bcc}) {
            for (const MailAddress& recipient : *list) {
                SendRecipient(recipient);
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

void SmtpSession::Quit() { Require(Command("QUIT", timeOuts.quit), {221}); }

void SmtpSession::Disconnect() {
    if (!FConnection) {
        return;
    }
    try {
        Quit();
    } catch (...) {
        CloseConnection();
        throw;
    }
    CloseConnection();
}

} // namespace emlsend
