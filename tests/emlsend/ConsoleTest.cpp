// The console progress display, written through a pipe: byte for byte as
// code page 852 when the console is no terminal, with escape sequences and
// the terminal's character set when it is one.

#include "ConsoleAPI.h"
#include "ProgressListener.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace emlsend {
namespace {

const std::string kFull = "\xDB";
const std::string kShade = "\xB0";
const std::string kCaption852 = "P\xFDipravuji email k odesl\xA0n\xA1";

// A pipe whose write end stands in for standard output.
class Capture {
public:
    Capture()
    {
        if (::pipe2(FHandles, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
    }
    ~Capture()
    {
        ::close(FHandles[0]);
        ::close(FHandles[1]);
    }
    int handle() const { return FHandles[1]; }
    // Everything written since the last call (the pipe never blocks: the
    // tests write far less than its buffer).
    std::string Take()
    {
        ::fcntl(FHandles[0], F_SETFL, O_NONBLOCK);
        std::string bytes;
        char buffer[4096];
        for (ssize_t got; (got = ::read(FHandles[0], buffer, sizeof buffer)) > 0;) {
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
        return bytes;
    }

private:
    int FHandles[2] = {-1, -1};
};

std::string Times(const std::string& aText, int aCount) { return RepeatString(aText, aCount); }

TEST(EmlsendConsole, RepeatsStrings)
{
    EXPECT_EQ(RepeatString("ab", 3), "ababab");
    EXPECT_EQ(RepeatString("ab", 0), "");
    EXPECT_EQ(RepeatString("ab", -4), "");
}

TEST(EmlsendConsole, FillsCellsRoundingHalfUp)
{
    struct Case {
        int percent;
        int width;
        int filled;
    };
    const Case cases[] = {{0, 35, 0},   {1, 35, 0},    {2, 35, 1}, {10, 35, 4}, {50, 35, 18},
                          {99, 35, 35}, {100, 35, 35}, {30, 5, 2}, {50, 3, 2},  {7, 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(TProgressListener::FilledCells(c.percent, c.width), c.filled) << c.percent << " % of " << c.width;
    }
}

TEST(EmlsendConsole, DrawsCaptionAndBarAsCodePage852BytesIntoAPipe)
{
    Capture out;
    TConsole console(out.handle(), false, "UTF-8");
    const TInterfacePtr<TProgressListener> bar = MakeInterfaced<TProgressListener>(15, 12, 35, 1, console);
    console.SetCursorVisible(false);
    bar->WriteCaption();
    EXPECT_EQ(out.Take(), kCaption852 + Times(" ", 8)) << "no escape sequences, the caption padded to 35";
    struct Step {
        int percent;
        std::string drawn;
    };
    const Step steps[] = {
        {0, ""},                                    // nothing drawn yet: the caption stays
        {1, Times(kShade, 35)},                     // 0 cells, but a change
        {50, Times(kFull, 18) + Times(kShade, 17)}, //
        {50, ""},                                   // a repeated value draws nothing
        {0, Times(kShade, 35)},                     // the start of a body after something else
        {200, Times(kFull, 35)},                    // above 100: full
        {100, ""},                                  // the same as the clamped 200
    };
    for (const Step& step : steps) {
        bar->Progress(static_cast<std::uint8_t>(step.percent));
        EXPECT_EQ(out.Take(), step.drawn) << step.percent << " %";
    }
    console.EndLine();
    console.SetCursorVisible(true);
    EXPECT_EQ(out.Take(), "") << "no line end and no cursor sequence outside a terminal";
}

TEST(EmlsendConsole, UsesEscapeSequencesAndTheCharacterSetOfATerminal)
{
    Capture out;
    TConsole console(out.handle(), true, "UTF-8");
    const TInterfacePtr<TProgressListener> bar = MakeInterfaced<TProgressListener>(15, 12, 4, 2, console);
    console.SetCursorVisible(false);
    EXPECT_EQ(out.Take(), "\x1B[?25l");
    bar->Progress(50);
    EXPECT_EQ(out.Take(), "\x1B[13;16H\u2588\u2588\u2591\u2591\x1B[14;16H\u2588\u2588\u2591\u2591")
        << "every row of the bar, rows and columns counted from 1";

    const TInterfacePtr<TProgressListener> wide = MakeInterfaced<TProgressListener>(0, 0, 35, 1, console);
    wide->WriteCaption();
    EXPECT_EQ(out.Take(), "\x1B[1;1HP\u0159ipravuji email k odesl\u00E1n\u00ED" + Times(" ", 8));
    console.EndLine();
    console.SetCursorVisible(true);
    EXPECT_EQ(out.Take(), "\r\n\x1B[?25h");

    TConsole latin2(out.handle(), true, "ISO-8859-2");
    latin2.Write(kCaption852 + kFull);
    EXPECT_EQ(out.Take(), "P\xF8ipravuji email k odesl\xE1n\xED#") << "a block it lacks becomes #";
    TConsole ascii(out.handle(), true, "ANSI_X3.4-1968");
    ascii.Write(kFull + kShade + kCaption852);
    EXPECT_EQ(out.Take(), "#-P?ipravuji email k odesl?n?");
}

} // namespace
} // namespace emlsend
