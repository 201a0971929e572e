#include "MailClient.h"

#include "TransportErrors.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace emlsend {
namespace {

// aName's value when it is an absolute path, else empty.
std::string AbsoluteFromEnvironment(const char* aName) {
    const char* value = std::getenv(aName);
    if (value == nullptr || value[0] != '/') {
        return {};
    }
    return value;
}

std::string WithoutTrailingSlashes(std::string aPath) {
    while (aPath.size() > 1 && aPath.back() == '/') {
        aPath.pop_back();
    }
    return aPath;
}

[[noreturn]] void FailCreate(const std::string& aFile, const std::string& aReason) {
    throw EFCreateError("Cannot create file \"" + aFile + "\". " + aReason);
}

} // namespace

std::string MessageDirectoryPath() {
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

void EnsurePrivateDirectory(const std::string& aDirectory, const std::string& aFileForMessage) {
    if (::mkdir(aDirectory.c_str(), 0700) != 0 && errno != EEXIST) {
        FailCreate(aFileForMessage, std::strerror(errno));
    }
    // Opened without following a link, the directory checked and fixed
    // through its handle: what is checked is what is used.
    const int handle = ::open(aDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (handle < 0) {
        const int error = errno;
        FailCreate(aFileForMessage, error == ELOOP || error == ENOTDIR
                                        ? "\"" + aDirectory + "\" is not a directory"
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

std::string MessageFilePath() {
    const std::string directory = MessageDirectoryPath();
    const std::string path = directory + "/tempmsg.eml";
    EnsurePrivateDirectory(directory, path);
    return path;
}

void OpenWithMailProgram(const std::string& aPath) noexcept {
    const char* const path = aPath.c_str();
    // Two forks: the middle child ends at once, so the opener is adopted by
    // init and never becomes our zombie.
    const pid_t middle = ::fork();
    if (middle < 0) {
        return;
    }
    if (middle == 0) {
        if (::fork() == 0) {
            ::setsid();
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                ::dup2(null, STDIN_FILENO);
                ::dup2(null, STDOUT_FILENO);
                ::dup2(null, STDERR_FILENO);
            }
            ::execlp("xdg-open", "xdg-open", path, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace emlsend
