// Header text encoding and folding, as the message writer chains them:
// "Subject: " + EncodeHeaderText(text), folded. What must hold:
// - a mail reader's decoding of the encoded text gives the text back, and no
//   encoded word is longer than 75 characters;
// - the encoded text holds only printable ASCII and white space;
// - the folded lines, put back together, hold the same text but for the
//   white space at the folds; every line after the first begins with a blank
//   or tab (anything else would start a new header field), and none holds a
//   carriage return or line feed;
// - a folded line other than the last is longer than 79 characters (78 and
//   the comma it was cut after) only when it had no place to cut.
// The first input byte gives the number of extra special characters taken
// from the input's next bytes. The text holds no CR or LF: every header text
// comes from one line of the control file.

#include "FuzzSupport.h"
#include "HeaderEncoding.h"

#include <cstddef>
#include <cstdint>

namespace {

std::string WithoutWhiteSpace(std::string_view aText)
{
    std::string out;
    for (const char c : aText)
        if (static_cast<unsigned char>(c) > ' ')
            out += c;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    if (aSize == 0)
        return 0;
    std::string_view input(reinterpret_cast<const char*>(aData), aSize);
    const size_t specialCount = std::min<size_t>(aData[0] % 8, aSize - 1);
    const std::string_view specials = input.substr(1, specialCount);
    const std::string_view text = input.substr(1 + specialCount);
    if (text.find_first_of("\r\n") != std::string_view::npos)
        return 0;
    constexpr std::string_view kCharset = "windows-1250";

    const std::string encoded = emlsend::EncodeHeaderText(text, specials, kCharset);
    for (const char c : encoded) {
        const auto byte = static_cast<unsigned char>(c);
        FUZZ_CHECK((byte > ' ' && byte < 127) || c == ' ' || c == '\t' || c == '\r' || c == '\n');
    }
    size_t longestWord = 0;
    const auto decoded = fuzz::DecodeHeaderText(encoded, kCharset, longestWord);
    FUZZ_CHECK(decoded.has_value());
    FUZZ_CHECK(*decoded == text);
    FUZZ_CHECK(longestWord <= 75);
    // Each byte becomes at most "=XX"; each encoded word adds its marks and a
    // fold (22 characters) and takes at least one byte and a separator.
    FUZZ_CHECK(encoded.size() <= 3 * text.size() + (text.size() / 2 + 1) * 22);

    const std::string line = "Subject: " + encoded;
    const std::vector<std::string> folded = emlsend::FoldHeaderLine(line);
    FUZZ_CHECK(!folded.empty());
    std::string joined;
    for (size_t n = 0; n < folded.size(); ++n) {
        const std::string& physical = folded[n];
        FUZZ_CHECK(physical.find_first_of("\r\n") == std::string::npos);
        if (n > 0)
            FUZZ_CHECK(physical.starts_with(' ') || physical.starts_with('\t'));
        const bool last = n + 1 == folded.size();
        if (!last && physical.size() > 79) {
            // No blank, tab or comma within the first 79 characters (after the
            // leading blank) could have cut it, or a plain double quote of the
            // text opened a quoted string.
            const std::string_view head = std::string_view(physical).substr(1, 78);
            FUZZ_CHECK(head.find_first_of(" \t,") == std::string_view::npos ||
                       text.find('"') != std::string_view::npos);
        }
        joined += physical;
    }
    FUZZ_CHECK(WithoutWhiteSpace(joined) == WithoutWhiteSpace(line));
    return 0;
}
