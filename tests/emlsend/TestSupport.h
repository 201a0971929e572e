#pragma once
// Helpers of the transport tests: a private temporary directory, running a
// Python helper, and a scripted SMTP server on a loopback port chosen at run
// time. Everything waits with a bound; nothing outlives its test.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace emlsend::test {

// The interpreter that carries Debian's Python packages.
inline constexpr const char* kPython = "/usr/bin/python3";

// A directory of mode 0700 under $TMPDIR or /tmp, removed with its files.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return FPath; }
    std::string File(const std::string& aName) const { return FPath + "/" + aName; }

private:
    std::string FPath;
};

void WriteFile(const std::string& aPath, const std::string& aBytes);
std::string ReadFile(const std::string& aPath);
// aSize bytes from a fixed pseudo-random sequence.
std::string PseudoRandomBytes(std::size_t aSize, unsigned aSeed);

// aBytes as lower-case hex digits, "-" for none: the form mime_dump.py
// writes header values and names in.
std::string Hex(const std::string& aBytes);

// mime_dump.py's account of the message file aFile, a line each.
std::vector<std::string> DumpLines(const std::string& aFile);

// Runs aArguments (aArguments[0] is the program path) and returns its
// standard output; fails the test when it exits non-zero or runs longer
// than aTimeOutSeconds (then it is killed).
std::string RunAndCapture(const std::vector<std::string>& aArguments, int aTimeOutSeconds = 60);

// A port on 127.0.0.1 that was free a moment ago (nothing listens on it).
std::uint16_t UnusedPort();

// One accepted connection of ScriptedServer, seen from the server side.
class Peer {
public:
    explicit Peer(int aHandle) : FHandle(aHandle) {}
    // The next line without CRLF; "<eof>" when the client closed, "<timeout>"
    // after 10 s without a line.
    std::string ReadLine();
    // Message data up to the "." line (exclusive), lines joined with CRLF
    // and ending in CRLF, dot-stuffing undone; "<eof>" when the client
    // closed first.
    std::string ReadData();
    // Sends all of aBytes; false when the client has closed the connection.
    bool Send(const std::string& aBytes);
    // Sends nothing more and waits until the client closes (at most 10 s).
    void WaitForClose();
    std::vector<std::string> lines; // every line read, in order

private:
    int FHandle = -1;
    std::string FInput;
};

// Accepts one connection on 127.0.0.1 and runs the script on it in a thread.
// The destructor closes the connection and joins the thread.
class ScriptedServer {
public:
    using Script = std::function<void(Peer&)>;
    explicit ScriptedServer(Script aScript);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return FPort; }
    // Waits for the script to end and returns the lines the server read.
    std::vector<std::string> Finish();

private:
    int FListener = -1;
    std::uint16_t FPort = 0;
    std::thread FThread;
    std::vector<std::string> FLines;
};

// Standard greeting and EHLO exchange: 220, then the EHLO reply lines given
// (the last one is sent with a blank, the others with a hyphen).
void Greet(Peer& aPeer, const std::vector<std::string>& aEhloLines = {"localhost"});
// Reads a command and answers it with aReply (a full reply with CRLF).
void Answer(Peer& aPeer, const std::string& aReply);

} // namespace emlsend::test
