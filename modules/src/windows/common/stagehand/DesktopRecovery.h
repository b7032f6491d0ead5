#pragma once

#include <stagehand/DisplayModeEnumerator.h>
#include <stagehand/Export.h>
#include <vela/Array.h>
#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// Gives back what test programs that died left changed on the desktop: the windows that
// their DesktopClearing hid, a screen saver that a render window switched off, and the
// display modes that their DisplayModeHolds set. Each
// holder keeps a journal of what it changed in %LOCALAPPDATA%\stagehand (the local
// application-data folder, or %TEMP%, when LOCALAPPDATA is not set) and removes it when it
// gives it back; a journal whose writer (its pid together with its creation time) is no
// longer running was abandoned.
//
// A recorded window is shown only while it still belongs to its recorded process (the pid
// and that process's creation time), so that a handle since reused by another window is
// left alone. The screen saver is switched back on unless a running writer still holds it
// off. An adapter gets back the mode it had before, unless it is gone. A journal is removed through the very handle it was read with, so that a newer one
// written meanwhile under its name stays. A damaged journal (cut short, of an unknown
// version, not a journal, larger than 1 MiB) of an ended writer is refused with one line
// naming it, and kept as NAME.damaged (NAME.damaged-2, ... when taken) for inspection; one
// that a running writer may be writing is left alone. An empty journal, whose writer gave
// back what it recorded, goes quietly; a name in the folder that is no regular file is no
// journal.
class STAGEHAND_API DesktopRecovery {
public:
    // What became of one journal.
    struct STAGEHAND_API JournalReport {
        enum Outcome {
            RESTORED,    // given back and removed (in a dry run: would be)
            LEFT_ALONE,  // its writer is running
            REFUSED,     // damaged, of an ended writer; or a display mode that could not be set
                         // (the journal is kept as it is, for another try)
            KEPT         // what could be checked was given back; kept, since the owners of
                         // other windows could not be examined, some windows could not be
                         // asked to show, or it could not be opened
        };

        vela::String path;
        Outcome outcome;
        DWORD writerPid;  // from the journal, or from its name when it cannot be read
        bool writerRunning;
        // Shown again (in a dry run: those that would be), those skipped because they are
        // gone or now belong to another process, and those whose owner could not be opened.
        vela::Array<HWND> shown;
        vela::Array<HWND> skipped;
        vela::Array<HWND> unverified;
        unsigned int programs;  // the processes whose windows were shown
        bool screenSaver;       // a screen-saver journal: its writer switched it off
        // A display-mode journal: the adapter and the mode it had before its writer changed it,
        // and whether it was set again (in a dry run: would be); not when the adapter is gone.
        bool displayMode;
        vela::String adapter;
        DisplayMode mode;
        bool modeSet;
        vela::String problem;   // why a journal was refused, kept or left alone unread

        JournalReport();
        JournalReport(const JournalReport& other);
        JournalReport& operator=(const JournalReport& other);
        ~JournalReport();
    };

    struct STAGEHAND_API Report {
        vela::String folder;
        // Why the folder could not be listed (a Windows error code), or 0.
        DWORD folderError;
        // The journals in the folder: display-mode journals, then screen-saver ones, then
        // desktop ones, each kind in the order the file system lists them.
        vela::Array<JournalReport> journals;
        // Over all journals; a program is counted once.
        unsigned int windowsShown;
        unsigned int programs;
        unsigned int windowsSkipped;
        // The journals by outcome.
        unsigned int restored;
        unsigned int leftAlone;
        unsigned int refused;
        unsigned int kept;
        // The screen saver was switched back on (in a dry run: would be).
        bool screenSaverOn;
        // The adapters whose modes were set again (in a dry run: would be), and those whose
        // modes could not be (among the refused journals).
        unsigned int modesRestored;
        unsigned int modesRefused;

        Report();
        Report(const Report& other);
        Report& operator=(const Report& other);
        ~Report();

        // Everything was given back, or there was nothing to do: nothing was refused or kept,
        // and the folder could be listed.
        bool complete() const;
    };

    // Restores the abandoned journals: gives the display modes back, shows their windows,
    // gives the foreground back, switches the screen saver back on and removes them. `dryRun` changes nothing and
    // reports what would be done (a damaged journal is still named, but not renamed);
    // `force` also restores the journals of writers that are running.
    static Report restore(bool dryRun = false, bool force = false);
    // What restore would do, silently and changing nothing.
    static Report find();

private:
    static Report run(bool dryRun, bool force, bool quiet);
};

}  // namespace stagehand
