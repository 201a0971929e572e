#include "ProcessSupport.h"

#include "TestSupport.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace emlsend::test {
namespace {

using namespace std::chrono_literals;

const std::string kScripts = EMLSEND_TEST_SCRIPTS;

std::vector<std::string> ChangedEnvironment(const std::vector<std::string>& aChanges)
{
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        variables[text.substr(0, text.find('='))] = text;
    }
    for (const std::string& change : aChanges) {
        const std::size_t equals = change.find('=');
        if (equals == std::string::npos) {
            variables.erase(change);
        } else {
            variables[change.substr(0, equals)] = change;
        }
    }
    std::vector<std::string> result;
    for (const auto& [name, text] : variables) {
        result.push_back(text);
    }
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& aTexts)
{
    std::vector<char*> pointers;
    for (std::string& text : aTexts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ProcessResult RunProcess(const std::vector<std::string>& aArguments, const std::vector<std::string>& aEnvironment,
                         const std::string& aWorkingDirectory, int aTimeOutSeconds)
{
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    if (!aWorkingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, aWorkingDirectory.c_str());
    }
    std::vector<std::string> arguments = aArguments;
    std::vector<std::string> environment = ChangedEnvironment(aEnvironment);
    const std::vector<char*> argv = Pointers(arguments);
    const std::vector<char*> envp = Pointers(environment);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        ::close(out[0]);
        ::close(err[0]);
        throw std::runtime_error("cannot start " + aArguments[0]);
    }
    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(aTimeOutSeconds);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* targets[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= 0ms || ::poll(fds, 2, static_cast<int>(left.count())) <= 0) {
            result.timedOut = true;
            ::kill(child, SIGKILL);
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                targets[i]->append(buffer, static_cast<std::size_t>(got));
            }
        }
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) {
            ::close(fd.fd);
        }
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.maxRssKb = usage.ru_maxrss;
    return result;
}

bool WaitForFile(const std::string& aPath)
{
    struct stat info {};
    for (int i = 0; i < 100; ++i) {
        if (::stat(aPath.c_str(), &info) == 0) {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

AiosmtpdServer::AiosmtpdServer(const std::string& aDirectory, const std::vector<std::string>& aOptions)
{
    int handles[2];
    if (::pipe2(handles, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, handles[1], STDOUT_FILENO);
    std::vector<std::string> arguments = {kPython, kScripts + "/smtp_server.py", aDirectory, "60"};
    arguments.insert(arguments.end(), aOptions.begin(), aOptions.end());
    const std::vector<char*> argv = Pointers(arguments);
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(handles[1]);
    if (spawned != 0) {
        ::close(handles[0]);
        throw std::runtime_error("cannot start the SMTP server");
    }
    FChild = child;
    std::string line;
    pollfd fd{handles[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&fd, 1, 20000) > 0) {
        char buffer[64];
        const ssize_t got = ::read(handles[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        line.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(handles[0]);
    FPort = static_cast<std::uint16_t>(std::atoi(line.c_str()));
}

AiosmtpdServer::~AiosmtpdServer()
{
    ::kill(FChild, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50 && ::waitpid(FChild, &status, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(100ms);
    }
    if (::waitpid(FChild, &status, WNOHANG) == 0) {
        ::kill(FChild, SIGKILL);
        ::waitpid(FChild, &status, 0);
    }
}

TestCertificates::TestCertificates(const std::string& aDirectory) : FDirectory(aDirectory)
{
    const ProcessResult made = RunProcess({"/bin/sh", kScripts + "/make_test_ca.sh", FDirectory});
    if (made.exitCode != 0) {
        throw std::runtime_error("cannot make the test certificates: " + made.err);
    }
}

std::vector<std::string> TestCertificates::ServerOptions(const std::string& aName) const
{
    return {"--cert", File(aName + ".pem"), "--key", File(aName + ".key")};
}

ScopedEnvironment::ScopedEnvironment(const char* aName, const char* aValue) : FName(aName)
{
    if (const char* old = std::getenv(aName)) {
        FOldValue = old;
        FWasSet = true;
    }
    aValue != nullptr ? ::setenv(aName, aValue, 1) : ::unsetenv(aName);
}

ScopedEnvironment::~ScopedEnvironment()
{
    FWasSet ? ::setenv(FName.c_str(), FOldValue.c_str(), 1) : ::unsetenv(FName.c_str());
}

FakeOpener::FakeOpener(const std::string& aDirectory) : FDirectory(aDirectory)
{
    const std::string script = FDirectory + "/xdg-open";
    WriteFile(script, "#!/bin/sh\n"
                      "printf '%s\\n' \"$@\" >> '" +
                          calls() +
                          ".part'\n"
                          "cp \"$1\" '" +
                          copy() +
                          "'\n"
                          "mv '" +
                          calls() + ".part' '" + calls() + "'\n");
    ::chmod(script.c_str(), 0700);
}

std::string FakeOpener::PathVariable() const
{
    const char* path = std::getenv("PATH");
    return "PATH=" + FDirectory + ":" + (path != nullptr ? path : "/usr/bin:/bin");
}

} // namespace emlsend::test
