// Encoded words, folding, dates and addresses of the message header.

#include "HeaderEncoding.h"
#include "MailAddress.h"
#include "ProcessSupport.h"
#include "TransportErrors.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

namespace emlsend {
namespace {

const std::string kOpen = "=?windows-1250?Q?";

std::string Repeat(const std::string& aText, int aCount)
{
    std::string out;
    for (int i = 0; i < aCount; ++i) {
        out += aText;
    }
    return out;
}

struct EncodeCase {
    const char* what;
    std::string text;
    std::string extras;
    std::string expected;
};

TEST(EmlsendHeaderEncoding, EncodesWordsAsTheTableSays)
{
    const std::vector<EncodeCase> cases = {
        {"plain text stays", "Plain text only", "", "Plain text only"},
        {"quote-set characters alone need no encoding", "a?b_c = d", "", "a?b_c = d"},
        {"one Czech word, period encoded as it stands", "Faktura \xE8. 12", "", "Faktura " + kOpen + "=E8.?= 12"},
        {"name with one Czech word", "Jan Nov\xE1k", "", "Jan " + kOpen + "Nov=E1k?="},
        {"consecutive words join with underscores", "\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xFAp\xECl", "",
         kOpen + "=8Elu=9Dou=E8k=FD_k=F9=F2_=FAp=ECl?="},
        {"a plain word splits two runs",
         "\xE8"
         "aj a k\xE1va",
         "", kOpen + "=E8aj?= a " + kOpen + "k=E1va?="},
        {"an existing encoded word makes '=' special", "=?x?Q?y?= \x9E", "", kOpen + "=3D=3Fx=3FQ=3Fy=3F=3D_=9E?="},
        {"extra specials force encoding", "Nov\xE1k, Jan", "()[]<>:;.,@\\\"", kOpen + "Nov=E1k=2C?= Jan"},
        {"control bytes are encoded",
         "a\x01"
         "b",
         "", kOpen + "a=01b?="},
        {"a word opening an encoded word is encoded, so no reader closes it with a later ?=",
         "=?windows-1250?Q?v=v \x01", "", kOpen + "=3D=3Fwindows-1250=3FQ=3Fv=3Dv_=01?="},
        {"a double quote inside an encoded word is encoded", "\xE8\"a\"", "", kOpen + "=E8=22a=22?="},
        {"line breaks separate words and stay plain", "x\r\ny", "", "x\r\ny"},
        {"40 capital Z-caron give three words of at most 75 characters", Repeat("\x8E", 40), "",
         kOpen + Repeat("=8E", 18) + "?=\r\n " + kOpen + Repeat("=8E", 18) + "?=\r\n " + kOpen + Repeat("=8E", 4) +
             "?="},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(EncodeHeaderText(c.text, c.extras, "windows-1250"), c.expected);
    }
}

TEST(EmlsendHeaderEncoding, NoEncodedWordPassesSeventyFiveCharacters)
{
    for (int length = 1; length < 120; ++length) {
        const std::string encoded = EncodeHeaderText(Repeat("\xE1 ", length), "", "windows-1250");
        std::size_t start = 0;
        while (start <= encoded.size()) {
            const std::size_t end = std::min(encoded.find("\r\n ", start), encoded.size());
            const std::string word = encoded.substr(start, end - start);
            EXPECT_LE(word.size(), 75U) << word;
            EXPECT_EQ(word.rfind(kOpen, 0), 0U) << word;
            start = end + 3;
        }
    }
}

TEST(EmlsendHeaderEncoding, QuoteInAnEncodedWordDoesNotStopTheFolding)
{
    // A bare double quote in an encoded word once left the rest of the
    // subject on one unfolded line.
    const std::string subject = "\xE8\"" + Repeat(" slovo", 60);
    const std::vector<std::string> lines = FoldHeaderLine("Subject: " + EncodeHeaderText(subject, "", "windows-1250"));
    ASSERT_GT(lines.size(), 4U);
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 78U) << line;
    }
}

