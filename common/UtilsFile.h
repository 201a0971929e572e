#pragma once
// Files and the program's own directory.

#include <QSaveFile>
#include <QString>

#include <string>

namespace hostutils {

// The directory of the running program file, with a trailing "/". Read once
// from /proc/self/exe; the current directory when that cannot be read.
QString GetApplicationDir();

// The whole content of a file. Throws EFOpenError with
// "Cannot open file \"<full path>\". <system reason>" when the file cannot be
// opened or read; an empty name is reported with an empty path.
std::string ReadWholeFile(const QString& aFileName);

// The full path the open-error message names: absolute and cleaned, empty for an empty name.
QString ExpandFileName(const QString& aFileName);

// A file replaced only when it is complete (QSaveFile), written unbuffered
// and whole: a full disk may take part of a write without reporting an
// error, so every write goes on until all of it is written or the system
// reports why not, and commit() then fails. Open it with Open().
class TWholeSaveFile : public QSaveFile {
public:
    using QSaveFile::QSaveFile;
    bool Open() { return open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

protected:
    qint64 writeData(const char* aData, qint64 aLength) override;
};

} // namespace hostutils
