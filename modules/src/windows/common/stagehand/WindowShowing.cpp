#include "WindowShowing.h"

#include <cwchar>

namespace stagehand {

namespace {

// A responsive program acts on a posted request within milliseconds: hiding the windows of
// 32 programs takes about 90 ms in all under Wine on a two-core machine, and the slowest
// responsive program took BOUND_MEASURE ms with both cores busy. One that takes longer than
// this is busy or hung, and the caller must not share its fate.
const DWORD kResponseBound = 300;
const DWORD kMaxResponseBound = 600000;

// A program that has shown it responds is asked again for a place it did not keep (another
// program's window may have moved meanwhile), this often at most.
const DWORD kAskAgain = 5;

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

bool isTopmost(HWND window)
{
    return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

// Another thread's window is only asked (SWP_ASYNCWINDOWPOS): a hung program never answers.
// This thread's own windows are handled here and now, which waits on no one.
BOOL show(HWND window, HWND after, UINT flags)
{
    return SetWindowPos(window, after, 0, 0, 0, 0, isOfThisThread(window) ? flags : flags | SWP_ASYNCWINDOWPOS);
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
                                     const vela::Array<Place>& places)
    : m_windows(windows), m_places(places), m_error(0), m_visible(visible), m_foreground(foreground)
{
    // Hiding the active window makes its program activate another, which may be the next
    // one to hide: the wait also lasts until the activation has come to rest on a shown window.
    m_activationMoves = !visible && windows.contains(GetForegroundWindow());
    for (unsigned int i = 0; i < windows.size(); ++i) {
        HWND window = windows[i];
        bool asked = true;
        if (visible) {
            const Place* place = placeOf(window);
            asked = show(window, place ? place->after : nullptr, place ? kShow : kShow | SWP_NOZORDER);
            // The window it was to go below may have gone meanwhile: shown where it is, then.
            if (!asked && place && IsWindow(window))
                asked = show(window, nullptr, kShow | SWP_NOZORDER);
        } else if (isOfThisThread(window)) {
            ShowWindow(window, SW_HIDE);  // its result is the visibility before: nothing to check
        } else {
            asked = ShowWindowAsync(window, SW_HIDE);
        }
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

const VisibilityRequest::Place* VisibilityRequest::placeOf(HWND window) const
{
    for (unsigned int p = 0; p < m_places.size(); ++p)
        if (m_places[p].window == window)
            return &m_places[p];
    return nullptr;
}

vela::Array<HWND> VisibilityRequest::misplaced(bool askAgain) const
{
    vela::Array<HWND> wrong;
    if (m_places.size() == 0)
        return wrong;
    // The placed windows and those they go below, in their Z order now.
    vela::Array<HWND> order;
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        bool named = placeOf(window) != nullptr;
        for (unsigned int p = 0; p < m_places.size() && !named; ++p)
            named = m_places[p].after == window;
        if (named)
            order.append(window);
    }
    for (unsigned int k = 1; k <= order.size(); ++k) {
        HWND window = order[k - 1];
        const Place* place = placeOf(window);
        // One not shown yet is waited for as such; one whose neighbour went has no place.
        bool top = place && (place->after == HWND_TOP || place->after == HWND_TOPMOST);
        if (!place || !IsWindowVisible(window) || (!top && !IsWindow(place->after)))
            continue;
        HWND above = k > 1 && isTopmost(order[k - 2]) == isTopmost(window) ? order[k - 2] : nullptr;
        if (above == (top ? nullptr : place->after))
            continue;
        wrong.append(window);
        // A program that showed its window responds: asked again, it keeps the place now.
        if (askAgain)
            show(window, place->after, kShow);
    }
    return wrong;
}

vela::Array<HWND> VisibilityRequest::await() const
{
    const DWORD limit = bound();
    vela::Array<HWND> pending = m_windows;
    DWORD askedAgain = m_start;
    for (;;) {
        vela::Array<HWND> still;
        for (unsigned int i = 0; i < pending.size(); ++i)
            if (!isDone(pending[i], m_visible))
                still.append(pending[i]);
        pending = still;
        DWORD now = GetTickCount();
        bool askAgain = now - askedAgain >= kAskAgain;
        if (askAgain)
            askedAgain = now;
        bool placed = !m_visible || misplaced(askAgain).size() == 0;
        // A foreground window that is neither shown nor being shown cannot take the foreground.
        HWND active = GetForegroundWindow();
        bool foregroundSet = !m_foreground || active == m_foreground || !IsWindow(m_foreground) ||
                             (!IsWindowVisible(m_foreground) && !m_windows.contains(m_foreground));
        // With every shown window hidden, nothing may be active.
        bool atRest = !m_activationMoves || !m_windows.contains(active);
        if ((pending.size() == 0 && placed && foregroundSet && atRest) || now - m_start >= limit)
            return pending;
        Sleep(1);
    }
}

}  // namespace stagehand
