// Quoted-printable and base64 bodies.

#include "ContentEncoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace emlsend {
namespace {

struct QpCase {
    const char* what;
    std::string source;
    std::vector<std::string> expected;
};

TEST(EmlsendQuotedPrintable, EncodesAsTheTableSays)
{
    const std::string x70(70, 'x');
    const std::vector<QpCase> cases = {
        {"empty line gives one empty line", "", {""}},
        {"safe text stays", "Hello, World!", {"Hello, World!"}},
        {"equals sign encoded", "a=b", {"a=3Db"}},
        {"trailing blank encoded", "end ", {"end=20"}},
        {"trailing tab encoded", "end\t", {"end=09"}},
        {"inner blank and tab stay", "a b\tc", {"a b\tc"}},
        {"leading period encoded", ".start", {"=2Estart"}},
        {"inner period stays", "a.b", {"a.b"}},
        {"Czech letters upper-case hex", "\xE8\xE1\x8E", {"=E8=E1=8E"}},
        {"control and high bytes", std::string("\x00\x7F\xFF", 3), {"=00=7F=FF"}},
        {"line breaks inside a line are bytes", "a\r\nb", {"a=0D=0Ab"}},
        {"70 safe characters: soft break and an empty line", x70, {x70 + "=", ""}},
        {"71 characters", x70 + "y", {x70 + "=", "y"}},
        {"69 characters and an encoded byte", std::string(69, 'x') + "\xE9", {std::string(69, 'x') + "=E9=", ""}},
        {"period after a soft break", x70 + ".", {x70 + "=", "=2E"}},
        {"blank at the soft break is not last", std::string(69, 'x') + " y", {std::string(69, 'x') + " =", "y"}},
    };
    for (const QpCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(EncodeQuotedPrintable(c.source), c.expected);
    }
}

TEST(EmlsendQuotedPrintable, LinesNeverPassSeventyThree)
{
    std::string source;
    for (int i = 0; i < 1000; ++i) {
        source += static_cast<char>(i * 37 % 256);
    }
    for (const std::string& line : EncodeQuotedPrintable(source)) {
        EXPECT_LE(line.size(), 73U);
    }
}

TEST(EmlsendBase64, MatchesTheRfc4648Vectors)
{
    const std::vector<std::pair<std::string, std::string>> vectors = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [source, expected] : vectors) {
        SCOPED_TRACE(source);
        EXPECT_EQ(EncodeBase64(source), expected);
        const std::string lines = expected.empty() ? "" : expected + "\r\n";
        std::string out(Base64LinesSize(source.size()), '?');
        const std::size_t written =
            EncodeBase64Lines(reinterpret_cast<const unsigned char*>(source.data()), source.size(), out.data());
        EXPECT_EQ(out.substr(0, written), lines);
    }
}

TEST(EmlsendBase64, CutsLinesEveryFiftySevenBytes)
{
    for (std::size_t size = 0; size <= 300; ++size) {
        SCOPED_TRACE(size);
        std::string source(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            source[i] = static_cast<char>(i * 7 + 3);
        }
        std::string out(Base64LinesSize(size), '?');
        const std::size_t written =
            EncodeBase64Lines(reinterpret_cast<const unsigned char*>(source.data()), size, out.data());
        ASSERT_EQ(written, out.size());
        std::string joined;
        std::size_t start = 0;
        while (start < out.size()) {
            const std::size_t end = out.find("\r\n", start);
            ASSERT_NE(end, std::string::npos);
            const std::string line = out.substr(start, end - start);
            const bool last = end + 2 == out.size();
            EXPECT_EQ(line.size(), last ? (size - (size - 1) / 57 * 57 + 2) / 3 * 4 : 76U);
            joined += line;
            start = end + 2;
        }
        // One line per 57 bytes decodes like the whole at once.
        EXPECT_EQ(joined, EncodeBase64(source));
    }
    EXPECT_EQ(Base64LinesSize(~std::uint64_t{0}), ~std::uint64_t{0});
}

} // namespace
} // namespace emlsend
