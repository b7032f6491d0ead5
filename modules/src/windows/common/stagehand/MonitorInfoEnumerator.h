#pragma once

#include <stagehand/Export.h>
#include <vela/Array.h>
#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// The display monitors of the desktop, each with its handle, geometry, flags and device
// name. The device name ("\\.\DISPLAY1") is what the library calls an adapter id. The
// list is a snapshot taken on construction and on each refresh(); copies are independent.
class STAGEHAND_API MonitorInfoEnumerator {
public:
    // One monitor.
    struct Info {
        HMONITOR hMonitor = nullptr;
        // cbSize is the size of MONITORINFO; rcMonitor and rcWork in virtual-screen
        // coordinates; dwFlags has MONITORINFOF_PRIMARY on the primary monitor.
        MONITORINFO monitorInfo = {};
        // The adapter id, without trailing NULs.
        vela::String deviceName;
    };

    // Enumerates the monitors; a failure is logged.
    MonitorInfoEnumerator();
    MonitorInfoEnumerator(const MonitorInfoEnumerator& other);
    MonitorInfoEnumerator& operator=(const MonitorInfoEnumerator& other);
    ~MonitorInfoEnumerator();

    // Empties the list and enumerates again; false, logged, when EnumDisplayMonitors
    // fails (the list keeps the monitors reported before the failure). A monitor whose
    // information cannot be read is left out: it has neither geometry nor adapter id.
    bool refresh();

    unsigned int numMonitors() const;

    // The monitors, in the order the system listed them. Valid until the next refresh,
    // assignment or destruction.
    const vela::Array<Info>& monitors() const;

    // Copies out the first monitor whose adapter id equals `name` but for letter case;
    // false, with `out` untouched, when none does.
    bool getMonitorInfo(const vela::String& name, Info& out) const;

    // Replaces the contents of `ids` by the adapter ids of all monitors, in list order;
    // returns their number.
    unsigned int getAdapterId(vela::Array<vela::String>& ids) const;

private:
    static BOOL CALLBACK monitorEnumProc(HMONITOR monitor, HDC dc, LPRECT rect, LPARAM context);

    vela::Array<Info> m_monitors;
};

}  // namespace stagehand
