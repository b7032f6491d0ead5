#pragma once

#include "CallHook.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

// Every window and device context that stagehand.dll acquires while the ledger lives, and
// every process handle it opens (closed by vela.dll's handle holders), matched with its
// release. Wine's object counters read 0 whatever exists, so release is proven call by
// call, then through the platform. One ledger at a time.
class ReleaseLedger {
public:
    enum Kind { Window, DeviceContext, ProcessHandle };

    ReleaseLedger();

    int acquired(Kind kind) const { return count(kind, false); }
    int released(Kind kind) const { return count(kind, true); }
    // Everything acquired was released exactly once and the platform knows none of it any
    // more (IsWindow, GetHandleInformation). A window may also have gone without a call of
    // the library's, destroyed by someone else.
    testing::AssertionResult allReleased() const;

private:
    struct Entry {
        Kind kind;
        ULONG_PTR handle;
        int releases;
    };
    int count(Kind kind, bool releases) const;
    template <class H>
    H acquire(Kind kind, H handle)
    {
        if (handle)
            m_entries.push_back({kind, reinterpret_cast<ULONG_PTR>(handle), 0});
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
