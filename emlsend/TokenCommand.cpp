#include "TokenCommand.h"

#include "AsciiText.h"
#include "FileHandle.h"

#include <cerrno>
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

constexpr std::size_t kMaxOutput = 64 * 1024;
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
    pollfd handles[2] = {{output.Read.Get(), POLLIN, 0}, {errors.Read.Get(), POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + aLimit;
    bool timedOut = false;
    bool tooLong = false;
    while ((handles[0].fd >= 0 || handles[1].fd >= 0) && !tooLong) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        const int ready = ::poll(handles, 2, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2 && ready > 0; ++i) {
            if (handles[i].fd < 0 || handles[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t got = ::read(handles[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                handles[i].fd = -1;
            } else if (texts[i].size() < kMaxOutput) {
                texts[i].append(buffer, static_cast<std::size_t>(got));
                tooLong = i == 0 && texts[0].size() > kMaxOutput;
            }
        }
    }
    int status = 0;
    if (timedOut || tooLong) {
        ::kill(-child, SIGKILL);
    } else {
        // Both streams closed: wait out the rest of the limit for the exit.
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                timedOut = true;
                ::kill(-child, SIGKILL);
                break;
            }
            ::usleep(10 * 1000);
        }
        if (!timedOut) {
            child = -1;
        }
    }
    if (child > 0) {
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (timedOut) {
        const auto ms = aLimit.count();
        Fail("took longer than " + (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s." : std::to_string(ms) + " ms."));
    }
    if (tooLong) {
        Fail("printed more than 64 KiB.");
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
    return token;
}

} // namespace emlsend
