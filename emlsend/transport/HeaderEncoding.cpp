#include "HeaderEncoding.h"

#include "TransportErrors.h"

#include <array>
#include <cstdio>

namespace emlsend {
namespace {

bool IsSeparator(char aChar) { return aChar == ' ' || aChar == '\t' || aChar == '\r' || aChar == '\n'; }

bool IsTokenChar(char aChar)
{
    const auto byte = static_cast<unsigned char>(aChar);
    return byte > 32 && byte < 127 && aChar != '?';
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& aOut, unsigned char aByte)
{
    aOut += '=';
    aOut += kHexDigits[aByte >> 4];
    aOut += kHexDigits[aByte & 0x0F];
}

// Writes one encoded word for aBytes, continued after CRLF and a blank
// whenever it would pass 75 characters.
void AppendEncodedWord(std::string& aOut, std::string_view aBytes, const std::array<bool, 256>& aQuote,
                       std::string_view aCharset)
{
    constexpr std::size_t kMaxWord = 75;
    const std::string opening = "=?" + std::string(aCharset) + "?Q?";
    aOut += opening;
    std::size_t length = opening.size();
    bool wordHasText = false;
    for (const char c : aBytes) {
        const auto byte = static_cast<unsigned char>(c);
        std::string piece;
        if (c == ' ') {
            piece = "_";
        } else if (aQuote[byte]) {
            AppendHex(piece, byte);
        } else {
            piece = std::string(1, c);
        }
        if (wordHasText && length + piece.size() + 2 > kMaxWord) {
            aOut += "?=\r\n ";
            aOut += opening;
            length = opening.size();
        }
        aOut += piece;
        length += piece.size();
        wordHasText = true;
    }
    aOut += "?=";
}

struct Word {
    std::string_view Separators; // the run before the word
    std::string_view Text;
    bool NeedsEncoding = false;
};

} // namespace

bool ContainsEncodedWord(std::string_view aText)
{
    for (std::size_t start = aText.find("=?"); start != std::string_view::npos; start = aText.find("=?", start + 1)) {
        std::size_t i = start + 2;
        const std::size_t charsetStart = i;
        while (i < aText.size() && IsTokenChar(aText[i])) {
            ++i;
        }
        if (i == charsetStart || i + 2 >= aText.size() || aText[i] != '?') {
            continue;
        }
        const char encoding = aText[i + 1];
        if (std::string_view("QqBb").find(encoding) == std::string_view::npos || aText[i + 2] != '?') {
            continue;
        }
        i += 3;
        while (i < aText.size() && IsTokenChar(aText[i])) {
            ++i;
        }
        if (i + 1 < aText.size() && aText[i] == '?' && aText[i + 1] == '=') {
            return true;
        }
    }
    return false;
}

std::string EncodeHeaderText(std::string_view aText, std::string_view aExtraSpecials, std::string_view aCharset,
                             bool aEncodeAll)
{
    std::array<bool, 256> mustEncode{};
    for (int byte = 0; byte < 256; ++byte) {
        mustEncode[byte] = byte < 32 || byte >= 127;
    }
    for (const char c : aExtraSpecials) {
        mustEncode[static_cast<unsigned char>(c)] = true;
    }
    // "=?" could open an encoded word in a reader's eyes, closed by the "?="
    // of an encoded word written after it: words holding it are encoded.
    if (aText.find("=?") != std::string_view::npos) {
        mustEncode['='] = true;
    }
    // The double quote is encoded too: a bare one inside an encoded word
    // would open a quoted string for the folding, which never cuts inside one.
    std::array<bool, 256> quote = mustEncode;
    for (const char c : std::string_view("?=_ \"")) {
        quote[static_cast<unsigned char>(c)] = true;
    }

    std::vector<Word> words;
    std::size_t i = 0;
    while (i < aText.size()) {
        const std::size_t sepStart = i;
        while (i < aText.size() && IsSeparator(aText[i])) {
            ++i;
        }
        const std::size_t wordStart = i;
        bool needs = false;
        while (i < aText.size() && !IsSeparator(aText[i])) {
            needs = needs || mustEncode[static_cast<unsigned char>(aText[i])];
            ++i;
        }
        needs = needs || aEncodeAll || i - wordStart > kLongestPlainWord;
        words.push_back(
            Word{aText.substr(sepStart, wordStart - sepStart), aText.substr(wordStart, i - wordStart), needs});
    }

    std::string out;
    out.reserve(aText.size() * 2);
    for (std::size_t w = 0; w < words.size();) {
        if (!words[w].NeedsEncoding) {
            out += words[w].Separators;
            out += words[w].Text;
            ++w;
            continue;
        }
        // A run of words that need encoding becomes one encoded word; the
        // separators before the run stay outside it.
        out += words[w].Separators;
        std::size_t last = w;
        while (last + 1 < words.size() && words[last + 1].NeedsEncoding) {
            ++last;
        }
        const char* runBegin = words[w].Text.data();
        const char* runEnd = words[last].Text.data() + words[last].Text.size();
        AppendEncodedWord(out, std::string_view(runBegin, static_cast<std::size_t>(runEnd - runBegin)), quote,
                          aCharset);
        w = last + 1;
    }
    return out;
}

std::vector<std::string> FoldHeaderLine(std::string_view aLine)
{
    constexpr std::size_t kLimit = 78;
    constexpr std::size_t kNone = std::string::npos;
    const auto isCutChar = [](char c) { return c == ' ' || c == '\t' || c == ','; };

    // nextSolid[j]: the first position from j on that holds no cut character
    // (aLine.size() when none), made on first use.
    std::vector<std::size_t> nextSolid;
    const auto NextSolid = [&](std::size_t aFrom) {
        if (nextSolid.empty()) {
            nextSolid.resize(aLine.size() + 1, aLine.size());
            for (std::size_t j = aLine.size(); j-- > 0;) {
                nextSolid[j] = isCutChar(aLine[j]) ? nextSolid[j + 1] : j;
            }
        }
        return nextSolid[aFrom];
    };

    std::string out;
    out.reserve(aLine.size() + 16);
    std::size_t column = 0;
    bool inQuote = false;
    std::size_t cut = kNone;    // index in out of the last cut point
    std::size_t pieceStart = 0; // index in out where the current piece starts
    for (std::size_t i = 0; i < aLine.size(); ++i) {
        const char c = aLine[i];
        // An existing fold is kept even inside quotes: white space may be
        // folded anywhere, and the quote may be a stray one of plain text.
        if (c == '\r' && i + 2 < aLine.size() && aLine[i + 1] == '\n' && aLine[i + 2] == ' ') {
            out += "\r\n ";
            i += 2;
            pieceStart = out.size() - 1;
            column = 1;
            cut = kNone;
            continue;
        }
        out += c;
        ++column;
        if (c == '"') {
            inQuote = !inQuote;
        } else if (!inQuote && isCutChar(c)) {
            cut = out.size() - 1;
        }
        if (column <= kLimit || inQuote || c == '"' || cut == kNone || cut <= pieceStart) {
            continue;
        }
        // What would follow the cut: the scanned rest of this piece and the
        // unscanned rest of the line, after any further cut characters. No
        // cut when that is at most one character. Counted without copying
        // the rest, so a long line costs linear time.
        std::size_t following = 0;
        std::size_t k = cut + 1;
        while (k < out.size() && isCutChar(out[k])) {
            ++k;
        }
        if (k < out.size()) {
            following = (out.size() - k) + (aLine.size() - i - 1);
        } else {
            following = aLine.size() - NextSolid(i + 1);
        }
        if (following <= 1) {
            continue;
        }
        out.insert(cut + 1, "\r\n ");
        pieceStart = cut + 3;
        column = out.size() - pieceStart;
        cut = kNone;
    }

    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = out.find("\r\n", start);
        std::string line = out.substr(start, end == kNone ? kNone : end - start);
        while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') {
            line.pop_back();
        }
        // A continuation line of nothing but white space would be the empty
        // line that ends the header: it is left out.
        if (lines.empty() || !line.empty()) {
            lines.push_back(std::move(line));
        }
        if (end == kNone) {
            break;
        }
        start = end + 2;
    }
    return lines;
}

std::string FormatDate(const std::tm& aLocal, long aGmtOffsetSeconds)
{
    static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto wrap = [](int aValue, int aRange) { return ((aValue % aRange) + aRange) % aRange; };
    const long offsetMinutes = aGmtOffsetSeconds / 60;
    const char sign = offsetMinutes < 0 ? '-' : '+';
    const long absMinutes = (offsetMinutes < 0 ? -offsetMinutes : offsetMinutes) % (100 * 60);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %d %s %ld %02d:%02d:%02d %c%02ld%02ld",
                  kDays[static_cast<std::size_t>(wrap(aLocal.tm_wday, 7))], aLocal.tm_mday,
                  kMonths[static_cast<std::size_t>(wrap(aLocal.tm_mon, 12))], static_cast<long>(aLocal.tm_year) + 1900,
                  aLocal.tm_hour, aLocal.tm_min, aLocal.tm_sec, sign, absMinutes / 60, absMinutes % 60);
    return buffer;
}

std::string CurrentDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) {
        throw ETimeZoneError("Failed attempting to retrieve time zone information.");
    }
    return FormatDate(local, local.tm_gmtoff);
}

} // namespace emlsend
