#include "EmlSend.h"

#include "BuiltInAccount.h"
#include "ByteSink.h"
#include "CodePage.h"
#include "ProgressListener.h"
#include "Umailer.h"
#include "SmtpSession.h"

#include <exception>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

namespace emlsend {
namespace {

// Where the bar and the caption stand.
constexpr int kBarX = 15;
constexpr int kBarY = 12;
constexpr int kBarWidth = 35;
constexpr int kBarLines = 1;

bool IsExistingFile(const std::string& aPath)
{
    struct stat info {};
    return ::stat(aPath.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// Removes the listener from the mailer however the send ends.
class TListenerRegistration {
public:
    TListenerRegistration(IMailer& aMailer, IProgressListener& aListener) : FMailer(aMailer), FListener(aListener)
    {
        FMailer.AddListener(FListener);
    }
    ~TListenerRegistration() { FMailer.RemoveListener(FListener); }
    TListenerRegistration(const TListenerRegistration&) = delete;
    TListenerRegistration& operator=(const TListenerRegistration&) = delete;

private:
    IMailer& FMailer;
    IProgressListener& FListener;
};

// Hides the cursor while the caption and the bar show and gives the
// terminal back as it was: cursor visible, on a line of its own.
class TCursorGuard {
public:
    explicit TCursorGuard(TConsole& aConsole) : FConsole(aConsole) { FConsole.SetCursorVisible(false); }
    ~TCursorGuard()
    {
        FConsole.EndLine();
        FConsole.SetCursorVisible(true);
    }
    TCursorGuard(const TCursorGuard&) = delete;
    TCursorGuard& operator=(const TCursorGuard&) = delete;

private:
    TConsole& FConsole;
};

// The diagnostic of an unexpected failure. The text holds windows-1250
// bytes (paths from the control file); a terminal gets them in its own
// character set, a file or a pipe unchanged.
void ReportFailure(int aErrorHandle, const std::string& aText)
{
    std::string shown = aText;
    if (::isatty(aErrorHandle) == 1) {
        try {
            shown = hostutils::EncodeText(hostutils::TCodePageDecoder(1250).DecodeAll(aText), nl_langinfo(CODESET));
        } catch (const std::exception&) {
            // Unknown terminal character set: the bytes as they are.
        }
    }
    WriteQuietly(aErrorHandle, "emlsend: " + shown + "\n");
}

// Leaves aText in the result file. When that fails, the send's own reason
// goes to aErrorHandle before the failure to write is passed on, so that
// it is not lost.
void LeaveResult(const std::string& aControlPath, const std::string& aText, int aErrorHandle)
{
    try {
        WriteResultFile(ResultFilePath(aControlPath), aText);
    } catch (const std::exception&) {
        std::string lines;
        for (const char c : aText) {
            if (c != '\r') {
                lines += c;
            }
        }
        while (!lines.empty() && lines.back() == '\n') {
            lines.pop_back();
        }
        ReportFailure(aErrorHandle, "The message was not sent: " + lines);
        throw;
    }
}

} // namespace

std::string CommandRefusal(const TControlFile& aFile, const std::string& aControlPath)
{
    if (aFile.PrivateToUser || !TSmtpSettings::Parse(aFile.SmtpLines).OAuthTokenCommand) {
        return {};
    }
    return "OAuthTokenCommand refused: the control file \"" + aControlPath +
           "\" must belong to the user running emlsend and be writable by no one else.";
}

TServerAccount BuiltInAccount() { return {EMLSEND_DEFAULT_HOST, EMLSEND_DEFAULT_USER, EMLSEND_DEFAULT_PASSWORD}; }

void ComposeMessage(const TControlFile& aFile, IMailer& aMailer, const TServerAccount& aAccount)
{
    aMailer.SetHost(aAccount.Host);
    aMailer.SetUserName(aAccount.UserName);
    aMailer.SetPassword(aAccount.Password);
    const TSmtpSettings settings = TSmtpSettings::Parse(aFile.SmtpLines);
    const auto setIfGiven = [&aMailer](const auto& aSetting, auto aSetter) {
        if (aSetting) {
            (aMailer.*aSetter)(*aSetting);
        }
    };
    setIfGiven(settings.Port, &IMailer::SetPort);
    setIfGiven(settings.Host, &IMailer::SetHost);
    setIfGiven(settings.UserName, &IMailer::SetUserName);
    setIfGiven(settings.Password, &IMailer::SetPassword);
    setIfGiven(settings.TimeOut, &IMailer::SetTimeOut);
    setIfGiven(settings.Security, &IMailer::SetSecurity);
    if (settings.Security && !settings.Port && ParseSecurity(*settings.Security) == SmtpSecurity::ssTls) {
        aMailer.SetPort(kTlsPort);
    }
    setIfGiven(settings.TlsTrustFile, &IMailer::SetTlsTrustFile);
    setIfGiven(settings.OAuthTokenCommand, &IMailer::SetOAuthTokenCommand);
    aMailer.SetHtml(aFile.Html);
    if (!aFile.Subject.empty()) {
        aMailer.SetSubject(aFile.Subject.front());
    }
    if (!aFile.From.empty()) {
        aMailer.AddAddress(aFile.From.front(), akFrom);
    }
    for (const std::string& line : aFile.To) {
        aMailer.AddAddress(line, akTo);
    }
    for (const std::string& line : aFile.Copies) {
        aMailer.AddAddress(line, akCc);
    }
    for (const std::string& line : aFile.HiddenCopies) {
        aMailer.AddAddress(line, akBcc);
    }
    for (const std::string& line : aFile.Attachments) {
        aMailer.AddAttachment(line);
    }
    for (const std::string& line : aFile.Body) {
        aMailer.AddBodyLine(line);
    }
}

void WriteResultFile(const std::string& aPath, const std::string& aText)
{
    // A host program under another account may read it, as it could before
    // it was first replaced: the usual mode, not the private one.
    FileSink file(aPath, 0666);
    file.Write(aText);
    file.Write("\r\n");
    file.Close();
}

int RunEmlSend(const std::vector<std::string>& aArguments, TConsole& aConsole, int aErrorHandle)
{
    const TInterfacePtr<TProgressListener> listener =
        MakeInterfaced<TProgressListener>(kBarX, kBarY, kBarWidth, kBarLines, aConsole);
    if (aArguments.empty() || !IsExistingFile(aArguments.front())) {
        return 0;
    }
    const std::string& controlPath = aArguments.front();
    try {
        const TCursorGuard cursor(aConsole);
        listener->WriteCaption();
        const TControlFile file = TControlFile::Read(controlPath);
        const TInterfacePtr<IMailer> mailer = CreateMailer();
        ComposeMessage(file, *mailer, BuiltInAccount());
        if (file.Smtp) {
            if (const std::string refusal = CommandRefusal(file, controlPath); !refusal.empty()) {
                LeaveResult(controlPath, refusal, aErrorHandle);
            } else {
                const TListenerRegistration registration(*mailer, *listener);
                if (mailer->Send() != srSent) {
                    LeaveResult(controlPath, mailer->GetErrorText(), aErrorHandle);
                }
            }
        } else {
            mailer->ShowInMailClient();
        }
        if (file.DeleteFile) {
            ::unlink(controlPath.c_str()); // a failed deletion is ignored
        }
    } catch (const std::exception& error) {
        ReportFailure(aErrorHandle, error.what());
        return 1;
    }
    return 0;
}

} // namespace emlsend
