// The mailer behind IMailer: reference counting, composing, the parts it
// builds (read back by Python's email package), sending with results and
// progress (against aiosmtpd and scripted servers), and the message file
// handed to the mail program.

#include "MailClient.h"
#include "ProcessSupport.h"
#include "TestSupport.h"
#include "TransportErrors.h"
#include "Umailer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace emlsend {
namespace {

using test::DumpLines;
using test::Hex;
using namespace std::chrono_literals;

// Records every percentage with the listener's tag into a shared log.
class RecordingListener final : public TInterfacedObject<IProgressListener> {
public:
    RecordingListener(std::string& aLog, char aTag, bool& aDestroyed) : FLog(aLog), FTag(aTag), FDestroyed(aDestroyed)
    {
    }
    ~RecordingListener() override { FDestroyed = true; }
    void Progress(std::uint8_t aPercent) override
    {
        FLog += FTag;
        FLog += std::to_string(aPercent) + " ";
        percents.push_back(aPercent);
    }
    std::vector<int> percents;

private:
    std::string& FLog;
    char FTag;
    bool& FDestroyed;
};

TEST(EmlsendMailer, RoundsPercentagesHalfToEven)
{
    struct Case {
        std::uint64_t count;
        std::int64_t size;
        int percent;
    };
    const Case cases[] = {
        {125, 1000, 12},
        {135, 1000, 14},
        {5, 1000, 0},
        {15, 1000, 2},
        {1, 3, 33},
        {2, 3, 67},
        {999, 1000, 100},
        {0, 10, 0},
        {7, 0, 0},
        {7, -5, 0},
        {1000, 1000, 100},
        {5000, 1000, 100}, // past the measured size
        {153600, kDefaultMessageSize, 50},
        {std::uint64_t{1} << 62, std::int64_t{1} << 62, 100},
        {(std::uint64_t{1} << 61) + 1, std::int64_t{1} << 62, 50}, // beyond exact integers
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " of " + std::to_string(c.size));
        EXPECT_EQ(ProgressPercent(c.count, c.size), c.percent);
    }
}

TEST(EmlsendMailer, CountsReferencesAndAnswersItsInterfaces)
{
    std::string log;
    bool listenerGone = false;
    {
        const TInterfacePtr<IMailer> mailer = CreateMailer();
        auto* object = static_cast<TMailer*>(mailer.Get());
        EXPECT_EQ(object->RefCount(), 1U);
        {
            const TInterfacePtr<IInterface> base = Supports<IInterface>(mailer);
            ASSERT_TRUE(base);
            EXPECT_EQ(object->RefCount(), 2U);
            EXPECT_FALSE(Supports<IProgressListener>(mailer)) << "a mailer is no listener";
            EXPECT_EQ(object->RefCount(), 2U) << "a refused query adds nothing";
        }
        EXPECT_EQ(object->RefCount(), 1U);
        void* found = &log;
        EXPECT_EQ(mailer->QueryInterface(IProgressListener::kIid, &found), E_NOINTERFACE);
        EXPECT_EQ(found, nullptr);

        const TInterfacePtr<RecordingListener> listener = MakeInterfaced<RecordingListener>(log, 'a', listenerGone);
        EXPECT_TRUE(Supports<IProgressListener>(listener));
        mailer->AddListener(*listener);
        EXPECT_EQ(listener->RefCount(), 2U) << "the mailer holds a reference";
        mailer->RemoveListener(*listener);
        EXPECT_EQ(listener->RefCount(), 1U);
        mailer->AddListener(*listener);
        mailer->AddListener(*listener);
        EXPECT_EQ(listener->RefCount(), 3U);
    }
    EXPECT_TRUE(listenerGone) << "releasing the mailer released its listeners, and the last reference freed it";
}

