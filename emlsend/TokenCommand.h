#pragma once
// The command of "OAuthTokenCommand" that prints an OAuth 2 access token.

#include <chrono>
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

// Runs aCommand through "/bin/sh -c" in a process group of its own, its
// standard input on /dev/null, and returns its standard output without the
// white space around it. Failures (ETokenCommandError): the shell cannot be
// started; the command ends with a code other than 0 or by a signal (the
// first line of its standard error is quoted); it prints nothing but white
// space, or more than 64 KiB; it runs longer than aLimit (the whole process
// group is then killed).
std::string RunTokenCommand(const std::string& aCommand, std::chrono::milliseconds aLimit = kTokenCommandLimit);

} // namespace emlsend
