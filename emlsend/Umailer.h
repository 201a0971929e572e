#pragma once
// `TMailer`, the object behind `IMailer`: it composes one `MailMessage`,
// sends it through its `SmtpSession` while turning the bytes sent into
// percentages for its progress listeners, or writes it as an unsent message
// file and opens that in the user's mail program.

#include "MailerInclude.h"
#include "MailMessage.h"
#include "SmtpSession.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emlsend {

// The notice part of an HTML message, windows-1250 bytes.
inline constexpr std::string_view kHtmlNotice = "Pro spr\xE1vn\xE9 zobrazen\xED t\xE9to zpr\xE1vy je pot\xF8"
                                                "eba povolit zobrazen\xED HTML form\xE1tov\xE1n\xED.";

// `FSize` before any measurement: the 100 % mark of a send whose message
// could not be measured.
inline constexpr std::int64_t kDefaultMessageSize = 307200;

// The environment variable that can shorten every wait for the server
// (milliseconds, a positive whole number): each read and write limit of the
// SMTP session becomes the shorter of its RFC 5321 value and this one. It
// can never lengthen a wait, and anything but a positive number is ignored.
// Tests use it to run hostile servers against the program in seconds.
inline constexpr const char* kReplyWaitCapVariable = "EMLSEND_MAX_REPLY_WAIT_MS";

// aCount * 100 / aSize rounded to the nearest whole number, a tie going to
// the even neighbour (12.5 gives 12, 13.5 gives 14), computed exactly; 0
// when aSize is 0 or less. Values above 100 (possible only when the size
// was not measured) give 100.
std::uint8_t ProgressPercent(std::uint64_t aCount, std::int64_t aSize);

// The attachment part for aPath as the control file gives it. When nothing
// exists at aPath, the path is taken as windows-1250 text and converted to
// UTF-8, the file names' encoding on this system, and the converted path is
// used when a file exists there; the name shown stays the given one,
// windows-1250 like the rest of the message. A name given in UTF-8 (valid
// UTF-8 with bytes outside ASCII) of a file that exists as given is labelled
// "utf-8", so that it decodes to the same characters.
MessagePart AttachmentPart(const std::string& aPath);

class TMailer final : public TInterfacedObject<IMailer> {
public:
    TMailer();

    // Holds a reference to aListener until RemoveListener. A listener added
    // twice is notified twice and must be removed twice.
    void AddListener(IProgressListener& aListener) override;
    // Drops the first registration of aListener; nothing when absent.
    void RemoveListener(IProgressListener& aListener) override;
    void SetCharSet(std::string_view aCharSet) override;
    void SetSubject(std::string_view aSubject) override;
    void AddBodyLine(std::string_view aLine) override;
    // Kinds 1 To, 2 Cc, 3 Bcc, 4 the sender (replaces), 5 Reply-To, 6 the
    // read-receipt address (replaces); any other kind is ignored.
    void AddAddress(std::string_view aAddress, std::int16_t aKind) override;
    // Only remembers the path; the file is read while the message is written.
    void AddAttachment(std::string_view aPath) override;
    void SetHtml(bool aHtml) override;
    // 0 lowest, 1 low, 2 normal, 3 high, 4 highest; other values change nothing.
    void SetPriority(std::int16_t aLevel) override;
    void SetHost(std::string_view aHost) override;
    void SetUserName(std::string_view aName) override;
    void SetPassword(std::string_view aPassword) override;
    // The low 16 bits are the port.
    void SetPort(std::int32_t aPort) override;
    // Connect time-out in ms: > 0 a limit, 0 and negative values none of our own.
    void SetTimeOut(std::int32_t aMilliseconds) override;
    // Builds the parts, adds "X-Unsent: 1" unless aSent, and writes the file
    // form to aPath (created anew). Failures reach the caller: EFCreateError,
    // EFOpenError and EInOutError for an attachment, EInOutError for a write.
    void SaveToFile(std::string_view aPath, bool aSent) override;
    // SaveToFile(CreateMessageFile(), false), then the file is handed to the
    // mail program (MailClient.h) without waiting for it. Failures of
    // writing the file or of starting the mail program (EMailProgramError)
    // reach the caller, and the file is removed then.
    void ShowInMailClient() override;
    // Builds the parts, measures the message, connects and sends, then
    // disconnects. Never throws: 0 sent, 1 connecting failed, 2 sending
    // failed, with the failure text in GetErrorText.
    std::int16_t Send() override;
    // QUIT and close; failures reach the caller.
    void Disconnect() override;
    // Empties the message and the body lines; the charset becomes
    // windows-1250 again. Attachments, the HTML flag, the listeners and the
    // server settings stay.
    void Clear() override;
    // The text of the last failed Send; empty before any. Valid while the
    // mailer lives and until the next failure.
    const char* GetErrorText() override;
    void SetSecurity(std::string_view aSecurity) override;
    void SetTlsTrustFile(std::string_view aPath) override;
    // Runs through RunTokenCommand (TokenCommand.h) at the start of Send,
    // before connecting; its failure is a failed connection (result 1).
    void SetOAuthTokenCommand(std::string_view aCommand) override;

    // For tests: the composed message, the client and the measured size.
    const MailMessage& Message() const noexcept { return FMessage; }
    SmtpSession& Session() noexcept { return FSMTP; }
    // The connect limit in ms that the next send applies (SetTimeOut).
    std::int32_t TimeOut() const noexcept { return FTimeOut; }
    std::int64_t Size() const noexcept { return FSize; }

private:
    ~TMailer() override = default;

    void BuildParts();
    void Notify(std::uint8_t aPercent);

    MailMessage FMessage;
    SmtpSession FSMTP;
    bool FHtml = false;
    std::int32_t FTimeOut = 30000;
    std::vector<std::string> FBody;
    std::vector<std::string> FAttachments;
    std::int64_t FSize = kDefaultMessageSize;
    std::vector<TInterfacePtr<IProgressListener>> FListeners;
    std::string FError;
    std::string FSecurity;          // as given; checked by Send
    std::string FOAuthTokenCommand; // empty: none
};

// The protection a "Security" value names (ASCII case ignored; empty means
// None); nothing for any other text.
std::optional<SmtpSecurity> ParseSecurity(std::string_view aValue);

// `CreateMailer`: a new mailer, held by the returned reference.
TInterfacePtr<IMailer> CreateMailer();

} // namespace emlsend