TEST(EmlsendHeaderFolding, AMegabyteSubjectFoldsWhole)
{
    // A subject is never cut to a length, so folding must handle a long one
    // (it once copied the rest of the line at every cut).
    const std::string subject = Repeat("slovo ", 200000) + "konec";
    const std::vector<std::string> lines = FoldHeaderLine("Subject: " + subject);
    std::string joined;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        ASSERT_LE(lines[n].size(), 78U) << n;
        joined += n == 0 ? lines[n] : lines[n].substr(1);
        if (n + 1 < lines.size()) {
            joined += ' ';
        }
    }
    EXPECT_EQ(joined, "Subject: " + subject);
}

TEST(EmlsendHeaderEncoding, RecognisesEncodedWords)
{
    EXPECT_TRUE(ContainsEncodedWord("x =?utf-8?B?YQ==?= y"));
    EXPECT_TRUE(ContainsEncodedWord("=?iso-8859-2?q?a?="));
    EXPECT_FALSE(ContainsEncodedWord("=?utf-8?X?a?="));
    EXPECT_FALSE(ContainsEncodedWord("=? utf-8?Q?a?="));
    EXPECT_FALSE(ContainsEncodedWord("=?utf-8?Q?a b?="));
    EXPECT_FALSE(ContainsEncodedWord("a=?b"));
}

struct FoldCase {
    const char* what;
    std::string line;
    std::vector<std::string> expected;
};

TEST(EmlsendHeaderFolding, FoldsAsTheTableSays)
{
    const std::string address = "aaaaaaaaa@example.cz"; // 20 characters
    const std::string list = address + ", " + address + ", " + address + ", " + address + ", " + address;
    const std::string subject40 = EncodeHeaderText(Repeat("\x8E", 40), "", "windows-1250");
    const std::string quoted = "X-Note: \"" + Repeat("word ", 18) + "\"";
    const std::vector<FoldCase> cases = {
        {"short line unchanged", "Subject: Hello", {"Subject: Hello"}},
        {"trailing blanks are lost", "Subject: Hello   ", {"Subject: Hello"}},
        {"78 characters stay on one line",
         "Subject: " + Repeat("a", 34) + " " + Repeat("b", 34),
         {"Subject: " + Repeat("a", 34) + " " + Repeat("b", 34)}},
        {"79 characters are cut at the last blank",
         "Subject: " + Repeat("a", 34) + " " + Repeat("b", 35),
         {"Subject: " + Repeat("a", 34), " " + Repeat("b", 35)}},
        {"address list cut after a comma",
         "To: " + list,
         {"To: " + address + ", " + address + ", " + address + ",", " " + address + ", " + address}},
        {"the 40 Z-caron subject starts with Subject: alone",
         "Subject: " + subject40,
         {"Subject:", " " + kOpen + Repeat("=8E", 18) + "?=", " " + kOpen + Repeat("=8E", 18) + "?=",
          " " + kOpen + Repeat("=8E", 4) + "?="}},
        {"no cut inside quotes", quoted, {quoted}},
        {"an existing fold inside quotes is kept", "X-Note: \"a\r\n b\"", {"X-Note: \"a", " b\""}},
        {"a fold of only white space gives no empty line", "Subject: a\r\n \r\n b", {"Subject: a", " b"}},
        {"a stray quote in plain text and encoded words give no empty line",
         "Subject: \"q, " + Repeat("w", 60) + " " + kOpen + "=FF?=\r\n " + kOpen + "=ED?=",
         {"Subject: \"q, " + Repeat("w", 60) + " " + kOpen + "=FF?=", " " + kOpen + "=ED?="}},
        {"no cut when at most one character would follow",
         "Subject: " + Repeat("a", 69) + " b",
         {"Subject: " + Repeat("a", 69) + " b"}},
        {"a word without cut point moves to its own long line",
         "Subject: " + Repeat("x", 100),
         {"Subject:", " " + Repeat("x", 100)}},
        {"the two-line content type is not cut",
         "Content-Type: multipart/alternative;\r\n\tcharset=\"windows-1250\"; boundary=\"" + Repeat("Q", 10) + "=_" +
             Repeat("Q", 22) + "\"",
         {"Content-Type: multipart/alternative;",
          "\tcharset=\"windows-1250\"; boundary=\"" + Repeat("Q", 10) + "=_" + Repeat("Q", 22) + "\""}},
    };
    for (const FoldCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FoldHeaderLine(c.line), c.expected);
    }
}

