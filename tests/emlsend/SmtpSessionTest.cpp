// The SMTP dialogue against a scripted server: every command, reply rule and
// failure text of the client.

#include "ContentEncoding.h"
#include "SmtpSession.h"
#include "TcpConnection.h"
#include "TestSupport.h"
#include "TransportErrors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace emlsend {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::Greet;
using test::Peer;
using test::ScriptedServer;

MailMessage TestMessage()
{
    MailMessage message;
    message.From = MailAddress::Parse("Jan <jan@example.cz>");
    message.To = {MailAddress::Parse("Ann <to1@example.cz>"), MailAddress::Parse("to2@example.cz")};
    message.Cc = {MailAddress::Parse("cc@example.cz")};
    message.Bcc = {MailAddress::Parse("Hidden <bcc@example.cz>")};
    message.Subject = "Test";
    message.Parts.push_back(MessagePart::Text({"Hello", ".dot"}, "windows-1250"));
    return message;
}

std::unique_ptr<SmtpSession> Session(std::uint16_t aPort)
{
    auto session = std::make_unique<SmtpSession>();
    session->Host = "127.0.0.1";
    session->Port = aPort;
    session->ConnectTimeOut = 5000;
    // Short limits: a test never waits long for a reply that will not come.
    session->TimeOuts.Greeting = 5s;
    session->TimeOuts.Command = 5s;
    session->TimeOuts.DataStart = 5s;
    session->TimeOuts.DataBlock = 5s;
    session->TimeOuts.DataEnd = 5s;
    session->TimeOuts.Quit = 5s;
    session->Writer.MakeBoundary = [] { return std::string("B"); };
    session->Writer.MakeDate = [] { return std::string("Tue, 3 Mar 2009 14:05:09 +0100"); };
    session->Writer.MakeMessageId = [](std::string_view aDomain) { return "<1@" + std::string(aDomain) + ">"; };
    return session;
}

// The EHLO command the client sends over a loopback IPv4 connection.
std::string Ehlo() { return "EHLO " + HelloName(FullyQualifiedHostName(), "[127.0.0.1]"); }

// The failure text of aCall, or "<no failure>".
template <typename Call>
std::string FailureOf(Call&& aCall)
{
    try {
        aCall();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "<no failure>";
}

TEST(EmlsendSmtpSession, RunsTheWholeDialogue)
{
    std::string data;
    ScriptedServer server([&](Peer& peer) {
        Greet(peer, {"test.example", "SIZE 1000000", "AUTH PLAIN LOGIN CRAM-MD5", "8BITMIME"});
        Answer(peer, "334 VXNlcm5hbWU6\r\n");
        Answer(peer, "334 UGFzc3dvcmQ6\r\n");
        Answer(peer, "235 2.7.0 Authentication successful\r\n");
        for (int i = 0; i < 6; ++i) { // RSET, MAIL, four RCPT
            Answer(peer, i == 3 ? "251 User not local; will forward\r\n" : "250 OK\r\n");
        }
        Answer(peer, "354 Go ahead\r\n");
        data = peer.ReadData();
        peer.Send("250 2.0.0 Queued\r\n");
        Answer(peer, "221 Bye\r\n");
    });
    auto session = Session(server.port());
    session->UserName = "user@example.cz";
    session->Password = "p\xE1ss";
    int started = 0;
    std::vector<std::uint64_t> counts;
    session->OnBodyStarted = [&] { ++started; };
    session->OnBytesWritten = [&](std::uint64_t aCount) { counts.push_back(aCount); };
    session->Connect();
    EXPECT_EQ(session->Capabilities(),
              (std::vector<std::string>{"SIZE 1000000", "AUTH PLAIN LOGIN CRAM-MD5", "8BITMIME"}));
    session->SendMessage(TestMessage());
    EXPECT_TRUE(session->LoggedIn());
    session->Disconnect();
    EXPECT_FALSE(session->Connected());
    EXPECT_FALSE(session->LoggedIn());

    const std::vector<std::string> expected = {Ehlo(),
                                               "AUTH LOGIN",
                                               "dXNlckBleGFtcGxlLmN6",
                                               "cOFzcw==",
                                               "RSET",
                                               "MAIL FROM: <jan@example.cz>",
                                               "RCPT TO:<to1@example.cz>",
                                               "RCPT TO:<to2@example.cz>",
                                               "RCPT TO:<cc@example.cz>",
                                               "RCPT TO:<bcc@example.cz>",
                                               "DATA"};
    std::vector<std::string> lines = server.Finish();
    ASSERT_GT(lines.size(), expected.size() + 2);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 11), expected);
    EXPECT_EQ(lines[lines.size() - 2], ".");
    EXPECT_EQ(lines.back(), "QUIT");

    StringSink reference;
    session->Writer.WriteMessage(TestMessage(), reference, MessageForm::mfTransmission);
    EXPECT_EQ(data, reference.Data) << "the data is what the writer produces";
    EXPECT_EQ(data.find("bcc@"), std::string::npos) << "no Bcc in the data";
    EXPECT_EQ(started, 1);
    ASSERT_FALSE(counts.empty());
    const std::size_t headerSize = reference.Data.find("Content-Type: text/plain");
    EXPECT_EQ(counts.back(), reference.Data.size() - headerSize) << "body bytes: everything after the header lines";
}

