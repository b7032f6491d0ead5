#pragma once

#include "JournalFormat.h"

#include <vela/Array.h>
#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// Internal to the library. The journal of what one holder changed on the desktop and has
// not given back, in a file of its own that outlives the process, so that `stagehand
// restore` (DesktopRecovery) can give it back when the process dies first:
// - a desktop journal ("stagehand-journal-PID-CREATED-N.txt") lists the windows that a
//   DesktopClearing hid, and the foreground window;
// - a screen-saver journal ("stagehand-screensaver-PID-CREATED-N.txt") holds no window: it
//   says that its writer switched off a screen saver that was on.
// PID and CREATED name the writer (its creation time as a FILETIME), so that a reader can
// tell whose a journal is even when it cannot read it; N makes the name unique, claimed by
// creating the file, across processes and the copies of the library in one process.
//
// A crash at any moment leaves a whole journal, old or new. A reader never makes a write
// fail: a journal held open too long is continued under a fresh name. When no folder of
// the user's own can be written, the holder goes on without a journal and one line says so.
class ClearingJournal {
public:
    enum Kind { DESKTOP, SCREEN_SAVER };

    explicit ClearingJournal(Kind kind);
    ClearingJournal(const ClearingJournal& other) = delete;
    ClearingJournal& operator=(const ClearingJournal& other) = delete;
    // The files stay: their holder gives back what it changed, and removes them through clear().
    ~ClearingJournal() = default;

    // Adds the windows to those the journal says are hidden, with the foreground window to
    // give back, and writes the file. Called before they are hidden.
    void record(const vela::Array<JournalWindow>& windows, HWND foreground);
    // What was recorded was given back: the files go.
    void clear();
    // Forgets the files without removing them, for a holder whose table is replaced while the
    // windows it hid stay hidden; the journal goes on under a new name.
    void abandon();

    // Whether one of the journal's files has that name.
    bool isNamed(const vela::String& name) const;

    // The name's prefix of journals of that kind, and the pattern that finds them.
    static const char* prefix(Kind kind);
    static const wchar_t* pattern(Kind kind);
    // The writer that a journal's file name names; pid 0 when the name is not a journal's.
    static JournalProcess writerOfName(const vela::String& name);

private:
    void write();
    // Writes the journal under a new name of its own; the Windows error code.
    DWORD claim(const vela::String& folder, const std::string& text);

    Kind m_kind;
    vela::String m_current;         // the file's path once written; empty while there is none
    vela::Array<vela::String> m_stale;  // earlier files that could not be removed yet
    Journal m_journal;
    bool m_offLogged;  // the line that recovery is off written
};

inline HWND journalHandle(std::uint64_t handle)
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle));
}

}  // namespace stagehand
