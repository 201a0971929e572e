#pragma once
// Files and the program's own directory.

#include "FileHandle.h"

#include <QSaveFile>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace hostutils {

// The directory of the running program file, with a trailing "/". Read once
// from /proc/self/exe; the current directory when that cannot be read.
QString GetApplicationDir();

// The whole content of a file. Throws EFOpenError with
// "Cannot open file \"<full path>\". <system reason>" when the file cannot be
// opened or read; an empty name is reported with an empty path.
std::string ReadWholeFile(const QString& aFileName);

// Reads a file from its start in chunks, handing each to aChunk, until the
// end of the file or until aChunk answers false; a device or FIFO without
// end is read only as far as aChunk wants. Throws EFOpenError as ReadWholeFile.
void ReadFileChunks(const QString& aFileName, const std::function<bool(std::string_view)>& aChunk);

// The full path the open-error message names: absolute and cleaned, empty for an empty name.
QString ExpandFileName(const QString& aFileName);

// The system's reason for aErrno in English, whatever the locale: the
// messages that name it ("Cannot open file ...") are English too.
QString SystemReason(int aErrno);

// A file replaced only when it is complete (QSaveFile), written unbuffered
// and whole: a full disk may take part of a write without reporting an
// error, so every write goes on until all of it is written or the system
// reports why not, and commit() then fails. Open it with Open().
class TWholeSaveFile : public QSaveFile {
public:
    using QSaveFile::QSaveFile;
    bool Open();
    bool Commit();
    // Why Open, a write or Commit failed, in English as SystemReason.
    QString Reason() const { return FReason.isEmpty() ? errorString() : FReason; }

protected:
    qint64 writeData(const char* aData, qint64 aLength) override;

private:
    // Keeps the system's reason for a failure that errno explains.
    bool Noted(bool aDone);
    QString FReason;
};

// The target of a program's output file, chosen by what the name is:
// - a missing file, or a regular file (also behind symbolic links, which stay
//   links): written to a temporary file beside it and put in place only
//   when complete, so the old file stays whole until then;
// - a FIFO or a character device (also behind links): written directly,
//   never removed or replaced; a FIFO's open waits for its reader;
// - an open descriptor of this process named as "/dev/stdout", "/dev/stderr",
//   "/dev/fd/N" or "/proc/self/fd/N": written directly to that descriptor;
// - anything else (a directory, a block device, a socket, a link to nothing)
//   is refused: Open() fails and nothing is touched.
class TOutputFile {
public:
    explicit TOutputFile(const QString& aFileName);
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // False with ErrorString() when the target is refused or cannot be opened.
    bool Open();
    // Where the output is written; valid after a successful Open().
    QIODevice* Device() const;
    // Ends the output: a replaced file is put in place, a direct target
    // closed. False with ErrorString() when any write failed; a replaced file
    // then keeps its old content.
    bool Commit();
    // Whether the output goes straight to the target (no temporary file).
    bool Direct() const { return FDirect != nullptr; }
    QString ErrorString() const;

private:
    class TDirectDevice;
    QString FFileName;
    QString FError;
    std::unique_ptr<TWholeSaveFile> FSave;
    std::unique_ptr<TDirectDevice> FDirect;
};

} // namespace hostutils
