// Quoted-printable encoding of one body line: every output line is at most
// 73 characters of printable ASCII, blanks and tabs; no line begins with a
// period (SMTP's end of data); every line but the last ends with a soft break;
// the last line does not end in a blank or tab; decoding gives the line back.

#include "ContentEncoding.h"
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    const std::string_view source(reinterpret_cast<const char*>(aData), aSize);
    const std::vector<std::string> lines = emlsend::EncodeQuotedPrintable(source);
    FUZZ_CHECK(!lines.empty());
    // Each source byte gives at most "=XX" plus a share of the soft breaks.
    FUZZ_CHECK(lines.size() <= aSize / 23 + 1);

    std::string decoded;
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const bool last = n + 1 == lines.size();
        FUZZ_CHECK(line.size() <= 73);
        FUZZ_CHECK(!line.starts_with('.'));
        for (const char c : line) {
            const auto byte = static_cast<unsigned char>(c);
            FUZZ_CHECK((byte >= 33 && byte <= 126) || byte == ' ' || byte == '\t');
        }
        FUZZ_CHECK(last || line.ends_with('='));
        if (last && !line.empty())
            FUZZ_CHECK(line.back() != ' ' && line.back() != '\t');
        const size_t textEnd = last ? line.size() : line.size() - 1;
        for (size_t i = 0; i < textEnd; ++i) {
            if (line[i] == '=') {
                FUZZ_CHECK(i + 2 < textEnd);
                const int hi = fuzz::HexValue(line[i + 1]);
                const int lo = fuzz::HexValue(line[i + 2]);
                FUZZ_CHECK(hi >= 0 && lo >= 0);
                decoded += static_cast<char>(hi * 16 + lo);
                i += 2;
            } else {
                decoded += line[i];
            }
        }
    }
    FUZZ_CHECK(decoded == source);
    return 0;
}
