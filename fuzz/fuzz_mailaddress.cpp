// The mail address parser and the header form of an address. Parsing never
// fails and gives back only what the text holds (no more bytes than the
// input, trimmed); the header form read back by a mail reader gives the same
// name and address: a plain name through its quotes and backslashes, any
// other name through its encoded words.

#include "FuzzSupport.h"
#include "HeaderEncoding.h"
#include "MailAddress.h"

#include <cstddef>
#include <cstdint>

namespace {

bool Trimmed(std::string_view aText)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return aText.empty() || (!blank(aText.front()) && !blank(aText.back()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    const std::string_view text(reinterpret_cast<const char*>(aData), aSize);
    const emlsend::MailAddress address = emlsend::MailAddress::Parse(text);
    FUZZ_CHECK(address.Name.size() + address.Address.size() <= text.size());
    FUZZ_CHECK(Trimmed(address.Name));
    FUZZ_CHECK(Trimmed(address.Address));

    constexpr std::string_view kCharset = "windows-1250";
    for (const bool nameDefaults : {false, true}) {
        const std::string header = address.Format(nameDefaults, kCharset);
        std::string shownName = address.Name;
        if (nameDefaults && shownName.empty())
            shownName = address.Address;
        if (shownName.empty()) {
            FUZZ_CHECK(header == address.Address);
            continue;
        }
        FUZZ_CHECK(header.ends_with(" <" + address.Address + ">"));
        const std::string_view phrase = std::string_view(header).substr(0, header.size() - address.Address.size() - 3);
        bool plain = true;
        for (const char c : shownName)
            plain = plain && static_cast<unsigned char>(c) >= ' ' && static_cast<unsigned char>(c) <= '~';
        if (plain && shownName.size() > emlsend::kLongestPlainWord) {
            // Too long for one quoted string: quoted word by word, so that
            // the folding keeps every line within 998 octets.
            for (const std::string& line : emlsend::FoldHeaderLine("From: " + header))
                FUZZ_CHECK(line.size() <= 998);
        } else if (plain) {
            // A quoted string: read it back, and the parser must agree.
            FUZZ_CHECK(phrase.size() >= 2 && phrase.front() == '"' && phrase.back() == '"');
            std::string unquoted;
            for (size_t i = 1; i + 1 < phrase.size(); ++i) {
                if (phrase[i] == '\\') {
                    ++i;
                    FUZZ_CHECK(i + 1 < phrase.size());
                } else {
                    FUZZ_CHECK(phrase[i] != '"');
                }
                unquoted += phrase[i];
            }
            FUZZ_CHECK(unquoted == shownName);
            if (address.Address.find('>') == std::string::npos && !nameDefaults) {
                FUZZ_CHECK(emlsend::MailAddress::Parse(header) == address);
            }
        } else {
            // Encoded words only: the specials of a phrase never stand bare.
            size_t longestWord = 0;
            const auto decoded = fuzz::DecodeHeaderText(phrase, kCharset, longestWord);
            FUZZ_CHECK(decoded.has_value());
            FUZZ_CHECK(*decoded == shownName);
            FUZZ_CHECK(longestWord <= 75);
            const std::string opening = "=?" + std::string(kCharset) + "?Q?";
            std::string outside = std::string(phrase);
            for (size_t at = outside.find(opening); at != std::string::npos; at = outside.find(opening)) {
                const size_t end = outside.find("?=", at + opening.size());
                FUZZ_CHECK(end != std::string::npos);
                outside.erase(at, end + 2 - at);
            }
            FUZZ_CHECK(outside.find_first_of("()<>[]:;@\\,.\"") == std::string::npos);
        }
    }
    return 0;
}