struct ScriptCase {
    const char* what;
    std::function<void(Peer&)> script;
    std::string userName;              // login wanted when non-empty
    std::string failure;               // expected failure text of SendMessage
    std::vector<std::string> expected; // the commands the server saw, in order
};

TEST(EmlsendSmtpSession, FollowsTheReplyRules)
{
    const std::string ehlo = Ehlo();
    const std::vector<ScriptCase> cases = {
        {"EHLO refused: HELO, and no login without capabilities",
         [](Peer& p) {
             p.Send("220 hi\r\n");
             Answer(p, "500 What?\r\n");
             Answer(p, "250 hello\r\n");
             Answer(p, "250 ok\r\n");                   // RSET
             Answer(p, "550 5.7.1 Sender refused\r\n"); // MAIL
             Answer(p, "221 bye\r\n");                  // QUIT
         },
         "user",
         "Sender refused\r\n",
         {ehlo, "HELO " + ehlo.substr(5), "RSET", "MAIL FROM: <jan@example.cz>", "QUIT"}},
        {"LOGIN not offered: no AUTH, the transaction goes on",
         [](Peer& p) {
             Greet(p, {"x", "AUTH PLAIN CRAM-MD5"});
             Answer(p, "250 ok\r\n");
             Answer(p, "553 no\r\n");
             Answer(p, "221 bye\r\n");
         },
         "user",
         "no\r\n",
         {ehlo, "RSET", "MAIL FROM: <jan@example.cz>", "QUIT"}},
        {"550 after two recipients: RSET and the 550 text",
         [](Peer& p) {
             Greet(p);
             for (int i = 0; i < 4; ++i) {
                 Answer(p, "250 ok\r\n");
             }
             Answer(p, "550-5.7.1 Relaying denied\r\n550 5.7.1 Try again later\r\n");
             Answer(p, "250 reset\r\n");
             Answer(p, "221 bye\r\n");
         },
         "",
         "Relaying denied\r\nTry again later\r\n",
         {ehlo, "RSET", "MAIL FROM: <jan@example.cz>", "RCPT TO:<to1@example.cz>", "RCPT TO:<to2@example.cz>",
          "RCPT TO:<cc@example.cz>", "RSET", "QUIT"}},
        {"refused DATA: RSET",
         [](Peer& p) {
             Greet(p);
             for (int i = 0; i < 6; ++i) {
                 Answer(p, "250 ok\r\n");
             }
             Answer(p, "554 No valid recipients\r\n");
             Answer(p, "250 reset\r\n");
             Answer(p, "221 bye\r\n");
         },
         "",
         "No valid recipients\r\n",
         {ehlo, "RSET", "MAIL FROM: <jan@example.cz>", "RCPT TO:<to1@example.cz>", "RCPT TO:<to2@example.cz>",
          "RCPT TO:<cc@example.cz>", "RCPT TO:<bcc@example.cz>", "DATA", "RSET", "QUIT"}},
        {"refused login: no RSET",
         [](Peer& p) {
             Greet(p, {"x", "AUTH=LOGIN"});
             Answer(p, "334 VXNlcm5hbWU6\r\n");
             Answer(p, "334 UGFzc3dvcmQ6\r\n");
             Answer(p, "535 5.7.8 Authentication credentials invalid\r\n");
             Answer(p, "221 bye\r\n");
         },
         "user",
         "Authentication credentials invalid\r\n",
         {ehlo, "AUTH LOGIN", "dXNlcg==", "", "QUIT"}},
        {"invalid reply code: no RSET, the connection stays in step",
         [](Peer& p) {
             Greet(p);
             Answer(p, "250 ok\r\n");
             Answer(p, "2x0-first\r\n2x0 ok\r\n");
             Answer(p, "221 bye\r\n");
         },
         "",
         "Reply Code is not valid: 2x0",
         {ehlo, "RSET", "MAIL FROM: <jan@example.cz>", "QUIT"}},
        {"connection closed in the middle of a reply",
         [](Peer& p) {
             Greet(p);
             Answer(p, "250-first line\r\n250-second");
         },
         "",
         "Connection Closed Gracefully.",
         {ehlo, "RSET"}},
        {"endless continuation lines are cut off",
         [](Peer& p) {
             Greet(p);
             p.ReadLine();
             for (int i = 0; i < 200; ++i) {
                 p.Send("250-more\r\n");
             }
             p.WaitForClose();
         },
         "",
         "Reply too long.",
         {ehlo, "RSET"}},
        {"an endless line is cut off",
         [](Peer& p) {
             Greet(p);
             p.ReadLine();
             p.Send("250 " + std::string(100000, 'x'));
             p.WaitForClose();
         },
         "",
         "Reply too long.",
         {ehlo, "RSET"}},
        {"a server that stops answering",
         [](Peer& p) {
             Greet(p);
             p.ReadLine();
             p.WaitForClose();
         },
         "",
         "Read timed out.",
         {ehlo, "RSET"}},
    };
    for (const ScriptCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(c.script);
        auto session = Session(server.port());
        session->TimeOuts.Command = 1s;
        session->UserName = c.userName;
        const auto start = std::chrono::steady_clock::now();
        session->Connect();
        EXPECT_EQ(FailureOf([&] { session->SendMessage(TestMessage()); }), c.failure);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
        EXPECT_NO_THROW(session->Disconnect());
        EXPECT_FALSE(session->Connected());
        EXPECT_EQ(server.Finish(), c.expected);
    }
}

