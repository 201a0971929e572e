// The control file: line splitting, classification into sections, the SMTP
// settings, the result file's place, and what the program hands the mailer.

#include "ControlFile.h"
#include "EmlSend.h"
#include "Exceptions.h"
#include "Umailer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace emlsend {
namespace {

using Lines = std::vector<std::string>;

TEST(EmlsendControlFile, SplitsLinesAtEveryKindOfBreak)
{
    struct Case {
        const char* what;
        std::string content;
        Lines lines;
    };
    const Case cases[] = {
        {"empty file", "", {}},
        {"CRLF, final break starts no line", "a\r\nb\r\n", {"a", "b"}},
        {"lone CR and lone LF", "a\rb\nc", {"a", "b", "c"}},
        {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
        {"empty lines kept", "\r\n\r\nx", {"", "", "x"}},
        {"blanks kept", "  a \t", {"  a \t"}},
        {"NUL ends the content", std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
        {"long line stays whole", std::string(1000, 'x'), {std::string(1000, 'x')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SplitControlLines(c.content), c.lines);
    }
}

TEST(EmlsendControlFile, ClassifiesLinesIntoSections)
{
    struct Case {
        const char* what;
        std::string content;
        Lines body;
        Lines to;
        bool html = false;
        bool smtp = false;
        bool deleteFile = true;
    };
    const Case cases[] = {
        {"a bracket closes the body up to the next header", "[BODY]\na\nsee [1]\nb\n[TO]\nx@y.cz\n", {"a"}, {"x@y.cz"}},
        {"a comment with a bracket closes nothing", "[BODY]\na\n** note [x]\nb\n", {"a", "b"}, {}},
        {"NODELETE between body lines keeps both", "[BODY]\na\n[NODELETE]\nb\n", {"a", "b"}, {}, false, false, false},
        {"headers ignore case", "[body]\na\n[To]\nx\n", {"a"}, {"x"}},
        {"a header with a trailing blank is no header", "[BODY]\na\n[TO] \nx\n", {"a"}, {}},
        {"lines before the first header are dropped", "x\n<p>\n[BODY]\na\n", {"a"}, {}},
        {"a reopened section keeps accumulating", "[BODY]\na\n[TO]\nx\n[BODY]\nb\n", {"a", "b"}, {"x"}},
        {"empty lines are entries", "[BODY]\n\na\n\n", {"", "a", ""}, {}},
        {"<html> in the recipients makes HTML and stays a recipient", "[TO]\n<html>\n", {}, {"<html>"}, true},
        {"<HTML> outside every section still counts", "<HTML>\n[BODY]\na\n", {"a"}, {}, true},
        {"<html lang> does not count", "[BODY]\n<html lang=\"cs\">\n", {"<html lang=\"cs\">"}, {}, false},
        {"an empty SMTP section selects SMTP", "[SMTP]\n[BODY]\na\n", {"a"}, {}, false, true},
        {"a bracket after SMTP drops its settings too", "[SMTP]\n[x]\nHost=h\n", {}, {}, false, true},
        {"one blank between HIDDEN and COPIES", "[HIDDEN  COPIES]\nz\n[BODY]\na\n", {"a"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TControlFile file = TControlFile::Parse(c.content);
        EXPECT_EQ(file.Body, c.body);
        EXPECT_EQ(file.To, c.to);
        EXPECT_EQ(file.Html, c.html);
        EXPECT_EQ(file.Smtp, c.smtp);
        EXPECT_EQ(file.DeleteFile, c.deleteFile);
    }
}

TEST(EmlsendControlFile, FillsEverySection)
{
    const TControlFile file =
        TControlFile::Parse("[SMTP]\r\nHost=h\r\n[SUBJECT]\r\ns1\r\ns2\r\n[FROM]\r\nf\r\n[TO]\r\nt\r\n[COPIES]\r\nc\r\n"
                            "[HIDDEN COPIES]\r\nb\r\n[ATTACHMENTS]\r\n/a\r\n\r\n[BODY]\r\nx\r\n");
    EXPECT_EQ(file.SmtpLines, Lines{"Host=h"});
    EXPECT_EQ(file.Subject, (Lines{"s1", "s2"}));
    EXPECT_EQ(file.From, Lines{"f"});
    EXPECT_EQ(file.To, Lines{"t"});
    EXPECT_EQ(file.Copies, Lines{"c"});
    EXPECT_EQ(file.HiddenCopies, Lines{"b"});
    EXPECT_EQ(file.Attachments, (Lines{"/a", ""}));
    EXPECT_EQ(file.Body, Lines{"x"});
}

TEST(EmlsendControlFile, ReadsSmtpSettings)
{
    struct Case {
        const char* what;
        Lines lines;
        std::optional<std::string> host;
        std::optional<std::int32_t> port;
        std::optional<std::int32_t> timeOut;
    };
    const Case cases[] = {
        {"host with port", {"Host=mail.example.cz:587"}, "mail.example.cz", 587, {}},
        {"a port that is no number", {"Host=mail.example.cz:abc"}, "mail.example.cz", {}, {}},
        {"hexadecimal port and blanks before it", {"Host=h: $24B"}, "h", 587, {}},
        {"only the first colon splits", {"Host=h:25:26"}, "h", {}, {}},
        {"the port text is cut to 40 characters", {"Host=h:" + std::string(39, ' ') + "7" + "9"}, "h", 7, {}},
        {"an empty host stays empty", {"Host="}, "", {}, {}},
        {"key case does not matter, the first key wins", {"host=a", "HOST=b"}, "a", {}, {}},
        {"a key with a leading blank is another key", {" Host=a"}, {}, {}, {}},
        {"a line without an equals sign is ignored", {"Host"}, {}, {}, {}},
        {"time-out in any notation", {"TimeOut=0x10"}, {}, {}, 16},
        {"a bad time-out leaves the default", {"TimeOut=5s", "TimeOut=7"}, {}, {}, {}},
        {"negative time-out", {"timeout=-1"}, {}, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TSmtpSettings settings = TSmtpSettings::Parse(c.lines);
        EXPECT_EQ(settings.Host, c.host);
        EXPECT_EQ(settings.Port, c.port);
        EXPECT_EQ(settings.TimeOut, c.timeOut);
    }
    const TSmtpSettings login = TSmtpSettings::Parse({"UserName=jan=novak", "Password= a=b "});
    EXPECT_EQ(login.UserName, "jan=novak") << "the value is everything after the first equals sign";
    EXPECT_EQ(login.Password, " a=b ");
}

TEST(EmlsendControlFile, PutsTheResultFileBesideTheControlFile)
{
    EXPECT_EQ(ResultFilePath("/var/spool/host/zprava.txt"), "/var/spool/host/eml456.txt");
    EXPECT_EQ(ResultFilePath("data/zprava.txt"), "data/eml456.txt");
    EXPECT_EQ(ResultFilePath("zprava.txt"), "eml456.txt");
    EXPECT_EQ(ResultFilePath("/zprava.txt"), "/eml456.txt");
}

// What the program hands the mailer, read back from the composed message.
TEST(EmlsendControlFile, ComposesTheMessageThroughTheMailer)
{
    const TControlFile file =
        TControlFile::Parse("[SMTP]\nHost=smtp.example.cz:2525\nUserName=jan\nTimeOut=1234\n"
                            "[SUBJECT]\nPrvn\xED\nDruh\xFD\n[FROM]\nJan <jan@example.cz>\nother@example.cz\n"
                            "[TO]\na@example.cz\n\n[COPIES]\nc@example.cz\n[HIDDEN COPIES]\nb@example.cz\n"
                            "[BODY]\n" +
                            std::string(600, 'x') + "\n");
    const TInterfacePtr<TMailer> mailer = MakeInterfaced<TMailer>();
    ComposeMessage(file, *mailer, {"builtin.example.cz", "builtin-user", "builtin-password"});
    const MailMessage& message = mailer->Message();
    SmtpSession& session = mailer->Session();
    EXPECT_EQ(session.Host, "smtp.example.cz");
    EXPECT_EQ(session.Port, 2525);
    EXPECT_EQ(session.UserName, "jan");
    EXPECT_EQ(session.Password, "builtin-password") << "absent keys keep the built-in account";
    EXPECT_EQ(mailer->TimeOut(), 1234);
    EXPECT_EQ(message.Subject, "Prvn\xED") << "the first subject line only";
    EXPECT_EQ(message.From, (MailAddress{"Jan", "jan@example.cz"})) << "the first sender line only";
    EXPECT_EQ(message.To, (std::vector<MailAddress>{{"", "a@example.cz"}, {"", ""}}))
        << "an empty recipient line is an empty address";
    EXPECT_EQ(message.Cc, (std::vector<MailAddress>{{"", "c@example.cz"}}));
    EXPECT_EQ(message.Bcc, (std::vector<MailAddress>{{"", "b@example.cz"}}));

    const TInterfacePtr<TMailer> plain = MakeInterfaced<TMailer>();
    ComposeMessage(TControlFile::Parse("[SMTP]\nHost=h:abc\n"), *plain, {"builtin", "u", "p"});
    EXPECT_EQ(plain->Session().Host, "h");
    EXPECT_EQ(plain->Session().Port, 25) << "a port that is no number keeps 25";
    EXPECT_EQ(plain->Session().UserName, "u");
    EXPECT_EQ(plain->TimeOut(), 30000) << "no TimeOut keeps the default";
}

TEST(EmlsendControlFile, ReadsTheBundledExample)
{
    const TControlFile file = TControlFile::Read(std::string(EMLSEND_TEST_SCRIPTS) + "/../../examples/zprava.txt");
    EXPECT_TRUE(file.Smtp);
    EXPECT_FALSE(file.DeleteFile);
    EXPECT_FALSE(file.Html);
    EXPECT_EQ(file.SmtpLines, (Lines{"Host=localhost:25", "TimeOut=30000"}));
    EXPECT_EQ(file.Subject, Lines{"Faktura \xE8. 2024/0815"});
    EXPECT_EQ(file.HiddenCopies, Lines{"archiv@example.cz"});
    ASSERT_EQ(file.Body.size(), 6U);
    EXPECT_EQ(file.Body[0], "Dobr\xFD den,");
    EXPECT_EQ(file.Body[1], "");
    try {
        TControlFile::Read("/nonexistent/zprava.txt");
        FAIL() << "a missing file was read";
    } catch (const hostutils::EFOpenError& error) {
        EXPECT_STREQ(error.what(), "Cannot open file \"/nonexistent/zprava.txt\". No such file or directory");
    }
}

} // namespace
} // namespace emlsend
