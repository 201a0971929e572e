#include "TokenCommand.h"

#include "AsciiText.h"
#include "FileHandle.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace emlsend {
namespace {

// What is kept of each output stream; the standard output is not read
// beyond it.
constexpr std::size_t kMaxKept = kMaxTokenOutput + 1;
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

// Kills every child of this process and reaps it, until none is left.
// A child's own children come to this process when their parent dies
// (it is a subreaper), so a whole tree ends, whatever sessions and process
// groups its members made. Only async-signal-safe calls: it runs in a
// child of a possibly threaded process.
void EndAllChildren()
{
    const timespec pause{0, 1000 * 1000};
    while (true) {
        const int list = ::open("/proc/thread-self/children", O_RDONLY | O_CLOEXEC);
        if (list >= 0) {
            char buffer[4096];
            ssize_t got = 0;
            long pid = 0;
            while ((got = ::read(list, buffer, sizeof buffer)) > 0) {
                for (ssize_t i = 0; i < got; ++i) {
                    if (buffer[i] >= '0' && buffer[i] <= '9') {
                        pid = pid * 10 + (buffer[i] - '0');
                    } else if (pid > 0) {
                        ::kill(static_cast<pid_t>(pid), SIGKILL);
                        pid = 0;
                    }
                }
            }
            if (pid > 0) {
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            }
            ::close(list);
        }
        pid_t reaped = 0;
        while ((reaped = ::waitpid(-1, nullptr, WNOHANG)) > 0) {
        }
        if (reaped < 0 && errno == ECHILD) {
            return;
        }
        ::nanosleep(&pause, nullptr);
    }
}

// The keeper: a child of emlsend that runs the shell and outlives it until
// told to end. It is a subreaper, so everything the command leaves behind
// becomes its child, also what called setsid(). It writes the shell's wait
// status to aStatus when the shell ends, and kills all it holds when
// aControl has a byte or is closed (emlsend is done or gone). Never returns.
// Only async-signal-safe calls.
[[noreturn]] void RunKeeper(const char* aCommand, int aOutput, int aErrors, int aStatus, int aControl)
{
    // Nothing else of emlsend's is held, so that no other pipe or socket
    // stays open through the keeper: the four ends move to 3..6 (by way of
    // copies at 7 and above, which none of the targets can be) and every
    // other handle above 2 is closed.
    int ends[] = {aOutput, aErrors, aStatus, aControl};
    for (int& end : ends) {
        end = ::fcntl(end, F_DUPFD, 7);
        if (end < 0) {
            ::_exit(1);
        }
    }
    for (int i = 0; i < 4; ++i) {
        ::dup2(ends[i], 3 + i);
    }
    ::close_range(7, ~0U, 0);
    aOutput = 3;
    aErrors = 4;
    aStatus = 5;
    aControl = 6;
    ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    // Ended by emlsend only: a Ctrl-C ends emlsend, which closes aControl.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        ::sigaction(signal, &ignore, nullptr);
    }
    const pid_t shell = ::fork();
    if (shell == 0) {
        ::setpgid(0, 0);
        const int input = ::open("/dev/null", O_RDONLY);
        if (input < 0 || ::dup2(input, STDIN_FILENO) < 0 || ::dup2(aOutput, STDOUT_FILENO) < 0 ||
            ::dup2(aErrors, STDERR_FILENO) < 0) {
            ::_exit(127);
        }
        ::close_range(3, ~0U, 0);
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        // SIGPIPE is ignored by this program, not by the command.
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
            ::sigaction(signal, &defaults, nullptr);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const char* const argv[] = {"sh", "-c", aCommand, nullptr};
        ::execve("/bin/sh", const_cast<char* const*>(argv), environ);
        ::_exit(127);
    }
    ::close(aOutput);
    ::close(aErrors);
    if (shell < 0) {
        ::_exit(1); // aStatus closes without a status
    }
    bool reported = false;
    while (true) {
        int status = 0;
        pid_t reaped = 0;
        while ((reaped = ::waitpid(-1, &status, WNOHANG)) > 0) {
            if (reaped == shell && !reported) {
                reported = ::write(aStatus, &status, sizeof status) == sizeof status;
            }
        }
        pollfd control{aControl, POLLIN, 0};
        if (::poll(&control, 1, 10) > 0) {
            break;
        }
    }
    ::kill(-shell, SIGKILL);
    EndAllChildren();
    ::_exit(0);
}

} // namespace

std::string TokenCommandName(std::string_view aCommand)
{
    std::size_t start = 0;
    while (true) {
        start = aCommand.find_first_not_of(" \t", start);
        if (start == std::string_view::npos) {
            return {};
        }
        const std::size_t end = std::min(aCommand.find_first_of(" \t;|&<>()`'\"$\\", start), aCommand.size());
        const std::string_view word = aCommand.substr(start, end - start);
        // A leading NAME=value sets a variable; its value may be a secret.
        const std::size_t equals = word.find('=');
        if (equals != std::string_view::npos && equals > 0 &&
            std::all_of(word.begin(), word.begin() + static_cast<std::ptrdiff_t>(equals), [](char c) {
                return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
            })) {
            start = aCommand.find_first_of(" \t", end);
            if (start == std::string_view::npos) {
                return {};
            }
            continue;
        }
        return std::string(word.substr(word.rfind('/') == std::string_view::npos ? 0 : word.rfind('/') + 1));
    }
}

