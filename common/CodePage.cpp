#include "CodePage.h"

#include "Exceptions.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>

namespace hostutils {

namespace {

constexpr char16_t kReplacement = u'\uFFFD';
const char* const kUtf16Native = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

iconv_t OpenOrThrow(const std::string& aFrom)
{
    iconv_t cd = iconv_open(kUtf16Native, aFrom.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw EEncodingError("Invalid code page");
    return cd;
}

} // namespace

std::string IconvCharsetName(int aCodePage)
{
    switch (aCodePage) {
    case 0: {
        const char* codeset = nl_langinfo(CODESET);
        return codeset && *codeset ? codeset : "ASCII";
    }
    case 1200:
        return "UTF-16LE";
    case 1201:
        return "UTF-16BE";
    case 65000:
        return "UTF-7";
    case 65001:
        return "UTF-8";
    case 20866:
        return "KOI8-R";
    default:
        break;
    }
    if (aCodePage >= 28591 && aCodePage <= 28599)
        return "ISO-8859-" + std::to_string(aCodePage - 28590);
    return "CP" + std::to_string(aCodePage);
}

std::string_view ByteOrderMark(int aCodePage)
{
    switch (aCodePage) {
    case 65001:
        return "\xEF\xBB\xBF";
    case 1200:
        return "\xFF\xFE";
    case 1201:
        return "\xFE\xFF";
    default:
        return {};
    }
}

// A code page whose every byte stands alone decodes through a 256-entry table
// built once from iconv; any other goes through iconv byte stream by stream.
struct TCodePageDecoder::State {
    iconv_t Cd = reinterpret_cast<iconv_t>(-1);
    bool SingleByte = false;
    std::array<char16_t, 256> Table{};
    size_t UnitSize = 1; // bytes skipped after an invalid sequence

    ~State()
    {
        if (Cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(Cd);
    }

    // Fills the table; false when some byte is only the start of a longer
    // sequence, or the encoding keeps shift state.
    bool BuildTable()
    {
        for (int b = 0; b < 256; ++b) {
            iconv(Cd, nullptr, nullptr, nullptr, nullptr);
            char in = static_cast<char>(b);
            char* inPtr = &in;
            size_t inLeft = 1;
            char16_t out[4];
            char* outPtr = reinterpret_cast<char*>(out);
            size_t outLeft = sizeof out;
            const size_t rc = iconv(Cd, &inPtr, &inLeft, &outPtr, &outLeft);
            const size_t produced = (sizeof out - outLeft) / sizeof(char16_t);
            if (rc == static_cast<size_t>(-1)) {
                if (errno != EILSEQ)
                    return false;
                Table[b] = kReplacement;
            } else if (produced == 1) {
                Table[b] = out[0];
            } else {
                return false;
            }
        }
        iconv(Cd, nullptr, nullptr, nullptr, nullptr);
        return true;
    }
};

TCodePageDecoder::TCodePageDecoder(int aCodePage) : FState(std::make_unique<State>())
{
    FState->Cd = OpenOrThrow(IconvCharsetName(aCodePage));
    FState->UnitSize = (aCodePage == 1200 || aCodePage == 1201) ? 2 : 1;
    FState->SingleByte = FState->BuildTable();
}

TCodePageDecoder::~TCodePageDecoder() = default;

size_t TCodePageDecoder::Decode(std::string_view aInput, std::u16string& aOutput, bool aFinal)
{
    State& s = *FState;
    if (s.SingleByte) {
        const size_t start = aOutput.size();
        aOutput.resize(start + aInput.size());
        char16_t* out = aOutput.data() + start;
        for (unsigned char c : aInput)
            *out++ = s.Table[c];
        return aInput.size();
    }

    char* inPtr = const_cast<char*>(aInput.data());
    size_t inLeft = aInput.size();
    while (inLeft > 0) {
        // Every encoding iconv offers yields at most one UTF-16 unit per input
        // byte, plus a little for a flushed shift state.
        const size_t start = aOutput.size();
        aOutput.resize(start + inLeft + 8);
        char* outPtr = reinterpret_cast<char*>(aOutput.data() + start);
        size_t outLeft = (inLeft + 8) * sizeof(char16_t);
        const size_t rc = iconv(s.Cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        const auto written = reinterpret_cast<char16_t*>(outPtr) - (aOutput.data() + start);
        aOutput.resize(start + static_cast<size_t>(written));
        if (rc != static_cast<size_t>(-1))
            break;
        if (err == E2BIG)
            continue;
        if (err == EINVAL) { // sequence cut at the end of the input
            if (!aFinal)
                return aInput.size() - inLeft;
            aOutput.push_back(kReplacement);
            inPtr += inLeft;
            inLeft = 0;
            break;
        }
        // EILSEQ: one invalid unit becomes the replacement character.
        aOutput.push_back(kReplacement);
        const size_t skip = std::min(inLeft, s.UnitSize);
        inPtr += skip;
        inLeft -= skip;
    }
    if (aFinal) {
        char16_t tail[8];
        char* outPtr = reinterpret_cast<char*>(tail);
        size_t outLeft = sizeof tail;
        iconv(s.Cd, nullptr, nullptr, &outPtr, &outLeft);
        aOutput.append(tail, reinterpret_cast<char16_t*>(outPtr) - tail);
    }
    return aInput.size() - inLeft;
}

std::u16string TCodePageDecoder::DecodeAll(std::string_view aInput)
{
    std::u16string out;
    out.reserve(aInput.size());
    Decode(aInput, out, true);
    return out;
}

std::string EncodeText(std::u16string_view aText, const std::string& aIconvCharset)
{
    iconv_t cd = iconv_open(aIconvCharset.c_str(), kUtf16Native);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw EEncodingError("Invalid code page");
    const std::unique_ptr<void, int (*)(iconv_t)> closer(cd, iconv_close);
    std::string out;
    char* inPtr = reinterpret_cast<char*>(const_cast<char16_t*>(aText.data()));
    size_t inLeft = aText.size() * sizeof(char16_t);
    while (true) {
        // Every character set iconv offers takes at most a few bytes per unit.
        const size_t start = out.size();
        const size_t room = inLeft * 4 + 16;
        out.resize(start + room);
        char* outPtr = out.data() + start;
        size_t outLeft = room;
        const size_t rc =
            inLeft > 0 ? iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) : iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        const int err = errno;
        out.resize(start + (room - outLeft));
        if (rc != static_cast<size_t>(-1)) {
            if (outLeft == room)
                break; // all converted and the shift state flushed
            continue;
        }
        if (err == E2BIG)
            continue;
        // EILSEQ (no such character in the target) or EINVAL (a surrogate cut
        // at the end): one unit, or one surrogate pair, becomes "?".
        const auto* unit = reinterpret_cast<const char16_t*>(inPtr);
        const size_t skip =
            (inLeft >= 4 && *unit >= 0xD800 && *unit <= 0xDBFF && unit[1] >= 0xDC00 && unit[1] <= 0xDFFF)
                ? 4
                : std::min<size_t>(inLeft, 2);
        out.push_back('?');
        inPtr += skip;
        inLeft -= skip;
    }
    return out;
}

} // namespace hostutils
