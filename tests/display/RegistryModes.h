#pragma once

#include <windows.h>

// Every adapter back in the mode the registry holds, when the object goes and an adapter
// shows another: a test that changes display modes leaves the screen as it found it, also
// when it fails.
class RegistryModes {
public:
    RegistryModes() = default;
    RegistryModes(const RegistryModes&) = delete;
    RegistryModes& operator=(const RegistryModes&) = delete;
    ~RegistryModes()
    {
        DISPLAY_DEVICEW adapter = {sizeof adapter};
        bool changed = false;
        for (DWORD i = 0; EnumDisplayDevicesW(nullptr, i, &adapter, 0); ++i) {
            DEVMODEW shown = {}, stored = {};
            shown.dmSize = stored.dmSize = sizeof shown;
            changed |= EnumDisplaySettingsW(adapter.DeviceName, ENUM_CURRENT_SETTINGS, &shown) &&
                       EnumDisplaySettingsW(adapter.DeviceName, ENUM_REGISTRY_SETTINGS, &stored) &&
                       (shown.dmPelsWidth != stored.dmPelsWidth || shown.dmPelsHeight != stored.dmPelsHeight);
        }
        if (changed)
            ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr);
    }
};
