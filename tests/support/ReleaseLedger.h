#pragma once

#include "CallHook.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

// Every window, device context and window class that stagehand.dll acquires while the
// ledger lives, and every process handle it opens (closed by vela.dll's handle holders),
// matched with its release. Wine's object counters read 0 whatever exists, so release is
// proven call by call, then through the platform. One ledger at a time.
class ReleaseLedger {
public:
    enum Kind { Window, DeviceContext, WindowClass, ProcessHandle };

    ReleaseLedger();

    int acquired(Kind kind) const;
    // Calls of the library's that released one (a DestroyWindow, a ReleaseDC, ...).
    int released(Kind kind) const;
    // Acquired and not released yet.
    std::vector<ULONG_PTR> held(Kind kind) const;
    // Everything acquired was released exactly once and the platform knows none of it any
    // more: IsWindow, GetClassInfoExW and GetHandleInformation fail. A window may also have
    // gone without a call of the library's, destroyed by someone else.
    testing::AssertionResult allReleased() const;

private:
    struct Entry {
        Kind kind;
        ULONG_PTR handle;  // for a class, its atom
        std::wstring name;  // for a class, with its instance
        HINSTANCE instance;
        int releases;
    };
    void acquire(Kind kind, const void* handle, const wchar_t* name = L"", HINSTANCE instance = nullptr);
    void release(Kind kind, const void* handle, const wchar_t* name = L"");
    bool platformKnows(const Entry& e) const;

    std::vector<Entry> m_entries;
    int m_strays = 0;  // releases of what the ledger never saw acquired, or saw released
    CallHook<decltype(&CreateWindowExW), 100> m_createWindow;
    CallHook<decltype(&DestroyWindow), 101> m_destroyWindow;
    CallHook<decltype(&GetDC), 102> m_getDC;
    CallHook<decltype(&ReleaseDC), 103> m_releaseDC;
    CallHook<decltype(&RegisterClassExW), 104> m_registerClass;
    CallHook<decltype(&UnregisterClassW), 105> m_unregisterClass;
    CallHook<decltype(&OpenProcess), 106> m_openProcess;
    CallHook<decltype(&CloseHandle), 107> m_closeHandle;
};