TEST(EmlsendSmtpSession, SignsInWithAnOAuthToken)
{
    struct Case {
        const char* what;
        std::string offered;   // the AUTH capability line
        std::string reply;     // to the AUTH command
        std::string mechanism; // "" when no AUTH may be sent
        std::string failure;
    };
    const Case cases[] = {
        {"XOAUTH2 first", "AUTH LOGIN OAUTHBEARER XOAUTH2", "235 2.7.0 Accepted\r\n", "XOAUTH2", "no\r\n"},
        {"OAUTHBEARER when only that is offered", "AUTH=LOGIN OAUTHBEARER", "235 ok\r\n", "OAUTHBEARER", "no\r\n"},
        {"a refused token: error details, the dummy answer, the refusal", "AUTH XOAUTH2",
         "334 eyJzdGF0dXMiOiI0MDEifQ==\r\n", "XOAUTH2", "Invalid credentials\r\n"},
        {"no OAuth mechanism", "AUTH LOGIN PLAIN", "", "",
         "The server offers no OAuth 2 sign-in (XOAUTH2, OAUTHBEARER)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server([&c](Peer& p) {
            Greet(p, {"x", c.offered});
            if (!c.mechanism.empty()) {
                Answer(p, c.reply);
                if (c.reply.starts_with("334")) {
                    Answer(p, "535 5.7.8 Invalid credentials\r\n");
                } else {
                    Answer(p, "250 ok\r\n"); // RSET
                    Answer(p, "553 no\r\n"); // MAIL
                }
            }
            Answer(p, "221 bye\r\n");
        });
        auto session = Session(server.port());
        session->UserName = "jan@example.cz";
        int calls = 0;
        session->OAuthToken = [&] {
            ++calls;
            return std::string("tok-1");
        };
        session->Connect();
        EXPECT_EQ(FailureOf([&] { session->SendMessage(TestMessage()); }), c.failure);
        session->Disconnect();
        const std::string port = std::to_string(server.port());
        std::vector<std::string> expected = {Ehlo()};
        if (c.mechanism == "XOAUTH2") {
            expected.push_back("AUTH XOAUTH2 " + EncodeBase64("user=jan@example.cz\x01"
                                                              "auth=Bearer tok-1\x01\x01"));
        } else if (c.mechanism == "OAUTHBEARER") {
            expected.push_back("AUTH OAUTHBEARER " +
                               EncodeBase64("n,a=jan@example.cz,\x01host=127.0.0.1\x01port=" + port +
                                            "\x01"
                                            "auth=Bearer tok-1\x01\x01"));
        }
        if (c.reply.starts_with("334")) {
            expected.push_back("");
        } else if (!c.mechanism.empty()) {
            expected.insert(expected.end(), {"RSET", "MAIL FROM: <jan@example.cz>"});
        }
        expected.push_back("QUIT");
        EXPECT_EQ(server.Finish(), expected);
        EXPECT_EQ(calls, c.mechanism.empty() ? 0 : 1) << "the token is asked for only when it is used";
    }
}

