#include "FakeMonitors.h"

FakeMonitors::FakeMonitors(const std::vector<Monitor>& list)
    : monitors(list),
      m_enum(stagehandModule(), "user32.dll", "EnumDisplayMonitors"),
      m_info(stagehandModule(), "user32.dll", "GetMonitorInfoW")
{
    m_enum.instead = [this](HDC, LPCRECT, MONITORENUMPROC proc, LPARAM data) {
        for (size_t i = 0; i < monitors.size(); ++i)
            if (!proc(reinterpret_cast<HMONITOR>(i + 1), nullptr, nullptr, data))
                return FALSE;
        SetLastError(fail ? ERROR_ACCESS_DENIED : 0);
        return fail ? FALSE : TRUE;
    };
    m_info.instead = [this](HMONITOR handle, MONITORINFO* info) {
        size_t i = reinterpret_cast<size_t>(handle) - 1;
        if (i >= monitors.size() || !monitors[i].readable)
            return FALSE;
        info->rcMonitor = monitors[i].monitor;
        info->rcWork = monitors[i].work;
        info->dwFlags = monitors[i].flags;
        if (info->cbSize == sizeof(MONITORINFOEXW)) {
            auto* extended = reinterpret_cast<MONITORINFOEXW*>(info);
            wmemset(extended->szDevice, L'\0', CCHDEVICENAME);
            monitors[i].name.copy(extended->szDevice, CCHDEVICENAME);
        }
        return TRUE;
    };
}
