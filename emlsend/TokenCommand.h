#pragma once
// The command of "OAuthTokenCommand" that prints an OAuth 2 access token.

#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>

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

// Runs aCommand through "/bin/sh -c" in a process group of its own, its
// standard input on /dev/null, and returns its standard output without the
// white space around it. The output is complete when the shell has exited
// and either its standard output is closed or the first line of the token
// has ended; then the whole process group is ended, so that a background
// child holds nothing up. Failures (ETokenCommandError): the shell cannot be
// started; the command ends with a code other than 0 or by a signal (the
// first line of its standard error is quoted); it prints nothing but white
// space; it prints a token of more than kMaxTokenSize bytes ("OAuthTokenCommand
// \"<command>\" printed a token of <n> bytes; a token may have at most
// 16384."); it runs longer than aLimit (the whole process group is then
// killed).
std::string RunTokenCommand(const std::string& aCommand, std::chrono::milliseconds aLimit = kTokenCommandLimit);

} // namespace emlsend
