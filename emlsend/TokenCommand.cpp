#include "TokenCommand.h"

#include "AsciiText.h"
#include "FileHandle.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace emlsend {
namespace {

// What is kept of each output stream: more than any token may have.
constexpr std::size_t kMaxKept = kMaxTokenSize + 1024;
// Beyond this the command is stopped: it prints no token but something else.
constexpr std::uint64_t kMaxPrinted = 64 * 1024 * 1024;
constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

[[noreturn]] void Fail(const std::string& aReason) { throw ETokenCommandError("OAuthTokenCommand " + aReason); }

struct TPipe {
    hostutils::TFileHandle Read, Write;
};

// A new pipe, both ends closed on exec; no handles when it failed (errno says why).
TPipe OpenPipe()
{
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return {};
    }
    return {hostutils::TFileHandle(ends[0]), hostutils::TFileHandle(ends[1])};
}

} // namespace

std::string RunTokenCommand(const std::string& aCommand, std::chrono::milliseconds aLimit)
{
    TPipe output = OpenPipe();
    TPipe errors = output.Read.Valid() ? OpenPipe() : TPipe{};
    if (!errors.Read.Valid()) {
        Fail(std::string("cannot be started: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output.Write.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors.Write.Get(), STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE); // ignored by this program, not by the command
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    const char* const argv[] = {"sh", "-c", aCommand.c_str(), nullptr};
    pid_t child = -1;
    const int spawned =
        ::posix_spawn(&child, "/bin/sh", &actions, &attributes, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        Fail(std::string("cannot be started: ") + std::strerror(spawned));
    }
    output.Write.Close();
    errors.Write.Close();

    std::string texts[2];
    std::uint64_t printed = 0; // every byte of the standard output, also those not kept
    pollfd handles[2] = {{output.Read.Get(), POLLIN, 0}, {errors.Read.Get(), POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + aLimit;
    bool timedOut = false;
    bool tooLong = false;
    bool exited = false;
    // Reads what is ready on the open streams; with aWait, waits up to
    // aWait ms for something to come.
    const auto readStreams = [&](int aWait) {
        const int ready = ::poll(handles, 2, aWait);
        for (int i = 0; i < 2 && ready > 0; ++i) {
            if (handles[i].fd < 0 || handles[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t got = ::read(handles[i].fd, buffer, sizeof buffer);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (got <= 0) {
                handles[i].fd = -1;
                continue;
            }
            if (i == 0) {
                printed += static_cast<std::uint64_t>(got);
                tooLong = printed > kMaxPrinted;
            }
            if (texts[i].size() < kMaxKept) {
                texts[i].append(buffer,
                                std::min<std::size_t>(static_cast<std::size_t>(got), kMaxKept - texts[i].size()));
            }
        }
    };
    // The output is complete once the shell has exited and its stream is
    // closed or the first line of a token has ended: a background child may
    // hold the stream open for long after.
    const auto outputComplete = [&] {
        if (!exited) {
            return false;
        }
        if (handles[0].fd < 0) {
            return true;
        }
        const std::size_t token = texts[0].find_first_not_of(kWhiteSpace);
        return token != std::string::npos && texts[0].find('\n', token) != std::string::npos;
    };
    while (!tooLong) {
        if (!exited) {
            // The exit is seen without reaping the shell, so that its process
            // group stays to be ended below.
            siginfo_t info{};
            exited = ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                     info.si_pid == child;
        }
        if (outputComplete()) {
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        // Short waits: the shell's exit is noticed by polling it.
        readStreams(static_cast<int>(std::min<long long>(left, 20)));
    }
    // The rest of the error stream that is already there, for the message.
    ::fcntl(errors.Read.Get(), F_SETFL, O_NONBLOCK);
    if (handles[1].fd >= 0) {
        handles[0].fd = -1;
        readStreams(0);
    }
    // Whatever the command left running ends with it.
    ::kill(-child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        const auto ms = aLimit.count();
        Fail("took longer than " + (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s." : std::to_string(ms) + " ms."));
    }
    const auto tokenTooLong = [&](const std::string& aSize) {
        throw ETokenCommandError("OAuthTokenCommand \"" + aCommand + "\" printed a token of " + aSize +
                                 " bytes; a token may have at most " + std::to_string(kMaxTokenSize) + ".");
    };
    if (tooLong) {
        tokenTooLong("more than " + std::to_string(kMaxPrinted));
    }
    std::string detail(
        hostutils::TrimmedBlanks(std::string_view(texts[1]).substr(0, texts[1].find('\n')), kWhiteSpace));
    detail = detail.empty() ? "." : ": " + detail;
    if (WIFSIGNALED(status)) {
        Fail("was ended by signal " + std::to_string(WTERMSIG(status)) + detail);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Fail("failed with exit code " + std::to_string(WEXITSTATUS(status)) + detail);
    }
    std::string token(hostutils::TrimmedBlanks(texts[0], kWhiteSpace));
    if (token.empty()) {
        Fail("printed no token.");
    }
    if (token.size() > kMaxTokenSize) {
        tokenTooLong(std::to_string(texts[0].size() >= kMaxKept ? printed : token.size()));
    }
    return token;
}

} // namespace emlsend