std::string RunTokenCommand(const std::string& aCommand, std::chrono::milliseconds aLimit)
{
    TPipe output = OpenPipe();
    TPipe errors = output.Read.Valid() ? OpenPipe() : TPipe{};
    TPipe status = errors.Read.Valid() ? OpenPipe() : TPipe{};
    TPipe control = status.Read.Valid() ? OpenPipe() : TPipe{};
    if (!control.Read.Valid()) {
        Fail(std::string("cannot be started: ") + std::strerror(errno));
    }
    const pid_t keeper = ::fork();
    if (keeper < 0) {
        Fail(std::string("cannot be started: ") + std::strerror(errno));
    }
    if (keeper == 0) {
        RunKeeper(aCommand.c_str(), output.Write.Get(), errors.Write.Get(), status.Write.Get(), control.Read.Get());
    }
    output.Write.Close();
    errors.Write.Close();
    status.Write.Close();
    control.Read.Close();

    std::string texts[2];
    int shellStatus = 0;
    std::size_t statusBytes = 0;
    pollfd handles[3] = {
        {output.Read.Get(), POLLIN, 0}, {errors.Read.Get(), POLLIN, 0}, {status.Read.Get(), POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + aLimit;
    bool timedOut = false;
    // Reads what is ready on the open streams, waiting up to aWait ms.
    const auto readStreams = [&](int aWait) {
        const int ready = ::poll(handles, 3, aWait);
        for (int i = 0; i < 3 && ready > 0; ++i) {
            if (handles[i].fd < 0 || handles[i].revents == 0) {
                continue;
            }
            if (i < 2 && texts[i].size() >= kMaxKept) {
                continue; // not read beyond what is kept
            }
            char buffer[4096];
            const ssize_t got =
                ::read(handles[i].fd, buffer, i == 2 ? sizeof shellStatus - statusBytes : sizeof buffer);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (got <= 0) {
                handles[i].fd = -1;
                continue;
            }
            const auto count = static_cast<std::size_t>(got);
            if (i == 2) {
                std::memcpy(reinterpret_cast<char*>(&shellStatus) + statusBytes, buffer, count);
                statusBytes += count;
                handles[2].fd = statusBytes == sizeof shellStatus ? -1 : handles[2].fd;
            } else {
                texts[i].append(buffer, std::min(count, kMaxKept - texts[i].size()));
            }
        }
    };
    const auto exited = [&] { return handles[2].fd < 0; };
    const auto tooLong = [&] { return texts[0].size() >= kMaxKept; };
    // A second line with text after the first: no token, whatever follows.
    const auto secondLine = [&] {
        const std::size_t token = texts[0].find_first_not_of(kWhiteSpace);
        const std::size_t end = token == std::string::npos ? token : texts[0].find('\n', token);
        return end != std::string::npos && texts[0].find_first_not_of(kWhiteSpace, end) != std::string::npos;
    };
    // The output is complete once the shell has exited and its stream is
    // closed or the first line of a token has ended: a background child may
    // hold the stream open for long after.
    const auto outputComplete = [&] {
        if (!exited()) {
            return false;
        }
        if (handles[0].fd < 0) {
            return true;
        }
        const std::size_t token = texts[0].find_first_not_of(kWhiteSpace);
        return token != std::string::npos && texts[0].find('\n', token) != std::string::npos;
    };
    while (!tooLong() && !secondLine() && !outputComplete()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        readStreams(static_cast<int>(std::min<long long>(left, 1000)));
    }
    // What the streams already hold: more lines of the output, the error
    // text for the message.
    ::fcntl(output.Read.Get(), F_SETFL, O_NONBLOCK);
    ::fcntl(errors.Read.Get(), F_SETFL, O_NONBLOCK);
    handles[2].fd = -1;
    for (std::size_t kept = ~std::size_t{0}; kept != texts[0].size() + texts[1].size();) {
        kept = texts[0].size() + texts[1].size();
        readStreams(0);
    }
    // Whatever the command left running ends with it.
    control.Write.Close();
    while (::waitpid(keeper, nullptr, 0) < 0 && errno == EINTR) {
    }
    const std::string name = "\"" + TokenCommandName(aCommand) + "\"";
    if (timedOut) {
        const auto ms = aLimit.count();
        Fail("took longer than " + (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s." : std::to_string(ms) + " ms."));
    }
    const std::string most = "; a token may have at most " + std::to_string(kMaxTokenSize) + ".";
    if (secondLine()) {
        Fail(name + " printed more than one line; the token must be the only line of its output.");
    }
    if (tooLong()) {
        Fail(name + " printed more than " + std::to_string(kMaxTokenOutput) + " bytes" + most);
    }
    if (statusBytes != sizeof shellStatus) {
        Fail("cannot be started.");
    }
    std::string detail(
        hostutils::TrimmedBlanks(std::string_view(texts[1]).substr(0, texts[1].find('\n')), kWhiteSpace));
    detail = detail.empty() ? "." : ": " + detail;
    if (WIFSIGNALED(shellStatus)) {
        Fail("was ended by signal " + std::to_string(WTERMSIG(shellStatus)) + detail);
    }
    if (!WIFEXITED(shellStatus) || WEXITSTATUS(shellStatus) != 0) {
        Fail("failed with exit code " + std::to_string(WEXITSTATUS(shellStatus)) + detail);
    }
    std::string token(hostutils::TrimmedBlanks(texts[0], kWhiteSpace));
    if (token.empty()) {
        Fail("printed no token.");
    }
    if (token.size() > kMaxTokenSize) {
        Fail(name + " printed a token of " + std::to_string(token.size()) + " bytes" + most);
    }
    return token;
}

} // namespace emlsend
