#pragma once
// The window that was active when the program started, given back the focus
// when it ends. Works on X11 through the window manager's active-window
// property; on other display servers, or without a display, it does nothing.

#include <cstdint>

namespace diroze {

class TActiveWindow {
public:
    // The window active now (none when it cannot be found out).
    static TActiveWindow Remember();
    // Shows the window restored to its normal size and activates it.
    void Restore() const;
    uint32_t Window() const { return FWindow; }

private:
    uint32_t FWindow = 0;
};

} // namespace diroze
