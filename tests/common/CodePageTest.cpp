#include "CodePage.h"
#include "Exceptions.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace hostutils;

namespace {

std::u16string Decode(int cp, std::string_view bytes) { return TCodePageDecoder(cp).DecodeAll(bytes); }

TEST(CodePage, NamesForWindowsIdentifiers)
{
    EXPECT_EQ(IconvCharsetName(852), "CP852");
    EXPECT_EQ(IconvCharsetName(1250), "CP1250");
    EXPECT_EQ(IconvCharsetName(1200), "UTF-16LE");
    EXPECT_EQ(IconvCharsetName(1201), "UTF-16BE");
    EXPECT_EQ(IconvCharsetName(65000), "UTF-7");
    EXPECT_EQ(IconvCharsetName(65001), "UTF-8");
    EXPECT_EQ(IconvCharsetName(28592), "ISO-8859-2");
    EXPECT_EQ(IconvCharsetName(20866), "KOI8-R");
}

TEST(CodePage, DecodesCzechInEveryCommonEncoding)
{
    const std::u16string expected = u"Žluťoučký kůň";
    struct Case {
        int cp;
        std::string bytes;
    } cases[] = {
        {852, "\xA6lu\x9Cou\x9Fk\xEC k\x85\xE5"},
        {1250, "\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2"},
        {28592, "\xAElu\xBBou\xE8k\xFD k\xF9\xF2"},
        {65001, "\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88"},
        {65000, "+AX0-lu+AWU-ou+AQ0-k+AP0- k+AW8BSA-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cp);
        EXPECT_EQ(Decode(c.cp, c.bytes), expected);
    }
    std::string utf16le, utf16be;
    for (char16_t u : expected) {
        utf16le += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
        utf16be += {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
    }
    EXPECT_EQ(Decode(1200, utf16le), expected);
    EXPECT_EQ(Decode(1201, utf16be), expected);
}

TEST(CodePage, InvalidBytesBecomeReplacementCharacters)
{
    EXPECT_EQ(Decode(65001, "a\xFF"
                            "b\xC3"),
              u"a\uFFFDb\uFFFD")
        << "a bad byte and a cut sequence at the end";
    EXPECT_EQ(Decode(65001, "\xE2\x82"), u"\uFFFD");
    EXPECT_EQ(Decode(1200, std::string("a\0\0\xDC"
                                       "b\0",
                                       6)),
              u"a\uFFFDb")
        << "a lone low surrogate";
    EXPECT_EQ(Decode(1200, std::string("a\0b", 3)), u"a\uFFFD") << "an odd last byte";
    EXPECT_EQ(Decode(1250, "\x81x"), u"\uFFFDx") << "a byte the code page leaves undefined";
}

TEST(CodePage, ChunksSplitInsideASequenceDecodeAsOne)
{
    const std::string text = "\xC5\xBD\xC5\xA5\xE2\x82\xAC";
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        SCOPED_TRACE(cut);
        TCodePageDecoder d(65001);
        std::u16string out;
        const size_t used = d.Decode(std::string_view(text).substr(0, cut), out, false);
        d.Decode(std::string_view(text).substr(used), out, true);
        EXPECT_EQ(out, u"Žť€");
    }
}

TEST(CodePage, LocaleCharsetForZero)
{
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr)
        GTEST_SKIP() << "no C.UTF-8 locale";
    EXPECT_EQ(Decode(0, "\xC5\xBD"), u"Ž");
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(CodePage, UnknownCodePagesFail)
{
    for (int cp : {1, 12345, -852, 99999}) {
        SCOPED_TRACE(cp);
        try {
            TCodePageDecoder d(cp);
            ADD_FAILURE();
        } catch (const EEncodingError& e) {
            EXPECT_STREQ(e.what(), "Invalid code page");
        }
    }
}

TEST(CodePage, ByteOrderMarksBelongToTheirEncodingOnly)
{
    EXPECT_EQ(ByteOrderMark(65001), "\xEF\xBB\xBF");
    EXPECT_EQ(ByteOrderMark(1200), "\xFF\xFE");
    EXPECT_EQ(ByteOrderMark(1201), "\xFE\xFF");
    EXPECT_TRUE(ByteOrderMark(852).empty());
    EXPECT_TRUE(ByteOrderMark(65000).empty());
}

} // namespace
