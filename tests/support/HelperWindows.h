#pragma once

#include "ChildProcess.h"

#include <windows.h>

#include <string>
#include <vector>

// A helper program of the suite (window_helper.exe or a copy under another name) with
// visible top-level windows, running until the object goes.
class HelperWindows {
public:
    HelperWindows(const std::wstring& program, const std::vector<std::string>& titles);

    bool ready() const { return m_ready; }
    DWORD pid() const { return m_child.pid(); }
    const std::vector<HWND>& windows() const { return m_windows; }
    // Opens one more window and returns it.
    HWND open(const std::string& title);

    bool allVisible() const;
    bool noneVisible() const;

private:
    ChildProcess m_child;
    std::vector<HWND> m_windows;
    bool m_ready;
};

// Takes a window handle from a helper's "hwnd N" line; null for any other line.
HWND parseHandleLine(const std::string& line);

// A window of the test process itself, of the system's STATIC class.
HWND probeWindow(DWORD style = WS_POPUP, HWND owner = nullptr);
