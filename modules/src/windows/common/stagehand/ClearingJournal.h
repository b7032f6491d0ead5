#pragma once

#include "JournalFormat.h"

#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// Internal to the library. The desktop-clearing journal of one RenderWindowManager: the
// windows it has hidden and not shown again, in a file of its own that outlives the
// process, so that `stagehand restore` (DesktopRecovery) can show them again when the
// process dies before the manager restores the desktop.
//
// The file is replaced whole at each write (a temporary file, flushed, then renamed over
// it), so that a crash at any moment leaves the old journal or the new one. When the folder
// cannot be written, hiding goes on without it and one line says so.
class ClearingJournal {
public:
    ClearingJournal();
    ClearingJournal(const ClearingJournal& other) = delete;
    ClearingJournal& operator=(const ClearingJournal& other) = delete;
    // The file stays: the manager's destructor restores, and removes it through clear().
    ~ClearingJournal() = default;

    // Adds the windows to those the journal says are hidden, with the foreground window to
    // give back, and writes the file. Called before they are hidden.
    void record(const vela::Array<JournalWindow>& windows, HWND foreground);
    // The windows were shown again: the file goes.
    void clear();
    // Forgets the file without removing it, for a manager whose table is replaced while
    // the windows it hid stay hidden; the journal goes on under a new name.
    void abandon();

private:
    void write();

    vela::String m_name;     // the file's name in the folder
    vela::String m_written;  // the file's path once written; empty while there is none
    Journal m_journal;
    bool m_offLogged;        // the line that recovery is off written
};

// The folder of the journals: %LOCALAPPDATA%\stagehand, or stagehand in %TEMP% when
// LOCALAPPDATA is not set. Read at each use.
vela::String journalFolder();

inline HWND journalHandle(std::uint64_t handle)
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle));
}

}  // namespace stagehand
