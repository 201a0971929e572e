#pragma once
// The control file that the host writes for one run: bracketed section
// headers, the lines of each section, and the settings of the "[SMTP]"
// section. Lines are single-byte text (windows-1250) kept byte for byte;
// nothing is trimmed and nothing is cut to a length.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emlsend {

// The lines of aContent: a line ends at CR LF, a lone CR or a lone LF, and
// a NUL byte ends the content. A line break at the very end does not start
// another line, so "a\r\n" is one line and "" none.
std::vector<std::string> SplitControlLines(std::string_view aContent);

struct TControlFile {
    bool Html = false;      // a line "<HTML>" (any case) stood anywhere
    bool Smtp = false;      // "[SMTP]" was present: send by SMTP
    bool DeleteFile = true; // cleared by "[NODELETE]"
    // Read set it: the file belongs to the user running the program and
    // nobody else may write to it (neither group nor others), as a file
    // that makes the program run a command must be.
    bool PrivateToUser = false;
    std::vector<std::string> SmtpLines;
    std::vector<std::string> Subject;
    std::vector<std::string> From;
    std::vector<std::string> To;
    std::vector<std::string> Copies;
    std::vector<std::string> HiddenCopies;
    std::vector<std::string> Attachments;
    std::vector<std::string> Body;

    // Classifies every line, in order, by the first rule that applies:
    // "**" at the start is a comment; a section header (after ASCII letters
    // are upper-cased) opens its section ("[NODELETE]" only clears
    // DeleteFile and leaves the section open); any other line holding "["
    // closes the section and is dropped, as is every line until the next
    // header; any other line sets Html when it reads "<HTML>" and is added
    // to the open section, if any. Never fails.
    static TControlFile Parse(std::string_view aContent);

    // Reads and parses the file at aPath. Throws EFOpenError
    // "Cannot open file \"%s\". %s" when it cannot be read.
    static TControlFile Read(const std::string& aPath);
};

// The settings of the SMTP section; a key that is absent stays empty.
struct TSmtpSettings {
    std::optional<std::string> Host;
    std::optional<std::int32_t> Port; // only from "Host" when it names a valid port
    std::optional<std::string> UserName;
    std::optional<std::string> Password;
    std::optional<std::int32_t> TimeOut; // only when its value is a whole number
    std::optional<std::string> Security; // "Security": None, StartTLS or TLS (any case)
    std::optional<std::string> TlsTrustFile;
    std::optional<std::string> OAuthTokenCommand;

    // Lines "key=value": the key is the text before the first "=", compared
    // without regard to ASCII case; the first line with a key counts, lines
    // with other keys or without "=" are ignored. "Host" is "host[:port]":
    // the port (the first 40 characters after the first colon) counts when
    // it reads as a whole number (StrToInt's notation).
    static TSmtpSettings Parse(const std::vector<std::string>& aLines);
};

// The result file "eml456.txt" in the directory part of aControlPath (the
// text up to and including its last "/"); a bare file name gives
// "eml456.txt" in the current directory.
std::string ResultFilePath(std::string_view aControlPath);

} // namespace emlsend
