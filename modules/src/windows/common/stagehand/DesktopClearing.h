#pragma once

#include <stagehand/Export.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <vela/Array.h>
#include <vela/String.h>

#include <windows.h>

namespace stagehand {

class ClearingJournal;

// Hides the visible top-level windows of the desktop's programs while a test draws, and
// shows them again. RenderWindowManager clears through one of these; the tool uses its own.
//
// The table of the desktop's programs (every process but the first of the system's list
// that can be opened and shows a visible top-level window, this one included) is built by
// the first clearing operation and not rebuilt while it holds anything: windows opened
// later are never touched. The first clearing operation also saves the foreground window,
// which restore() gives back, and looks once for windows that test programs which ended
// left hidden (one log line, "412").
//
// Nothing here waits on another program: windows of other threads are asked to hide or
// show without waiting for them, and the call then waits a bounded time for the requests to
// take effect. Windows whose programs did not respond in that time are named in one log
// line and in the outcome; they hide or show once their programs respond again.
//
// Before it hides windows, the object records them in a journal file of its own, removed
// when it shows them again: should the process die first, DesktopRecovery (`stagehand
// restore`) shows them again. All of it runs on the caller's thread.
class STAGEHAND_API DesktopClearing {
public:
    // What one operation did.
    struct STAGEHAND_API Outcome {
        // The windows it asked to hide (or to show), and the programs they belong to.
        unsigned int windows;
        unsigned int programs;
        // Those still not hidden (or shown) when the wait ran out, and their programs'
        // executable names, each once: they change when their programs respond again.
        vela::Array<HWND> unresponsive;
        vela::Array<vela::String> unresponsivePrograms;
        // How many could not even be asked, so that nothing will change them (logged, "415").
        unsigned int refused;

        Outcome();
        Outcome(const Outcome& other);
        Outcome& operator=(const Outcome& other);
        ~Outcome();
    };

    DesktopClearing();
    // A copy has the same table and saved foreground window, and a journal of its own.
    DesktopClearing(const DesktopClearing& other);
    // Takes the other's table without showing any window; the journal of what this object
    // hid stays on disk, for DesktopRecovery.
    DesktopClearing& operator=(const DesktopClearing& other);
    // Shows every recorded window again (restore()).
    ~DesktopClearing();

    // Whether the table holds anything.
    bool isValid() const;

    // Hides every recorded window but those of the named programs (executable names, the
    // first recorded program of each name) and the given windows.
    Outcome hideAllExcept(const vela::Array<vela::String>& keepPrograms, const vela::Array<HWND>& keepWindows);
    // Applies the show command to the recorded windows of the first recorded program of
    // that name: SW_HIDE hides them as hideAllExcept does; any other command is only asked for.
    Outcome setProgramShowState(const vela::String& name, unsigned int showCmd);
    // Shows every recorded window again without activating it, in its place in the Z order,
    // then gives the foreground back to the saved window and removes the journal.
    Outcome restore();

private:
    static const unsigned int kNotFound = 0xFFFFFFFF;

    // A program of the table: a process that showed a top-level window when the table was
    // built, held open so that its pid is not reused while it is recorded, its executable's
    // name, and its shown windows in EnumWindows order.
    struct RecordedProgram {
        DWORD pid;
        unsigned long long created;  // the process's creation time, for the journal
        ProcessHandle process;
        vela::String executable;
        vela::Array<HWND> windows;
    };
    // A recorded window still owned by its process, with its program's index in the table.
    struct OwnedWindow {
        HWND window;
        unsigned int program;
    };

    void buildTable();
    // What every clearing operation does first: the table, the foreground window unless one
    // is saved, and once the look for abandoned journals.
    void prepare();
    unsigned int findProgram(const vela::String& name) const;
    // The recorded windows still owned by their process, in the table's order: of the
    // program `only` (kNotFound for all), but those of the kept programs (by index) and the
    // kept windows. A closed window's handle may since name another program's window.
    vela::Array<OwnedWindow> ownedWindows(unsigned int only, const vela::Array<unsigned int>& keptPrograms,
                                          const vela::Array<HWND>& keptWindows) const;
    // Records the windows in the journal, then hides them.
    Outcome hide(const vela::Array<OwnedWindow>& windows);
    // Asks for the show command (and for the foreground window, when not null) and reports
    // what did not take effect in time.
    Outcome apply(const vela::Array<OwnedWindow>& windows, unsigned int showCmd, HWND foreground = nullptr);

    HWND m_foregroundWindow;
    bool m_foregroundSaved;  // since the last restore
    bool m_lookedForAbandoned;
    vela::Array<RecordedProgram> m_programs;
    ClearingJournal* m_journal;  // owned; each object has its own
};

}  // namespace stagehand
