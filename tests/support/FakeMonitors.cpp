#include "FakeMonitors.h"

namespace {

std::vector<FakeMonitors::Monitor> g_monitors;
bool g_fail;

BOOL WINAPI enumDisplayMonitors(HDC, LPCRECT, MONITORENUMPROC proc, LPARAM data)
{
    for (size_t i = 0; i < g_monitors.size(); ++i)
        if (!proc(reinterpret_cast<HMONITOR>(i + 1), nullptr, nullptr, data))
            return FALSE;
    if (g_fail) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI getMonitorInfoW(HMONITOR handle, MONITORINFO* info)
{
    size_t i = reinterpret_cast<size_t>(handle) - 1;
    if (i >= g_monitors.size() || !g_monitors[i].readable)
        return FALSE;
    const FakeMonitors::Monitor& m = g_monitors[i];
    info->rcMonitor = m.monitor;
    info->rcWork = m.work;
    info->dwFlags = m.flags;
    if (info->cbSize == sizeof(MONITORINFOEXW)) {
        auto* extended = reinterpret_cast<MONITORINFOEXW*>(info);
        wmemset(extended->szDevice, L'\0', CCHDEVICENAME);
        m.name.copy(extended->szDevice, CCHDEVICENAME);
    }
    return TRUE;
}

}  // namespace

FakeMonitors::FakeMonitors(const std::vector<Monitor>& monitors)
    : m_enum(stagehandModule(), "user32.dll", "EnumDisplayMonitors", &enumDisplayMonitors),
      m_info(stagehandModule(), "user32.dll", "GetMonitorInfoW", &getMonitorInfoW)
{
    g_monitors = monitors;
    g_fail = false;
}

FakeMonitors::~FakeMonitors() = default;

std::vector<FakeMonitors::Monitor>& FakeMonitors::monitors()
{
    return g_monitors;
}

void FakeMonitors::failAfterReporting(bool fail)
{
    g_fail = fail;
}
