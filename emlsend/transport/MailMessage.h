#pragma once
// The composed mail message: addresses, subject, priority and the list of
// body parts that MessageWriter turns into an Internet message. All strings
// are single-byte text in the message's charset (windows-1250 by default).

#include "MailAddress.h"

#include <string>
#include <string_view>
#include <vector>

namespace emlsend {

enum class MailPriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };

// One entry of the part list: a text part (a container when its content type
// begins with "multipart/") or an attachment read from disk while the
// message is written.
struct MessagePart {
    enum class PartKind { pkText, pkAttachment };

    PartKind Kind = PartKind::pkText;
    // Empty means text/plain for a text part, application/octet-stream for an
    // attachment.
    std::string ContentType;
    // Charset of a text part. For an attachment, the charset of FileName's
    // bytes; empty: the message's charset.
    std::string Charset;
    // Empty or the encoding the writer produces: "quoted-printable" for text
    // parts, "base64" for attachments. Anything else is refused when written.
    std::string TransferEncoding;
    // Index of the container part holding this part, -1 for the top level.
    int ParentIndex = -1;
    std::vector<std::string> BodyLines;
    // Attachment only: the file, opened only while the message is written,
    // and the name the recipient sees.
    std::string FilePath;
    std::string FileName;

    static MessagePart Text(std::vector<std::string> aBodyLines, std::string aCharset, std::string aContentType = {},
                            int aParentIndex = -1);
    static MessagePart Container(std::string aContentType, int aParentIndex = -1);
    // FileName becomes FileNameOfPath(aFilePath).
    static MessagePart Attachment(std::string aFilePath, int aParentIndex = -1);

    bool IsContainer() const;
    bool operator==(const MessagePart&) const = default;
};

// The part of aPath after its last slash (the whole of aPath without one).
std::string FileNameOfPath(std::string_view aPath);

struct MailMessage {
    // Complete header lines written first, as they stand (such as
    // "X-Unsent: 1" for a message file).
    std::vector<std::string> HeaderLines;
    MailAddress From; // empty: no sender
    std::vector<MailAddress> To;
    std::vector<MailAddress> Cc;
    std::vector<MailAddress> Bcc; // written only into a message file
    std::vector<MailAddress> ReplyTo;
    MailAddress ReceiptRecipient;
    std::string Subject;
    MailPriority Priority = MailPriority::mpNormal;
    std::string Charset = "windows-1250";
    std::string ContentType = "multipart/mixed";
    std::vector<MessagePart> Parts;

    // Back to a fresh message: no addresses, subject, header lines or parts,
    // normal priority, charset windows-1250, content type multipart/mixed.
    void Clear() { *this = MailMessage{}; }
    bool operator==(const MailMessage&) const = default;
};

} // namespace emlsend
