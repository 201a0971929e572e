// The emlsend program against aiosmtpd with TLS and sign-in: STARTTLS and
// TLS from the first byte with certificates of a test CA made for the run,
// certificates that must be refused, AUTH PLAIN, OAuth 2 through a token
// command, and a server on the IPv6 loopback address.

#include "ProcessSupport.h"
#include "TestSupport.h"
#include "TokenCommand.h"
#include "Umailer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace emlsend {
namespace {

using namespace std::chrono_literals;

const std::string kProgram = EMLSEND_PROGRAM;

bool Exists(const std::string& aPath) { return ::access(aPath.c_str(), F_OK) == 0; }

struct SecureCase {
    const char* what;
    std::string certificate;          // the server's: "" no TLS at all
    std::vector<std::string> options; // more options of smtp_server.py
    std::string settings;             // more lines of the [SMTP] section; "@" is the CA directory
    std::string result;               // eml456.txt; "" when the message must arrive
    std::string mechanism = {};       // the sign-in the server saw
    std::string auth = {};            // the server's record of it
    std::string host = "localhost";   // the Host setting without the port
};

TEST(EmlsendSecureSend, SendsThroughTlsOrFailsWithTheReason)
{
    test::TempDir caDir;
    const test::TestCertificates certificates(caDir.path());
    const std::string trust = "TLSTrustFile=@/ca.pem\r\n";
    const std::string login = "UserName=jan\r\nPassword=tajn\xE9\r\n";
    const SecureCase cases[] = {
        {"StartTLS, then LOGIN", "server", {}, "Security=StartTLS\r\n" + trust + login, "", "LOGIN", "jan\ntajn\xE9\n"},
        {"TLS from the first byte",
         "server",
         {"--implicit-tls"},
         "Security=tls\r\n" + trust + login,
         "",
         "LOGIN",
         "jan\ntajn\xE9\n"},
        {"PLAIN when LOGIN is not offered",
         "server",
         {"--exclude", "LOGIN"},
         "Security=STARTTLS\r\n" + trust + login,
         "",
         "PLAIN",
         "jan\ntajn\xE9\n"},
        {"no password in PLAIN without TLS", "", {"--exclude", "LOGIN"}, login, "", "", ""},
        {"LOGIN with a user name and an empty password", "", {}, "UserName=jan\r\n", "", "LOGIN", "jan\n\n"},
        {"OAuth 2 with a token command",
         "server",
         {"--token", "ya29.token-1"},
         "Security=StartTLS\r\n" + trust +
             "UserName=jan@example.cz\r\nOAuthTokenCommand=printf '  ya29.token-1\\n'\r\n",
         "",
         "XOAUTH2",
         "jan@example.cz\nya29.token-1\n"},
        {"OAuth 2 with a token of 2500 bytes at a server that cuts commands at 2048",
         "server",
         {"--token", std::string(2500, 't'), "--command-limit", "2048"},
         "Security=StartTLS\r\n" + trust +
             "UserName=jan@example.cz\r\nOAuthTokenCommand=head -c 2500 /dev/zero | tr '\\0' t\r\n",
         "",
         "XOAUTH2",
         "jan@example.cz\n" + std::string(2500, 't') + "\n"},
        {"PLAIN whose initial response makes the command longer than 512 bytes",
         "server",
         {"--exclude", "LOGIN"},
         "Security=STARTTLS\r\n" + trust + "UserName=" + std::string(200, 'j') +
             "\r\nPassword=" + std::string(200, 'p') + "\r\n",
         "",
         "PLAIN",
         std::string(200, 'j') + "\n" + std::string(200, 'p') + "\n"},
        {"a failing token command",
         "server",
         {"--token", "t"},
         "Security=StartTLS\r\n" + trust + "UserName=jan\r\nOAuthTokenCommand=echo 'no network' >&2; exit 3\r\n",
         "OAuthTokenCommand failed with exit code 3: no network\r\n"},
        {"a token too long for a sign-in line, refused before connecting",
         "server",
         {"--token", "t"},
         "Security=StartTLS\r\n" + trust +
             "UserName=jan\r\nOAuthTokenCommand=head -c 1048576 /dev/zero | tr '\\0' a\r\n",
         "OAuthTokenCommand \"head\" printed more than 65536 bytes; a token may have at most 16384.\r\n"},
        {"a token command that prints nothing",
         "server",
         {"--token", "t"},
         "Security=StartTLS\r\n" + trust + "UserName=jan\r\nOAuthTokenCommand=true\r\n",
         "OAuthTokenCommand printed no token.\r\n"},
        {"a certificate for another name",
         "wrong",
         {},
         "Security=StartTLS\r\n" + trust,
         "TLS: certificate verify failed: hostname mismatch\r\n"},
        {"a certificate for another name at an IP address",
         "wrong",
         {},
         "Security=StartTLS\r\n" + trust,
         "TLS: certificate verify failed: IP address mismatch\r\n",
         "",
         "",
         "127.0.0.1"},
        {"a certificate of an unknown CA",
         "unknown",
         {},
         "Security=StartTLS\r\n" + trust,
         "TLS: certificate verify failed: unable to get local issuer certificate\r\n"},
        {"the test CA is not in the system's store",
         "server",
         {"--implicit-tls"},
         "Security=TLS\r\n",
         "TLS: certificate verify failed: unable to get local issuer certificate\r\n"},
        {"a self-signed certificate",
         "self",
         {"--implicit-tls"},
         "Security=TLS\r\n",
         "TLS: certificate verify failed: self-signed certificate\r\n"},
        {"a server without STARTTLS",
         "",
         {},
         "Security=StartTLS\r\n" + trust,
         "TLS: the server does not offer STARTTLS.\r\n"},
        {"a trust file that is not there",
         "server",
         {},
         "Security=StartTLS\r\nTLSTrustFile=@/none.pem\r\n",
         "TLS: cannot read the trust file \"@/none.pem\": No such file or directory\r\n"},
        {"an unknown Security",
         "server",
         {},
         "Security=SSL\r\n",
         "Unknown Security \"SSL\" (None, StartTLS or TLS).\r\n"},
    };
    const auto expand = [&](std::string aText) {
        for (std::size_t at; (at = aText.find('@')) != std::string::npos && aText.compare(at, 9, "@example.") != 0;) {
            aText.replace(at, 1, caDir.path());
        }
        return aText;
    };
    for (const SecureCase& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        test::TempDir spool;
        std::vector<std::string> options = c.options;
        if (!c.certificate.empty()) {
            const std::vector<std::string> tls = certificates.ServerOptions(c.certificate);
            options.insert(options.end(), tls.begin(), tls.end());
        }
        test::AiosmtpdServer server(spool.path(), options);
        ASSERT_NE(server.port(), 0) << "the server did not start";
        const std::string control = dir.File("ctl.txt");
        test::WriteFile(control, "[SMTP]\r\nHost=" + c.host + ":" + std::to_string(server.port()) + "\r\n" +
                                     expand(c.settings) +
                                     "[FROM]\r\njan@example.cz\r\n[TO]\r\npetr@example.cz\r\n[BODY]\r\nAhoj\r\n");
        const test::ProcessResult run = test::RunProcess({kProgram, control}, {"EMLSEND_MAX_REPLY_WAIT_MS=10000"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        if (!c.result.empty()) {
            EXPECT_EQ(test::ReadFile(dir.File("eml456.txt")), expand(c.result));
            EXPECT_FALSE(Exists(spool.File("1.done"))) << "nothing may arrive";
            continue;
        }
        EXPECT_FALSE(Exists(dir.File("eml456.txt"))) << test::ReadFile(dir.File("eml456.txt"));
        ASSERT_TRUE(test::WaitForFile(spool.File("1.done")));
        EXPECT_EQ(test::ReadFile(spool.File("1.tls")).rfind("TLSv1.", 0),
                  c.certificate.empty() ? std::string::npos : 0U);
        EXPECT_EQ(test::ReadFile(spool.File("1.mech")), c.mechanism);
        EXPECT_EQ(test::ReadFile(spool.File("1.auth")), c.auth);
        EXPECT_NE(test::ReadFile(spool.File("1.data")).find("\r\n\r\nAhoj\r\n"), std::string::npos);
    }
}

TEST(EmlsendSecureSend, ATokenCommandRunsOnlyFromAControlFileOfTheUser)
{
    const struct {
        const char* what;
        mode_t mode;
        bool otherOwner; // the file belongs to another user (needs root to set up)
    } cases[] = {
        {"a file others may write", 0664, false},
        {"another user's file that only its owner may write", 0644, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.otherOwner && ::geteuid() != 0) {
            GTEST_SKIP() << "giving a file to another user needs root";
        }
        test::TempDir dir;
        const std::string marker = dir.File("ran");
        const std::string control = dir.File("ctl.txt");
        test::WriteFile(control, "[SMTP]\r\nHost=127.0.0.1:" + std::to_string(test::UnusedPort()) +
                                     "\r\nUserName=jan\r\nOAuthTokenCommand=touch " + marker +
                                     "; echo t\r\n[BODY]\r\nx\r\n");
        ASSERT_EQ(::chmod(control.c_str(), c.mode), 0);
        if (c.otherOwner) {
            ASSERT_EQ(::chown(control.c_str(), 65534, 65534), 0);
        }
        const test::ProcessResult run = test::RunProcess({kProgram, control});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(test::ReadFile(dir.File("eml456.txt")),
                  "OAuthTokenCommand refused: the control file \"" + control +
                      "\" must belong to the user running emlsend and be writable by no one else.\r\n");
        EXPECT_FALSE(Exists(marker)) << "nothing is run";
        EXPECT_FALSE(Exists(control)) << "a failed send deletes the control file";
    }
}

// Whether process aPid is still running (not gone, not a zombie).
bool Running(const std::string& aPid)
{
    const std::string stat = test::ReadFile("/proc/" + aPid + "/stat");
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

TEST(EmlsendSecureSend, ATokenCommandIsBoundedInTime)
{
    test::TempDir dir;
    const std::string pidFile = dir.File("pid");
    const auto start = std::chrono::steady_clock::now();
    try {
        // The shell's own child must end too: the whole group is killed.
        RunTokenCommand("sleep 20 & echo $! > " + pidFile + "; sleep 20; echo late", 300ms);
        FAIL() << "no time limit";
    } catch (const ETokenCommandError& error) {
        EXPECT_EQ(std::string(error.what()), "OAuthTokenCommand took longer than 300 ms.");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    const std::string pid = test::ReadFile(pidFile).substr(0, test::ReadFile(pidFile).find('\n'));
    ASSERT_FALSE(pid.empty());
    for (int i = 0; i < 50 && Running(pid); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(Running(pid)) << "the background child of the command was left running";
    EXPECT_EQ(kTokenCommandLimit, 30s);
    EXPECT_EQ(RunTokenCommand("printf '\\t tok en \\r\\n'"), "tok en");
}

TEST(EmlsendSecureSend, ATokenCommandEndsWithItsShellAndItsTokenIsBounded)
{
    const std::string aa = "head -c 16384 /dev/zero | tr '\\0' a";
    const struct {
        const char* what;
        std::string command; // "@" stands for the test's directory
        std::string token;   // "" when it must fail
        std::string failure;
    } cases[] = {
        {"a background child holds the output open", "sleep 60 & echo $! > @/pid; echo TOKEN", "TOKEN", ""},
        {"the output closed before the exit: the exit code counts", "echo t; exec >&-; sleep 0.2; exit 4", "",
         "OAuthTokenCommand failed with exit code 4."},
        {"a token of 16 KiB", aa, std::string(16384, 'a'), ""},
        {"a token of 16 KiB and a byte", aa + "; printf b", "",
         "OAuthTokenCommand \"head\" printed a token of 16385 bytes; a token may have at most 16384."},
        {"a token of 1 MiB, not read beyond 64 KiB", "head -c 1048576 /dev/zero | tr '\\0' a; touch @/read-whole", "",
         "OAuthTokenCommand \"head\" printed more than 65536 bytes; a token may have at most 16384."},
        {"a token of 20000 bytes and a line feed: its size without the line feed",
         "head -c 20000 /dev/zero | tr '\\0' a; echo", "",
         "OAuthTokenCommand \"head\" printed a token of 20000 bytes; a token may have at most 16384."},
        {"an endless command of lines", "yes", "",
         "OAuthTokenCommand \"yes\" printed more than one line; the token must be the only line of its output."},
        {"a second line, only the program named (no assignments, no directory)",
         "SECRET=s3cr3t /usr/bin/printf 'tok\\nexpires_in=3600\\n' # s3cr3t", "",
         "OAuthTokenCommand \"printf\" printed more than one line; the token must be the only line of its output."},
        {"empty lines around the token", "printf '\\n  tok \\n\\n \\n'", "tok", ""},
        {"a child in a session of its own ends too", "setsid sleep 60 & echo $! > @/pid; echo TOKEN", "TOKEN", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        std::string command = c.command;
        for (std::size_t at; (at = command.find('@')) != std::string::npos;) {
            command.replace(at, 1, dir.path());
        }
        std::string token;
        std::string failure;
        try {
            token = RunTokenCommand(command, 10s);
        } catch (const ETokenCommandError& error) {
            failure = error.what();
        }
        EXPECT_EQ(token, c.token);
        EXPECT_EQ(failure, c.failure);
        EXPECT_FALSE(Exists(dir.File("read-whole"))) << "the output was read beyond its limit";
        if (Exists(dir.File("pid"))) {
            const std::string pid =
                test::ReadFile(dir.File("pid")).substr(0, test::ReadFile(dir.File("pid")).find('\n'));
            for (int i = 0; i < 50 && Running(pid); ++i) {
                std::this_thread::sleep_for(20ms);
            }
            EXPECT_FALSE(Running(pid)) << "the background child was left running";
        }
    }
}

TEST(EmlsendSecureSend, ReachesAServerOnTheIPv6Loopback)
{
    const int probe = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool haveIPv6 = probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (probe >= 0) {
        ::close(probe);
    }
    if (!haveIPv6) {
        GTEST_SKIP() << "this machine has no ::1";
    }
    test::TempDir caDir;
    const test::TestCertificates certificates(caDir.path());
    test::TempDir spool;
    std::vector<std::string> options = certificates.ServerOptions("server");
    options.insert(options.end(), {"--address", "::1"});
    test::AiosmtpdServer server(spool.path(), options);
    ASSERT_NE(server.port(), 0) << "the server did not start";
    const TInterfacePtr<IMailer> mailer = CreateMailer();
    mailer->SetHost("::1");
    mailer->SetPort(server.port());
    mailer->SetSecurity("StartTLS");
    mailer->SetTlsTrustFile(certificates.File("ca.pem"));
    mailer->AddAddress("petr@example.cz", akTo);
    mailer->AddBodyLine("Ahoj");
    ASSERT_EQ(mailer->Send(), srSent) << mailer->GetErrorText();
    ASSERT_TRUE(test::WaitForFile(spool.File("1.done")));
    EXPECT_EQ(test::ReadFile(spool.File("1.tls")).rfind("TLSv1.", 0), 0U) << "verified against the address ::1";
}

} // namespace
} // namespace emlsend
