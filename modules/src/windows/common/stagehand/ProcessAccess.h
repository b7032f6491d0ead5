#pragma once

#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// Internal to the library: what ProcessModuleEnumerator and the desktop-clearing table of
// RenderWindowManager both need.

// A process opened for reading its modules: with the full query right, or with the limited
// one when that is denied; the caller owns the handle. NULL, and the "72" line logged, when
// neither opens it.
HANDLE openProcessForModules(DWORD pid);

// The base name of an open process's executable; empty when it cannot be read.
vela::String executableName(HANDLE process);

// Whether the desktop shows the window (its style has WS_VISIBLE), with its process.
inline bool isShownWindow(HWND window, DWORD& pid)
{
    pid = 0;
    if (!(GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE))
        return false;
    GetWindowThreadProcessId(window, &pid);
    return true;
}

}  // namespace stagehand
