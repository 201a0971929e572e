// The emlsend program run end to end on control files: against aiosmtpd and
// scripted servers, with a stand-in for xdg-open, through a pipe and on a
// pseudo-terminal.

#include "FileHandle.h"
#include "ProcessSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace emlsend {
namespace {

using test::DumpLines;
using test::Hex;

const std::string kProgram = EMLSEND_PROGRAM;
const std::string kScripts = EMLSEND_TEST_SCRIPTS;
const std::string kCaption852 = std::string("P\xFDipravuji email k odesl\xA0n\xA1") + std::string(8, ' ');

bool Exists(const std::string& aPath) { return ::access(aPath.c_str(), F_OK) == 0; }

// The filled cells of every bar drawn after the caption in piped output;
// fails the test when the output is anything else.
std::vector<int> BarsAfterCaption(const std::string& aOutput)
{
    std::vector<int> bars;
    EXPECT_EQ(aOutput.substr(0, kCaption852.size()), kCaption852);
    const std::string rest = aOutput.substr(std::min(aOutput.size(), kCaption852.size()));
    EXPECT_EQ(rest.size() % 35, 0U) << "whole bars of 35 cells";
    for (std::size_t at = 0; at + 35 <= rest.size(); at += 35) {
        const std::string bar = rest.substr(at, 35);
        const std::size_t filled = bar.find_first_not_of('\xDB');
        const int cells = filled == std::string::npos ? 35 : static_cast<int>(filled);
        EXPECT_EQ(bar, std::string(cells, '\xDB') + std::string(35 - cells, '\xB0'));
        bars.push_back(cells);
    }
    return bars;
}

TEST(EmlsendProgram, SendsTheControlFileThroughAiosmtpd)
{
    test::TempDir dir;
    test::TempDir spool;
    test::AiosmtpdServer server(spool.path());
    ASSERT_NE(server.port(), 0) << "the server did not start";
    const std::string attachment = dir.File("p\xF8\xEDloha.bin");
    test::WriteFile(attachment, test::PseudoRandomBytes(400000, 3));
    test::WriteFile(dir.File("eml456.txt"), "old");
    const std::string control = dir.File("zprava.txt");
    test::WriteFile(control, "** written by the host\r\n"
                             "[smtp]\r\nhost=127.0.0.1:" +
                                 std::to_string(server.port()) +
                                 "\r\nUserName=jan\r\nPASSWORD=tajn\xE9\r\nTimeOut=5000\r\n"
                                 "[SUBJECT]\r\nFaktura \xE8. 12\r\nignored\r\n"
                                 "[FROM]\r\nJan Nov\xE1k <jan@example.cz>\r\n"
                                 "[TO]\r\n\"Nov\xE1k, Petr\" <petr@example.cz>\r\nplain@example.cz\r\n"
                                 "[COPIES]\r\n\xC8"
                                 "ern\xFD <cerny@example.cz>\r\n"
                                 "[HIDDEN COPIES]\r\nskryty@example.cz\r\n"
                                 "[ATTACHMENTS]\r\n" +
                                 attachment +
                                 "\r\n"
                                 "[BODY]\r\nDobr\xFD den,\r\n** a comment [x]\r\n\r\n" +
                                 std::string(300, 'z') + "\r\n");
    const test::ProcessResult run = test::RunProcess({kProgram, control, "ignored argument"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<int> bars = BarsAfterCaption(run.out);
    ASSERT_FALSE(bars.empty()) << "the bar was drawn";
    EXPECT_TRUE(std::is_sorted(bars.begin(), bars.end()));
    EXPECT_GE(bars.back(), 33) << "the bar ends nearly full";

    ASSERT_TRUE(test::WaitForFile(spool.File("1.done")));
    EXPECT_EQ(test::ReadFile(spool.File("1.from")), "jan@example.cz");
    EXPECT_EQ(test::ReadFile(spool.File("1.rcpt")),
              "petr@example.cz\nplain@example.cz\ncerny@example.cz\nskryty@example.cz\n");
    EXPECT_EQ(test::ReadFile(spool.File("1.auth")), "jan\ntajn\xE9\n");
    const std::string data = spool.File("1.data");
    const std::vector<std::string> expected = {
        "H Subject " + Hex("Faktura \xE8. 12"),
        "H MIME-Version " + Hex("1.0"),
        "A From " + Hex("Jan Nov\xE1k") + " jan@example.cz",
        "A To " + Hex("Nov\xE1k, Petr") + " petr@example.cz",
        "A To - plain@example.cz",
        "A Cc " +
            Hex("\xC8"
                "ern\xFD") +
            " cerny@example.cz",
        "P text/plain - " + data + ".1",
        "P application/octet-stream " + Hex("p\xF8\xEDloha.bin") + " " + data + ".2",
        "D 0",
    };
    EXPECT_EQ(DumpLines(data), expected);
    EXPECT_EQ(test::ReadFile(data + ".1"), "Dobr\xFD den,\n\n" + std::string(300, 'z') + "\n");
    EXPECT_TRUE(test::ReadFile(data + ".2") == test::PseudoRandomBytes(400000, 3)) << "attachment differs";
    EXPECT_FALSE(Exists(control)) << "the control file is deleted";
    EXPECT_EQ(test::ReadFile(dir.File("eml456.txt")), "old") << "a sent message leaves the result file alone";
}

// Answers a whole transaction, refusing the recipient "<>" and everything
// after DATA when aRefuseData.
test::ScriptedServer::Script RefusingServer(bool aRefuseData)
{
    return [aRefuseData](test::Peer& aPeer) {
        test::Greet(aPeer);
        while (true) {
            const std::string line = aPeer.ReadLine();
            if (line == "<eof>" || line == "<timeout>") {
                return;
            }
            if (line == "RCPT TO:<>") {
                aPeer.Send("550 5.1.1 Empty recipient refused\r\n");
            } else if (line == "DATA") {
                aPeer.Send(aRefuseData ? "554 No data today\r\n" : "354 go\r\n");
                if (!aRefuseData) {
                    aPeer.ReadData();
                    aPeer.Send("250 ok\r\n");
                }
            } else if (line == "QUIT") {
                aPeer.Send("221 bye\r\n");
                return;
            } else {
                aPeer.Send("250 ok\r\n");
            }
        }
    };
}

TEST(EmlsendProgram, AFailedSendLeavesItsTextInTheResultFile)
{
    struct Case {
        const char* what;
        std::string sections;
        bool refuseData;
        bool listening;
        std::string result;
        bool kept;
        bool quit = true; // the session ends with QUIT, not by dropping the line
    };
    const Case cases[] = {
        {"an empty recipient line is refused", "[TO]\r\na@example.cz\r\n\r\n", false, true,
         "Empty recipient refused\r\n\r\n", false},
        {"NODELETE keeps the control file", "[TO]\r\na@example.cz\r\n[NODELETE]\r\n\r\n", false, true,
         "Empty recipient refused\r\n\r\n", true},
        {"DATA refused", "[TO]\r\na@example.cz\r\n", true, true, "No data today\r\n\r\n", false},
        {"an empty attachment line", "[TO]\r\na@example.cz\r\n[ATTACHMENTS]\r\n\r\n", false, true,
         "Cannot open file \"\". No such file or directory\r\n", false, false},
        {"nobody listens", "[TO]\r\na@example.cz\r\n", false, false, "Socket Error # 111\r\nConnection refused\r\n",
         false},
        // A FIFO without a writer and an endless device: no wait, no reading without end.
        {"a FIFO attachment", "[TO]\r\na@example.cz\r\n[ATTACHMENTS]\r\n@/fifo\r\n", false, true,
         "Cannot open file \"@/fifo\". Not a regular file but a FIFO\r\n", false, false},
        {"a device attachment", "[TO]\r\na@example.cz\r\n[ATTACHMENTS]\r\n/dev/zero\r\n", false, true,
         "Cannot open file \"/dev/zero\". Not a regular file but a character device\r\n", false, false},
        {"a socket attachment", "[TO]\r\na@example.cz\r\n[ATTACHMENTS]\r\n@/sock\r\n", false, true,
         "Cannot open file \"@/sock\". Not a regular file but a socket\r\n", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        std::unique_ptr<test::ScriptedServer> server;
        std::uint16_t port = test::UnusedPort();
        if (c.listening) {
            server = std::make_unique<test::ScriptedServer>(RefusingServer(c.refuseData));
            port = server->port();
        }
        const auto expand = [&](std::string aText) {
            for (std::size_t at; (at = aText.find("@/")) != std::string::npos;) {
                aText.replace(at, 1, dir.path());
            }
            return aText;
        };
        ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
        const hostutils::TFileHandle socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un name{};
        name.sun_family = AF_UNIX;
        dir.File("sock").copy(name.sun_path, sizeof name.sun_path - 1);
        ASSERT_EQ(::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&name), sizeof name), 0);
        const std::string control = dir.File("ctl");
        test::WriteFile(control, "[SMTP]\r\nHost=127.0.0.1:" + std::to_string(port) + "\r\n" + expand(c.sections) +
                                     "[BODY]\r\ntext\r\n");
        test::WriteFile(dir.File("eml456.txt"), "an older, longer result");
        const test::ProcessResult run = test::RunProcess({kProgram, control}, {}, dir.path(), 20);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0) << "a failed send is no failure of the program";
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(test::ReadFile(dir.File("eml456.txt")), expand(c.result));
        EXPECT_EQ(Exists(control), c.kept);
        if (server) {
            const std::vector<std::string> lines = server->Finish();
            if (lines.empty()) {
                ADD_FAILURE() << "the server saw nothing";
                continue;
            }
            EXPECT_EQ(lines.back() == "QUIT", c.quit) << lines.back();
            if (c.result.starts_with("Empty")) {
                EXPECT_EQ(lines[lines.size() - 3], "RCPT TO:<>") << "refused, then RSET and QUIT";
            }
        }
    }
}

TEST(EmlsendProgram, ARelativeControlPathPutsTheResultFileInTheCurrentDirectory)
{
    // The result file gets the usual mode, 0666 less the umask, replaced or not.
    for (const mode_t mask : {mode_t{022}, mode_t{002}}) {
        SCOPED_TRACE(mask);
        test::TempDir dir;
        test::WriteFile(dir.File("ctl.txt"), "[SMTP]\nHost=127.0.0.1:" + std::to_string(test::UnusedPort()) + "\n");
        if (mask == 002) {
            test::WriteFile(dir.File("eml456.txt"), "older");
        }
        const mode_t old = ::umask(mask);
        const test::ProcessResult run = test::RunProcess({kProgram, "ctl.txt"}, {}, dir.path());
        ::umask(old);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(test::ReadFile(dir.File("eml456.txt")), "Socket Error # 111\r\nConnection refused\r\n");
        struct stat info {};
        ASSERT_EQ(::stat(dir.File("eml456.txt").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
    }
}

TEST(EmlsendProgram, WithoutSmtpSectionTheMailProgramOpensTheMessage)
{
    test::TempDir dir;
    test::TempDir runtime;
    test::TempDir tools;
    const test::FakeOpener opener(tools.path());
    const std::string control = dir.File("ctl.txt");
    test::WriteFile(control, "[TO]\nto@example.cz\n[SUBJECT]\nAhoj\n"
                             "[BODY]\nHost=127.0.0.1:1\n<html>\n<p>odkaz</p>\n");
    const test::ProcessResult run =
        test::RunProcess({kProgram, control},
                         {"XDG_RUNTIME_DIR=" + runtime.path(), opener.PathVariable(), "DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kCaption852) << "the caption alone: no bar without a send";
    ASSERT_TRUE(test::WaitForFile(opener.calls()));
    const std::string called = test::ReadFile(opener.calls());
    EXPECT_EQ(called.rfind(runtime.File("emlsend/tempmsg-"), 0), 0U) << called;
    EXPECT_TRUE(called.ends_with(".eml\n")) << called;
    EXPECT_EQ(run.err, "emlsend: no desktop session to open the message in; it is kept in " + called)
        << "without a desktop the user learns where the message is";
    const std::vector<std::string> seen = DumpLines(opener.copy());
    const std::vector<std::string> expected = {
        "H X-Unsent " + Hex("1"),
        "H Subject " + Hex("Ahoj"),
        "H MIME-Version " + Hex("1.0"),
        "A To - to@example.cz",
        "P text/plain - " + opener.copy() + ".1",
        "P text/html - " + opener.copy() + ".2",
        "D 0",
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(test::ReadFile(opener.copy() + ".2"), "Host=127.0.0.1:1\n<html>\n<p>odkaz</p>\n");
    EXPECT_FALSE(Exists(control));

    // On a desktop the opener shows the message, and nothing is said.
    test::WriteFile(control, "[TO]\nto@example.cz\n[BODY]\nx\n");
    const test::ProcessResult onDesktop =
        test::RunProcess({kProgram, control},
                         {"XDG_RUNTIME_DIR=" + runtime.path(), opener.PathVariable(), "DISPLAY=:0", "WAYLAND_DISPLAY"});
    EXPECT_EQ(onDesktop.exitCode, 0);
    EXPECT_EQ(onDesktop.err, "");
}

TEST(EmlsendProgram, DoesNothingWithoutAControlFile)
{
    test::TempDir dir;
    const std::vector<std::vector<std::string>> calls = {
        {kProgram}, {kProgram, dir.File("missing.txt")}, {kProgram, dir.path()}, {kProgram, ""}};
    for (const auto& call : calls) {
        SCOPED_TRACE(call.size() > 1 ? call[1] : "no argument");
        const test::ProcessResult run = test::RunProcess(call, {}, dir.path());
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        EXPECT_FALSE(Exists(dir.File("eml456.txt")));
    }
}

TEST(EmlsendProgram, HelpAndVersionAnswerOnStandardOutput)
{
    test::TempDir dir;
    const struct {
        const char* argument;
        std::string expectedStart;
    } cases[] = {
        {"--help", "Usage: emlsend CONTROLFILE\n"},
        {"--version", "emlsend " HOSTUTILS_VERSION "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        const test::ProcessResult run = test::RunProcess({kProgram, c.argument}, {}, dir.path());
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out.substr(0, c.expectedStart.size()), c.expectedStart);
        EXPECT_EQ(run.err, "");
    }
}

TEST(EmlsendProgram, OtherFailuresEndWithCode1AndKeepTheControlFile)
{
    struct Case {
        const char* what;
        std::string content;
        std::string diagnostic; // "@" stands for the test's directory
    };
    const Case cases[] = {
        {"the result file cannot be written", "[SMTP]\nHost=127.0.0.1:" + std::to_string(test::UnusedPort()),
         "emlsend: The message was not sent: Socket Error # 111\nConnection refused\n"
         "emlsend: Cannot create file \"@/eml456.txt\". Is a directory\n"},
        {"an attachment of the message file cannot be read", "[ATTACHMENTS]\n@/gone\xE8.pdf\n",
         "emlsend: Cannot open file \"@/gone\xE8.pdf\". No such file or directory\n"},
        {"an attachment of the message file is a FIFO", "[ATTACHMENTS]\n@/fifo\n",
         "emlsend: Cannot open file \"@/fifo\". Not a regular file but a FIFO\n"},
        {"the private directory is a link", "[BODY]\nx\n",
         "emlsend: Cannot create file \"@/run/emlsend/tempmsg-XXXXXX.eml\". \"@/run/emlsend\" is not a directory\n"},
        {"no mail program can be started", "[BODY]\nx\n",
         "emlsend: Cannot start \"xdg-open\". No such file or directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        test::TempDir tools;
        const test::FakeOpener opener(tools.path());
        auto expand = [&](std::string aText) {
            for (std::size_t at; (at = aText.find('@')) != std::string::npos;) {
                aText.replace(at, 1, dir.path());
            }
            return aText;
        };
        ::mkdir(dir.File("eml456.txt").c_str(), 0700);
        ::mkdir(dir.File("run").c_str(), 0700);
        ::mkdir(dir.File("elsewhere").c_str(), 0700);
        ASSERT_EQ(::symlink(dir.File("elsewhere").c_str(), dir.File("run/emlsend").c_str()), 0);
        ::mkdir(dir.File("runtime").c_str(), 0700);
        ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
        const std::string control = dir.File("ctl.txt");
        test::WriteFile(control, expand(c.content));
        const bool linked = std::string(c.what).find("link") != std::string::npos;
        const bool noOpener = std::string(c.what).find("mail program") != std::string::npos;
        const test::ProcessResult run =
            test::RunProcess({kProgram, control},
                             {"XDG_RUNTIME_DIR=" + dir.File(linked ? "run" : "runtime"),
                              noOpener ? "PATH=" + dir.File("elsewhere") : opener.PathVariable()},
                             {}, 20);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, expand(c.diagnostic)) << "the text bytes unchanged through a pipe";
        EXPECT_TRUE(Exists(control));
        EXPECT_FALSE(Exists(opener.calls())) << "nothing opened";
        EXPECT_EQ(test::RunAndCapture({"/bin/ls", "-A", dir.File("elsewhere")}), "") << "nothing through the link";
    }
}

TEST(EmlsendProgram, AFailedMessageFileLeavesTheOldOneWhole)
{
    test::TempDir dir;
    test::TempDir tools;
    const test::FakeOpener opener(tools.path());
    ::mkdir(dir.File("runtime").c_str(), 0700);
    ::mkdir(dir.File("runtime/emlsend").c_str(), 0700);
    test::WriteFile(dir.File("runtime/emlsend/tempmsg.eml"), "the message of the last run");
    const std::string control = dir.File("ctl.txt");
    test::WriteFile(control, "[BODY]\nx\n[ATTACHMENTS]\n" + dir.File("gone.pdf") + "\n");
    const test::ProcessResult run =
        test::RunProcess({kProgram, control}, {"XDG_RUNTIME_DIR=" + dir.File("runtime"), opener.PathVariable()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "emlsend: Cannot open file \"" + dir.File("gone.pdf") + "\". No such file or directory\n");
    EXPECT_EQ(test::ReadFile(dir.File("runtime/emlsend/tempmsg.eml")), "the message of the last run")
        << "no part-written message where a whole one stood";
    EXPECT_EQ(test::RunAndCapture({"/bin/ls", "-A", dir.File("runtime/emlsend")}), "tempmsg.eml\n");
    EXPECT_TRUE(Exists(control));
    EXPECT_FALSE(Exists(opener.calls()));
}

TEST(EmlsendProgram, DrawsOnATerminalWithEscapeSequencesAndBlockCharacters)
{
    // The caption and the bar take columns 16 to 50 of row 13: on a smaller
    // terminal they would wrap and scroll, so nothing is drawn there.
    const struct {
        const char* size; // rows x columns
        bool drawn;
    } cases[] = {{"24x80", true}, {"13x50", true}, {"12x80", false}, {"24x49", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        test::TempDir dir;
        test::TempDir spool;
        test::AiosmtpdServer server(spool.path());
        ASSERT_NE(server.port(), 0) << "the server did not start";
        const std::string control = dir.File("ctl.txt");
        test::WriteFile(control, "[SMTP]\nHost=127.0.0.1:" + std::to_string(server.port()) +
                                     "\n[TO]\na@example.cz\n[BODY]\n" + std::string(100000, 'x') + "\n");
        const test::ProcessResult run =
            test::RunProcess({test::kPython, kScripts + "/run_in_pty.py", "--size", c.size, kProgram, control},
                             {"LC_ALL=C.UTF-8", "LANG=C.UTF-8"});
        EXPECT_EQ(run.exitCode, 0) << run.out;
        EXPECT_FALSE(Exists(control));
        if (!c.drawn) {
            EXPECT_EQ(run.out, "\x1B[?25l\x1B[?25h") << "no caption, no bar, no line: the cursor stays";
            continue;
        }
        const std::string caption = "\x1B[?25l\x1B[13;16HP\u0159ipravuji email k odesl\u00E1n\u00ED        ";
        EXPECT_EQ(run.out.substr(0, caption.size()), caption) << "cursor hidden, caption at row 13, column 16";
        const std::string bar = "\x1B[13;16H";
        const std::size_t last = run.out.rfind(bar);
        ASSERT_NE(last, std::string::npos) << "the bar was drawn";
        ASSERT_GT(last, caption.size() - 1);
        std::string lastBar = run.out.substr(last + bar.size());
        const std::string ending = "\r\r\n\x1B[?25h"; // the terminal turns our LF into CR LF
        ASSERT_TRUE(lastBar.ends_with(ending)) << "a line of its own and the cursor back at the end";
        lastBar.resize(lastBar.size() - ending.size());
        std::size_t full = 0;
        while (lastBar.compare(full * 3, 3, "\u2588") == 0) {
            ++full;
        }
        std::string expected;
        for (std::size_t i = 0; i < 35; ++i) {
            expected += i < full ? "\u2588" : "\u2591";
        }
        EXPECT_EQ(lastBar, expected);
        EXPECT_GE(full, 33U);
    }
}

} // namespace
} // namespace emlsend
