#pragma once
// Failures of the mail transport. Every failure is an exception whose what()
// is the exact text the mailer stores as its error text. The server's own
// reply text (ESmtpReplyError) is kept apart from locally made failure texts
// (all the others), so a caller can tell a refusal from a broken line.

#include "Exceptions.h"

#include <string>
#include <vector>

namespace emlsend {

// Base of every failure of the dialogue with the server and of the message
// writer; one branch of the shared exception family.
class ETransportError : public hostutils::Exception {
public:
    using hostutils::Exception::Exception;
};

// The shared classes of both programs, for files: an attachment that cannot
// be opened, "Cannot open file \"%s\". %s", and a message file that cannot be
// created, "Cannot create file \"%s\". %s". Neither is an ETransportError, so
// a caller that wants every transport failure catches hostutils::Exception.
using hostutils::EFCreateError;
using hostutils::EFOpenError;

// A file that opened but then failed while being read or written:
// "Cannot read file \"%s\". %s" and "Cannot write file \"%s\". %s".
class EInOutError : public ETransportError {
public:
    using ETransportError::ETransportError;
};

// The local time zone cannot be read:
// "Failed attempting to retrieve time zone information.".
class ETimeZoneError : public ETransportError {
public:
    using ETransportError::ETransportError;
};

// A message whose part list cannot be written (a parent index that names no
// earlier container, a transfer encoding the writer does not produce).
class EInvalidMessage : public ETransportError {
public:
    using ETransportError::ETransportError;
};

// The server answered with a code the step does not accept. what() is the
// reply's text lines, each followed by CRLF, without codes.
class ESmtpReplyError : public ETransportError {
public:
    ESmtpReplyError(int aCode, std::vector<std::string> aLines);
    int Code() const noexcept { return FCode; }
    const std::vector<std::string>& Lines() const noexcept { return FLines; }

private:
    int FCode = 0;
    std::vector<std::string> FLines;
};

// A socket call failed: "Socket Error # %d\r\n%s" with the code and its text.
class ESocketError : public ETransportError {
public:
    ESocketError(int aCode, const std::string& aText);
    int Code() const noexcept { return FCode; }

private:
    int FCode = 0;
};

// Local failures of the dialogue that carry fixed texts: "Connect timed out.",
// "Read timed out.", "Write timed out.", "Connection Closed Gracefully.",
// "Not Connected", "Reply Code is not valid: %s", "Reply too long.", an empty
// text for a missing host or port, and "Line break in SMTP command.".
class ESmtpClientError : public ETransportError {
public:
    using ETransportError::ETransportError;
};

// A reply whose first three characters are neither blank nor a number from
// 100 to 999: "Reply Code is not valid: %s". The whole reply was read, so the
// connection is still in step with the server.
class EInvalidReplyCode : public ESmtpClientError {
public:
    using ESmtpClientError::ESmtpClientError;
};

// The peer closed the connection while a reply was read.
class EConnClosedGracefully : public ESmtpClientError {
public:
    EConnClosedGracefully() : ESmtpClientError("Connection Closed Gracefully.") {}
};

// TLS could not be set up or broke: "TLS: " and the reason, such as
// "TLS: certificate verify failed: self-signed certificate".
class ETlsError : public ETransportError {
public:
    using ETransportError::ETransportError;
};

// No reply or no progress of a write within the limit.
class ETimeOutError : public ESmtpClientError {
public:
    using ESmtpClientError::ESmtpClientError;
};

} // namespace emlsend
