#pragma once
// `ConsoleAPI`: the console of the process, seen through its standard
// output. Text reaches it as bytes of code page 852. On a terminal the
// cursor is moved and hidden with ANSI escape sequences and every byte is
// converted to the terminal's character set (a full block and a light shade
// on a UTF-8 terminal); anywhere else (a file, a pipe) the cursor operations
// write nothing and the bytes go out as they are. Writes are unbuffered and
// their failures are ignored: the console never makes the program fail.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace emlsend {

class TConsole {
public:
    // A console writing to aHandle. aTerminal selects the terminal
    // behaviour; aCharset is the terminal's iconv character set (such as
    // nl_langinfo(CODESET)). A code page 852 character the terminal cannot
    // show becomes "?", except the full block (219) and the light shade
    // (176), which become "#" and "-".
    TConsole(int aHandle, bool aTerminal, const std::string& aCharset);

    // The console of aHandle: a terminal when isatty says so, with the
    // character set of the current LC_CTYPE locale.
    static TConsole ForHandle(int aHandle);

    bool IsTerminal() const noexcept { return FTerminal; }

    // Moves the cursor to a cell of the screen, counted from 0 at the top
    // left. Negative values count as 0.
    void SetCursorPosition(std::int16_t aColumn, std::int16_t aRow);
    void SetCursorVisible(bool aVisible);
    // Writes code page 852 bytes.
    void Write(std::string_view aCp852);
    // Ends the line the cursor is on (terminal only, and only after
    // something was written), so that what follows the program starts on a
    // line of its own.
    void EndLine();
    // Whether a terminal has at least aColumns columns and aRows rows, so
    // that writing there never wraps or scrolls. True when the size is
    // unknown (no terminal, or one that does not tell).
    bool Fits(int aColumns, int aRows) const;

private:
    int FHandle = -1;
    bool FTerminal = false;
    bool FWritten = false; // anything since the last EndLine
    // The terminal's bytes for every code page 852 byte.
    std::array<std::string, 256> FTranslation;
};

// Writes all of aBytes to aHandle, again after an interruption or a partial
// write. A failed write ends it quietly: a console or error stream that went
// away must not stop the run.
void WriteQuietly(int aHandle, std::string_view aBytes);

// The process's standard output, set up on first use.
TConsole& StandardConsole();

// `RepeatString`: aText aCount times; empty when aCount is 0 or less.
std::string RepeatString(std::string_view aText, int aCount);

// windows-1250 text as code page 852 bytes; characters 852 lacks become "?".
std::string Cp1250ToCp852(std::string_view aText);

} // namespace emlsend
