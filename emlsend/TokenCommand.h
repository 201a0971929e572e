#pragma once
// The command of "OAuthTokenCommand" that prints an OAuth 2 access token.

#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace emlsend {

// The longest a token command may run.
inline constexpr std::chrono::milliseconds kTokenCommandLimit{30 * 1000};

// A token command that failed; what() says why, starting with
// "OAuthTokenCommand".
class ETokenCommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The longest token taken, in bytes; sign-in lines stay well within what
// servers accept.
inline constexpr std::size_t kMaxTokenSize = 16 * 1024;

// The most of a token command's standard output that is read: an endless
// command is stopped once it printed more.
inline constexpr std::size_t kMaxTokenOutput = 64 * 1024;

// The program a token command line starts, for messages: its first word
// after any NAME=value assignments, without a directory. Nothing else of
// the command (arguments may be secrets) is ever quoted. Empty when there
// is none.
std::string TokenCommandName(std::string_view aCommand);

// Runs aCommand through "/bin/sh -c", its standard input on /dev/null, and
// returns the token it prints: the first line with text, without the white
// space around it. The shell runs under a keeper process that every process
// the command leaves behind falls to (also one that made a session of its
// own with setsid()); once the output is complete, the keeper kills them
// all, so nothing outlives the command. The output is complete when the
// shell has exited and either its standard output is closed or the first
// line of the token has ended. Failures (ETokenCommandError, <name> being
// TokenCommandName in double quotes):
//   the command cannot be started      "OAuthTokenCommand cannot be started: %s"
//   it ends with a code other than 0   "OAuthTokenCommand failed with exit code
//                                      %d: <first line of standard error>"
//   it is ended by a signal            "OAuthTokenCommand was ended by signal
//                                      %d: <first line of standard error>"
//   (without standard error text, ": <line>" is just ".")
//   it prints nothing but white space  "OAuthTokenCommand printed no token."
//   a second line with text            "OAuthTokenCommand <name> printed more
//                                      than one line; the token must be the
//                                      only line of its output."
//   a token over kMaxTokenSize         "OAuthTokenCommand <name> printed a
//                                      token of %zu bytes; a token may have at
//                                      most 16384."
//   more than kMaxTokenOutput printed  "OAuthTokenCommand <name> printed more
//                                      than 65536 bytes; a token may have at
//                                      most 16384." (reading stops there)
//   it runs longer than aLimit         "OAuthTokenCommand took longer than %d
//                                      s." (or "ms.")
std::string RunTokenCommand(const std::string& aCommand, std::chrono::milliseconds aLimit = kTokenCommandLimit);

} // namespace emlsend
