#pragma once

#include "ImportHook.h"

#include <windows.h>

#include <string>
#include <vector>

// A desktop of the test's own making: while it lives, stagehand.dll's EnumDisplayMonitors
// reports these monitors and its GetMonitorInfoW reads them. For geometries that Xvfb
// cannot give (a monitor left of the primary one, a taskbar). One at a time.
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
    ~FakeMonitors();

    // The monitors reported from now on.
    std::vector<Monitor>& monitors();
    // Makes EnumDisplayMonitors fail (error 5) after reporting every monitor.
    void failAfterReporting(bool fail);

private:
    ImportHook m_enum;
    ImportHook m_info;
};
