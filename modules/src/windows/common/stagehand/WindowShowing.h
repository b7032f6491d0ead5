#pragma once

#include <vela/Array.h>

#include <windows.h>

namespace stagehand {

// Internal to the library: hiding and showing other programs' windows, which DesktopClearing
// and DesktopRecovery both do, without waiting on the programs.
//
// Made, it asks each window to hide (visible false) or to show again without activating it,
// the latter in its place in the Z order when it is given one, then asks for `foreground`,
// when not null, to become the foreground window. A window of another thread gets its
// request posted, so that a program which has stopped pumping its messages cannot hold the
// caller; a window of this thread changes at once. await() then waits, at most a bounded
// time from the request, for what can be seen of the requests: the windows hidden or shown
// and in their places, the foreground window set. A raise that activation may bring, or not,
// is not waited for.
class VisibilityRequest {
public:
    // Where a window goes back in the Z order: right below `after`, or at the top of its band
    // (topmost or not) when `after` is HWND_TOP.
    struct Place {
        HWND window;
        HWND after;
    };

    VisibilityRequest(const vela::Array<HWND>& windows, bool visible, HWND foreground = nullptr,
                      const vela::Array<Place>& places = vela::Array<Place>());

    // The windows that are still not as asked when the time is up: not hidden or shown, or
    // shown but not in their place.
    vela::Array<HWND> await() const;
    // The windows that could not even be asked, which nothing will change, and why.
    const vela::Array<HWND>& refused() const { return m_refused; }
    DWORD error() const { return m_error; }

    // How long await() waits: STAGEHAND_RESPONSE_BOUND milliseconds when that is set, else
    // the library's own bound.
    static DWORD bound();

private:
    const Place* placeOf(HWND window) const;
    // The places not held yet; asks again for those whose programs have shown they respond.
    vela::Array<HWND> misplaced(bool askAgain) const;

    vela::Array<HWND> m_windows;
    vela::Array<Place> m_places;
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
