#pragma once
// Writes a MailMessage as an Internet message (RFC 5322 with MIME) into a
// byte sink: the header block, the body (single part or multipart with
// nested containers) and, for a message file, the closing period line.
// Header addresses carry international domains in IDNA form (HeaderAddress,
// EnvelopeAddress.h); display names are encoded words.
// Attachments are read from disk in blocks while they are written; no
// attachment is ever held in memory whole.

#include "ByteSink.h"
#include "HeaderEncoding.h"
#include "MailMessage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace emlsend {

enum class MessageForm {
    mfTransmission, // after DATA: no "Bcc" header, no closing period line
    mfFile,         // a message file: "Bcc" header and the closing period line
};

// A fresh 34-character boundary: random letters and digits in which two
// adjacent characters at a random position are "=_", so that no
// quoted-printable line can equal it.
std::string RandomBoundary();

// "<random@aDomain>": 32 random hexadecimal digits as the left part.
std::string RandomMessageId(std::string_view aDomain);

// The domain a message identifier ends in: the domain of aFrom's address
// (the writer passes it in its header form, an international domain in
// IDNA form) when it is a plain dot-atom (letters, digits, hyphens and inner dots),
// else the computer's host name when it is one, else "localhost".
std::string MessageIdDomain(const MailAddress& aFrom);

class MessageWriter {
public:
    // Sources of the boundaries, the date and the message identifier (given
    // MessageIdDomain of the sender); tests pin them. An empty identifier
    // leaves the "Message-ID" line out.
    std::function<std::string()> MakeBoundary = RandomBoundary;
    std::function<std::string()> MakeDate = CurrentDate;
    std::function<std::string(std::string_view)> MakeMessageId = RandomMessageId;

    // Writes aMessage into aSink. The header lines go out in one Write; then
    // aSink.BodyStarted(), the body, aSink.BodyFinished() and, for the file
    // form, ".\r\n". Every line ends with CRLF; a line beginning with a
    // period gets a second one (which the encodings never need).
    // A message without parts is written as one empty text part.
    // Fails with EInvalidMessage (before anything is written) for a
    // ParentIndex that names no container still open at that part (the
    // parts of a container follow it without a gap) or a transfer encoding
    // other than the one the writer produces; ETimeZoneError (before anything
    // is written); EFOpenError "Cannot open file \"%s\". %s" for an attachment
    // that cannot be opened or is no regular file (a FIFO, a device, a
    // directory: nothing waits for a writer or reads without end) and
    // EInOutError "Cannot read file \"%s\". %s" for one that fails or
    // becomes shorter while it is read (it is read up to the size it had
    // when opened); anything aSink throws.
    // Lines already written stay written.
    void WriteMessage(const MailMessage& aMessage, ByteSink& aSink, MessageForm aForm) const;

    // Creates (or truncates) aPath and writes the file form into it.
    // EFCreateError "Cannot create file \"%s\". %s" when the file cannot be
    // created; otherwise the failures of WriteMessage and FileSink.
    void WriteMessageToFile(const MailMessage& aMessage, const std::string& aPath) const;

    // The size in bytes of the transmission form plus the closing period
    // line, computed without keeping any bytes: each attachment is opened
    // and its size taken, not read. Fails as WriteMessage does.
    std::uint64_t Measure(const MailMessage& aMessage) const;

private:
    // The header lines in one write; aBoundary is the outer multipart
    // boundary, empty for a single part.
    void WriteHeader(const MailMessage& aMessage, MessageForm aForm, std::string_view aBoundary, ByteSink& aSink) const;
    // The body of a multipart message: the preamble, every part between its
    // boundaries and the closing lines of the open containers.
    void WriteMultipart(const std::vector<MessagePart>& aParts, const std::string& aBoundary, std::string_view aCharset,
                        ByteSink& aSink) const;
};

} // namespace emlsend
