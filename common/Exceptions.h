#pragma once
// Exception classes shared by both programs. Every failure carries the exact
// message text the user sees; messages are UTF-8.

#include <stdexcept>
#include <string>

namespace hostutils {

// The general failure: its text is shown as it stands.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that should have been a whole number: "'%s' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A code page number the system cannot convert: "Invalid code page".
class EEncodingError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be opened or read: "Cannot open file \"%s\". %s".
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be created or written: "Cannot create file \"%s\". %s".
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};

// An index outside a list: "List index out of bounds (%d)".
class EListError : public Exception {
public:
    using Exception::Exception;
};

} // namespace hostutils