TEST(EmlsendMailer, StoresAddressesByKindAndPriorities)
{
    const TInterfacePtr<TMailer> mailer = MakeInterfaced<TMailer>();
    for (std::int16_t kind = -1; kind <= 7; ++kind) {
        mailer->AddAddress("k" + std::to_string(kind) + "@example.cz", kind);
    }
    mailer->AddAddress("Second <second@example.cz>", akFrom);
    mailer->AddAddress("r2@example.cz", akReceipt);
    const MailMessage& m = mailer->Message();
    EXPECT_EQ(m.To, (std::vector<MailAddress>{{"", "k1@example.cz"}}));
    EXPECT_EQ(m.Cc, (std::vector<MailAddress>{{"", "k2@example.cz"}}));
    EXPECT_EQ(m.Bcc, (std::vector<MailAddress>{{"", "k3@example.cz"}}));
    EXPECT_EQ(m.ReplyTo, (std::vector<MailAddress>{{"", "k5@example.cz"}}));
    EXPECT_EQ(m.From, (MailAddress{"Second", "second@example.cz"})) << "a later sender replaces";
    EXPECT_EQ(m.ReceiptRecipient, (MailAddress{"", "r2@example.cz"}));

    const std::pair<std::int16_t, MailPriority> levels[] = {{4, MailPriority::mpHighest}, {3, MailPriority::mpHigh},
                                                            {5, MailPriority::mpHigh},    {-1, MailPriority::mpHigh},
                                                            {1, MailPriority::mpLow},     {0, MailPriority::mpLowest},
                                                            {2, MailPriority::mpNormal}};
    for (const auto& [level, priority] : levels) {
        mailer->SetPriority(level);
        EXPECT_EQ(m.Priority, priority) << "level " << level;
    }
    mailer->SetPort(70000);
    EXPECT_EQ(mailer->Session().Port, 70000 - 65536) << "the low 16 bits";
}

TEST(EmlsendMailer, ClearEmptiesTheMessageButKeepsAttachmentsAndSettings)
{
    test::TempDir dir;
    test::WriteFile(dir.File("a.bin"), "abc");
    const TInterfacePtr<TMailer> mailer = MakeInterfaced<TMailer>();
    mailer->SetCharSet("iso-8859-2");
    mailer->SetSubject("old");
    mailer->AddAddress("x@example.cz", akTo);
    mailer->AddBodyLine("old body");
    mailer->SetPriority(4);
    mailer->AddAttachment(dir.File("a.bin"));
    mailer->SetHost("h");
    mailer->Clear();
    EXPECT_EQ(mailer->Message(), MailMessage{}) << "charset windows-1250, nothing else";
    EXPECT_EQ(mailer->Session().Host, "h");
    mailer->AddBodyLine("new");
    mailer->SaveToFile(dir.File("m.eml"), true);
    const std::string written = test::ReadFile(dir.File("m.eml"));
    EXPECT_EQ(written.find("old body"), std::string::npos);
    EXPECT_EQ(written.find("X-Unsent"), std::string::npos) << "a sent message has no X-Unsent";
    EXPECT_NE(written.find("filename=\"a.bin\""), std::string::npos) << "the attachment survived Clear";
}

TEST(EmlsendMailer, BuildsHtmlPartsThatAMailReaderDecodes)
{
    test::TempDir dir;
    test::WriteFile(dir.File("faktura.pdf"), test::PseudoRandomBytes(5000, 7));
    const TInterfacePtr<IMailer> mailer = CreateMailer();
    const std::string longSubject = "P\xF8"
                                    "edm\xECt " +
                                    std::string(300, 'S');
    const std::string longLine = "<p>" + std::string(400, '\xE8') + "</p>";
    mailer->SetSubject(longSubject);
    mailer->AddAddress("Jan Nov\xE1k <jan@example.cz>", akFrom);
    mailer->AddAddress("to@example.cz", akTo);
    mailer->AddAddress("Skryt\xFD <bcc@example.cz>", akBcc);
    mailer->SetHtml(true);
    mailer->AddBodyLine("<HTML>");
    mailer->AddBodyLine(longLine);
    mailer->AddAttachment(dir.File("faktura.pdf"));
    mailer->SaveToFile(dir.File("m.eml"), false);

    const std::string file = dir.File("m.eml");
    const std::string written = test::ReadFile(file);
    EXPECT_EQ(written.rfind("X-Unsent: 1\r\n", 0), 0U) << "the unsent mark comes first";
    EXPECT_TRUE(written.ends_with("\r\n.\r\n")) << "a message file ends with a period line";
    const std::vector<std::string> expected = {
        "H X-Unsent " + Hex("1"),
        "H Subject " + Hex(longSubject),
        "H MIME-Version " + Hex("1.0"),
        "A From " + Hex("Jan Nov\xE1k") + " jan@example.cz",
        "A To - to@example.cz",
        "A Bcc " + Hex("Skryt\xFD") + " bcc@example.cz",
        "P text/plain - " + file + ".1",
        "P text/html - " + file + ".2",
        "P application/octet-stream " + Hex("faktura.pdf") + " " + file + ".3",
        "D 0",
    };
    EXPECT_EQ(DumpLines(file), expected);
    EXPECT_EQ(test::ReadFile(file + ".1"), std::string(kHtmlNotice) + "\n");
    EXPECT_EQ(test::ReadFile(file + ".2"), "<HTML>\n" + longLine + "\n") << "nothing cut at 255 bytes";
    EXPECT_EQ(test::ReadFile(file + ".3"), test::PseudoRandomBytes(5000, 7));
}

