// `emlsend CONTROLFILE`: sends the message the control file describes.
// `emlsend --help` and `emlsend --version` answer on standard output.

#include "EmlSend.h"
#include "StandardOptions.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kUsage[] = "Usage: emlsend CONTROLFILE\n"
                          "Sends the e-mail that CONTROLFILE describes over SMTP, or, when the file has no\n"
                          "[SMTP] section, opens it in your mail program. Then deletes CONTROLFILE unless\n"
                          "it says [NODELETE]. A failed send leaves its reason in eml456.txt beside it.\n"
                          "\n"
                          "Sections: [SMTP] (Host, UserName, Password, TimeOut, Security, TLSTrustFile,\n"
                          "OAuthTokenCommand), [SUBJECT], [FROM], [TO], [COPIES], [HIDDEN COPIES],\n"
                          "[ATTACHMENTS], [BODY], [NODELETE].\n"
                          "\n"
                          "  --help     show this text\n"
                          "  --version  show the version\n"
                          "\n"
                          "Exit status 0, also after a failed send; 1 when the control file cannot be\n"
                          "read or a file cannot be written. See emlsend(1).\n";

// A terminal interrupted while the bar shows gets its cursor back.
extern "C" void RestoreCursorAndExit(int aSignal)
{
    static constexpr char kShowCursor[] = "\r\n\x1B[?25h";
    if (::isatty(STDOUT_FILENO) == 1) {
        [[maybe_unused]] const ssize_t ignored = ::write(STDOUT_FILENO, kShowCursor, sizeof kShowCursor - 1);
    }
    std::signal(aSignal, SIG_DFL);
    std::raise(aSignal);
}

} // namespace

int main(int argc, char** argv)
{
    if (hostutils::AnswerStandardOption(argc, argv, "emlsend", HOSTUTILS_VERSION, kUsage))
        return 0;
    // The terminal's character set for the console; messages stay English.
    std::setlocale(LC_CTYPE, "");
    // A closed standard output must not end the run before the control file
    // is dealt with.
    std::signal(SIGPIPE, SIG_IGN);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, RestoreCursorAndExit);
    }
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return emlsend::RunEmlSend(arguments, emlsend::StandardConsole(), STDERR_FILENO);
}
