#pragma once

#include <vela/Array.h>

#include <windows.h>

namespace stagehand {

// Internal to the library: hiding and showing other programs' windows, which DesktopClearing
// and DesktopRecovery both do, without waiting on the programs.
//
// Made, it asks each window to hide (visible false) or to show again, the latter without
// activating it or changing its place in the Z order, then asks for `foreground`, when not
// null, to become the foreground window. A window of another thread gets its request
// posted, so that a program which has stopped pumping its messages cannot hold the caller;
// a window of this thread changes at once. await() then waits, at most a bounded time from
// the request, for the requests to take effect.
class VisibilityRequest {
public:
    VisibilityRequest(const vela::Array<HWND>& windows, bool visible, HWND foreground = nullptr);

    // The windows that are still not as asked when the time is up.
    vela::Array<HWND> await() const;

    // The windows that could not even be asked, which nothing will change, and why.
    const vela::Array<HWND>& refused() const { return m_refused; }
    DWORD error() const { return m_error; }

private:
    vela::Array<HWND> m_windows;
    vela::Array<HWND> m_refused;
    DWORD m_error;
    bool m_visible;
    HWND m_foreground;
    bool m_activationMoves;
    DWORD m_start;
};

// Asks and waits.
inline vela::Array<HWND> requestVisibility(const vela::Array<HWND>& windows, bool visible, HWND foreground = nullptr)
{
    return VisibilityRequest(windows, visible, foreground).await();
}

}  // namespace stagehand