TEST(EmlsendHeaderDate, FormatsDateAndOffset)
{
    std::tm date{};
    date.tm_year = 109;
    date.tm_mon = 2;
    date.tm_mday = 3;
    date.tm_wday = 2;
    date.tm_hour = 14;
    date.tm_min = 5;
    date.tm_sec = 9;
    EXPECT_EQ(FormatDate(date, 3600), "Tue, 3 Mar 2009 14:05:09 +0100");
    EXPECT_EQ(FormatDate(date, 0), "Tue, 3 Mar 2009 14:05:09 +0000");
    EXPECT_EQ(FormatDate(date, -16200), "Tue, 3 Mar 2009 14:05:09 -0430");
    EXPECT_EQ(FormatDate(date, 19800), "Tue, 3 Mar 2009 14:05:09 +0530");
    date.tm_wday = 9; // out of range: reduced, never an index past the table
    date.tm_mon = -1;
    EXPECT_EQ(FormatDate(date, 0).substr(0, 12), "Tue, 3 Dec 2");
}

TEST(EmlsendHeaderDate, CurrentDateUsesTheLocalZone)
{
    {
        const test::ScopedEnvironment zone("TZ", "Europe/Prague");
        ::tzset();
        const std::string date = CurrentDate();
        EXPECT_TRUE(std::regex_match(date, std::regex(R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat), [1-9]\d? [A-Z][a-z]{2} \d{4} )"
                                                      R"(\d\d:\d\d:\d\d \+0[12]00)")))
            << date;
    }
    {
        const test::ScopedEnvironment zone("TZ", "UTC");
        ::tzset();
        EXPECT_EQ(CurrentDate().substr(CurrentDate().size() - 5), "+0000");
    }
    ::tzset(); // the zone of the environment restored
}

struct ParseCase {
    const char* what;
    std::string text;
    MailAddress expected;
};

TEST(EmlsendMailAddress, ParsesEveryForm)
{
    const std::vector<ParseCase> cases = {
        {"address alone", "a@b.cz", {"", "a@b.cz"}},
        {"name and address, outer blanks", "  Jan Nov\xE1k <jan@b.cz>  ", {"Jan Nov\xE1k", "jan@b.cz"}},
        {"quoted name with a comma", "\"Nov\xE1k, Jan\" <jan@b.cz>", {"Nov\xE1k, Jan", "jan@b.cz"}},
        {"escapes inside quotes", "\"Say \\\"hi\\\"\" <x@y.cz>", {"Say \"hi\"", "x@y.cz"}},
        {"comment dropped", "a@b.cz (Jan)", {"", "a@b.cz"}},
        {"angle brackets alone", "<a@b.cz>", {"", "a@b.cz"}},
        {"tabs trimmed", "\tJan\t <\ta@b.cz\t>", {"Jan", "a@b.cz"}},
        {"angle brackets inside quotes are name", "\"A <not> B\" <real@x.cz>", {"A <not> B", "real@x.cz"}},
        {"empty text", "   ", {"", ""}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MailAddress::Parse(c.text), c.expected);
    }
}

TEST(EmlsendMailAddress, FormatsForHeaders)
{
    const std::string cs = "windows-1250";
    EXPECT_EQ((MailAddress{"", "a@b.cz"}.Format(true, cs)), "\"a@b.cz\" <a@b.cz>");
    EXPECT_EQ((MailAddress{"", "a@b.cz"}.Format(false, cs)), "a@b.cz");
    EXPECT_EQ((MailAddress{"Jan Nov\xE1k", "A"}.Format(false, cs)), "Jan =?windows-1250?Q?Nov=E1k?= <A>");
    EXPECT_EQ((MailAddress{"Say \"hi\" \\o/", "x@y"}.Format(false, cs)), "\"Say \\\"hi\\\" \\\\o/\" <x@y>");
    EXPECT_EQ((MailAddress{"Nov\xE1k, Jan", "A"}.Format(false, cs)), "=?windows-1250?Q?Nov=E1k=2C?= Jan <A>");
}

} // namespace
} // namespace emlsend
