#include "SmtpReply.h"

#include "TransportErrors.h"

namespace emlsend {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the digit run at the start of aText.
std::size_t DigitRun(std::string_view aText)
{
    std::size_t n = 0;
    while (n < aText.size() && IsDigit(aText[n])) {
        ++n;
    }
    return n;
}

} // namespace

std::string SmtpReply::Text() const
{
    std::string text;
    for (const std::string& line : Lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

bool IsLastReplyLine(std::string_view aLine) { return aLine.size() < 4 || aLine[3] == ' '; }

int ParseReplyCode(std::string_view aFirstLine)
{
    const std::string_view prefix = aFirstLine.substr(0, 3);
    if (prefix.find_first_not_of(' ') == std::string_view::npos) {
        return 0;
    }
    if (prefix.size() == 3 && IsDigit(prefix[0]) && prefix[0] != '0' && IsDigit(prefix[1]) && IsDigit(prefix[2])) {
        return (prefix[0] - '0') * 100 + (prefix[1] - '0') * 10 + (prefix[2] - '0');
    }
    throw EInvalidReplyCode("Reply Code is not valid: " + std::string(prefix));
}

std::string ReplyLineText(std::string_view aLine)
{
    if (aLine.size() <= 4) {
        return {};
    }
    std::string_view text = aLine.substr(4);
    // digit . number . number, first digit 2, 4 or 5, as a whole first word
    if (!text.empty() && (text[0] == '2' || text[0] == '4' || text[0] == '5') && text.size() > 1 && text[1] == '.') {
        std::size_t i = 2;
        const std::size_t subject = DigitRun(text.substr(i));
        i += subject;
        if (subject > 0 && i < text.size() && text[i] == '.') {
            ++i;
            const std::size_t detail = DigitRun(text.substr(i));
            i += detail;
            if (detail > 0 && (i == text.size() || text[i] == ' ')) {
                text.remove_prefix(i == text.size() ? i : i + 1);
            }
        }
    }
    return std::string(text);
}

SmtpReply ReadSmtpReply(const std::function<std::string(std::size_t)>& aReadLine)
{
    // The whole reply is read before its code is judged, so that a refused
    // code leaves the connection at the start of the next reply.
    SmtpReply reply;
    std::string first = aReadLine(kMaxReplyLine);
    std::string line = first;
    while (true) {
        reply.Lines.push_back(ReplyLineText(line));
        if (IsLastReplyLine(line)) {
            break;
        }
        if (reply.Lines.size() >= kMaxReplyLines) {
            throw ESmtpClientError("Reply too long.");
        }
        line = aReadLine(kMaxReplyLine);
    }
    reply.Code = ParseReplyCode(first);
    return reply;
}

} // namespace emlsend
