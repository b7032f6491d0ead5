#pragma once

#include <vela/Array.h>

#include <windows.h>

namespace stagehand {

// Internal to the library: puts the windows that desktop clearing shows again back in the
// stacking order they had when it hid them. Hiding the active window makes its program
// activate and raise another, so the order changes while windows are hidden.
//
// Each step reads the order now and asks the windows out of their saved order to go back,
// moving as few as it can: the windows that keep their place are the longest run already in
// the saved order, and each other window goes right below the nearest window above it in the
// saved order that is in its place, once the windows between them are. Programs answer in
// their own order, so a move is never made relative to a window that is still to move.
// Topmost windows and the others are kept in order each in their own band. Windows that
// stayed shown are moved back too, since activation raised them while others hid; the fixed
// ones, which their programs showed meanwhile, are left where they are, as are windows that
// were not in the saved order.
class StackingOrder {
public:
    // The shown top-level windows, top first.
    static vela::Array<HWND> now();

    // `saved` is a stacking order, top first; `fixed` the windows that must not be moved.
    StackingOrder(const vela::Array<HWND>& saved, const vela::Array<HWND>& fixed);

    // Asks for the moves that can be asked for now; true once every shown window of the saved
    // order that may move is in its place.
    bool step();

private:
    // Asks the window to go right below `after` (HWND_TOP: to the top of its band), unless it
    // was asked a moment ago and its program has not answered yet.
    void move(HWND window, HWND after);

    vela::Array<HWND> m_saved;
    vela::Array<HWND> m_fixed;
    // The moves asked for, and when.
    vela::Array<HWND> m_moving;
    vela::Array<DWORD> m_movedAt;
};

// Asks for the window's place in the Z order (SetWindowPos with the flags): another thread's
// window is only asked (SWP_ASYNCWINDOWPOS), since a hung program never answers; this
// thread's own window is moved here and now, which waits on no one.
BOOL askWindowPos(HWND window, HWND after, UINT flags);

}  // namespace stagehand
