// Real peers read what we write: Python's email package parses the message
// file, and aiosmtpd receives a message over SMTP.

#include "MessageWriter.h"
#include "ProcessSupport.h"
#include "SmtpSession.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace emlsend {
namespace {

using test::Hex;
using namespace std::chrono_literals;

struct Fixture {
    test::TempDir dir;
    std::string binary = test::PseudoRandomBytes(200001, 42);
    std::string text = "\x8Elu\x9Bou\xE8k\xFD k\xF9\xF2\r\nline two\n";
    MailMessage message;

    Fixture()
    {
        test::WriteFile(dir.File("data.bin"), binary);
        test::WriteFile(dir.File("\xFA\xE8"
                                 "et.txt"),
                        text);
        test::WriteFile(dir.File("empty.dat"), "");
        message.From = MailAddress::Parse("Jan Nov\xE1k <jan@example.cz>");
        message.To = {MailAddress::Parse("\"Nov\xE1k, Petr\" <petr@example.cz>"),
                      MailAddress::Parse("plain@example.cz")};
        message.Cc = {MailAddress::Parse("\xC8"
                                         "ern\xFD <cerny@example.cz>")};
        message.Bcc = {MailAddress::Parse("Skryt\xFD <skryty@example.cz>")};
        message.Subject = std::string(40, '\x8E') + " faktura \xE8. 12";
        message.Parts.push_back(MessagePart::Container("multipart/alternative"));
        message.Parts.push_back(MessagePart::Text({"Pro spr\xE1vn\xE9 zobrazen\xED"}, "windows-1250", "", 0));
        message.Parts.push_back(MessagePart::Text({"<HTML>", std::string(150, 'a') + " =end ", ".leading", ""},
                                                  "windows-1250", "text/html", 0));
        for (const char* name : {"data.bin",
                                 "\xFA\xE8"
                                 "et.txt",
                                 "empty.dat"}) {
            message.Parts.push_back(MessagePart::Attachment(dir.File(name)));
        }
    }
};

TEST(EmlsendPythonPeers, EmailPackageReadsTheMessageFile)
{
    Fixture f;
    MessageWriter writer;
    writer.WriteMessageToFile(f.message, f.dir.File("m.eml"));
    const std::vector<std::string> seen = test::DumpLines(f.dir.File("m.eml"));
    const std::string file = f.dir.File("m.eml");
    // The subject's first encoded word does not fit behind "Subject:", so
    // that line stands alone; Python keeps the folding blank in front of
    // the unfolded value.
    const std::vector<std::string> expected = {
        "H Subject " + Hex(" " + f.message.Subject),
        "H MIME-Version " + Hex("1.0"),
        "A From " + Hex("Jan Nov\xE1k") + " jan@example.cz",
        "A To " + Hex("Nov\xE1k, Petr") + " petr@example.cz",
        "A To - plain@example.cz",
        "A Cc " +
            Hex("\xC8"
                "ern\xFD") +
            " cerny@example.cz",
        "A Bcc " + Hex("Skryt\xFD") + " skryty@example.cz",
        "P text/plain - " + file + ".1",
        "P text/html - " + file + ".2",
        "P application/octet-stream " + Hex("data.bin") + " " + file + ".3",
        "P application/octet-stream " +
            Hex("\xFA\xE8"
                "et.txt") +
            " " + file + ".4",
        "P application/octet-stream " + Hex("empty.dat") + " " + file + ".5",
        "D 0",
    };
    EXPECT_EQ(seen, expected);
    // The parser gives text with line feeds only.
    EXPECT_EQ(test::ReadFile(file + ".1"), "Pro spr\xE1vn\xE9 zobrazen\xED\n");
    EXPECT_EQ(test::ReadFile(file + ".2"), "<HTML>\n" + std::string(150, 'a') + " =end \n.leading\n\n");
    EXPECT_TRUE(test::ReadFile(file + ".3") == f.binary) << "attachment bytes differ";
    EXPECT_EQ(test::ReadFile(file + ".4"), f.text);
    EXPECT_EQ(test::ReadFile(file + ".5"), "");
}

TEST(EmlsendPythonPeers, EmailPackageReadsInternationalDomainsInIdnaForm)
{
    // windows-1250 bytes: "příklad.cz", "faß.de", "Novák".
    const std::string priklad = "p\xF8\xEDklad.cz";
    const struct {
        const char* what;
        std::string field; // From, To or Cc
        std::string text;
        std::string seen;      // the address line of mime_dump.py
        std::string messageId; // the domain of the Message-ID (From rows)
    } cases[] = {
        {"a sender's domain, the Message-ID under it", "From", "Petr <petr@" + priklad + ">",
         "A From " + Hex("Petr") + " petr@xn--pklad-zsa96e.cz", "xn--pklad-zsa96e.cz"},
        {"a sender without a name shows the address as given", "From", "petr@" + priklad,
         "A From " + Hex("petr@" + priklad) + " petr@xn--pklad-zsa96e.cz", "xn--pklad-zsa96e.cz"},
        {"sharp s kept, as the non-transitional rule says (not fass.de)", "To", "jan@fa\xDF.de",
         "A To - jan@xn--fa-hia.de", ""},
        {"an encoded name beside it", "Cc", "Nov\xE1k <novak@" + priklad + ">",
         "A Cc " + Hex("Nov\xE1k") + " novak@xn--pklad-zsa96e.cz", ""},
        {"an ASCII address unchanged", "To", "jan@example.cz", "A To - jan@example.cz", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        MailMessage message;
        const MailAddress address = MailAddress::Parse(c.text);
        if (c.field == "From") {
            message.From = address;
        } else {
            (c.field == "To" ? message.To : message.Cc).push_back(address);
        }
        message.Parts.push_back(MessagePart::Text({"x"}, "windows-1250"));
        const std::string file = dir.File("m.eml");
        MessageWriter().WriteMessageToFile(message, file);
        const std::vector<std::string> seen = test::DumpLines(file);
        EXPECT_NE(std::find(seen.begin(), seen.end(), c.seen), seen.end()) << ::testing::PrintToString(seen);
        EXPECT_EQ(seen.back(), "D 0");
        if (!c.messageId.empty()) {
            const std::string data = test::ReadFile(file);
            const std::size_t at = data.find("\r\nMessage-ID: <");
            ASSERT_NE(at, std::string::npos);
            const std::size_t end = data.find(">\r\n", at);
            const std::size_t sign = data.rfind('@', end);
            EXPECT_EQ(data.substr(sign + 1, end - sign - 1), c.messageId);
        }
    }
}

TEST(EmlsendPythonPeers, AiosmtpdReceivesTheMessage)
{
    Fixture f;
    test::TempDir spool;
    test::AiosmtpdServer server(spool.path());
    ASSERT_NE(server.port(), 0) << "the server did not start";

    SmtpSession session;
    session.Host = "127.0.0.1";
    session.Port = server.port();
    session.UserName = "user@example.cz";
    session.Password = "tajn\xE9 heslo";
    session.TimeOuts.Command = 20s;
    session.TimeOuts.DataEnd = 20s;
    session.TimeOuts.Quit = 20s;
    session.Writer.MakeDate = [] { return std::string("Tue, 3 Mar 2009 14:05:09 +0100"); };
    session.Writer.MakeMessageId = [](std::string_view aDomain) { return "<1@" + std::string(aDomain) + ">"; };
    int boundary = 0;
    session.Writer.MakeBoundary = [&] { return "Boundary" + std::to_string(++boundary) + "=_x"; };
    std::uint64_t lastCount = 0;
    session.OnBytesWritten = [&](std::uint64_t aCount) {
        EXPECT_GT(aCount, lastCount);
        lastCount = aCount;
    };
    session.Connect();
    session.SendMessage(f.message);
    EXPECT_TRUE(session.LoggedIn()) << "aiosmtpd offers LOGIN without TLS here";
    session.Disconnect();

    ASSERT_TRUE(test::WaitForFile(spool.File("1.done")));
    EXPECT_EQ(test::ReadFile(spool.File("1.from")), "jan@example.cz");
    EXPECT_EQ(test::ReadFile(spool.File("1.rcpt")),
              "petr@example.cz\nplain@example.cz\ncerny@example.cz\nskryty@example.cz\n");
    EXPECT_EQ(test::ReadFile(spool.File("1.auth")), "user@example.cz\ntajn\xE9 heslo\n");

    boundary = 0;
    StringSink written;
    session.Writer.WriteMessage(f.message, written, MessageForm::mfTransmission);
    const std::string data = test::ReadFile(spool.File("1.data"));
    EXPECT_EQ(data, written.Data) << "the data is exactly what the writer produces";
    EXPECT_EQ(data.find("skryty"), std::string::npos) << "no Bcc in the data";
    EXPECT_EQ(lastCount, written.Data.size() - written.Data.find("\r\n\r\n") - 2) << "progress counts every body byte";
}

} // namespace
} // namespace emlsend
