#include "ProgressListener.h"

#include <algorithm>
#include <limits>

namespace emlsend {
namespace {

constexpr char kFilled = static_cast<char>(219);
constexpr char kEmpty = static_cast<char>(176);
// The caption's length in characters.
constexpr int kCaptionCells = 27;

std::int16_t ScreenCoordinate(long long aValue)
{
    return static_cast<std::int16_t>(std::clamp<long long>(aValue, 0, std::numeric_limits<std::int16_t>::max()));
}

} // namespace

TProgressListener::TProgressListener(int aX, int aY, int aWidth, int aLines, TConsole& aConsole)
        : FX(aX), FY(aY), FWidth(aWidth), FLines(aLines), FConsole(aConsole)
{
}

int TProgressListener::FilledCells(int aPercent, int aWidth)
{
    // floor(p * w / 100 + 1/2) for whole p and w, in 64 bits so that no
    // width overflows.
    const long long twice = 2LL * aPercent * aWidth + 100;
    long long filled = twice / 200;
    if (twice % 200 != 0 && twice < 0) {
        --filled; // floor, not truncation, for a negative product
    }
    return static_cast<int>(filled);
}

void TProgressListener::Progress(std::uint8_t aPercent)
{
    const int value = std::min<int>(aPercent, 100);
    if (value != FPercent) {
        FPercent = value;
        Draw();
    }
}

bool TProgressListener::FitsOnScreen() const
{
    const long long right = static_cast<long long>(FX) + std::max(FWidth, kCaptionCells);
    const long long bottom = static_cast<long long>(FY) + FLines;
    constexpr long long kMax = std::numeric_limits<int>::max();
    return FConsole.Fits(static_cast<int>(std::min(right, kMax)), static_cast<int>(std::min(bottom, kMax)));
}

void TProgressListener::Draw()
{
    if (!FitsOnScreen()) {
        return;
    }
    const int filled = FilledCells(FPercent, FWidth);
    for (long long row = FY; row < static_cast<long long>(FY) + FLines; ++row) {
        FConsole.SetCursorPosition(ScreenCoordinate(FX), ScreenCoordinate(row));
        if (filled > 0) {
            FConsole.Write(RepeatString(std::string_view(&kFilled, 1), filled));
        }
        if (FWidth - filled > 0) {
            FConsole.Write(RepeatString(std::string_view(&kEmpty, 1), FWidth - filled));
        }
    }
}

void TProgressListener::WriteCaption()
{
    if (!FitsOnScreen()) {
        return;
    }
    FConsole.SetCursorPosition(ScreenCoordinate(FX), ScreenCoordinate(FY));
    FConsole.Write(Cp1250ToCp852(kCaption) + RepeatString(" ", FWidth - kCaptionCells));
}

} // namespace emlsend
