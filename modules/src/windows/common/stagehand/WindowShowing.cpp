#include "WindowShowing.h"

namespace stagehand {

namespace {

// A responsive program acts on a posted request within milliseconds: hiding the windows of
// 32 programs takes about 90 ms in all under Wine on a two-core machine. One that takes
// longer than this is busy or hung, and the caller must not share its fate.
const DWORD kResponseBound = 300;

bool isOfThisThread(HWND window)
{
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

// Gone windows count as done: there is nothing left to hide or show.
bool isDone(HWND window, bool visible)
{
    return !IsWindow(window) || (IsWindowVisible(window) != FALSE) == visible;
}

// Whether the window is the foreground window and, as activation leaves it, above every other
// shown window of the non-topmost band.
bool isForeground(HWND window)
{
    if (GetForegroundWindow() != window)
        return false;
    for (HWND above = GetWindow(window, GW_HWNDPREV); above; above = GetWindow(above, GW_HWNDPREV))
        if (IsWindowVisible(above) && !(GetWindowLongW(above, GWL_EXSTYLE) & WS_EX_TOPMOST))
            return false;
    return true;
}

}  // namespace

VisibilityRequest::VisibilityRequest(const vela::Array<HWND>& windows, bool visible, HWND foreground)
    : m_windows(windows), m_error(0), m_visible(visible), m_foreground(foreground)
{
    // Hiding the active window makes its program activate another, which may be the next
    // one to hide: the wait also lasts until the activation has come to rest on a shown window.
    m_activationMoves = !visible && windows.contains(GetForegroundWindow());
    const UINT showFlags = SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOMOVE | SWP_NOSIZE;
    // Another thread's window is only asked (ShowWindowAsync, SWP_ASYNCWINDOWPOS): a hung
    // program never answers. This thread's own windows are handled here and now, which waits
    // on no one.
    for (unsigned int i = 0; i < windows.size(); ++i) {
        HWND window = windows[i];
        bool own = isOfThisThread(window);
        bool asked = true;
        if (!visible && own)
            ShowWindow(window, SW_HIDE);  // its result is the visibility before: nothing to check
        else if (!visible)
            asked = ShowWindowAsync(window, SW_HIDE);
        else
            asked = SetWindowPos(window, nullptr, 0, 0, 0, 0, own ? showFlags : showFlags | SWP_ASYNCWINDOWPOS);
        if (!asked && IsWindow(window)) {
            m_error = GetLastError();
            m_refused.append(window);
        }
    }
    // SetForegroundWindow does not wait for the window's thread, nor for the one it takes the
    // foreground from: their activation messages are queued to them (with a hung program on
    // either side, it returns in a millisecond under Wine). Each thread settles its part when
    // it gets to its queue; await() bounds the wait for that.
    if (foreground)
        SetForegroundWindow(foreground);
    m_start = GetTickCount();
}

vela::Array<HWND> VisibilityRequest::await() const
{
    vela::Array<HWND> pending = m_windows;
    for (;;) {
        vela::Array<HWND> still;
        for (unsigned int i = 0; i < pending.size(); ++i)
            if (!isDone(pending[i], m_visible))
                still.append(pending[i]);
        pending = still;
        HWND now = GetForegroundWindow();
        bool settled = pending.size() == 0 && (!m_foreground || isForeground(m_foreground)) &&
                       (!m_activationMoves || (now && IsWindowVisible(now) && !m_windows.contains(now)));
        if (settled || GetTickCount() - m_start >= kResponseBound)
            return pending;
        Sleep(1);
    }
}

}  // namespace stagehand
