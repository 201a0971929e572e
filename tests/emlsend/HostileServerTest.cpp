// The emlsend program against hostile SMTP servers: endless lines, a reply
// of a million continuation lines, a greeting trickled one byte a second, a
// close in the middle of the message data, garbage reply codes and silence.
// Every run must end within its time-outs (shortened for the test through
// EMLSEND_MAX_REPLY_WAIT_MS) with exit code 0, the failure in "eml456.txt"
// and peak memory close to that of a run that fails at once.

#include "ProcessSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace emlsend {
namespace {

using namespace std::chrono_literals;

const std::string kProgram = EMLSEND_PROGRAM;
constexpr int kWaitCapMs = 2500;
// A server script stops sending after this much, so that a client that
// never stops reading still ends the test.
constexpr std::size_t kFloodLimit = 256u << 20;
constexpr auto kFloodTime = 30s;

struct HostileRun {
    test::ProcessResult process;
    std::string result; // eml456.txt, "<none>" when missing
    std::chrono::milliseconds elapsed{0};
    bool controlKept = true;
};

HostileRun RunAgainst(std::uint16_t aPort, const std::string& aExtraSections = {}, const std::string& aSettings = {})
{
    test::TempDir dir;
    const std::string control = dir.File("ctl.txt");
    test::WriteFile(control, "[SMTP]\r\nHost=127.0.0.1:" + std::to_string(aPort) + "\r\n" + aSettings +
                                 "[TO]\r\na@example.cz\r\n" + aExtraSections + "[BODY]\r\ntext\r\n");
    HostileRun run;
    const auto start = std::chrono::steady_clock::now();
    run.process = test::RunProcess({kProgram, control}, {"EMLSEND_MAX_REPLY_WAIT_MS=" + std::to_string(kWaitCapMs)},
                                   dir.path(), 60);
    run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    run.result =
        ::access(dir.File("eml456.txt").c_str(), F_OK) == 0 ? test::ReadFile(dir.File("eml456.txt")) : "<none>";
    run.controlKept = ::access(control.c_str(), F_OK) == 0;
    return run;
}

// Peak memory of a run that fails at once (nobody listens): the yardstick
// for "bounded" whatever the build (sanitizers take much memory of their own).
// Measured anew each time: a child's peak includes that of this process up
// to its start, which grows as tests run.
long BaselineRssKb() { return RunAgainst(test::UnusedPort()).process.maxRssKb; }

// Greets, accepts RSET, MAIL and RCPT, and invites the data.
void AcceptUpToData(test::Peer& aPeer)
{
    test::Greet(aPeer);
    test::Answer(aPeer, "250 ok\r\n"); // RSET
    test::Answer(aPeer, "250 ok\r\n"); // MAIL
    test::Answer(aPeer, "250 ok\r\n"); // RCPT
    test::Answer(aPeer, "354 go on\r\n");
}

// Sends aChunk again and again until the client closes or the flood limits pass.
void Flood(test::Peer& aPeer, const std::string& aChunk)
{
    const auto until = std::chrono::steady_clock::now() + kFloodTime;
    for (std::size_t sent = 0; sent < kFloodLimit && std::chrono::steady_clock::now() < until; sent += aChunk.size()) {
        if (!aPeer.Send(aChunk)) {
            return;
        }
    }
}

// What a TLS client may take beyond the yardstick: OpenSSL's context with the
// system's trust store, which AddressSanitizer makes several times larger.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kTlsContextKb = 32 * 1024;
#else
constexpr long kTlsContextKb = 8 * 1024;
#endif

void ExpectFailedRun(const HostileRun& aRun, const std::string& aResult, long aAllowanceKb = 0)
{
    EXPECT_FALSE(aRun.process.timedOut) << "the program did not end";
    EXPECT_EQ(aRun.process.exitCode, 0) << aRun.process.err;
    EXPECT_EQ(aRun.process.err, "");
    EXPECT_EQ(aRun.result, aResult);
    EXPECT_FALSE(aRun.controlKept) << "a failed send deletes the control file";
    EXPECT_LT(aRun.elapsed, 20s) << "well within the shortened waits";
    EXPECT_LT(aRun.process.maxRssKb, BaselineRssKb() + 16 * 1024 + aAllowanceKb) << "memory stays bounded";
}

TEST(EmlsendHostileServer, AnEndlessReplyLineIsCutOff)
{
    test::ScriptedServer server([](test::Peer& p) {
        p.Send("220 ");
        Flood(p, std::string(65536, 'x'));
    });
    ExpectFailedRun(RunAgainst(server.port()), "Reply too long.\r\n");
}

TEST(EmlsendHostileServer, AMillionContinuationLinesAreCutOff)
{
    test::ScriptedServer server([](test::Peer& p) {
        test::Greet(p);
        p.ReadLine(); // RSET
        std::string block;
        for (int i = 0; i < 10000; ++i) {
            block += "250-continued\r\n";
        }
        for (int i = 0; i < 100 && p.Send(block); ++i) {
        }
    });
    ExpectFailedRun(RunAgainst(server.port()), "Reply too long.\r\n");
}

TEST(EmlsendHostileServer, AGreetingOneBytePerSecondTimesOut)
{
    test::ScriptedServer server([](test::Peer& p) {
        const std::string greeting = "220 a very slow server says hello\r\n";
        for (const char c : greeting) {
            if (!p.Send(std::string(1, c))) {
                return;
            }
            std::this_thread::sleep_for(1s);
            // Stop once the client has gone.
            if (p.ReadLine() == "<eof>") {
                return;
            }
        }
    });
    const HostileRun run = RunAgainst(server.port());
    ExpectFailedRun(run, "Read timed out.\r\n");
    EXPECT_GE(run.elapsed, std::chrono::milliseconds(kWaitCapMs)) << "the whole reply has one deadline";
}

TEST(EmlsendHostileServer, ACloseInTheMiddleOfTheDataFails)
{
    test::TempDir files;
    const std::string attachment = files.File("big.bin");
    test::WriteFile(attachment, test::PseudoRandomBytes(8u << 20, 7));
    test::ScriptedServer server([](test::Peer& p) {
        AcceptUpToData(p);
        for (int i = 0; i < 20; ++i) {
            p.ReadLine(); // a few lines of the header, then the line drops
        }
    });
    const HostileRun run = RunAgainst(server.port(), "[ATTACHMENTS]\r\n" + attachment + "\r\n");
    EXPECT_FALSE(run.process.timedOut);
    EXPECT_EQ(run.process.exitCode, 0) << run.process.err;
    EXPECT_FALSE(run.controlKept);
    EXPECT_LT(run.elapsed, 20s);
    // The close shows as a broken pipe or a reset while writing, depending on
    // how much the system had buffered.
    EXPECT_TRUE(run.result == "Socket Error # 32\r\nBroken pipe\r\n" ||
                run.result == "Socket Error # 104\r\nConnection reset by peer\r\n" ||
                run.result == "Connection Closed Gracefully.\r\n")
        << run.result;
    EXPECT_LT(run.process.maxRssKb, BaselineRssKb() + 16 * 1024) << "the attachment is streamed, not held";
}

TEST(EmlsendHostileServer, AServerThatStopsReadingTheDataTimesOut)
{
    // More than the loopback connection's buffers take (36 MiB here), written
    // in pieces so that this process stays small.
    test::TempDir files;
    const std::string attachment = files.File("big.bin");
    {
        std::ofstream out(attachment, std::ios::binary);
        for (unsigned piece = 0; piece < 48; ++piece) {
            out << test::PseudoRandomBytes(1u << 20, piece);
        }
    }
    test::ScriptedServer server([](test::Peer& p) {
        AcceptUpToData(p);
        p.ReadLine(); // the first line of the data, then nothing more is read
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * kWaitCapMs));
    });
    const HostileRun run = RunAgainst(server.port(), "[ATTACHMENTS]\r\n" + attachment + "\r\n");
    ExpectFailedRun(run, "Write timed out.\r\n");
    EXPECT_GE(run.elapsed, std::chrono::milliseconds(kWaitCapMs));
}

