#include "ContentEncoding.h"

#include <array>
#include <cstring>
#include <limits>

namespace emlsend {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two base64 characters for every 12-bit value, so that three source bytes
// take two table reads.
struct PairTable {
    std::array<char, 2 * 4096> Chars{};
    constexpr PairTable()
    {
        for (int value = 0; value < 4096; ++value) {
            Chars[2 * value] = kAlphabet[value >> 6];
            Chars[2 * value + 1] = kAlphabet[value & 63];
        }
    }
};
constexpr PairTable kPairs;

// Encodes aSize bytes (at most 57) into one line without line break; returns
// the characters written.
std::size_t EncodeGroupLine(const unsigned char* aData, std::size_t aSize, char* aOut)
{
    char* out = aOut;
    std::size_t i = 0;
    for (; i + 3 <= aSize; i += 3) {
        const unsigned value = (unsigned{aData[i]} << 16) | (unsigned{aData[i + 1]} << 8) | unsigned{aData[i + 2]};
        std::memcpy(out, &kPairs.Chars[2 * (value >> 12)], 2);
        std::memcpy(out + 2, &kPairs.Chars[2 * (value & 0xFFF)], 2);
        out += 4;
    }
    const std::size_t rest = aSize - i;
    if (rest > 0) {
        const unsigned value = (unsigned{aData[i]} << 16) | (rest == 2 ? unsigned{aData[i + 1]} << 8 : 0U);
        out[0] = kAlphabet[(value >> 18) & 63];
        out[1] = kAlphabet[(value >> 12) & 63];
        out[2] = rest == 2 ? kAlphabet[(value >> 6) & 63] : '=';
        out[3] = '=';
        out += 4;
    }
    return static_cast<std::size_t>(out - aOut);
}

} // namespace

std::vector<std::string> EncodeQuotedPrintable(std::string_view aSourceLine)
{
    constexpr char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < aSourceLine.size(); ++i) {
        const auto byte = static_cast<unsigned char>(aSourceLine[i]);
        const bool last = i + 1 == aSourceLine.size();
        const bool safe = (byte >= 33 && byte <= 60) || (byte >= 62 && byte <= 126);
        const bool blank = byte == ' ' || byte == '\t';
        if (byte == '.' && line.empty()) {
            line += "=2E";
        } else if (safe || (blank && !last)) {
            line += static_cast<char>(byte);
        } else {
            line += '=';
            line += kHex[byte >> 4];
            line += kHex[byte & 0x0F];
        }
        if (line.size() >= 70) {
            line += '=';
            lines.push_back(std::move(line));
            line.clear();
        }
    }
    lines.push_back(std::move(line));
    return lines;
}

std::size_t EncodeBase64Lines(const unsigned char* aData, std::size_t aSize, char* aOut)
{
    char* out = aOut;
    for (std::size_t offset = 0; offset < aSize; offset += kBase64LineBytes) {
        const std::size_t chunk = aSize - offset < kBase64LineBytes ? aSize - offset : kBase64LineBytes;
        out += EncodeGroupLine(aData + offset, chunk, out);
        out[0] = '\r';
        out[1] = '\n';
        out += 2;
    }
    return static_cast<std::size_t>(out - aOut);
}

std::uint64_t Base64LinesSize(std::uint64_t aSize)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t fullLines = aSize / kBase64LineBytes;
    const std::uint64_t rest = aSize % kBase64LineBytes;
    if (fullLines > (kMax - 80) / 78) {
        return kMax;
    }
    return fullLines * 78 + (rest == 0 ? 0 : (rest + 2) / 3 * 4 + 2);
}

std::string EncodeBase64(std::string_view aData)
{
    std::string out;
    out.resize((aData.size() + 2) / 3 * 4);
    const auto* data = reinterpret_cast<const unsigned char*>(aData.data());
    std::size_t written = 0;
    for (std::size_t offset = 0; offset < aData.size(); offset += kBase64LineBytes) {
        const std::size_t chunk = aData.size() - offset < kBase64LineBytes ? aData.size() - offset : kBase64LineBytes;
        written += EncodeGroupLine(data + offset, chunk, out.data() + written);
    }
    out.resize(written);
    return out;
}

} // namespace emlsend
