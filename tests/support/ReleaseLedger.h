#pragma once

#include "ImportHook.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <memory>
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
    ~ReleaseLedger();

    int acquired(Kind kind) const;
    int released(Kind kind) const;
    // Everything acquired is released exactly once and the platform knows none of it any
    // more: IsWindow, GetClassInfoExW and GetHandleInformation fail. A window may also have
    // gone without a call of the library's, destroyed by someone else.
    testing::AssertionResult allReleased() const;
    // Acquired and not released yet.
    std::vector<ULONG_PTR> held(Kind kind) const;

    struct Entry {
        Kind kind;
        ULONG_PTR handle;  // for a class, its atom
        std::wstring name;  // for a class
        HINSTANCE instance;  // for a class
        int releases;
    };
    // Records the acquisition, or a release of the entry that matches; for the hooks.
    static void acquire(const Entry& entry);
    static void release(Kind kind, ULONG_PTR handle, const std::wstring& name = std::wstring());

private:
    std::vector<std::unique_ptr<ImportHook>> m_hooks;
};
