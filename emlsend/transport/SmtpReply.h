#pragma once
// SMTP replies (RFC 5321 section 4.2): a three-digit code and text lines.
// The reader is bounded: a reply line longer than kMaxReplyLine bytes or a
// reply of more than kMaxReplyLines lines fails, so a server can never make
// the client hold more than about 200 KB for one reply.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace emlsend {

struct SmtpReply {
    // 100..999, or 0 when the first three characters of the reply are blank.
    int Code = 0;
    // The text of every line from its fifth character on, with a leading
    // enhanced status code ("5.7.1 ") removed.
    std::vector<std::string> Lines;

    // The lines, each followed by CRLF: the failure text of a refusal.
    std::string Text() const;
};

// Four times the 512 octets RFC 5321 allows a reply line, for servers that
// are generous with their capability lines.
inline constexpr std::size_t kMaxReplyLine = 2048;
inline constexpr std::size_t kMaxReplyLines = 100;

// True for the last line of a reply: shorter than four characters, or with a
// blank as its fourth character.
bool IsLastReplyLine(std::string_view aLine);

// The code of a reply from its first line. Throws EInvalidReplyCode
// "Reply Code is not valid: %s" (with the first three characters) unless
// they are blank (giving 0) or a number from 100 to 999.
int ParseReplyCode(std::string_view aFirstLine);

// The text of one reply line: from the fifth character, without a leading
// enhanced status code (digit 2, 4 or 5, period, number, period, number) and
// the blank after it.
std::string ReplyLineText(std::string_view aLine);

// Reads one reply. aReadLine(maxLength) must return the next line without
// its line feed and carriage return, and throw ESmtpClientError
// "Reply too long." for a line longer than maxLength. A reply with more than
// kMaxReplyLines lines fails with the same text.
SmtpReply ReadSmtpReply(const std::function<std::string(std::size_t)>& aReadLine);

} // namespace emlsend
