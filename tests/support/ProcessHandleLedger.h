#pragma once

#include "ImportHook.h"

#include <windows.h>

#include <set>

// While it lives, matches every process handle that stagehand.dll opens (OpenProcess) with
// its close by the foundation (vela.dll's CloseHandle, from the handle holders). Handle
// values come back once closed, so each open is matched with the next close of that
// value. One at a time.
class ProcessHandleLedger {
public:
    ProcessHandleLedger();

    ProcessHandleLedger(const ProcessHandleLedger&) = delete;
    ProcessHandleLedger& operator=(const ProcessHandleLedger&) = delete;

    // Handles opened and not closed yet.
    const std::multiset<HANDLE>& open() const;
    int opened() const;
    int closed() const;
    // Closes of handles that were not open: a second close, or someone else's handle.
    int strayCloses() const;

private:
    ImportHook m_open;
    ImportHook m_close;
};
