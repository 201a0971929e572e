#include "MailClient.h"

#include "ConsoleAPI.h"
#include "TransportErrors.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace emlsend {
namespace {

// aName's value when it is an absolute path, else empty.
std::string AbsoluteFromEnvironment(const char* aName)
{
    const char* value = std::getenv(aName);
    if (value == nullptr || value[0] != '/') {
        return {};
    }
    return value;
}

std::string WithoutTrailingSlashes(std::string aPath)
{
    while (aPath.size() > 1 && aPath.back() == '/') {
        aPath.pop_back();
    }
    return aPath;
}

[[noreturn]] void FailCreate(const std::string& aFile, const std::string& aReason)
{
    throw EFCreateError("Cannot create file \"" + aFile + "\". " + aReason);
}

} // namespace

std::string MessageDirectoryPath()
{
    if (std::string runtime = AbsoluteFromEnvironment("XDG_RUNTIME_DIR"); !runtime.empty()) {
        return WithoutTrailingSlashes(runtime) + (runtime == "/" ? "emlsend" : "/emlsend");
    }
    std::string base = AbsoluteFromEnvironment("TMPDIR");
    if (base.empty()) {
        base = "/tmp";
    }
    base = WithoutTrailingSlashes(base);
    return base + (base == "/" ? "" : "/") + "emlsend-" + std::to_string(::getuid());
}

void EnsurePrivateDirectory(const std::string& aDirectory, const std::string& aFileForMessage)
{
    if (::mkdir(aDirectory.c_str(), 0700) != 0 && errno != EEXIST) {
        FailCreate(aFileForMessage, std::strerror(errno));
    }
    // Opened without following a link, the directory checked and fixed
    // through its handle: what is checked is what is used.
    const int handle = ::open(aDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (handle < 0) {
        const int error = errno;
        FailCreate(aFileForMessage, error == ELOOP || error == ENOTDIR ? "\"" + aDirectory + "\" is not a directory"
                                                                       : std::string(std::strerror(error)));
    }
    struct stat info {};
    const bool ours = ::fstat(handle, &info) == 0 && info.st_uid == ::getuid();
    const bool private_ = ours && ((info.st_mode & 0077) == 0 || ::fchmod(handle, 0700) == 0);
    ::close(handle);
    if (!private_) {
        FailCreate(aFileForMessage, "The directory \"" + aDirectory + "\" is not private to this user");
    }
}

void RemoveOldFiles(const std::string& aDirectory, std::chrono::system_clock::time_point aBefore) noexcept
{
    const int handle = ::open(aDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (handle < 0) {
        return;
    }
    DIR* const entries = ::fdopendir(handle);
    if (entries == nullptr) {
        ::close(handle);
        return;
    }
    const std::time_t before = std::chrono::system_clock::to_time_t(aBefore);
    while (const dirent* entry = ::readdir(entries)) {
        struct stat info {};
        if (::fstatat(handle, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            info.st_mtime < before) {
            ::unlinkat(handle, entry->d_name, 0);
        }
    }
    ::closedir(entries);
}

std::string CreateMessageFile()
{
    const std::string directory = MessageDirectoryPath();
    std::string path = directory + "/tempmsg-XXXXXX.eml";
    EnsurePrivateDirectory(directory, path);
    RemoveOldFiles(directory, std::chrono::system_clock::now() - kMessageFileLifetime);
    const int handle = ::mkostemps(path.data(), 4, O_CLOEXEC);
    if (handle < 0) {
        FailCreate(path, std::strerror(errno));
    }
    ::close(handle);
    return path;
}

void OpenWithMailProgram(const std::string& aPath)
{
    char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(aPath.c_str()), nullptr};
    // Two generations: the middle child starts the opener and ends at once,
    // telling through its exit code whether the start succeeded; the opener
    // is adopted by init and never becomes our zombie.
    const pid_t middle = ::fork();
    if (middle < 0) {
        throw EMailProgramError(std::string("Cannot start \"xdg-open\". ") + std::strerror(errno));
    }
    if (middle == 0) {
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        if (posix_spawn_file_actions_init(&actions) != 0 || posix_spawnattr_init(&attributes) != 0) {
            ::_exit(ENOMEM);
        }
        for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
            posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", O_RDWR, 0);
        }
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);
        pid_t opener = -1;
        ::_exit(::posix_spawnp(&opener, "xdg-open", &actions, &attributes, argv, environ));
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0) {
        if (errno != EINTR) {
            return; // reaped elsewhere: the outcome is unknown, take it as started
        }
    }
    const int error = WIFEXITED(status) ? WEXITSTATUS(status) : ECHILD;
    if (error != 0) {
        throw EMailProgramError(std::string("Cannot start \"xdg-open\". ") + std::strerror(error));
    }
    // The opener's own result is not awaited. Without a desktop session it
    // has nowhere to show the message, so say where the file stays.
    const auto unset = [](const char* aName) {
        const char* const value = std::getenv(aName);
        return value == nullptr || *value == '\0';
    };
    if (unset("DISPLAY") && unset("WAYLAND_DISPLAY")) {
        WriteQuietly(STDERR_FILENO,
                     "emlsend: no desktop session to open the message in; it is kept in " + aPath + "\n");
    }
}

} // namespace emlsend
