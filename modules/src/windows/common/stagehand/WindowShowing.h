#pragma once

#include <vela/Array.h>

#include <windows.h>

namespace stagehand {

// Internal to the library: hiding and showing other programs' windows, which DesktopClearing
// and DesktopRecovery both do, without waiting on the programs.

// Asks each window to hide (visible false) or to show again, the latter without activating
// it or changing its place in the Z order, then asks for `foreground`, when not null, to
// become the foreground window. A window of another thread gets its request posted, so that
// a program which has stopped pumping its messages cannot hold the caller; a window of this
// thread changes at once. Then waits a bounded time for the requests to take effect, and
// returns the windows that are still not as asked.
vela::Array<HWND> requestVisibility(const vela::Array<HWND>& windows, bool visible, HWND foreground = nullptr);

}  // namespace stagehand
