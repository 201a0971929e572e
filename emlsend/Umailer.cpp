#include "Umailer.h"

#include "AsciiText.h"
#include "CodePage.h"
#include "MailClient.h"
#include "ScopeGuard.h"
#include "TokenCommand.h"
#include "TransportErrors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace emlsend {

std::uint8_t ProgressPercent(std::uint64_t aCount, std::int64_t aSize)
{
    if (aSize <= 0) {
        return 0;
    }
    const auto size = static_cast<std::uint64_t>(aSize);
    if (aCount >= size) {
        return 100;
    }
    if (aCount > std::numeric_limits<std::uint64_t>::max() / 200) {
        // Beyond exact integer range (a message of many exabytes): floating
        // point with the current rounding mode, ties to even.
        const long double value = static_cast<long double>(aCount) * 100 / static_cast<long double>(size);
        return static_cast<std::uint8_t>(std::nearbyint(value));
    }
    const std::uint64_t scaled = aCount * 100;
    std::uint64_t quotient = scaled / size;
    const std::uint64_t twiceRemainder = (scaled % size) * 2;
    if (twiceRemainder > size || (twiceRemainder == size && quotient % 2 == 1)) {
        ++quotient;
    }
    return static_cast<std::uint8_t>(quotient);
}

namespace {

// The cap kReplyWaitCapVariable sets; 0 (no cap) unless it is a positive number.
std::chrono::milliseconds ReplyWaitCap(const char* aValue)
{
    if (aValue == nullptr) {
        return std::chrono::milliseconds{0};
    }
    std::int64_t value = 0;
    const char* end = aValue + std::strlen(aValue);
    const auto [at, error] = std::from_chars(aValue, end, value);
    if (error != std::errc() || at != end || value <= 0) {
        return std::chrono::milliseconds{0};
    }
    return std::chrono::milliseconds{value};
}

} // namespace

std::optional<SmtpSecurity> ParseSecurity(std::string_view aValue)
{
    const std::string upper = hostutils::AsciiUpper(aValue);
    if (upper.empty() || upper == "NONE") {
        return SmtpSecurity::ssNone;
    }
    if (upper == "STARTTLS") {
        return SmtpSecurity::ssStartTls;
    }
    if (upper == "TLS") {
        return SmtpSecurity::ssTls;
    }
    return std::nullopt;
}

TMailer::TMailer()
{
    FSMTP.TimeOuts = CapTimeOuts(FSMTP.TimeOuts, ReplyWaitCap(std::getenv(kReplyWaitCapVariable)));
    FSMTP.ConnectTimeOut = FTimeOut;
    FSMTP.OnBodyStarted = [this] { Notify(0); };
    FSMTP.OnBytesWritten = [this](std::uint64_t aCount) { Notify(ProgressPercent(aCount, FSize)); };
    Clear();
}

void TMailer::Notify(std::uint8_t aPercent)
{
    // A copy: a listener may remove itself while it is told.
    const std::vector<TInterfacePtr<IProgressListener>> listeners = FListeners;
    for (const TInterfacePtr<IProgressListener>& listener : listeners) {
        listener->Progress(aPercent);
    }
}

void TMailer::AddListener(IProgressListener& aListener) { FListeners.emplace_back(&aListener); }

void TMailer::RemoveListener(IProgressListener& aListener)
{
    const auto found = std::find_if(FListeners.begin(), FListeners.end(),
                                    [&](const auto& aHeld) { return aHeld.Get() == &aListener; });
    if (found != FListeners.end()) {
        FListeners.erase(found);
    }
}

void TMailer::SetCharSet(std::string_view aCharSet) { FMessage.Charset = aCharSet; }

void TMailer::SetSubject(std::string_view aSubject) { FMessage.Subject = aSubject; }

void TMailer::AddBodyLine(std::string_view aLine) { FBody.emplace_back(aLine); }

void TMailer::AddAddress(std::string_view aAddress, std::int16_t aKind)
{
    switch (aKind) {
    case akTo:
        FMessage.To.push_back(MailAddress::Parse(aAddress));
        break;
    case akCc:
        FMessage.Cc.push_back(MailAddress::Parse(aAddress));
        break;
    case akBcc:
        FMessage.Bcc.push_back(MailAddress::Parse(aAddress));
        break;
    case akFrom:
        FMessage.From = MailAddress::Parse(aAddress);
        break;
    case akReplyTo:
        FMessage.ReplyTo.push_back(MailAddress::Parse(aAddress));
        break;
    case akReceipt:
        FMessage.ReceiptRecipient = MailAddress::Parse(aAddress);
        break;
    default:
        break;
    }
}

void TMailer::AddAttachment(std::string_view aPath) { FAttachments.emplace_back(aPath); }

void TMailer::SetHtml(bool aHtml) { FHtml = aHtml; }

void TMailer::SetPriority(std::int16_t aLevel)
{
    static constexpr MailPriority kLevels[] = {MailPriority::mpLowest, MailPriority::mpLow, MailPriority::mpNormal,
                                               MailPriority::mpHigh, MailPriority::mpHighest};
    if (aLevel >= 0 && aLevel < static_cast<std::int16_t>(std::size(kLevels))) {
        FMessage.Priority = kLevels[aLevel];
    }
}

void TMailer::SetHost(std::string_view aHost) { FSMTP.Host = aHost; }

void TMailer::SetUserName(std::string_view aName) { FSMTP.UserName = aName; }

