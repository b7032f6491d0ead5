#include "StackingOrder.h"

#include "LogCodes.h"

#include <vela/ClassLogger.h>

using vela::LoggerPriority;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.StackingOrder");

// A window's program that has shown it responds is asked again for a move that has not come
// after this long.
const DWORD kAskAgain = 20;

// Weights of the windows that keep their place: one that may not be moved outweighs all the
// others together.
const unsigned int kMovable = 1;
const unsigned int kFixed = 100000;

bool isTopmost(HWND window)
{
    return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

unsigned int indexOf(const vela::Array<HWND>& windows, HWND window)
{
    for (unsigned int i = 0; i < windows.size(); ++i)
        if (windows[i] == window)
            return i;
    return windows.size();
}

// Which entries of the sequence keep their place: the heaviest run of entries whose ranks
// increase, found by dynamic programming over the sequence.
vela::Array<bool> heaviestRun(const vela::Array<unsigned int>& ranks, const vela::Array<unsigned int>& weights)
{
    unsigned int n = ranks.size();
    vela::Array<unsigned int> best, previous;
    unsigned int last = n;
    for (unsigned int i = 0; i < n; ++i) {
        best.append(weights[i]);
        previous.append(n);
        for (unsigned int j = 0; j < i; ++j)
            if (ranks[j] < ranks[i] && best[j] + weights[i] > best[i]) {
                best[i] = best[j] + weights[i];
                previous[i] = j;
            }
        if (last == n || best[i] > best[last])
            last = i;
    }
    vela::Array<bool> kept;
    for (unsigned int i = 0; i < n; ++i)
        kept.append(false);
    for (unsigned int i = last; i < n; i = previous[i])
        kept[i] = true;
    return kept;
}

}  // namespace

BOOL askWindowPos(HWND window, HWND after, UINT flags)
{
    // Only this thread's own window is moved synchronously: that waits on no other thread.
    bool own = GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
    return SetWindowPos(window, after, 0, 0, 0, 0, own ? flags : flags | SWP_ASYNCWINDOWPOS);
}

vela::Array<HWND> StackingOrder::now()
{
    vela::Array<HWND> order;
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT))
        if (IsWindowVisible(window))
            order.append(window);
    return order;
}

StackingOrder::StackingOrder(const vela::Array<HWND>& saved, const vela::Array<HWND>& fixed)
    : m_saved(saved), m_fixed(fixed)
{
}

bool StackingOrder::step()
{
    if (m_saved.size() == 0)
        return true;
    vela::Array<HWND> shown = now();
    bool inOrder = true;
    for (bool topmost : {true, false}) {
        // The band's saved windows that are shown, in their order now, with their saved ranks.
        vela::Array<HWND> band;
        vela::Array<unsigned int> ranks, weights;
        for (unsigned int i = 0; i < shown.size(); ++i) {
            unsigned int rank = indexOf(m_saved, shown[i]);
            if (rank == m_saved.size() || isTopmost(shown[i]) != topmost)
                continue;
            band.append(shown[i]);
            ranks.append(rank);
            weights.append(m_fixed.contains(shown[i]) ? kFixed : kMovable);
        }
        vela::Array<bool> kept = heaviestRun(ranks, weights);
        for (unsigned int i = 0; i < band.size(); ++i) {
            if (kept[i] || m_fixed.contains(band[i]))
                continue;
            inOrder = false;
            // The nearest window above it in the saved order that is in its place; a fixed one
            // out of order is no place to go to.
            unsigned int above = band.size();
            for (unsigned int k = 0; k < band.size(); ++k)
                if (ranks[k] < ranks[i] && (kept[k] || !m_fixed.contains(band[k])) &&
                    (above == band.size() || ranks[k] > ranks[above]))
                    above = k;
            if (above == band.size())
                move(band[i], topmost ? HWND_TOPMOST : HWND_TOP);
            else if (kept[above])
                move(band[i], band[above]);
        }
    }
    return inOrder;
}

void StackingOrder::move(HWND window, HWND after)
{
    DWORD now = GetTickCount();
    unsigned int k = indexOf(m_moving, window);
    if (k != m_moving.size() && now - m_movedAt[k] < kAskAgain)
        return;
    if (k == m_moving.size()) {
        m_moving.append(window);
        m_movedAt.append(now);
    }
    m_movedAt[k] = now;
    if (askWindowPos(window, after, SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_NOMOVE | SWP_NOSIZE) ||
        !IsWindow(window))
        return;
    s_log.log(LoggerPriority::FAILURE, logcode::kNotMovedBack,
              "A window could not be asked back to its place in the stacking order (error ",
              static_cast<unsigned int>(GetLastError()), "): it stays where it is");
    m_fixed.append(window);
}

}  // namespace stagehand