TEST(EmlsendSmtpSession, FailsToConnectWithTheRightTexts)
{
    SmtpSession empty;
    EXPECT_EQ(FailureOf([&] { empty.Connect(); }), "") << "no host";
    empty.Host = "127.0.0.1";
    empty.Port = 0;
    EXPECT_EQ(FailureOf([&] { empty.Connect(); }), "") << "port 0";
    EXPECT_EQ(FailureOf([&] { empty.SendMessage(TestMessage()); }), "Not Connected");
    EXPECT_NO_THROW(empty.Disconnect());

    for (const int timeOut : {5000, 0, -1}) {
        SCOPED_TRACE(timeOut);
        auto refused = Session(test::UnusedPort());
        refused->ConnectTimeOut = timeOut;
        EXPECT_EQ(FailureOf([&] { refused->Connect(); }), "Socket Error # 111\r\nConnection refused");
    }

    auto unknown = Session(25);
    unknown->Host = "no-such-host.invalid";
    EXPECT_EQ(FailureOf([&] { unknown->Connect(); }).rfind("Socket Error # ", 0), 0U);

    ScriptedServer busy([](Peer& p) { p.Send("554 5.3.2 Too busy\r\n"); });
    auto session = Session(busy.port());
    EXPECT_EQ(FailureOf([&] { session->Connect(); }), "Too busy\r\n");
    EXPECT_FALSE(session->Connected()) << "a failed greeting closes without QUIT";

    ScriptedServer silent([](Peer& p) { p.WaitForClose(); });
    auto waiting = Session(silent.port());
    waiting->TimeOuts.Greeting = 300ms;
    EXPECT_EQ(FailureOf([&] { waiting->Connect(); }), "Read timed out.");
    EXPECT_FALSE(waiting->Connected());
}

TEST(EmlsendSmtpSession, GivesUpConnectingAfterTheTimeOut)
{
    // A listener whose accept queue is full drops further connection
    // attempts, so the next connect neither succeeds nor fails.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(filler);
    }
    ::usleep(100000);
    auto session = Session(ntohs(address.sin_port));
    session->ConnectTimeOut = 400;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FailureOf([&] { session->Connect(); }), "Connect timed out.");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 350ms);
    EXPECT_LT(elapsed, 3s);
    for (const int filler : fillers) {
        ::close(filler);
    }
    ::close(listener);
}