void TMailer::SetPassword(std::string_view aPassword) { FSMTP.Password = aPassword; }

void TMailer::SetPort(std::int32_t aPort)
{
    FSMTP.Port = static_cast<std::uint16_t>(static_cast<std::uint32_t>(aPort) & 0xFFFFu);
}

void TMailer::SetTimeOut(std::int32_t aMilliseconds) { FTimeOut = aMilliseconds; }

namespace {

// aText holds a byte outside ASCII and is valid UTF-8 throughout.
bool IsUtf8BeyondAscii(std::string_view aText)
{
    bool beyond = false;
    for (std::size_t i = 0; i < aText.size();) {
        const auto lead = static_cast<unsigned char>(aText[i]);
        const std::size_t length = lead < 0x80                    ? 1
                                   : lead >= 0xC2 && lead <= 0xDF ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        if (length == 0 || i + length > aText.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(aText[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        beyond = beyond || length > 1;
        i += length;
    }
    return beyond;
}

bool Exists(const std::string& aPath)
{
    struct stat info {};
    return ::stat(aPath.c_str(), &info) == 0;
}

} // namespace

MessagePart AttachmentPart(const std::string& aPath)
{
    MessagePart part = MessagePart::Attachment(aPath);
    if (Exists(aPath)) {
        if (IsUtf8BeyondAscii(part.FileName)) {
            part.Charset = "utf-8";
        }
        return part;
    }
    try {
        const std::string converted =
            hostutils::EncodeText(hostutils::TCodePageDecoder(1250).DecodeAll(aPath), "UTF-8");
        if (converted != aPath && Exists(converted)) {
            part.FilePath = converted;
        }
    } catch (const std::exception&) {
        // No conversion: the path as given fails when it is read.
    }
    return part;
}

void TMailer::BuildParts()
{
    if (!FHtml) {
        FMessage.Parts.push_back(MessagePart::Text(FBody, FMessage.Charset));
    } else {
        const int container = static_cast<int>(FMessage.Parts.size());
        FMessage.Parts.push_back(MessagePart::Container("multipart/alternative"));
        FMessage.Parts.push_back(MessagePart::Text({std::string(kHtmlNotice)}, FMessage.Charset, {}, container));
        FMessage.Parts.push_back(MessagePart::Text(FBody, FMessage.Charset, "text/html", container));
    }
    for (const std::string& path : FAttachments) {
        FMessage.Parts.push_back(AttachmentPart(path));
    }
}

void TMailer::SaveToFile(std::string_view aPath, bool aSent)
{
    BuildParts();
    if (!aSent) {
        FMessage.HeaderLines.emplace_back("X-Unsent: 1");
    }
    FSMTP.Writer.WriteMessageToFile(FMessage, std::string(aPath));
}

void TMailer::ShowInMailClient()
{
    const std::string path = CreateMessageFile();
    const hostutils::TScopeFail removeUnread([&] { ::unlink(path.c_str()); });
    SaveToFile(path, false);
    OpenWithMailProgram(path);
}

std::int16_t TMailer::Send()
{
    // What a failure means at this point: 1 up to a made connection, 2 after.
    std::int16_t failure = srConnectFailed;
    bool sent = false;
    try {
        FSMTP.Authentication =
            FSMTP.UserName.empty() && FSMTP.Password.empty() ? SmtpAuthentication::saNone : SmtpAuthentication::saLogin;
        BuildParts();
        try {
            const std::uint64_t size = FSMTP.Writer.Measure(FMessage);
            FSize = static_cast<std::int64_t>(std::min<std::uint64_t>(size, std::numeric_limits<std::int64_t>::max()));
        } catch (const std::exception&) {
            // FSize keeps its value; the failure shows again while sending.
        }
        FSMTP.ConnectTimeOut = FTimeOut;
        const std::optional<SmtpSecurity> security = ParseSecurity(FSecurity);
        if (!security) {
            throw ESmtpClientError("Unknown Security \"" + FSecurity + "\" (None, StartTLS or TLS).");
        }
        FSMTP.Security = *security;
        FSMTP.OAuthToken = nullptr;
        if (!FOAuthTokenCommand.empty()) {
            // Before connecting: a token that cannot be had or is too long
            // to be sent fails the send without a word to the server.
            FSMTP.OAuthToken = [token = RunTokenCommand(FOAuthTokenCommand)] { return token; };
        }
        FSMTP.Connect();
        failure = srSendFailed;
        FSMTP.SendMessage(FMessage);
        sent = true;
    } catch (const std::exception& error) {
        FError = error.what();
    } catch (...) {
        FError = "Unknown failure";
    }
    try {
        FSMTP.Disconnect();
    } catch (...) {
        // The outcome of the transaction is known; a failed QUIT changes nothing.
    }
    return sent ? static_cast<std::int16_t>(srSent) : failure;
}

void TMailer::Disconnect() { FSMTP.Disconnect(); }

void TMailer::Clear()
{
    FMessage.Clear();
    FBody.clear();
}

const char* TMailer::GetErrorText() { return FError.c_str(); }

void TMailer::SetSecurity(std::string_view aSecurity) { FSecurity = aSecurity; }

void TMailer::SetTlsTrustFile(std::string_view aPath) { FSMTP.TlsTrustFile = aPath; }

void TMailer::SetOAuthTokenCommand(std::string_view aCommand) { FOAuthTokenCommand = aCommand; }

TInterfacePtr<IMailer> CreateMailer() { return MakeInterfaced<TMailer>(); }

} // namespace emlsend
