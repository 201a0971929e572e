#pragma once
// Where the unsent message file goes and how it reaches the user's mail
// program. The file lives in a directory private to the user, never under a
// fixed name in a shared folder, so that nobody else can read the message or
// plant a link that redirects the write.

#include <chrono>
#include <stdexcept>
#include <string>

namespace emlsend {

// The private directory for message files: "$XDG_RUNTIME_DIR/emlsend" when
// that variable holds an absolute path, else "$TMPDIR/emlsend-<uid>" (same
// rule) or "/tmp/emlsend-<uid>". Reads only the environment.
std::string MessageDirectoryPath();

// Makes aDirectory private: creates it with mode 0700 when missing;
// otherwise it must be a real directory (not a symbolic link) owned by the
// user, whose mode is then set to 0700. Throws EFCreateError
// "Cannot create file \"%s\". %s" naming aFileForMessage and the reason.
void EnsurePrivateDirectory(const std::string& aDirectory, const std::string& aFileForMessage);

// How old a message file in the private directory may grow before a later
// run removes it: the mail program has long read it by then.
inline constexpr std::chrono::hours kMessageFileLifetime{24};

// Makes the private directory MessageDirectoryPath() (failures as
// EnsurePrivateDirectory), removes the regular files in it that were last
// changed more than kMessageFileLifetime ago, and creates a new empty file
// of a unique name "tempmsg-XXXXXX.eml" (mode 0600) there, so that messages
// handed over one after another never overwrite each other. Returns its
// path. Throws EFCreateError when the file cannot be made.
std::string CreateMessageFile();

// Removes the regular files of aDirectory (not following links) whose last
// change lies before aBefore; failures are ignored.
void RemoveOldFiles(const std::string& aDirectory, std::chrono::system_clock::time_point aBefore) noexcept;

// A mail program that cannot be started: "Cannot start \"xdg-open\". %s"
// with the system's reason.
class EMailProgramError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Opens aPath with "xdg-open" found on PATH, detached: the opener runs in a
// session of its own with its standard streams on /dev/null and is never
// waited for. Throws EMailProgramError when it cannot be started (not found,
// not executable, no process); what it does once started is its own affair.
void OpenWithMailProgram(const std::string& aPath);

} // namespace emlsend
