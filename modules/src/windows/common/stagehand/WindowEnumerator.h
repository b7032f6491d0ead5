#pragma once

#include <stagehand/Export.h>
#include <vela/Array.h>

#include <windows.h>

namespace stagehand {

// The visible top-level windows of one process, each with its placement as it was when
// collected. Owned pop-ups and tool windows count too: any top-level window with
// WS_VISIBLE set.
class STAGEHAND_API WindowEnumerator {
public:
    WindowEnumerator();
    WindowEnumerator(const WindowEnumerator& other);
    WindowEnumerator& operator=(const WindowEnumerator& other);
    ~WindowEnumerator();

    // Collects the windows of process `pid` in the order EnumWindows reports them (the
    // Z order, topmost first), starting from empty lists. True when EnumWindows succeeds.
    bool enumerate(DWORD pid);

    const vela::Array<HWND>& windowHandles() const;
    DWORD processId() const;
    unsigned int numWindows() const;

    // The show state (SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED, ...) of window i
    // of windowHandles(). Where a placement could not be read the state is inferred from
    // the window itself, so the two lists stay aligned. Throws IndexOutOfBounds past the end.
    unsigned int showWindowState(unsigned int i) const;

private:
    static BOOL CALLBACK EnumProc(HWND window, LPARAM context);
    int enumProcHelper(HWND window);
    bool isMainWindow(HWND window);

    vela::Array<HWND> m_windowHandles;
    vela::Array<WINDOWPLACEMENT> m_placements;
    DWORD m_processId;
};

}  // namespace stagehand
