#include "ConsoleAPI.h"

#include "CodePage.h"
#include "Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace emlsend {
namespace {

constexpr unsigned char kFullBlock = 219;
constexpr unsigned char kLightShade = 176;

} // namespace

TConsole::TConsole(int aHandle, bool aTerminal, const std::string& aCharset) : FHandle(aHandle), FTerminal(aTerminal)
{
    for (int byte = 0; byte < 256; ++byte) {
        FTranslation[byte] = std::string(1, static_cast<char>(byte));
    }
    if (!FTerminal) {
        return;
    }
    try {
        hostutils::TCodePageDecoder decoder(852);
        for (int byte = 0; byte < 256; ++byte) {
            const std::string one(1, static_cast<char>(byte));
            std::string shown = hostutils::EncodeText(decoder.DecodeAll(one), aCharset);
            if (shown == "?" && byte != '?') {
                shown = byte == kFullBlock ? "#" : byte == kLightShade ? "-" : "?";
            }
            FTranslation[byte] = shown;
        }
    } catch (const hostutils::EEncodingError&) {
        // A character set iconv does not know: the bytes go out unchanged.
    }
}

TConsole TConsole::ForHandle(int aHandle)
{
    const char* codeset = nl_langinfo(CODESET);
    return TConsole(aHandle, ::isatty(aHandle) == 1, codeset != nullptr && *codeset != '\0' ? codeset : "ASCII");
}

void WriteQuietly(int aHandle, std::string_view aBytes)
{
    while (!aBytes.empty()) {
        const ssize_t written = ::write(aHandle, aBytes.data(), aBytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        aBytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void TConsole::SetCursorPosition(std::int16_t aColumn, std::int16_t aRow)
{
    if (FTerminal) {
        WriteQuietly(FHandle, "\x1B[" + std::to_string(std::max<int>(aRow, 0) + 1) + ";" +
                                  std::to_string(std::max<int>(aColumn, 0) + 1) + "H");
    }
}

void TConsole::SetCursorVisible(bool aVisible)
{
    if (FTerminal) {
        WriteQuietly(FHandle, aVisible ? "\x1B[?25h" : "\x1B[?25l");
    }
}

void TConsole::Write(std::string_view aCp852)
{
    if (!FTerminal) {
        WriteQuietly(FHandle, aCp852);
        return;
    }
    FWritten = FWritten || !aCp852.empty();
    std::string shown;
    shown.reserve(aCp852.size() * 3);
    for (const char c : aCp852) {
        shown += FTranslation[static_cast<unsigned char>(c)];
    }
    WriteQuietly(FHandle, shown);
}

void TConsole::EndLine()
{
    if (FTerminal && FWritten) {
        WriteQuietly(FHandle, "\r\n");
        FWritten = false;
    }
}

bool TConsole::Fits(int aColumns, int aRows) const
{
    winsize size{};
    if (!FTerminal || ::ioctl(FHandle, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
        return true;
    }
    return aColumns <= size.ws_col && aRows <= size.ws_row;
}

TConsole& StandardConsole()
{
    static TConsole console = TConsole::ForHandle(STDOUT_FILENO);
    return console;
}

std::string RepeatString(std::string_view aText, int aCount)
{
    std::string result;
    if (aCount <= 0) {
        return result;
    }
    result.reserve(aText.size() * static_cast<std::size_t>(aCount));
    for (int i = 0; i < aCount; ++i) {
        result += aText;
    }
    return result;
}

std::string Cp1250ToCp852(std::string_view aText)
{
    hostutils::TCodePageDecoder decoder(1250);
    return hostutils::EncodeText(decoder.DecodeAll(aText), hostutils::IconvCharsetName(852));
}

} // namespace emlsend
