#pragma once

#include <stagehand/Export.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <vela/Array.h>
#include <vela/String.h>

#include <windows.h>

#include <memory>

namespace stagehand {

// Hides the visible top-level windows of the desktop's programs while a test draws, and
// shows them again. RenderWindowManager clears through one of these; the tool uses its own.
//
// One program at a time clears the desktop of a session: the first clearing operation takes
// the desktop, waiting a bounded time while another program holds it (a program started by
// a run that holds it works inside that hold), and restore() lets it go. The clearings of one
// process share the desktop.
//
// The table of the desktop's programs (every process but the first of the system's list
// that can be opened and shows a visible top-level window, this one included) is built by
// the first clearing operation and not rebuilt while it holds anything: windows opened
// later are never touched. The first clearing operation since the last restore also saves
// the foreground window and the stacking order of the shown windows, which restore() gives
// back.
//
// Nothing here waits on another program: windows of other threads are asked to hide or
// show without waiting for them, and the call then waits a bounded time for the requests to
// take effect. Windows whose programs did not respond in that time are named in one log
// line and in the outcome; they hide or show once their programs respond again.
//
// Before it hides windows, the object records them in a journal file of its own, removed
// when it shows them again: should the process die first, DesktopRecovery (`stagehand
// restore`) shows them again; should it end normally with windows hidden, the library shows
// them as it ends. All of it runs on the caller's thread.
class STAGEHAND_API DesktopClearing {
public:
    // How long a clearing waits for another program to let go of the desktop, unless told.
    static const DWORD kDefaultDesktopWait = 600000;

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
        // Not empty when another program held the desktop all the time it was waited for:
        // which program, and since when. Then nothing was changed.
        vela::String desktopHolder;

        Outcome();
        Outcome(const Outcome& other);
        Outcome& operator=(const Outcome& other);
        ~Outcome();
    };

    DesktopClearing();
    // A copy has the same table and saved foreground window, and a journal of its own; it
    // holds the desktop once it hides something itself.
    DesktopClearing(const DesktopClearing& other);
    // Takes the other's table without showing any window; the journal of what this object
    // hid stays on disk, for DesktopRecovery, and the desktop is let go.
    DesktopClearing& operator=(const DesktopClearing& other);
    // Shows again what it hid since the last restore().
    ~DesktopClearing();

    // Whether the table holds anything.
    bool isValid() const;

    // How long the clearing operations wait for another program to let go of the desktop,
    // in milliseconds (0: not at all).
    void setDesktopWait(DWORD milliseconds);
    // An event of the caller's that, signalled, ends that wait at once, as if its time were
    // up (a user's Ctrl+C, say); null for none.
    void setDesktopStop(HANDLE event);

    // What every clearing operation does first: takes the desktop, builds the table if it is
    // empty and saves the foreground window and the stacking order unless they are saved.
    // The outcome names the desktop's holder when another program held it all the time it
    // was waited for; then nothing was done.
    Outcome prepare();
    // While this object holds the desktop: what a program that it starts finds in its
    // environment variable STAGEHAND_DESKTOP_HOLDER, to clear the desktop within this hold.
    // Empty when it holds nothing.
    vela::String desktopHoldValue() const;
    // The index in the table of the first recorded program of that name (its executable's,
    // letter case aside), or 0xFFFFFFFF, logged ("116"), when there is none.
    unsigned int findProgram(const vela::String& name) const;

    // Hides every recorded window but those of the named programs (executable names, the
    // first recorded program of each name) and the given windows.
    Outcome hideAllExcept(const vela::Array<vela::String>& keepPrograms, const vela::Array<HWND>& keepWindows);
    // Applies the show command to the recorded windows of the first recorded program of
    // that name: SW_HIDE hides them as hideAllExcept does; any other command is only asked for.
    Outcome setProgramShowState(const vela::String& name, unsigned int showCmd);
    // Shows every recorded window again without activating it, each hidden one back in its
    // place in the stacking order, then gives the foreground back to the saved window,
    // removes the journal and lets the desktop go. With nothing hidden since the last
    // restore, it shows the recorded windows only while no other program holds the desktop.
    Outcome restore();

    // A process that ends with clearings alive: each shows again what it hid, without waiting
    // for anyone, and removes its journal. For the library's entry point alone.
    static void restoreAllAtExit();

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
    // What the object holds while windows are hidden: the desktop, the journal, the order.
    struct Hold;

    void buildTable();
    // The recorded windows still owned by their process, in the table's order: of the
    // program `only` (kNotFound for all), but those of the kept programs (by index) and the
    // kept windows. A closed window's handle may since name another program's window.
    vela::Array<OwnedWindow> ownedWindows(unsigned int only, const vela::Array<unsigned int>& keptPrograms,
                                          const vela::Array<HWND>& keptWindows) const;
    // Records the windows in the journal, then hides them.
    Outcome hide(const vela::Array<OwnedWindow>& windows);
    // Asks for the show command (and for the foreground window, when not null) and reports
    // what did not take effect in time; `late` are windows known not to respond already.
    Outcome apply(const vela::Array<OwnedWindow>& windows, unsigned int showCmd, HWND foreground = nullptr,
                  const vela::Array<HWND>& late = vela::Array<HWND>());
    vela::Array<HWND> shownMeanwhile() const;
    void enlist();
    void delist();
    // Asks for what restore() does, waiting for no one.
    void leaveAtExit();

    HWND m_foregroundWindow;
    bool m_foregroundSaved;  // since the last restore
    DWORD m_desktopWait;
    vela::Array<RecordedProgram> m_programs;
    std::unique_ptr<Hold> m_hold;
    // The clearings of this process, for its end.
    DesktopClearing* m_previous;
    DesktopClearing* m_next;
};

}  // namespace stagehand
