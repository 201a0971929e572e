#include "TestSupport.h"

#include "ProcessSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace emlsend::test {
namespace {

constexpr int kServerWaitMs = 10000;

bool WaitReadable(int aHandle, int aTimeOutMs)
{
    pollfd fd{aHandle, POLLIN, 0};
    return ::poll(&fd, 1, aTimeOutMs) > 0;
}

} // namespace

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/emlsend-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    FPath = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

void WriteFile(const std::string& aPath, const std::string& aBytes)
{
    std::ofstream out(aPath, std::ios::binary);
    out.write(aBytes.data(), static_cast<std::streamsize>(aBytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + aPath);
    }
}

std::string ReadFile(const std::string& aPath)
{
    std::ifstream in(aPath, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string Hex(const std::string& aBytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const char c : aBytes) {
        out += kDigits[static_cast<unsigned char>(c) >> 4];
        out += kDigits[static_cast<unsigned char>(c) & 15];
    }
    return out.empty() ? "-" : out;
}

std::vector<std::string> DumpLines(const std::string& aFile)
{
    std::istringstream in(RunAndCapture({kPython, std::string(EMLSEND_TEST_SCRIPTS) + "/mime_dump.py", aFile}));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string PseudoRandomBytes(std::size_t aSize, unsigned aSeed)
{
    std::mt19937 engine(aSeed);
    std::string bytes(aSize, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(engine() & 0xFF);
    }
    return bytes;
}

std::string RunAndCapture(const std::vector<std::string>& aArguments, int aTimeOutSeconds)
{
    const ProcessResult result = RunProcess(aArguments, {}, {}, aTimeOutSeconds);
    EXPECT_FALSE(result.timedOut) << aArguments[0] << " ran too long";
    EXPECT_EQ(result.exitCode, 0) << aArguments[0] << " failed: " << result.err;
    return result.out;
}

std::uint16_t UnusedPort()
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(handle);
    return ntohs(address.sin_port);
}

std::string Peer::ReadLine()
{
    while (true) {
        const std::size_t end = FInput.find("\r\n");
        if (end != std::string::npos) {
            std::string line = FInput.substr(0, end);
            FInput.erase(0, end + 2);
            lines.push_back(line);
            return line;
        }
        if (!WaitReadable(FHandle, kServerWaitMs)) {
            return "<timeout>";
        }
        char buffer[65536];
        const ssize_t got = ::recv(FHandle, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return "<eof>";
        }
        FInput.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string Peer::ReadData()
{
    std::string data;
    while (true) {
        std::string line = ReadLine();
        if (line == "<eof>" || line == "<timeout>") {
            return line;
        }
        if (line == ".") {
            return data;
        }
        if (!line.empty() && line[0] == '.') {
            line.erase(0, 1);
        }
        data += line + "\r\n";
    }
}

bool Peer::Send(const std::string& aBytes)
{
    std::size_t sent = 0;
    while (sent < aBytes.size()) {
        const ssize_t n = ::send(FHandle, aBytes.data() + sent, aBytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void Peer::WaitForClose()
{
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kServerWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (WaitReadable(FHandle, 100) && ::recv(FHandle, buffer, sizeof buffer, 0) <= 0) {
            return;
        }
    }
}

ScriptedServer::ScriptedServer(Script aScript)
{
    FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(FListener, 4) != 0 ||
        ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this, script = std::move(aScript)] {
        if (!WaitReadable(FListener, kServerWaitMs)) {
            return;
        }
        const int handle = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (handle < 0) {
            return;
        }
        Peer peer(handle);
        script(peer);
        ::shutdown(handle, SHUT_RDWR);
        ::close(handle);
        FLines = std::move(peer.lines);
    });
}

ScriptedServer::~ScriptedServer()
{
    if (FThread.joinable()) {
        FThread.join();
    }
    ::close(FListener);
}

std::vector<std::string> ScriptedServer::Finish()
{
    if (FThread.joinable()) {
        FThread.join();
    }
    return FLines;
}

void Greet(Peer& aPeer, const std::vector<std::string>& aEhloLines)
{
    aPeer.Send("220 test.example ESMTP ready\r\n");
    aPeer.ReadLine();
    std::string reply;
    for (std::size_t i = 0; i < aEhloLines.size(); ++i) {
        reply += (i + 1 < aEhloLines.size() ? "250-" : "250 ") + aEhloLines[i] + "\r\n";
    }
    aPeer.Send(reply);
}

void Answer(Peer& aPeer, const std::string& aReply)
{
    aPeer.ReadLine();
    aPeer.Send(aReply);
}

} // namespace emlsend::test
