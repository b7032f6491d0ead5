#pragma once

#include "JournalFormat.h"
#include "UniqueHandle.h"

#include <vela/Array.h>
#include <vela/String.h>

#include <windows.h>

#include <string>

namespace stagehand {

// Internal to the library. The journal of what one holder changed on the desktop and has
// not given back, in a file of its own that outlives the process, so that `stagehand
// restore` (DesktopRecovery) can give it back when the process dies first:
// - a desktop journal ("stagehand-journal-PID-CREATED-N.txt") lists the windows that a
//   DesktopClearing hid, and the foreground window;
// - a screen-saver journal ("stagehand-screensaver-PID-CREATED-N.txt") holds no window: it
//   says that its writer switched off a screen saver that was on;
// - a display-mode journal ("stagehand-displaymode-PID-CREATED-N.txt") holds the mode that
//   its writer found on one adapter, to give back.
// PID and CREATED name the writer (its creation time as a FILETIME), so that a reader can
// tell whose a journal is even when it cannot read it; N makes the name unique, claimed by
// creating the file, across processes and the copies of the library in one process.
//
// Each write claims a fresh name and removes the file it replaces only once the new one is
// whole, so a crash at any moment leaves a whole journal. The writer keeps its file open
// for writing and deleting, so that only a reader which shares both can open it: no reader
// can make a write, or the removal, fail. When no folder of the user's own can be written,
// the holder goes on without a journal and one line says so.
class ClearingJournal {
public:
    enum Kind { DESKTOP, SCREEN_SAVER, DISPLAY_MODE };

    explicit ClearingJournal(Kind kind);
    ClearingJournal(const ClearingJournal& other) = delete;
    ClearingJournal& operator=(const ClearingJournal& other) = delete;
    // The file stays: its holder gives back what it changed, and removes it through clear().
    ~ClearingJournal() = default;

    // Replaces the journal by this text.
    void write(const std::string& text);
    // What was recorded was given back: the file is emptied, so that a reader which holds it
    // finds nothing to give back, and removed once no one holds it.
    void clear();
    // Lets go of the file without removing it, for DesktopRecovery: for a holder that could
    // not give back what it recorded, or whose windows stay hidden while it goes on with a
    // journal under a new name.
    void abandon();

    // Whether the journal's file, or one it abandoned, has that name.
    bool isNamed(const vela::String& name) const;

    // The name's prefix of journals of that kind, and the pattern that finds them.
    static const char* prefix(Kind kind);
    static const wchar_t* pattern(Kind kind);
    // The writer that a journal's file name names; pid 0 when the name is not a journal's.
    static JournalProcess writerOfName(const vela::String& name);

private:
    // Writes the text into a new file of a name of its own; the Windows error code.
    DWORD claim(const vela::String& folder, const std::string& text);

    Kind m_kind;
    JournalProcess m_writer;
    vela::String m_path;  // the file's path once written; empty while there is none
    FileHandle m_file;
    vela::Array<vela::String> m_abandoned;
    bool m_offLogged;  // the line that recovery is off written
};

inline HWND journalHandle(std::uint64_t handle)
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle));
}

}  // namespace stagehand