// A listening loopback socket of aFamily (its handle and port); handle -1
// when the family has no loopback here.
std::pair<int, std::uint16_t> LoopbackListener(int aFamily)
{
    const int handle = ::socket(aFamily, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage address{};
    socklen_t length = aFamily == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (aFamily == AF_INET6) {
        reinterpret_cast<sockaddr_in6&>(address) = {AF_INET6, 0, 0, in6addr_loopback, 0};
    } else {
        auto& v4 = reinterpret_cast<sockaddr_in&>(address);
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    if (handle < 0 || ::bind(handle, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(handle, 4) != 0 ||
        ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (handle >= 0) {
            ::close(handle);
        }
        return {-1, 0};
    }
    const std::uint16_t port = aFamily == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                                   : reinterpret_cast<sockaddr_in&>(address).sin_port;
    return {handle, ntohs(port)};
}

TEST(EmlsendTcpConnection, TriesEveryAddressInTheResolversOrder)
{
    const auto [listener4, port4] = LoopbackListener(AF_INET);
    const auto [listener6, port6] = LoopbackListener(AF_INET6);
    ASSERT_GE(listener4, 0);
    if (listener6 < 0) {
        ::close(listener4);
        GTEST_SKIP() << "this machine has no ::1";
    }
    // Ports where nobody listens: bound and closed again.
    const auto [closed4, refused4] = LoopbackListener(AF_INET);
    const auto [closed6, refused6] = LoopbackListener(AF_INET6);
    ::close(closed4);
    ::close(closed6);

    struct Address {
        int family;
        std::uint16_t port;
    };
    struct Case {
        const char* what;
        std::vector<Address> addresses;
        int timeOutMs;
        std::string local; // LocalAddressLiteral, or the failure text
    };
    const Case cases[] = {
        {"IPv6 refused, then IPv4", {{AF_INET6, refused6}, {AF_INET, port4}}, 5000, "[127.0.0.1]"},
        {"IPv4 refused, then IPv6", {{AF_INET, refused4}, {AF_INET6, port6}}, 5000, "[IPv6:::1]"},
        {"the first that answers", {{AF_INET6, port6}, {AF_INET, port4}}, 5000, "[IPv6:::1]"},
        {"a limit of 1 ms still gets one full poll", {{AF_INET, port4}}, 1, "[127.0.0.1]"},
        {"all refused: the last failure",
         {{AF_INET6, refused6}, {AF_INET, refused4}},
         0,
         "Socket Error # 111\r\nConnection refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<sockaddr_storage> storage(c.addresses.size());
        std::vector<addrinfo> list(c.addresses.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (c.addresses[i].family == AF_INET6) {
                reinterpret_cast<sockaddr_in6&>(storage[i]) = {AF_INET6, htons(c.addresses[i].port), 0,
                                                               in6addr_loopback, 0};
            } else {
                auto& v4 = reinterpret_cast<sockaddr_in&>(storage[i]);
                v4.sin_family = AF_INET;
                v4.sin_port = htons(c.addresses[i].port);
                v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            }
            list[i].ai_family = c.addresses[i].family;
            list[i].ai_socktype = SOCK_STREAM;
            list[i].ai_addr = reinterpret_cast<sockaddr*>(&storage[i]);
            list[i].ai_addrlen = c.addresses[i].family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
            list[i].ai_next = i + 1 < list.size() ? &list[i + 1] : nullptr;
        }
        std::string local;
        try {
            local = TcpConnection::Connect(list.data(), c.timeOutMs)->LocalAddressLiteral();
        } catch (const std::exception& error) {
            local = error.what();
        }
        EXPECT_EQ(local, c.local);
    }
    ::close(listener4);
    ::close(listener6);
}

TEST(EmlsendSmtpSession, DropsTheConnectionWhenTheDataCannotBeCompleted)
{
    test::TempDir dir;
    std::string data;
    ScriptedServer server([&](Peer& p) {
        Greet(p);
        for (int i = 0; i < 6; ++i) {
            Answer(p, "250 ok\r\n");
        }
        Answer(p, "354 go\r\n");
        data = p.ReadData();
    });
    auto session = Session(server.port());
    MailMessage message = TestMessage();
    message.Parts.push_back(MessagePart::Attachment(dir.File("gone.pdf")));
    session->Connect();
    EXPECT_EQ(FailureOf([&] { session->SendMessage(message); }),
              "Cannot open file \"" + dir.File("gone.pdf") + "\". No such file or directory");
    EXPECT_FALSE(session->Connected()) << "no QUIT after a partial message";
    server.Finish();
    EXPECT_EQ(data, "<eof>") << "the partial message is never ended with a period line";
}

TEST(EmlsendSmtpSession, RefusesLineBreaksInCommands)
{
    ScriptedServer server([](Peer& p) {
        Greet(p);
        Answer(p, "250 ok\r\n");
        Answer(p, "221 bye\r\n");
    });
    auto session = Session(server.port());
    MailMessage message = TestMessage();
    message.From.Address = "a@b.cz>\r\nRCPT TO:<victim@x.cz";
    session->Connect();
    EXPECT_EQ(FailureOf([&] { session->SendMessage(message); }), "Line break in SMTP command.");
    session->Disconnect();
    EXPECT_EQ(server.Finish(), (std::vector<std::string>{Ehlo(), "RSET", "QUIT"}));
}

TEST(EmlsendSmtpSession, SendsEnvelopeAddressesInTheirAsciiForm)
{
    // windows-1250 bytes: "příklad.cz" and the local part "uživatel".
    const std::string domain = "p\xF8\xEDklad.cz";
    const std::string ascii = "xn--pklad-zsa96e.cz";
    const struct {
        const char* what;
        std::string from;
        std::string to;
        std::string failure;
        std::vector<std::string> expected; // after EHLO
    } cases[] = {
        {"a recipient's domain in IDNA form",
         "jan@example.cz",
         "petr@" + domain,
         "stop\r\n",
         {"RSET", "MAIL FROM: <jan@example.cz>", "RCPT TO:<petr@" + ascii + ">", "RSET", "QUIT"}},
        {"the sender's domain in IDNA form",
         "jan@" + domain,
         "petr@example.cz",
         "stop\r\n",
         {"RSET", "MAIL FROM: <jan@" + ascii + ">", "RCPT TO:<petr@example.cz>", "RSET", "QUIT"}},
        {"sharp s kept, as the non-transitional rule says (not fass.de)",
         "jan@example.cz",
         "petr@fa\xDF.de",
         "stop\r\n",
         {"RSET", "MAIL FROM: <jan@example.cz>", "RCPT TO:<petr@xn--fa-hia.de>", "RSET", "QUIT"}},
        {"a local part without ASCII form: nothing is sent, the address is named",
         "jan@example.cz",
         "u\x9Eivatel@" + domain,
         "The address \"u\x9Eivatel@" + domain + "\" cannot be sent: its local part is not ASCII.",
         {"QUIT"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server([](Peer& p) {
            Greet(p);
            while (true) {
                const std::string line = p.ReadLine();
                if (line == "<eof>" || line == "<timeout>") {
                    return;
                }
                p.Send(line.starts_with("RCPT") ? "550 stop\r\n" : line == "QUIT" ? "221 bye\r\n" : "250 ok\r\n");
            }
        });
        auto session = Session(server.port());
        MailMessage message = TestMessage();
        message.From = MailAddress::Parse(c.from);
        message.To = {MailAddress::Parse(c.to)};
        message.Cc.clear();
        message.Bcc.clear();
        session->Connect();
        EXPECT_EQ(FailureOf([&] { session->SendMessage(message); }), c.failure);
        session->Disconnect();
        std::vector<std::string> expected = {Ehlo()};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(server.Finish(), expected);
    }
}

TEST(EmlsendSmtpSession, SendsALongInitialResponseAfterAnEmptyChallenge)
{
    // A server that, like Postfix, cuts command lines at 2048 bytes, takes
    // longer answers to its challenges, and takes only the right response.
    constexpr std::size_t kServerLineLimit = 2048;
    const std::string user = "jan@example.cz";
    const auto xoauth2 = [&](const std::string& aToken) {
        return "user=" + user + "\x01" + "auth=Bearer " + aToken + "\x01\x01";
    };
    // The most bytes whose base64 fits on "AUTH XOAUTH2 ...\r\n" in 512.
    const std::size_t fits = (kMaxCommandLine - 2 - std::string("AUTH XOAUTH2 ").size()) / 4 * 3;
    const struct {
        const char* what;
        std::string token;
        bool onTheLine; // the response goes on the AUTH line
    } cases[] = {
        {"a short token on the AUTH line", "tok-1", true},
        {"a token of 2500 bytes after the 334", std::string(2500, 't'), false},
        {"the longest response within 512 bytes", std::string(fits - xoauth2("").size(), 't'), true},
        {"one byte more", std::string(fits - xoauth2("").size() + 1, 't'), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string response = EncodeBase64(xoauth2(c.token));
        ScriptedServer server([&](Peer& p) {
            Greet(p, {"x", "AUTH XOAUTH2"});
            std::string line = p.ReadLine();
            if (line.size() + 2 > kServerLineLimit) {
                p.Send("501 5.5.2 Invalid base64 data in initial response\r\n");
            } else {
                if (line == "AUTH XOAUTH2") {
                    p.Send("334 \r\n");
                    line = "AUTH XOAUTH2 " + p.ReadLine();
                }
                p.Send(line == "AUTH XOAUTH2 " + response ? "235 2.7.0 Accepted\r\n" : "535 5.7.8 Wrong\r\n");
            }
            Answer(p, "250 ok\r\n"); // RSET
            Answer(p, "553 no\r\n"); // MAIL
            Answer(p, "221 bye\r\n");
        });
        auto session = Session(server.port());
        session->UserName = user;
        session->OAuthToken = [&] { return c.token; };
        session->Connect();
        EXPECT_EQ(FailureOf([&] { session->SendMessage(TestMessage()); }), "no\r\n");
        EXPECT_TRUE(session->LoggedIn());
        session->Disconnect();
        const std::vector<std::string> lines = server.Finish();
        ASSERT_GE(lines.size(), 2U);
        if (c.onTheLine) {
            EXPECT_EQ(lines[1], "AUTH XOAUTH2 " + response);
            EXPECT_LE(lines[1].size() + 2, kMaxCommandLine);
        } else {
            ASSERT_GE(lines.size(), 3U);
            EXPECT_EQ(lines[1], "AUTH XOAUTH2");
            EXPECT_EQ(lines[2], response);
        }
    }
}

TEST(EmlsendSmtpSession, EndsTheSessionAtA421)
{
    const std::string ehlo = Ehlo();
    const std::string closing = "421 4.3.2 Service shutting down\r\n";
    const std::vector<ScriptCase> cases = {
        {"in answer to EHLO: no HELO",
         [&](Peer& p) {
             p.Send("220 hi\r\n");
             Answer(p, closing);
         },
         "",
         "Service shutting down\r\n",
         {ehlo}},
        {"in answer to RSET, whose other answers are all taken",
         [&](Peer& p) {
             Greet(p);
             Answer(p, closing);
         },
         "",
         "Service shutting down\r\n",
         {ehlo, "RSET"}},
        {"in answer to RCPT: no RSET, no QUIT",
         [&](Peer& p) {
             Greet(p);
             Answer(p, "250 ok\r\n");
             Answer(p, "250 ok\r\n");
             Answer(p, closing);
         },
         "",
         "Service shutting down\r\n",
         {ehlo, "RSET", "MAIL FROM: <jan@example.cz>", "RCPT TO:<to1@example.cz>"}},
    };
    for (const ScriptCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server([&](Peer& p) {
            c.script(p);
            p.WaitForClose();
        });
        auto session = Session(server.port());
        EXPECT_EQ(FailureOf([&] {
                      session->Connect();
                      session->SendMessage(TestMessage());
                  }),
                  c.failure);
        EXPECT_FALSE(session->Connected());
        EXPECT_NO_THROW(session->Disconnect());
        EXPECT_EQ(server.Finish(), c.expected);
    }
}

TEST(EmlsendSmtpSession, RefusesAMessageOverTheServersSizeBeforeMail)
{
    const MailMessage message = TestMessage();
    const std::uint64_t size = Session(0)->Writer.Measure(message);
    const struct {
        const char* what;
        std::string keyword;
        std::string failure; // "" when the transaction must go ahead
    } cases[] = {
        {"one byte over", "SIZE " + std::to_string(size - 1),
         "The message has " + std::to_string(size) + " bytes; the server takes at most " + std::to_string(size - 1) +
             " (SIZE)."},
        {"exactly the limit", "SIZE " + std::to_string(size), ""},
        {"SIZE 0: no limit", "SIZE 0", ""},
        {"SIZE without a number", "SIZE", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server([&](Peer& p) {
            Greet(p, {"x", c.keyword});
            if (c.failure.empty()) {
                Answer(p, "250 ok\r\n");     // RSET
                Answer(p, "553 sender\r\n"); // MAIL
            }
            Answer(p, "221 bye\r\n");
        });
        auto session = Session(server.port());
        session->Connect();
        EXPECT_EQ(FailureOf([&] { session->SendMessage(message); }), c.failure.empty() ? "sender\r\n" : c.failure);
        session->Disconnect();
        std::vector<std::string> expected = {Ehlo()};
        if (c.failure.empty()) {
            expected.insert(expected.end(), {"RSET", "MAIL FROM: <jan@example.cz>"});
        }
        expected.push_back("QUIT");
        EXPECT_EQ(server.Finish(), expected);
    }
}

TEST(EmlsendSmtpSession, ClosesEvenWhenQuitFails)
{
    ScriptedServer server([](Peer& p) {
        Greet(p);
        Answer(p, "500 no quitting\r\n");
    });
    auto session = Session(server.port());
    session->Connect();
    EXPECT_EQ(FailureOf([&] { session->Disconnect(); }), "no quitting\r\n");
    EXPECT_FALSE(session->Connected());
}

struct ReplyCase {
    const char* what;
    std::vector<std::string> lines;
    int code;
    std::string text;
};

TEST(EmlsendSmtpReply, ParsesCodesAndTexts)
{
    const std::vector<ReplyCase> cases = {
        {"single line", {"250 OK"}, 250, "OK\r\n"},
        {"continuation", {"250-first", "250-second", "250 last"}, 250, "first\r\nsecond\r\nlast\r\n"},
        {"enhanced codes removed", {"550-5.7.1 Relaying denied", "550 5.7.1 Bye"}, 550, "Relaying denied\r\nBye\r\n"},
        {"an enhanced code with class 3 stays", {"250 3.1.0 x"}, 250, "3.1.0 x\r\n"},
        {"a version number stays", {"220 2.0 ready"}, 220, "2.0 ready\r\n"},
        {"short line ends the reply", {"250-a", "250"}, 250, "a\r\n\r\n"},
        {"blank code", {"    hello"}, 0, "hello\r\n"},
        {"code 999", {"999 odd"}, 999, "odd\r\n"},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t next = 0;
        const SmtpReply reply = ReadSmtpReply([&](std::size_t) { return c.lines.at(next++); });
        EXPECT_EQ(next, c.lines.size());
        EXPECT_EQ(reply.Code, c.code);
        EXPECT_EQ(reply.Text(), c.text);
    }
    for (const std::string bad : {"099 low", "abc x", "25", "25x", "-50 x"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(ReadSmtpReply([&](std::size_t) { return bad; }), EInvalidReplyCode);
    }
}

} // namespace
} // namespace emlsend

namespace emlsend {
namespace {

TEST(EmlsendSmtpTimeOuts, AreTheDocumentedWaits)
{
    using std::chrono::milliseconds;
    const SmtpTimeOuts waits;
    EXPECT_EQ(waits.Greeting, milliseconds(300000)) << "5 minutes";
    EXPECT_EQ(waits.Command, milliseconds(300000)) << "5 minutes";
    EXPECT_EQ(waits.DataStart, milliseconds(120000)) << "2 minutes";
    EXPECT_EQ(waits.DataBlock, milliseconds(180000)) << "3 minutes";
    EXPECT_EQ(waits.DataEnd, milliseconds(600000)) << "10 minutes";
    EXPECT_EQ(waits.Quit, milliseconds(30000)) << "30 seconds";
}

TEST(EmlsendSmtpHello, SendsAFullyQualifiedNameElseTheAddressLiteral)
{
    struct Case {
        const char* qualified;
        const char* literal;
        std::string expected;
    };
    const Case cases[] = {
        {"mail.example.cz", "[192.0.2.1]", "mail.example.cz"},
        {"", "[192.0.2.1]", "[192.0.2.1]"},
        {"vm", "[IPv6:2001:db8::1]", "[IPv6:2001:db8::1]"},
        {".example", "[192.0.2.1]", "[192.0.2.1]"},
        {"vm.", "[192.0.2.1]", "[192.0.2.1]"},
        {"", "", LocalHostName()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.qualified) + " / " + c.literal);
        EXPECT_EQ(HelloName(c.qualified, c.literal), c.expected);
    }
}

TEST(EmlsendSmtpTimeOuts, ACapOnlyShortens)
{
    using std::chrono::milliseconds;
    const SmtpTimeOuts rfc;
    const SmtpTimeOuts same = CapTimeOuts(rfc, milliseconds(24 * 3600 * 1000));
    EXPECT_EQ(same.Greeting, rfc.Greeting);
    EXPECT_EQ(same.DataEnd, rfc.DataEnd);
    EXPECT_EQ(same.Quit, rfc.Quit);
    for (const milliseconds none : {milliseconds(0), milliseconds(-1)}) {
        const SmtpTimeOuts unchanged = CapTimeOuts(rfc, none);
        EXPECT_EQ(unchanged.Command, rfc.Command);
        EXPECT_EQ(unchanged.DataBlock, rfc.DataBlock);
    }
    const SmtpTimeOuts capped = CapTimeOuts(rfc, milliseconds(60000));
    EXPECT_EQ(capped.Greeting, milliseconds(60000));
    EXPECT_EQ(capped.Command, milliseconds(60000));
    EXPECT_EQ(capped.DataStart, milliseconds(60000));
    EXPECT_EQ(capped.DataBlock, milliseconds(60000));
    EXPECT_EQ(capped.DataEnd, milliseconds(60000));
    EXPECT_EQ(capped.Quit, milliseconds(30000)) << "a shorter wait stays";
}

} // namespace
} // namespace emlsend
