#pragma once
// Helpers shared by the fuzz targets: a check that stops the run with a
// message (libFuzzer records the input as a crash), and small reference
// decoders that the targets use to prove round trips.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace fuzz {

[[noreturn]] inline void Fail(const char* aWhat, const char* aFile, int aLine)
{
    std::fprintf(stderr, "fuzz check failed: %s at %s:%d\n", aWhat, aFile, aLine);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::fuzz::Fail(#condition, __FILE__, __LINE__);                                                              \
    } while (false)

inline int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes the text of one Q-encoded word (RFC 2047 section 4.2): "_" is a
// blank, "=XX" (upper-case hex) a byte. Nothing if the text is malformed.
inline std::optional<std::string> DecodeQ(std::string_view aText)
{
    std::string out;
    for (size_t i = 0; i < aText.size(); ++i) {
        const char c = aText[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=') {
            if (i + 2 >= aText.size())
                return std::nullopt;
            const int hi = HexValue(aText[i + 1]);
            const int lo = HexValue(aText[i + 2]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) > '~' || c == '?') {
            return std::nullopt; // an encoded word holds printable characters only
        } else {
            out += c;
        }
    }
    return out;
}

// Decodes header text with encoded words "=?aCharset?Q?...?=" as a mail
// reader does: linear white space between two adjacent encoded words is
// dropped, everything else is kept. aMaxWord receives the length of the
// longest encoded word. Nothing when an encoded word is malformed.
inline std::optional<std::string> DecodeHeaderText(std::string_view aText, std::string_view aCharset, size_t& aMaxWord)
{
    const std::string opening = "=?" + std::string(aCharset) + "?Q?";
    std::string out;
    aMaxWord = 0;
    size_t i = 0;
    bool afterWord = false;
    while (i < aText.size()) {
        if (aText.substr(i).starts_with(opening)) {
            const size_t end = aText.find("?=", i + opening.size());
            if (end == std::string_view::npos)
                return std::nullopt;
            const auto text = DecodeQ(aText.substr(i + opening.size(), end - i - opening.size()));
            if (!text)
                return std::nullopt;
            out += *text;
            aMaxWord = std::max(aMaxWord, end + 2 - i);
            i = end + 2;
            afterWord = true;
            continue;
        }
        if (afterWord) {
            // White space up to the next encoded word is dropped.
            size_t j = i;
            while (j < aText.size() && (aText[j] == ' ' || aText[j] == '\t' || aText[j] == '\r' || aText[j] == '\n'))
                ++j;
            if (j > i && aText.substr(j).starts_with(opening)) {
                i = j;
                continue;
            }
        }
        out += aText[i++];
        afterWord = false;
    }
    return out;
}

} // namespace fuzz
