#pragma once
// Helpers of the tests that run processes: the emlsend program itself, a
// real SMTP server (aiosmtpd) and a stand-in for xdg-open. Every wait is
// bounded; every child is gone when its owner is.

#include <cstdint>
#include <string>
#include <vector>

namespace emlsend::test {

struct ProcessResult {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
    bool timedOut = false;
    long maxRssKb = 0; // the child's peak resident memory
};

// Runs aArguments (aArguments[0] is the program path) with the environment
// of this process changed by aEnvironment ("NAME=value" replaces or adds,
// "NAME" alone removes) in the directory aWorkingDirectory (empty: this
// process's), standard input on /dev/null and both output streams caught
// through pipes. Killed after aTimeOutSeconds.
ProcessResult RunProcess(const std::vector<std::string>& aArguments, const std::vector<std::string>& aEnvironment = {},
                         const std::string& aWorkingDirectory = {}, int aTimeOutSeconds = 60);

// Waits up to 10 s for aPath to exist.
bool WaitForFile(const std::string& aPath);

// aiosmtpd (smtp_server.py) in a child process, storing what it receives in
// aDirectory, with the script's options aOptions (TLS, sign-in mechanisms,
// the address); stopped by the destructor. port() is 0 when it did not start.
class AiosmtpdServer {
public:
    explicit AiosmtpdServer(const std::string& aDirectory, const std::vector<std::string>& aOptions = {});
    ~AiosmtpdServer();
    AiosmtpdServer(const AiosmtpdServer&) = delete;
    AiosmtpdServer& operator=(const AiosmtpdServer&) = delete;
    std::uint16_t port() const { return FPort; }

private:
    int FChild = -1;
    std::uint16_t FPort = 0;
};

// Certificates made for a test by make_test_ca.sh in aDirectory: File("ca.pem"),
// "server.pem"/"server.key" and the others the script lists.
class TestCertificates {
public:
    explicit TestCertificates(const std::string& aDirectory);
    std::string File(const std::string& aName) const { return FDirectory + "/" + aName; }
    // "--cert <name>.pem --key <name>.key" for AiosmtpdServer.
    std::vector<std::string> ServerOptions(const std::string& aName) const;

private:
    std::string FDirectory;
};

// Sets an environment variable for the life of the object and then restores
// its earlier value (or its absence). aValue null removes the variable.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* aName, const char* aValue);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string FName;
    std::string FOldValue;
    bool FWasSet = false;
};

// A directory holding an executable "xdg-open" that appends its arguments,
// one a line, to the file calls() and copies the file it is given to
// copy(); put path() first on PATH.
class FakeOpener {
public:
    explicit FakeOpener(const std::string& aDirectory);
    const std::string& path() const { return FDirectory; }
    std::string calls() const { return FDirectory + "/calls.txt"; }
    std::string copy() const { return FDirectory + "/opened.eml"; }
    // "PATH=<path()>:<this process's PATH>".
    std::string PathVariable() const;

private:
    std::string FDirectory;
};

} // namespace emlsend::test
