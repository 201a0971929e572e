#pragma once
// The program flow of `emlsend`: one control file in, one message out, sent
// over SMTP with a progress bar or handed to the user's mail program.

#include "ConsoleAPI.h"
#include "ControlFile.h"
#include "MailerInclude.h"

#include <cstdint>
#include <string>
#include <vector>

namespace emlsend {

// The server account used when the SMTP section does not name one; set at
// build time (CMake cache variables EMLSEND_DEFAULT_HOST,
// EMLSEND_DEFAULT_USER and EMLSEND_DEFAULT_PASSWORD).
struct TServerAccount {
    std::string Host;
    std::string UserName;
    std::string Password;
};
TServerAccount BuiltInAccount();

// Hands the composed control file to aMailer: the built-in account, then
// the SMTP settings present (the port before the host), the HTML flag, the
// first subject line, the first sender line, the recipients, copies and
// blind copies, the attachments and the body lines.
void ComposeMessage(const TControlFile& aFile, IMailer& aMailer, const TServerAccount& aAccount);

// The port of "Security=TLS" when "Host" names none (RFC 8314).
inline constexpr std::int32_t kTlsPort = 465;

// Why the SMTP section must not be used: an "OAuthTokenCommand" runs a
// command, so it is honoured only in a control file that belongs to the user
// running the program and that nobody else may write to
// (TControlFile::PrivateToUser). Empty when there is no objection.
std::string CommandRefusal(const TControlFile& aFile, const std::string& aControlPath);

// Writes aText followed by CRLF to aPath, created anew with the mode 0666
// less the umask (through a hidden file beside it, see FileSink). Throws
// EFCreateError or EInOutError.
void WriteResultFile(const std::string& aPath, const std::string& aText);

// The whole run. aArguments[0] is the control file's path; further
// arguments are ignored. Without an argument, or when no file exists at the
// path, nothing happens and the result is 0. Otherwise the message is sent
// (with the SMTP section) or shown in the mail program, a failed send
// leaves its text in the result file, and the control file is deleted
// unless it said "[NODELETE]"; the result is 0. Any other failure writes
// "emlsend: <text>" to aErrorHandle and returns 1, the control file kept;
// when it is the result file that cannot be written, the line
// "emlsend: The message was not sent: <the send's text>" comes first.
int RunEmlSend(const std::vector<std::string>& aArguments, TConsole& aConsole, int aErrorHandle);

} // namespace emlsend
