#pragma once
// Where the unsent message file goes and how it reaches the user's mail
// program. The file lives in a directory private to the user, never under a
// fixed name in a shared folder, so that nobody else can read the message or
// plant a link that redirects the write.

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

// The message file "tempmsg.eml" in MessageDirectoryPath(), with the
// directory made private first (failures as EnsurePrivateDirectory).
std::string MessageFilePath();

// Opens aPath with "xdg-open" found on PATH, detached: the opener runs in a
// session of its own with its standard streams on /dev/null and is never
// waited for. Whether it starts or succeeds is ignored.
void OpenWithMailProgram(const std::string& aPath) noexcept;

} // namespace emlsend
