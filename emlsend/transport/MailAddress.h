#pragma once
// One mail address with an optional display name, as the control file gives
// it and as the message header writes it.

#include <string>
#include <string_view>

namespace emlsend {

struct MailAddress {
    std::string Name;    // display name, may be empty
    std::string Address; // the bare address (local-part@domain), may be empty

    // Reads one address from aText in one of the forms "A", "N <A>",
    // "\"N\" <A>" or "A (N)" (the comment is dropped, giving no name).
    // Blanks and tabs around the text, the name and the address are trimmed;
    // backslash escapes inside double quotes are honoured. Never fails: a
    // text without an address gives an empty address.
    static MailAddress Parse(std::string_view aText);

    // The address as a header writes it. With aNameDefaultsToAddress an empty
    // name takes the address. An empty name gives the bare address; a name
    // with a byte below the blank or above the tilde becomes encoded words
    // labelled aCharset; any other name is quoted with backslashes before
    // backslashes and double quotes, word by word when it is longer than
    // kLongestPlainWord (HeaderEncoding.h), so that it can be folded. The result is "name <address>".
    std::string Format(bool aNameDefaultsToAddress, std::string_view aCharset) const;

    bool IsEmpty() const noexcept { return Name.empty() && Address.empty(); }
    bool operator==(const MailAddress&) const = default;
};

} // namespace emlsend
