#include <stagehand/MonitorInfoEnumerator.h>

#include "CallbackGuard.h"
#include "LogCodes.h"

#include <vela/ClassLogger.h>

#include <cwchar>

using vela::LoggerPriority;

namespace stagehand {

namespace {

vela::ClassLogger s_log("MonitorInfo");

// What EnumDisplayMonitors hands to monitorEnumProc.
struct Collection {
    vela::Array<MonitorInfoEnumerator::Info>* monitors;
    CallbackGuard guard;
};

}  // namespace

MonitorInfoEnumerator::MonitorInfoEnumerator()
{
    refresh();
}

MonitorInfoEnumerator::MonitorInfoEnumerator(const MonitorInfoEnumerator& other) = default;

MonitorInfoEnumerator& MonitorInfoEnumerator::operator=(const MonitorInfoEnumerator& other) = default;

MonitorInfoEnumerator::~MonitorInfoEnumerator() = default;

bool MonitorInfoEnumerator::refresh()
{
    m_monitors.clear();
    Collection collection = {&m_monitors, CallbackGuard()};
    BOOL done = EnumDisplayMonitors(nullptr, nullptr, &MonitorInfoEnumerator::monitorEnumProc,
                                    reinterpret_cast<LPARAM>(&collection));
    DWORD error = GetLastError();
    collection.guard.rethrowIfCaught();
    if (done)
        return true;
    s_log.log(LoggerPriority::FAILURE, logcode::kEnumDisplayMonitorsFails, "EnumDisplayMonitors failed ", error);
    return false;
}

BOOL CALLBACK MonitorInfoEnumerator::monitorEnumProc(HMONITOR monitor, HDC, LPRECT, LPARAM context)
{
    Collection* collection = reinterpret_cast<Collection*>(context);
    return collection->guard.run([&] {
        MONITORINFOEXW read = {};
        read.cbSize = sizeof read;
        if (!GetMonitorInfoW(monitor, &read))
            return TRUE;
        Info info;
        info.hMonitor = monitor;
        info.monitorInfo.cbSize = sizeof info.monitorInfo;
        info.monitorInfo.rcMonitor = read.rcMonitor;
        info.monitorInfo.rcWork = read.rcWork;
        info.monitorInfo.dwFlags = read.dwFlags;
        unsigned int length = static_cast<unsigned int>(wcsnlen(read.szDevice, CCHDEVICENAME));
        info.deviceName = vela::String(reinterpret_cast<const unsigned short*>(read.szDevice), length);
        collection->monitors->append(info);
        return TRUE;
    });
}

unsigned int MonitorInfoEnumerator::numMonitors() const
{
    return m_monitors.size();
}

const vela::Array<MonitorInfoEnumerator::Info>& MonitorInfoEnumerator::monitors() const
{
    return m_monitors;
}

bool MonitorInfoEnumerator::getMonitorInfo(const vela::String& name, Info& out) const
{
    for (unsigned int i = 0; i < m_monitors.size(); ++i) {
        if (vela::String::compareNoCase(name, m_monitors[i].deviceName) == 0) {
            out = m_monitors[i];
            return true;
        }
    }
    return false;
}

unsigned int MonitorInfoEnumerator::getAdapterId(vela::Array<vela::String>& ids) const
{
    ids.clear();
    for (unsigned int i = 0; i < m_monitors.size(); ++i)
        ids.append(m_monitors[i].deviceName);
    return ids.size();
}

}  // namespace stagehand
