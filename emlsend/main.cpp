// `emlsend CONTROLFILE`: sends the message the control file describes.

#include "EmlSend.h"

#include <clocale>
#include <csignal>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A terminal interrupted while the bar shows gets its cursor back.
extern "C" void RestoreCursorAndExit(int aSignal) {
    static constexpr char kShowCursor[] = "\r\n\x1B[?25h";
    if (::isatty(STDOUT_FILENO) == 1) {
        [[maybe_unused]] const ssize_t ignored = ::write(STDOUT_FILENO, kShowCursor, sizeof kShowCursor - 1);
    }
    std::signal(aSignal, SIG_DFL);
    std::raise(aSignal);
}

} // namespace

int main(int argc, char** argv) {
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
