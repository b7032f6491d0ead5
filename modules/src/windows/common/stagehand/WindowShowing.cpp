#include "WindowShowing.h"

#include <cwchar>

namespace stagehand {

namespace {

// A responsive program acts on a posted request within milliseconds. Measured under Wine on a
// two-core machine with both cores kept busy: hiding the windows of 32 programs took 170 ms at
// most, and showing them again in their stacking order 480 ms. A program that takes longer
// than this is busy or hung, and the caller must not share its fate.
const DWORD kResponseBound = 1000;
const DWORD kMaxResponseBound = 600000;

// A program that has shown it responds is asked again for what did not come after this long.
const DWORD kAskAgain = 20;
// Activation raises its window some milliseconds after it is seen: windows shown again are
// taken as settled once all has been as asked for this long, and put back again meanwhile.
const DWORD kQuiet = 30;

const UINT kShow = SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_NOMOVE | SWP_NOSIZE;

bool isOfThisThread(HWND window)
{
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

// Gone windows count as done: there is nothing left to hide or show.
bool isDone(HWND window, bool visible)
{
    return !IsWindow(window) || (IsWindowVisible(window) != FALSE) == visible;
}

}  // namespace

DWORD VisibilityRequest::bound()
{
    wchar_t value[16];
    DWORD n = GetEnvironmentVariableW(L"STAGEHAND_RESPONSE_BOUND", value, 16);
    wchar_t* end = value;
    unsigned long milliseconds = n > 0 && n < 16 ? std::wcstoul(value, &end, 10) : 0;
    bool valid = end != value && *end == L'\0' && milliseconds > 0 && milliseconds <= kMaxResponseBound;
    return valid ? static_cast<DWORD>(milliseconds) : kResponseBound;
}

VisibilityRequest::VisibilityRequest(const vela::Array<HWND>& windows, bool visible, HWND foreground,
                                     const vela::Array<HWND>& order, const vela::Array<HWND>& fixed)
    : m_windows(windows), m_error(0), m_visible(visible), m_foreground(foreground), m_order(order, fixed)
{
    // Hiding the active window makes its program activate another and raise it, which changes
    // the stacking order: the active window hides last, once the others have, so that
    // activation moves once, to a window that stays.
    HWND active = GetForegroundWindow();
    m_lastToHide = !visible && windows.size() > 1 && windows.contains(active) ? active : nullptr;
    for (unsigned int i = 0; i < windows.size(); ++i)
        if (windows[i] != m_lastToHide)
            ask(windows[i]);
    // SetForegroundWindow does not wait for the window's thread, nor for the one it takes the
    // foreground from: their activation messages are queued to them (with a hung program on
    // either side, it returns in a millisecond under Wine). Each thread settles its part when
    // it gets to its queue; await() bounds the wait for that. A hidden window is asked once it
    // is shown: activating it while hidden activates another window of its program instead.
    if (foreground && IsWindowVisible(foreground))
        SetForegroundWindow(foreground);
    m_start = GetTickCount();
    m_foregroundAsked = m_start - kAskAgain;
}

void VisibilityRequest::ask(HWND window)
{
    bool asked = true;
    if (m_visible)
        asked = askWindowPos(window, nullptr, kShow | SWP_NOZORDER);  // placed once it is shown
    else if (isOfThisThread(window))
        ShowWindow(window, SW_HIDE);  // this thread's own, so no wait; its result is no failure
    else
        asked = ShowWindowAsync(window, SW_HIDE);
    if (!asked && IsWindow(window)) {
        m_error = GetLastError();
        m_refused.append(window);
    }
}

vela::Array<HWND> VisibilityRequest::await()
{
    const DWORD limit = bound();
    vela::Array<HWND> pending = m_windows;
    DWORD settled = 0;  // since when all is as asked
    for (;;) {
        vela::Array<HWND> still;
        for (unsigned int i = 0; i < pending.size(); ++i)
            if (!isDone(pending[i], m_visible))
                still.append(pending[i]);
        pending = still;
        DWORD now = GetTickCount();
        // The active window hides once the others have, or have had half the time to.
        if (m_lastToHide && (pending.size() == 1 || now - m_start >= limit / 2)) {
            ask(m_lastToHide);
            m_lastToHide = nullptr;
        }
        bool inOrder = !m_visible || m_order.step();
        // A hidden window cannot take the foreground: it is asked again once it is shown, and
        // should activation have missed it meanwhile (queued, as in the constructor: no wait).
        HWND active = GetForegroundWindow();
        if (m_foreground && active != m_foreground && IsWindowVisible(m_foreground) &&
            now - m_foregroundAsked >= kAskAgain) {
            SetForegroundWindow(m_foreground);
            m_foregroundAsked = now;
        }
        bool foregroundSet = !m_foreground || active == m_foreground || !IsWindow(m_foreground) ||
                             (!IsWindowVisible(m_foreground) && !m_windows.contains(m_foreground));
        // Activation rests once it is on a window not asked to hide, or on a hidden one: with
        // every shown window hidden, there is nothing it can move to.
        bool atRest = m_visible || !m_windows.contains(active) || !IsWindowVisible(active);
        bool done = pending.size() == 0 && inOrder && foregroundSet && atRest;
        settled = done ? (settled ? settled : now) : 0;
        if ((done && now - settled >= (m_visible ? kQuiet : 0)) || now - m_start >= limit)
            return pending;
        Sleep(1);
    }
}

}  // namespace stagehand
