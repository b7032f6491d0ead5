#pragma once

#include "CallHook.h"

#include <windows.h>

#include <string>
#include <vector>

// A desktop of the test's own making: while it lives, stagehand.dll's EnumDisplayMonitors
// reports these monitors, then fails with error 5 if `fail` is set, and its GetMonitorInfoW
// reads them. For geometries the X display cannot give: a monitor left of the primary
// one, a taskbar.
class FakeMonitors {
public:
    struct Monitor {
        RECT monitor;
        RECT work;
        DWORD flags;
        std::wstring name;
        bool readable = true;
    };

    explicit FakeMonitors(const std::vector<Monitor>& monitors);

    std::vector<Monitor> monitors;
    bool fail = false;

private:
    CallHook<decltype(&EnumDisplayMonitors)> m_enum;
    CallHook<decltype(&GetMonitorInfoW)> m_info;
};
