#pragma once

#include "ImportHook.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// Counts, through import hooks on stagehand.dll, every window, device context and window
// class that the library acquires and releases while the counter lives. Wine's object
// counters (GetGuiResources) read 0 whatever exists, so release is proven call by call.
// One counter at a time.
class ResourceCounter {
public:
    struct Counts {
        int windowsCreated = 0;
        int windowsDestroyed = 0;
        int dcsTaken = 0;
        int dcsReleased = 0;
        int classesRegistered = 0;
        int classesUnregistered = 0;
        std::vector<HWND> windows;             // every window created, in order
        std::vector<std::wstring> classNames;  // every class registered, in order
    };

    ResourceCounter();
    ~ResourceCounter();

    const Counts& counts() const;

private:
    std::vector<std::unique_ptr<ImportHook>> m_hooks;
};