// TLS servers that never complete a handshake: each run ends within its
// waits with the reason in the result file.
TEST(EmlsendHostileServer, BrokenTlsHandshakesFail)
{
    struct Case {
        const char* what;
        std::string settings;
        test::ScriptedServer::Script script;
        std::vector<std::string> results; // any of them (the system decides between close and reset)
    };
    const Case cases[] = {
        {"garbage instead of a handshake",
         "Security=TLS\r\n",
         [](test::Peer& p) { Flood(p, "220 this is no TLS at all\r\n" + std::string(4000, '\x7F')); },
         {"TLS: wrong version number\r\n", "TLS: packet length too long\r\n"}},
        {"a close in the middle of the handshake",
         "Security=TLS\r\n",
         [](test::Peer& p) {
             p.Send(std::string("\x16\x03\x03\x00\x40", 5) + std::string(20, '\x02')); // a record cut short
         },
         {"TLS: the server closed the connection during the handshake.\r\n",
          "Socket Error # 104\r\nConnection reset by peer\r\n"}},
        {"a handshake one byte a second",
         "Security=TLS\r\n",
         [](test::Peer& p) {
             const std::string record = std::string("\x16\x03\x03\x00\x40", 5) + std::string(64, '\x02');
             for (const char c : record) {
                 if (!p.Send(std::string(1, c))) {
                     return; // the client has gone
                 }
                 std::this_thread::sleep_for(1s);
             }
         },
         {"TLS handshake timed out.\r\n"}},
        {"STARTTLS answered and then silence",
         "Security=StartTLS\r\n",
         [](test::Peer& p) {
             test::Greet(p, {"localhost", "STARTTLS"});
             test::Answer(p, "220 go ahead\r\n");
             p.WaitForClose();
         },
         {"TLS handshake timed out.\r\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScriptedServer server(c.script);
        const HostileRun run = RunAgainst(server.port(), {}, c.settings);
        const bool known = std::find(c.results.begin(), c.results.end(), run.result) != c.results.end();
        EXPECT_TRUE(known) << run.result;
        ExpectFailedRun(run, known ? run.result : c.results.front(), kTlsContextKb);
    }
}

TEST(EmlsendHostileServer, GarbageReplyCodesFail)
{
    struct Case {
        const char* what;
        std::string reply;
        std::string result;
    };
    const Case cases[] = {
        {"letters", "abc hello\r\n", "Reply Code is not valid: abc\r\n"},
        {"a code below 100", "099 too small\r\n", "Reply Code is not valid: 099\r\n"},
        {"binary bytes", "\x01\xFF\x7F zz\r\n", "Reply Code is not valid: \x01\xFF\x7F\r\n"},
        {"a NUL byte ends the failure text", std::string("\x00\xFF\x01 zz\r\n", 8), "Reply Code is not valid: \r\n"},
        {"a code too short", "25\r\n", "Reply Code is not valid: 25\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScriptedServer server([&c](test::Peer& p) {
            p.Send(c.reply);
            p.WaitForClose();
        });
        ExpectFailedRun(RunAgainst(server.port()), c.result);
    }
}

TEST(EmlsendHostileServer, ASilentServerTimesOut)
{
    test::ScriptedServer server([](test::Peer& p) { p.WaitForClose(); });
    const HostileRun run = RunAgainst(server.port());
    ExpectFailedRun(run, "Read timed out.\r\n");
    EXPECT_GE(run.elapsed, std::chrono::milliseconds(kWaitCapMs));
}

TEST(EmlsendHostileServer, TheWaitCapOnlyShortens)
{
    // A cap that is no positive number is ignored; the RFC wait would apply,
    // so the server answers after the would-be cap and the send succeeds.
    for (const std::string value : {"0", "-5", "abc", "1e3"}) {
        SCOPED_TRACE(value);
        test::ScriptedServer server([](test::Peer& p) {
            std::this_thread::sleep_for(300ms);
            AcceptUpToData(p);
            p.ReadData();
            p.Send("250 stored\r\n");
            test::Answer(p, "221 bye\r\n");
        });
        test::TempDir dir;
        const std::string control = dir.File("ctl.txt");
        test::WriteFile(control, "[SMTP]\r\nHost=127.0.0.1:" + std::to_string(server.port()) +
                                     "\r\n[TO]\r\na@example.cz\r\n[BODY]\r\ntext\r\n");
        const test::ProcessResult run =
            test::RunProcess({kProgram, control}, {"EMLSEND_MAX_REPLY_WAIT_MS=" + value}, dir.path(), 60);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(::access(dir.File("eml456.txt").c_str(), F_OK), 0) << test::ReadFile(dir.File("eml456.txt"));
    }
}

} // namespace
} // namespace emlsend
