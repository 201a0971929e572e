#pragma once
// `TProgressListener`: the console progress bar of a send. It receives
// percentages through `IProgressListener` and draws a bar of `FWidth` cells
// at column `FX`, row `FY`, repeated on `FLines` rows: filled cells (code
// page 852 byte 219) followed by empty ones (byte 176). Nothing is drawn
// until the first percentage that differs from the last one drawn (0 at
// the start). On a terminal too small for that place (the caption or the
// bar would wrap and scroll) neither the caption nor the bar is drawn.

#include "ConsoleAPI.h"
#include "MailerInclude.h"

#include <cstdint>
#include <string_view>

namespace emlsend {

// The caption shown while the message is prepared, windows-1250 bytes; 27
// characters.
inline constexpr std::string_view kCaption = "P\xF8ipravuji email k odesl\xE1n\xED";

class TProgressListener final : public TInterfacedObject<IProgressListener> {
public:
    // Nothing is drawn yet. aConsole must outlive the listener.
    TProgressListener(int aX, int aY, int aWidth, int aLines, TConsole& aConsole);

    // Values above 100 count as 100; a value equal to the last one drawn
    // draws nothing.
    void Progress(std::uint8_t aPercent) override;
    // Draws the bar for `FPercent` on every row; the cursor stays behind
    // the last cell.
    void Draw();
    // Writes kCaption at (`FX`, `FY`) in code page 852, padded with blanks
    // to the bar's width, so that the first drawing of the bar covers it.
    void WriteCaption();

    int Percent() const noexcept { return FPercent; }

    // The filled cells of a bar aWidth cells wide at aPercent: the product
    // divided by 100, rounded half up.
    static int FilledCells(int aPercent, int aWidth);

private:
    ~TProgressListener() override = default;
    // Whether the caption and every row of the bar fit on the terminal.
    bool FitsOnScreen() const;

    int FPercent = 0;
    int FX = 0;
    int FY = 0;
    int FWidth = 0;
    int FLines = 0;
    TConsole& FConsole;
};

} // namespace emlsend
