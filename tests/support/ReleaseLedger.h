#pragma once

#include "CallHook.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

// The windows, device contexts and process handles stagehand.dll acquires while the ledger
// lives, matched with their releases (Wine's object counters read 0 whatever exists).
class ReleaseLedger {
public:
    enum Kind { Window, DeviceContext, ProcessHandle };

    ReleaseLedger();

    // Starts afresh, destroying the windows it saw made and not destroyed.
    void forget();

    int acquired(Kind kind) const { return count(kind, false); }
    int released(Kind kind) const { return count(kind, true); }
    // Everything acquired released exactly once and unknown to the platform now.
    testing::AssertionResult allReleased() const;

private:
    struct Entry {
        Kind kind;
        ULONG_PTR handle;
        int releases;
        DWORD pid;  // of a process handle
    };
    int count(Kind kind, bool releases) const;
    template <class H>
    H acquire(Kind kind, H handle)
    {
        if (handle)
            m_entries.push_back({kind, reinterpret_cast<ULONG_PTR>(handle), 0, 0});
        return handle;
    }
    bool release(Kind kind, const void* handle);

    std::vector<Entry> m_entries;
    int m_strays = 0;  // releases of what the ledger never saw acquired, or saw released
    CallHook<decltype(&CreateWindowExW), 100> m_createWindow{"user32.dll", "CreateWindowExW"};
    CallHook<decltype(&DestroyWindow), 101> m_destroyWindow{"user32.dll", "DestroyWindow"};
    CallHook<decltype(&GetDC), 102> m_getDC{"user32.dll", "GetDC"};
    CallHook<decltype(&ReleaseDC), 103> m_releaseDC{"user32.dll", "ReleaseDC"};
    CallHook<decltype(&OpenProcess), 106> m_openProcess{"kernel32.dll", "OpenProcess"};
    CallHook<decltype(&CloseHandle), 107> m_closeHandle{"kernel32.dll", "CloseHandle", GetModuleHandleW(L"vela.dll")};
};
