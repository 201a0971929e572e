#pragma once
// Files and the program's own directory.

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

} // namespace hostutils
