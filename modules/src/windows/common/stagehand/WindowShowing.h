#pragma once

#include "StackingOrder.h"

#include <vela/Array.h>

#include <windows.h>

namespace stagehand {

// Internal to the library: hiding and showing other programs' windows, which DesktopClearing
// and DesktopRecovery both do, without waiting on the programs.
//
// Made, it asks each window to hide (visible false) or to show again without activating it,
// then asks for `foreground`, when not null, to become the foreground window. The active
// window is asked to hide last, by await(), once the others have hidden. A window of
// another thread gets its request posted, so that a program which has stopped pumping its
// messages cannot hold the caller; a window of this thread changes at once. await() then
// waits, at most a bounded time from the request, for what can be seen of the requests: the
// windows hidden or shown, those shown back in a saved stacking order when one is given, the
// foreground window set. A raise that activation may bring, or not, is not waited for.
class VisibilityRequest {
public:
    // `order`, when given, is the stacking order (top first) that the shown windows go back to,
    // but the `fixed` ones.
    VisibilityRequest(const vela::Array<HWND>& windows, bool visible, HWND foreground = nullptr,
                      const vela::Array<HWND>& order = vela::Array<HWND>(),
                      const vela::Array<HWND>& fixed = vela::Array<HWND>());

    // The windows that are still not hidden or shown when the time is up.
    vela::Array<HWND> await();

    // The windows that could not even be asked, which nothing will change, and why.
    const vela::Array<HWND>& refused() const { return m_refused; }
    DWORD error() const { return m_error; }

    // How long await() waits: STAGEHAND_RESPONSE_BOUND milliseconds when that is set, else
    // the library's own bound.
    static DWORD bound();

private:
    // Asks the window to hide or show.
    void ask(HWND window);

    vela::Array<HWND> m_windows;
    vela::Array<HWND> m_refused;
    DWORD m_error;
    bool m_visible;
    HWND m_foreground;
    HWND m_lastToHide;  // the active window, until it is asked to hide
    StackingOrder m_order;
    DWORD m_start;
    DWORD m_foregroundAsked;
};

// Asks and waits.
inline vela::Array<HWND> requestVisibility(const vela::Array<HWND>& windows, bool visible, HWND foreground = nullptr)
{
    return VisibilityRequest(windows, visible, foreground).await();
}

}  // namespace stagehand
