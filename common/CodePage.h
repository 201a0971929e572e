#pragma once
// Decoding text from Windows code page identifiers through the C library's iconv.
//
// Identifiers: 852 CP852, 1250 CP1250, 1200 UTF-16LE, 1201 UTF-16BE, 65000 UTF-7,
// 65001 UTF-8, 0 the current locale's character set, 28591..28599 ISO-8859-1..9,
// 20866 KOI8-R, any other n CP<n>.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace hostutils {

// The iconv name for a code page identifier (no check that iconv knows it).
std::string IconvCharsetName(int aCodePage);

// The byte-order mark of the code page's own encoding: the UTF-8 mark for 65001,
// the UTF-16 marks for 1200 and 1201; empty for every other code page.
std::string_view ByteOrderMark(int aCodePage);

// Turns bytes of one code page into UTF-16, chunk by chunk. Invalid byte
// sequences become U+FFFD and never stop the decoding; an incomplete sequence
// at the end of the final chunk becomes one U+FFFD.
class TCodePageDecoder {
public:
    // Throws EEncodingError("Invalid code page") when iconv does not know the code page.
    explicit TCodePageDecoder(int aCodePage);
    ~TCodePageDecoder();
    TCodePageDecoder(const TCodePageDecoder&) = delete;
    TCodePageDecoder& operator=(const TCodePageDecoder&) = delete;

    // Decodes from aInput, appending to aOutput, and returns the number of bytes
    // consumed. Unless aFinal, bytes of a sequence cut at the chunk's end are left
    // unconsumed: pass them again at the start of the next chunk.
    size_t Decode(std::string_view aInput, std::u16string& aOutput, bool aFinal);

    // Decodes a whole text in one call.
    std::u16string DecodeAll(std::string_view aInput);

private:
    struct State;
    std::unique_ptr<State> FState;
};

// Turns UTF-16 text into bytes of the iconv character set aIconvCharset (such
// as IconvCharsetName's result or nl_langinfo(CODESET)). A character the
// target cannot represent, and a lone surrogate, becomes one "?". Throws
// EEncodingError("Invalid code page") when iconv does not know the target.
std::string EncodeText(std::u16string_view aText, const std::string& aIconvCharset);

} // namespace hostutils
