// The exact bytes of the message layouts, and the writer's failures.

#include "MessageWriter.h"
#include "TestSupport.h"
#include "TransportErrors.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace emlsend {
namespace {

const std::string kB1 = "1111111111=_1111111111111111111111";
const std::string kB2 = "2222222222222222222222222222=_2222";
const std::string kDate = "Tue, 3 Mar 2009 14:05:09 +0100";
const std::string kMessageId = "Message-ID: <1@example.cz>";

std::string Lines(const std::vector<std::string>& aLines)
{
    std::string out;
    for (const std::string& line : aLines) {
        out += line + "\r\n";
    }
    return out;
}

MessageWriter PinnedWriter()
{
    MessageWriter writer;
    auto next = std::make_shared<int>(0);
    writer.MakeBoundary = [next] { return ++*next == 1 ? kB1 : kB2; };
    writer.MakeDate = [] { return kDate; };
    writer.MakeMessageId = [](std::string_view aDomain) { return "<1@" + std::string(aDomain) + ">"; };
    return writer;
}

MailMessage BaseMessage()
{
    MailMessage message;
    message.From = MailAddress::Parse("Jan Nov\xE1k <jan@example.cz>");
    message.To.push_back(MailAddress::Parse("a@example.cz"));
    message.Subject = "Faktura \xE8. 12";
    return message;
}

const std::string kAddressLines = Lines({
    "From: Jan =?windows-1250?Q?Nov=E1k?= <jan@example.cz>",
    "Subject: Faktura =?windows-1250?Q?=E8.?= 12",
    "To: a@example.cz",
});
const std::string kMultipartLines = Lines({
    "Content-Type: multipart/mixed;",
    "\tcharset=\"windows-1250\"; boundary=\"" + kB1 + "\"",
    "MIME-Version: 1.0",
    "Date: " + kDate,
    kMessageId,
    "",
    "This is a multi-part message in MIME format",
    "",
});
const std::string kTextHeader = Lines({
    "Content-Type: text/plain ; charset=\"windows-1250\"",
    "Content-Transfer-Encoding: quoted-printable",
    "",
});

// An attachment part; aExtended is the RFC 2231 form of the name, if any.
std::string Attachment(const std::string& aBoundary, const std::string& aName, const std::string& aBase64,
                       const std::string& aExtended = {})
{
    if (aExtended.empty()) {
        return Lines({"--" + aBoundary, "Content-Type: application/octet-stream;", "        name=\"" + aName + "\"",
                      "Content-Transfer-Encoding: base64", "Content-Disposition: attachment;",
                      "        filename=\"" + aName + "\"", ""}) +
               aBase64 + "\r\n";
    }
    return Lines({"--" + aBoundary, "Content-Type: application/octet-stream;", "        name=\"" + aName + "\";",
                  "        name*=" + aExtended, "Content-Transfer-Encoding: base64", "Content-Disposition: attachment;",
                  "        filename=\"" + aName + "\";", "        filename*=" + aExtended, ""}) +
           aBase64 + "\r\n";
}

std::string Write(const MailMessage& aMessage, MessageForm aForm)
{
    StringSink sink;
    PinnedWriter().WriteMessage(aMessage, sink, aForm);
    return sink.Data;
}

TEST(EmlsendMessageLayout, SinglePartPlainText)
{
    MailMessage message = BaseMessage();
    message.Parts.push_back(MessagePart::Text({"Dobr\xFD den,", "", ".te\xE8ka"}, "windows-1250"));
    const std::string expected = kAddressLines + Lines({"MIME-Version: 1.0", "Date: " + kDate, kMessageId}) +
                                 kTextHeader + Lines({"Dobr=FD den,", "", "=2Ete=E8ka", ""});
    EXPECT_EQ(Write(message, MessageForm::mfTransmission), expected);
}

TEST(EmlsendMessageLayout, TextWithAttachments)
{
    test::TempDir dir;
    test::WriteFile(dir.File("data.bin"), std::string("\x00\x01\x02\x03", 4));
    test::WriteFile(dir.File("p\xF8\xEDloha.txt"), "abc");
    MailMessage message = BaseMessage();
    message.Parts.push_back(MessagePart::Text({"Hello"}, "windows-1250"));
    message.Parts.push_back(MessagePart::Attachment(dir.File("data.bin")));
    message.Parts.push_back(MessagePart::Attachment(dir.File("p\xF8\xEDloha.txt")));
    const std::string expected =
        kAddressLines + kMultipartLines + Lines({"--" + kB1}) + kTextHeader + Lines({"Hello", ""}) +
        Attachment(kB1, "data.bin", "AAECAw==") + "\r\n" +
        Attachment(kB1, "=?windows-1250?Q?p=F8=EDloha.txt?=", "YWJj", "windows-1250''p%F8%EDloha.txt") + "\r\n" +
        Lines({"--" + kB1 + "--", ""});
    EXPECT_EQ(Write(message, MessageForm::mfTransmission), expected);
}

MailMessage HtmlMessage()
{
    MailMessage message = BaseMessage();
    message.Parts.push_back(MessagePart::Container("multipart/alternative"));
    message.Parts.push_back(MessagePart::Text({"Zapn\xECte HTML."}, "windows-1250", "", 0));
    message.Parts.push_back(
        MessagePart::Text({"<HTML>", "<p>Ahoj</p>"}, "windows-1250", "text/html; charset=us-ascii", 0));
    return message;
}

const std::string kHtmlBody =
    Lines({"--" + kB1, "Content-Type: multipart/alternative;", "        boundary=\"" + kB2 + "\"", "", "--" + kB2}) +
    kTextHeader + Lines({"Zapn=ECte HTML.", "", "--" + kB2}) +
    Lines({"Content-Type: text/html ; charset=\"windows-1250\"", "Content-Transfer-Encoding: quoted-printable", "",
           "<HTML>", "<p>Ahoj</p>", "", "--" + kB2 + "--", ""});

TEST(EmlsendMessageLayout, HtmlWithoutAttachments)
{
    const std::string expected = kAddressLines + kMultipartLines + kHtmlBody + Lines({"--" + kB1 + "--", ""});
    EXPECT_EQ(Write(HtmlMessage(), MessageForm::mfTransmission), expected);
}

TEST(EmlsendMessageLayout, HtmlWithAttachmentsAsFile)
{
    test::TempDir dir;
    test::WriteFile(dir.File("a.txt"), "abcd");
    MailMessage message = HtmlMessage();
    message.HeaderLines.push_back("X-Unsent: 1");
    message.Cc.push_back(MailAddress::Parse("Petr <petr@example.cz>"));
    message.Bcc.push_back(MailAddress::Parse("secret@example.cz"));
    message.Bcc.push_back(MailAddress::Parse("other@example.cz"));
    message.ReplyTo.push_back(MailAddress::Parse("reply@example.cz"));
    message.ReceiptRecipient = MailAddress::Parse("receipt@example.cz");
    message.Priority = MailPriority::mpHighest;
    message.Parts.push_back(MessagePart::Attachment(dir.File("a.txt")));
    const std::string expected =
        Lines({"X-Unsent: 1"}) + kAddressLines +
        Lines({"Cc: \"Petr\" <petr@example.cz>", "Bcc: secret@example.cz, other@example.cz",
               "Content-Type: multipart/mixed;", "\tcharset=\"windows-1250\"; boundary=\"" + kB1 + "\"",
               "MIME-Version: 1.0", "Reply-To: reply@example.cz", "Disposition-Notification-To: receipt@example.cz",
               "Date: " + kDate, kMessageId, "X-Priority: 1", "", "This is a multi-part message in MIME format", ""}) +
        kHtmlBody + Attachment(kB1, "a.txt", "YWJjZA==") + "\r\n" + Lines({"--" + kB1 + "--", "", "."});
    test::TempDir out;
    PinnedWriter().WriteMessageToFile(message, out.File("m.eml"));
    EXPECT_EQ(test::ReadFile(out.File("m.eml")), expected);
    struct stat info {};
    ASSERT_EQ(::stat(out.File("m.eml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U) << "a message file with Bcc is private";
}

TEST(EmlsendMessageLayout, HeaderEdgeCases)
{
    MailMessage message;
    message.Parts.push_back(MessagePart::Text({}, "windows-1250"));
    EXPECT_EQ(Write(message, MessageForm::mfFile),
              Lines({"MIME-Version: 1.0", "Date: " + kDate, "Message-ID: <1@" + MessageIdDomain({}) + ">"}) +
                  kTextHeader + Lines({"", "."}))
        << "no From, Subject or address lines; an empty body has one empty line";

    message.Subject = "Hello   ";
    message.From = MailAddress::Parse("a@b.cz");
    const std::string written = Write(message, MessageForm::mfTransmission);
    EXPECT_NE(written.find("Subject: Hello\r\n"), std::string::npos) << "trailing blanks lost";
    EXPECT_NE(written.find("From: \"a@b.cz\" <a@b.cz>\r\n"), std::string::npos);
    const std::pair<MailPriority, std::string> priorities[] = {
        {MailPriority::mpHighest, "X-Priority: 1\r\n"},
        {MailPriority::mpHigh, "X-Priority: 2\r\n"},
        {MailPriority::mpNormal, ""},
        {MailPriority::mpLow, "X-Priority: 4\r\n"},
        {MailPriority::mpLowest, "X-Priority: 5\r\n"},
    };
    for (const auto& [priority, line] : priorities) {
        SCOPED_TRACE(line);
        message.Priority = priority;
        const std::string header = Write(message, MessageForm::mfTransmission);
        const std::size_t at = header.find("X-Priority:");
        EXPECT_EQ(at == std::string::npos ? "" : header.substr(at, header.find("\r\n", at) + 2 - at), line);
    }
    message.Priority = MailPriority::mpLowest;

    message.Subject = "Hi\r\n.\r\nRCPT TO:<x@y>";
    message.HeaderLines = {".hidden\r\nX: y"};
    const std::string injected = Write(message, MessageForm::mfTransmission);
    EXPECT_NE(injected.find("Subject: Hi  .  RCPT TO:<x@y>\r\n"), std::string::npos) << injected;
    EXPECT_EQ(injected.rfind("..hidden  X: y\r\n", 0), 0U) << injected;
    EXPECT_EQ(injected.find("\r\n.\r\n"), std::string::npos);
}

TEST(EmlsendMessageLayout, TwoWritingsDifferOnlyInBoundariesAndDate)
{
    test::TempDir dir;
    test::WriteFile(dir.File("x.bin"), test::PseudoRandomBytes(1000, 1));
    MailMessage message = HtmlMessage();
    message.Parts.push_back(MessagePart::Attachment(dir.File("x.bin")));
    MessageWriter writer; // random boundaries, real date
    StringSink first;
    StringSink second;
    writer.WriteMessage(message, first, MessageForm::mfTransmission);
    writer.WriteMessage(message, second, MessageForm::mfTransmission);
    ASSERT_EQ(first.Data.size(), second.Data.size());
    std::set<std::string> boundaries;
    std::size_t at = 0;
    while ((at = first.Data.find("boundary=\"", at)) != std::string::npos) {
        const std::string boundary = first.Data.substr(at + 10, 34);
        EXPECT_EQ(first.Data[at + 44], '"');
        const std::size_t mark = boundary.find("=_");
        EXPECT_NE(mark, std::string::npos);
        EXPECT_EQ(boundary.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz=_"),
                  std::string::npos);
        boundaries.insert(boundary);
        at += 10;
    }
    EXPECT_EQ(boundaries.size(), 2U);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < first.Data.size(); ++i) {
        differing += first.Data[i] != second.Data[i];
    }
    EXPECT_GT(differing, 0U);
    EXPECT_LE(differing, 4 * 34U * 2 + 8 + 32) << "boundaries (each written several times), date, message id";
}

TEST(EmlsendMessageWriter, IdentifiesEveryMessageUnderTheSendersDomain)
{
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    struct Case {
        const char* from;
        std::string domain;
    };
    const Case cases[] = {
        {"Jan <jan@example.cz>", "example.cz"},
        {"a@b@mail.example.cz", "mail.example.cz"},
        {"", host},
        {"jan", host},
        {"jan@[192.0.2.1]", host},
        {"jan@exa mple.cz", host},
        {"jan@example..cz", host},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        EXPECT_EQ(MessageIdDomain(MailAddress::Parse(c.from)), c.domain);
    }
    const std::string first = RandomMessageId("example.cz");
    EXPECT_TRUE(std::regex_match(first, std::regex("<[0-9a-f]{32}@example\\.cz>"))) << first;
    EXPECT_NE(RandomMessageId("example.cz"), first);

    MailMessage message = BaseMessage();
    message.Parts.push_back(MessagePart::Text({"x"}, "windows-1250"));
    StringSink sink;
    MessageWriter().WriteMessage(message, sink, MessageForm::mfTransmission);
    EXPECT_TRUE(std::regex_search(sink.Data, std::regex("\r\nMessage-ID: <[0-9a-f]{32}@example\\.cz>\r\n")))
        << sink.Data;
}

TEST(EmlsendMessageWriter, MeasureEqualsTheTransmissionFormAndTheClosingLine)
{
    test::TempDir dir;
    for (const std::size_t size : {0U, 1U, 56U, 57U, 58U, 1000003U}) {
        SCOPED_TRACE(size);
        test::WriteFile(dir.File("a.bin"), test::PseudoRandomBytes(size, 7));
        MailMessage message = HtmlMessage();
        message.Bcc.push_back(MailAddress::Parse("hidden@example.cz"));
        message.Parts.push_back(MessagePart::Attachment(dir.File("a.bin")));
        const std::string written = Write(message, MessageForm::mfTransmission);
        EXPECT_EQ(written.find("hidden@"), std::string::npos);
        EXPECT_EQ(PinnedWriter().Measure(message), written.size() + 3);
    }
}

// Changes the attachment aPath while its first block is being sent: another
// program appends to it or cuts it short.
class ChangingFileSink : public StringSink {
public:
    ChangingFileSink(std::string aPath, bool aGrow) : FPath(std::move(aPath)), FGrow(aGrow) {}
    void Write(std::string_view aBytes) override
    {
        StringSink::Write(aBytes);
        if (aBytes.size() > 100000 && !FChanged) {
            FChanged = true;
            if (FGrow) {
                test::WriteFile(FPath, test::ReadFile(FPath) + std::string(500000, 'g'));
            } else {
                EXPECT_EQ(::truncate(FPath.c_str(), 1000), 0);
            }
        }
    }

private:
    std::string FPath;
    bool FGrow = false;
    bool FChanged = false;
};

TEST(EmlsendMessageWriter, ReadsAnAttachmentUpToTheSizeItHadWhenOpened)
{
    for (const bool grow : {true, false}) {
        SCOPED_TRACE(grow ? "a file that grows" : "a file cut short");
        test::TempDir dir;
        const std::string path = dir.File("log.txt");
        test::WriteFile(path, test::PseudoRandomBytes(300000, 5));
        MailMessage message = BaseMessage();
        message.Parts.push_back(MessagePart::Text({"x"}, "windows-1250"));
        message.Parts.push_back(MessagePart::Attachment(path));
        const std::uint64_t measured = PinnedWriter().Measure(message);
        ChangingFileSink sink(path, grow);
        std::string failure;
        try {
            PinnedWriter().WriteMessage(message, sink, MessageForm::mfTransmission);
        } catch (const EInOutError& error) {
            failure = error.what();
        }
        if (grow) {
            EXPECT_EQ(failure, "");
            EXPECT_EQ(sink.Data.size() + 3, measured) << "the measured size is what goes out";
        } else {
            EXPECT_EQ(failure, "Cannot read file \"" + path + "\". The file became shorter while it was read");
        }
    }
}

TEST(EmlsendMessageWriter, ReportsFailuresWithTheirTexts)
{
    test::TempDir dir;
    MailMessage message = BaseMessage();
    message.Parts.push_back(MessagePart::Text({"x"}, "windows-1250"));
    message.Parts.push_back(MessagePart::Attachment(dir.File("missing.pdf")));
    StringSink sink;
    try {
        PinnedWriter().WriteMessage(message, sink, MessageForm::mfTransmission);
        FAIL() << "a missing attachment must fail";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open file \"" + dir.File("missing.pdf") + "\". No such file or directory");
    }
    EXPECT_NE(sink.Data.find("Content-Type: text/plain"), std::string::npos) << "lines before the failure stay written";

    message.Parts.back() = MessagePart::Attachment(dir.path());
    EXPECT_THROW(PinnedWriter().Measure(message), EFOpenError) << "a directory is no attachment";

    try {
        PinnedWriter().WriteMessageToFile(message, dir.File("no/such/dir.eml"));
        FAIL() << "an impossible path must fail";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot create file \"" + dir.File("no/such/dir.eml") + "\". No such file or directory");
    }

    message.Parts.pop_back();
    try {
        PinnedWriter().WriteMessageToFile(message, "/dev/full");
        FAIL() << "a full disk must not pass as success";
    } catch (const EInOutError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot write file \"/dev/full\". No space left on device");
    }

