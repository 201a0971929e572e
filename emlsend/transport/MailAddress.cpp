#include "MailAddress.h"

#include "AsciiText.h"
#include "HeaderEncoding.h"

#include <algorithm>

namespace emlsend {
namespace {

// Removes parenthesised comments (nested, outside quotes) and unquotes
// double-quoted stretches, honouring backslash escapes inside them.
std::string Unquote(std::string_view aText)
{
    std::string out;
    bool inQuote = false;
    int commentDepth = 0;
    for (std::size_t i = 0; i < aText.size(); ++i) {
        const char c = aText[i];
        if (inQuote) {
            if (c == '\\' && i + 1 < aText.size()) {
                out += aText[++i];
            } else if (c == '"') {
                inQuote = false;
            } else {
                out += c;
            }
        } else if (commentDepth > 0) {
            if (c == '\\' && i + 1 < aText.size()) {
                ++i;
            } else if (c == '(') {
                ++commentDepth;
            } else if (c == ')') {
                --commentDepth;
            }
        } else if (c == '"') {
            inQuote = true;
        } else if (c == '(') {
            commentDepth = 1;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

MailAddress MailAddress::Parse(std::string_view aText)
{
    aText = hostutils::TrimmedBlanks(aText);
    // Find the opening angle bracket outside quotes and comments.
    bool inQuote = false;
    int commentDepth = 0;
    std::size_t open = std::string_view::npos;
    for (std::size_t i = 0; i < aText.size() && open == std::string_view::npos; ++i) {
        const char c = aText[i];
        if (c == '\\' && (inQuote || commentDepth > 0)) {
            ++i;
        } else if (inQuote) {
            inQuote = c != '"';
        } else if (commentDepth > 0) {
            commentDepth += c == '(' ? 1 : c == ')' ? -1 : 0;
        } else if (c == '"') {
            inQuote = true;
        } else if (c == '(') {
            commentDepth = 1;
        } else if (c == '<') {
            open = i;
        }
    }
    MailAddress result;
    if (open == std::string_view::npos) {
        result.Address = std::string(hostutils::TrimmedBlanks(Unquote(aText)));
        return result;
    }
    const std::size_t close = aText.find('>', open + 1);
    const std::string_view inside =
        aText.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
    result.Address = std::string(hostutils::TrimmedBlanks(inside));
    result.Name = std::string(hostutils::TrimmedBlanks(Unquote(aText.substr(0, open))));
    return result;
}

std::string MailAddress::Format(bool aNameDefaultsToAddress, std::string_view aCharset) const
{
    std::string shownName = Name;
    if (aNameDefaultsToAddress && shownName.empty()) {
        shownName = Address;
    }
    if (shownName.empty()) {
        return Address;
    }
    bool needsEncoding = false;
    for (const char c : shownName) {
        const auto byte = static_cast<unsigned char>(c);
        needsEncoding = needsEncoding || byte < ' ' || byte > '~';
    }
    const auto quoted = [](std::string_view aText) {
        std::string out = "\"";
        for (const char c : aText) {
            if (c == '\\' || c == '"') {
                out += '\\';
            }
            out += c;
        }
        return out + '"';
    };
    std::string phrase;
    if (needsEncoding) {
        phrase = EncodeHeaderText(shownName, "()[]<>:;.,@\\\"", aCharset);
    } else if (shownName.size() <= kLongestPlainWord) {
        phrase = quoted(shownName);
    } else {
        // The folding never cuts inside double quotes: a name too long for
        // one line is written as one quoted string per word, which a reader
        // joins with single blanks again, and a word too long for a line of
        // its own as encoded words.
        std::size_t start = 0;
        while (start < shownName.size()) {
            const std::size_t end = std::min(shownName.find_first_of(" \t", start), shownName.size());
            if (end > start) {
                const std::string_view word = std::string_view(shownName).substr(start, end - start);
                phrase += phrase.empty() ? "" : " ";
                phrase += word.size() <= kLongestPlainWord ? quoted(word)
                                                           : EncodeHeaderText(word, "()[]<>:;.,@\\\"", aCharset, true);
            }
            start = end + 1;
        }
    }
    return phrase + " <" + Address + ">";
}

} // namespace emlsend