TEST(EmlsendMailer, NamesAttachmentsAsTheFileSystemHasThem)
{
    test::TempDir dir;
    const std::string utf8Name = "P\xC5\x99\xC3\xADloha \xC4\x8D.2.pdf"; // "Příloha č.2.pdf" in UTF-8
    const std::string cp1250Name = "P\xF8\xEDloha \xE8.2.pdf";           // the same in windows-1250
    test::WriteFile(dir.File(utf8Name), "pdf");
    test::WriteFile(dir.File("report 10:30.txt"), "report");
    test::WriteFile(dir.File("a\\b.txt"), "backslash");
    struct Case {
        const char* what;
        std::string given;
        std::string path;    // the file read
        std::string name;    // as the recipient sees it, windows-1250
        std::string charset; // the name's label; "" the message's
    };
    const Case cases[] = {
        {"a colon is part of the name", dir.File("report 10:30.txt"), dir.File("report 10:30.txt"), "report 10:30.txt",
         ""},
        {"so is a backslash", dir.File("a\\b.txt"), dir.File("a\\b.txt"), "a\\b.txt", ""},
        {"a windows-1250 path finds the UTF-8 file", dir.File(cp1250Name), dir.File(utf8Name), cp1250Name, ""},
        {"a UTF-8 path is labelled UTF-8", dir.File(utf8Name), dir.File(utf8Name), cp1250Name, "utf-8"},
        {"a missing file stays as given", dir.File("gone\xE8.pdf"), dir.File("gone\xE8.pdf"), "gone\xE8.pdf", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MessagePart part = AttachmentPart(c.given);
        EXPECT_EQ(part.FilePath, c.path);
        EXPECT_EQ(part.Charset, c.charset);
    }

    // What a reader makes of them, with a subject and a sender name too long
    // for a line of their own.
    const TInterfacePtr<IMailer> mailer = CreateMailer();
    const std::string longWord = std::string(1500, 'W');
    std::string longName = "Jan";
    for (int i = 0; i < 250; ++i) {
        longName += " Novak";
    }
    mailer->SetSubject("Faktura " + longWord + " konec");
    mailer->AddAddress(longName + " <jan@example.cz>", akFrom);
    mailer->AddAddress("to@example.cz", akTo);
    mailer->AddBodyLine("text");
    for (const Case& c : cases) {
        if (c.given.find("gone") == std::string::npos) {
            mailer->AddAttachment(c.given);
        }
    }
    const std::string file = dir.File("m.eml");
    mailer->SaveToFile(file, false);
    std::istringstream written(test::ReadFile(file));
    for (std::string line; std::getline(written, line);) {
        EXPECT_LE(line.size(), 999U) << "998 octets and the CR at most: " << line.substr(0, 60);
    }
    const std::vector<std::string> seen = DumpLines(file);
    const std::vector<std::string> expected = {
        "H X-Unsent " + Hex("1"),
        "H Subject " + Hex("Faktura " + longWord + " konec"),
        "H MIME-Version " + Hex("1.0"),
        "A From " + Hex(longName) + " jan@example.cz",
        "A To - to@example.cz",
        "P text/plain - " + file + ".1",
        "P application/octet-stream " + Hex("report 10:30.txt") + " " + file + ".2",
        "P application/octet-stream " + Hex("a\\b.txt") + " " + file + ".3",
        "P application/octet-stream " + Hex(cp1250Name) + " " + file + ".4",
        "P application/octet-stream " + Hex(cp1250Name) + " " + file + ".5",
        "D 0",
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(test::ReadFile(file + ".4"), "pdf");
    const std::string content = test::ReadFile(file);
    EXPECT_NE(content.find("filename*=utf-8''P%C5%99%C3%ADloha%20%C4%8D.2.pdf\r\n"), std::string::npos)
        << "the RFC 2231 form beside the encoded words";
    EXPECT_NE(content.find("filename*=windows-1250''P%F8%EDloha%20%E8.2.pdf\r\n"), std::string::npos);
}

TEST(EmlsendMailer, SendFailuresBecomeResultsWithTheirText)
{
    test::TempDir dir;
    {
        const TInterfacePtr<IMailer> mailer = CreateMailer();
        EXPECT_STREQ(mailer->GetErrorText(), "");
        mailer->SetHost("127.0.0.1");
        mailer->SetPort(test::UnusedPort());
        EXPECT_EQ(mailer->Send(), srConnectFailed);
        EXPECT_STREQ(mailer->GetErrorText(), "Socket Error # 111\r\nConnection refused");
        mailer->SetHost("");
        EXPECT_EQ(mailer->Send(), srConnectFailed);
        EXPECT_STREQ(mailer->GetErrorText(), "") << "an empty host fails with an empty text";
    }
    {
        test::ScriptedServer server([](test::Peer& aPeer) {
            test::Greet(aPeer);
            test::Answer(aPeer, "250 reset\r\n");
            test::Answer(aPeer, "550-5.7.1 Sender refused\r\n550 5.7.1 Go away\r\n");
            test::Answer(aPeer, "221 bye\r\n");
        });
        const TInterfacePtr<IMailer> mailer = CreateMailer();
        mailer->SetHost("127.0.0.1");
        mailer->SetPort(server.port());
        mailer->AddAddress("jan@example.cz", akFrom);
        EXPECT_EQ(mailer->Send(), srSendFailed);
        EXPECT_STREQ(mailer->GetErrorText(), "Sender refused\r\nGo away\r\n");
        const std::vector<std::string> lines = server.Finish();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "QUIT") << "Send always disconnects";
    }
    {
        // The attachment is missing: measuring fails quietly (the default
        // size stays), and the transmission fails with the file's text.
        std::string log;
        bool gone = false;
        test::ScriptedServer server([](test::Peer& aPeer) {
            test::Greet(aPeer);
            for (int i = 0; i < 3; ++i) { // RSET, MAIL, RCPT
                test::Answer(aPeer, "250 ok\r\n");
            }
            test::Answer(aPeer, "354 go\r\n");
            aPeer.ReadData();
        });
        const TInterfacePtr<TMailer> mailer = MakeInterfaced<TMailer>();
        const TInterfacePtr<RecordingListener> listener = MakeInterfaced<RecordingListener>(log, 'a', gone);
        mailer->AddListener(*listener);
        mailer->SetHost("127.0.0.1");
        mailer->SetPort(server.port());
        mailer->AddAddress("to@example.cz", akTo);
        mailer->AddBodyLine(std::string(200000, 'x'));
        mailer->AddAttachment(dir.File("gone.pdf"));
        EXPECT_EQ(mailer->Send(), srSendFailed);
        EXPECT_EQ(mailer->GetErrorText(),
                  "Cannot open file \"" + dir.File("gone.pdf") + "\". No such file or directory");
        EXPECT_EQ(mailer->Size(), kDefaultMessageSize);
        ASSERT_FALSE(listener->percents.empty());
        EXPECT_EQ(listener->percents.front(), 0);
        // Up to 208 600 body bytes (the text part) went out in blocks
        // before the attachment failed: at most 68 % of the 307 200-byte
        // mark, where the real size would have given well above 90 %.
        EXPECT_GE(listener->percents.back(), 40);
        EXPECT_LE(listener->percents.back(), 68);
        mailer->RemoveListener(*listener);
    }
}

TEST(EmlsendMailer, SendsToAiosmtpdWithProgressForEveryListenerInOrder)
{
    test::TempDir dir;
    test::TempDir spool;
    test::AiosmtpdServer server(spool.path());
    ASSERT_NE(server.port(), 0) << "the server did not start";
    test::WriteFile(dir.File("data.bin"), test::PseudoRandomBytes(3'000'000, 11));
    std::string log;
    bool goneA = false;
    bool goneB = false;
    const TInterfacePtr<TMailer> mailer = MakeInterfaced<TMailer>();
    const TInterfacePtr<RecordingListener> a = MakeInterfaced<RecordingListener>(log, 'a', goneA);
    const TInterfacePtr<RecordingListener> b = MakeInterfaced<RecordingListener>(log, 'b', goneB);
    mailer->AddListener(*a);
    mailer->AddListener(*b);
    mailer->SetHost("127.0.0.1");
    mailer->SetPort(server.port());
    mailer->SetUserName("jan");
    mailer->SetPassword("heslo");
    mailer->AddAddress("jan@example.cz", akFrom);
    mailer->AddAddress("to@example.cz", akTo);
    mailer->AddAddress("bcc@example.cz", akBcc);
    mailer->AddBodyLine("Dobr\xFD den");
    mailer->AddAttachment(dir.File("data.bin"));
    EXPECT_EQ(mailer->Send(), srSent) << mailer->GetErrorText();
    EXPECT_STREQ(mailer->GetErrorText(), "");
    EXPECT_FALSE(mailer->Session().Connected());

    ASSERT_TRUE(test::WaitForFile(spool.File("1.done")));
    EXPECT_EQ(test::ReadFile(spool.File("1.rcpt")), "to@example.cz\nbcc@example.cz\n");
    EXPECT_EQ(test::ReadFile(spool.File("1.auth")), "jan\nheslo\n");
    const std::string data = test::ReadFile(spool.File("1.data"));
    EXPECT_EQ(static_cast<std::uint64_t>(mailer->Size()), data.size() + 3)
        << "the 100 % mark is the data with its closing period line";

    ASSERT_GE(a->percents.size(), 3U);
    EXPECT_EQ(a->percents, b->percents);
    std::string expectedLog;
    for (const int percent : a->percents) {
        expectedLog += "a" + std::to_string(percent) + " b" + std::to_string(percent) + " ";
    }
    EXPECT_EQ(log, expectedLog) << "every notice reaches the listeners in registration order";
    EXPECT_EQ(a->percents.front(), 0);
    EXPECT_TRUE(std::is_sorted(a->percents.begin(), a->percents.end()));
    const std::uint64_t header = data.find("\r\n\r\n") + 2;
    EXPECT_EQ(a->percents.back(), ProgressPercent(data.size() + 3 - header - 3, mailer->Size()))
        << "the last notice counts every body byte and stays below 100 by the header's share";
}

TEST(EmlsendMailer, ChoosesAPrivateDirectoryForTheMessageFile)
{
    const std::string uid = std::to_string(::getuid());
    struct Case {
        const char* runtime;
        const char* tmp;
        std::string directory;
    };
    const Case cases[] = {
        {"/run/user/7", "/var/tmp", "/run/user/7/emlsend"},
        {"/run/user/7/", nullptr, "/run/user/7/emlsend"},
        {"relative/dir", "/var/tmp/", "/var/tmp/emlsend-" + uid},
        {"", "", "/tmp/emlsend-" + uid},
        {nullptr, nullptr, "/tmp/emlsend-" + uid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory);
        const test::ScopedEnvironment runtime("XDG_RUNTIME_DIR", c.runtime);
        const test::ScopedEnvironment tmp("TMPDIR", c.tmp);
        EXPECT_EQ(MessageDirectoryPath(), c.directory);
    }
}

TEST(EmlsendMailer, ShowsEachMessageFileInTheMailProgram)
{
    test::TempDir runtime;
    test::TempDir tools;
    const test::FakeOpener opener(tools.path());
    const test::ScopedEnvironment runtimeVariable("XDG_RUNTIME_DIR", runtime.path().c_str());
    const test::ScopedEnvironment path("PATH", opener.PathVariable().substr(5).c_str());
    ::mkdir(runtime.File("emlsend").c_str(), 0755); // left too open by someone
    // A file of an earlier run, older than a day, and a fresh one.
    const std::string stale = runtime.File("emlsend/tempmsg-old123.eml");
    const std::string fresh = runtime.File("emlsend/tempmsg-new123.eml");
    test::WriteFile(stale, "old");
    test::WriteFile(fresh, "new");
    const timespec dayAndMinuteAgo[2] = {{::time(nullptr) - 24 * 3600 - 60, 0}, {::time(nullptr) - 24 * 3600 - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, stale.c_str(), dayAndMinuteAgo, 0), 0);

    // Three messages handed over quickly, before any opener has read its file.
    std::vector<std::string> shown;
    for (const std::string text : {"first", "second", "third"}) {
        ::unlink(opener.calls().c_str());
        const TInterfacePtr<IMailer> mailer = CreateMailer();
        mailer->AddAddress("to@example.cz", akTo);
        mailer->AddBodyLine(text);
        mailer->ShowInMailClient();
        ASSERT_TRUE(test::WaitForFile(opener.calls())) << "the opener was not called";
        std::string file = test::ReadFile(opener.calls());
        ASSERT_FALSE(file.empty());
        file.pop_back(); // the line feed
        EXPECT_EQ(file.rfind(runtime.File("emlsend/tempmsg-"), 0), 0U) << file;
        EXPECT_TRUE(file.ends_with(".eml")) << file;
        shown.push_back(file);
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const std::string content = test::ReadFile(shown[i]);
        EXPECT_EQ(content.rfind("X-Unsent: 1\r\n", 0), 0U);
        EXPECT_NE(content.find(i == 0   ? "\r\nfirst\r\n"
                               : i == 1 ? "\r\nsecond\r\n"
                                        : "\r\nthird\r\n"),
                  std::string::npos)
            << "every message keeps its own file";
        struct stat info {};
        ASSERT_EQ(::stat(shown[i].c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0077, 0U) << "nobody else reads the message";
    }
    EXPECT_NE(::access(stale.c_str(), F_OK), 0) << "a file older than a day is removed";
    EXPECT_EQ(test::ReadFile(fresh), "new") << "a younger one stays";
    struct stat info {};
    ASSERT_EQ(::stat(runtime.File("emlsend").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700U) << "the directory was made private";
}

TEST(EmlsendMailer, AMailProgramThatCannotStartIsAFailure)
{
    test::TempDir runtime;
    test::TempDir tools; // holds no xdg-open
    const test::ScopedEnvironment runtimeVariable("XDG_RUNTIME_DIR", runtime.path().c_str());
    const test::ScopedEnvironment path("PATH", tools.path().c_str());
    const TInterfacePtr<IMailer> mailer = CreateMailer();
    mailer->AddBodyLine("text");
    try {
        mailer->ShowInMailClient();
        FAIL() << "no mail program, yet no failure";
    } catch (const EMailProgramError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot start \"xdg-open\". No such file or directory");
    }
    DIR* const entries = ::opendir(runtime.File("emlsend").c_str());
    ASSERT_NE(entries, nullptr);
    int files = 0;
    while (const dirent* entry = ::readdir(entries)) {
        files += entry->d_name[0] != '.';
    }
    ::closedir(entries);
    EXPECT_EQ(files, 0) << "the message nobody will see is removed";
}

TEST(EmlsendMailer, APlantedLinkNeverRedirectsTheMessageFile)
{
    test::TempDir tmp;
    test::TempDir elsewhere;
    test::TempDir tools;
    const test::FakeOpener opener(tools.path());
    const test::ScopedEnvironment runtime("XDG_RUNTIME_DIR", nullptr);
    const test::ScopedEnvironment tmpVariable("TMPDIR", tmp.path().c_str());
    const test::ScopedEnvironment path("PATH", opener.PathVariable().substr(5).c_str());
    const std::string planted = tmp.File("emlsend-" + std::to_string(::getuid()));
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), planted.c_str()), 0);
    const TInterfacePtr<IMailer> mailer = CreateMailer();
    mailer->AddBodyLine("secret");
    try {
        mailer->ShowInMailClient();
        FAIL() << "the link was followed";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot create file \"" + planted + "/tempmsg-XXXXXX.eml\". \"" + planted + "\" is not a directory");
    }
    EXPECT_EQ(test::ReadFile(elsewhere.File("tempmsg.eml")), "") << "nothing written through the link";
    EXPECT_NE(::access(elsewhere.File("tempmsg.eml").c_str(), F_OK), 0);
    EXPECT_NE(::access(opener.calls().c_str(), F_OK), 0) << "nothing opened";
}

} // namespace
} // namespace emlsend