    MessageWriter failingClock = PinnedWriter();
    failingClock.MakeDate = []() -> std::string {
        throw ETimeZoneError("Failed attempting to retrieve time zone information.");
    };
    StringSink untouched;
    EXPECT_THROW(failingClock.WriteMessage(message, untouched, MessageForm::mfFile), ETimeZoneError);
    EXPECT_TRUE(untouched.Data.empty());
}

TEST(EmlsendMessageWriter, RefusesPartListsItCannotNest)
{
    const std::vector<std::pair<const char*, std::vector<MessagePart>>> cases = {
        {"parent past the list", {MessagePart::Text({"a"}, ""), MessagePart::Text({"b"}, "", "", 5)}},
        {"parent is no container", {MessagePart::Text({"a"}, ""), MessagePart::Text({"b"}, "", "", 0)}},
        {"parent refers forward",
         {MessagePart::Text({"a"}, "", "", 1), MessagePart::Container("multipart/alternative")}},
        {"container already closed",
         {MessagePart::Container("multipart/alternative"), MessagePart::Text({"a"}, "", "", 0),
          MessagePart::Text({"b"}, ""), MessagePart::Text({"c"}, "", "", 0)}},
        {"negative parent", {MessagePart::Text({"a"}, ""), MessagePart::Text({"b"}, "", "", -7)}},
    };
    for (const auto& [what, parts] : cases) {
        SCOPED_TRACE(what);
        MailMessage message;
        message.Parts = parts;
        StringSink sink;
        EXPECT_THROW(PinnedWriter().WriteMessage(message, sink, MessageForm::mfFile), EInvalidMessage);
        EXPECT_TRUE(sink.Data.empty());
    }
    MailMessage message;
    message.Parts.push_back(MessagePart::Text({"a"}, ""));
    message.Parts.back().TransferEncoding = "8bit";
    StringSink sink;
    EXPECT_THROW(PinnedWriter().WriteMessage(message, sink, MessageForm::mfFile), EInvalidMessage);
}

TEST(EmlsendMessageWriter, ReportsTheBodyPhaseToTheSink)
{
    struct RecordingSink : ByteSink {
        void Write(std::string_view aBytes) override
        {
            phases[phase].append(aBytes);
            ++writes[phase];
        }
        void BodyStarted() override { ++phase; }
        void BodyFinished() override { ++phase; }
        std::string phases[3];
        int writes[3] = {};
        int phase = 0;
    } sink;
    MailMessage message = HtmlMessage();
    message.HeaderLines.push_back("X-Unsent: 1");
    PinnedWriter().WriteMessage(message, sink, MessageForm::mfFile);
    ASSERT_EQ(sink.phase, 2) << "body started and finished once each";
    EXPECT_EQ(sink.writes[0], 1) << "the header block goes out in one write";
    EXPECT_EQ(sink.phases[0],
              Lines({"X-Unsent: 1"}) + kAddressLines + kMultipartLines.substr(0, kMultipartLines.find("\r\n\r\n") + 2));
    EXPECT_EQ(sink.phases[1].substr(0, 2), "\r\n") << "the body starts with the blank line";
    EXPECT_EQ(sink.phases[2], ".\r\n") << "the closing line lies outside the body";
}

} // namespace
} // namespace emlsend
