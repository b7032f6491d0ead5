#pragma once

#include <stagehand/Export.h>
#include <vela/Array.h>
#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// Shows again the windows that a test program left hidden when it died before its
// RenderWindowManager restored the desktop. Each manager keeps a journal of what it hides
// in %LOCALAPPDATA%\stagehand (stagehand in %TEMP% when LOCALAPPDATA is not set) and
// removes it when it shows the windows again; a journal whose writer (its pid together
// with its creation time) is no longer running was abandoned.
//
// A recorded window is shown only while it still belongs to its recorded process (the pid
// and that process's creation time), so that a handle since reused by another window is
// left alone. A damaged journal (cut short, of an unknown version, not a journal, larger
// than 1 MiB) is refused with one line naming it, and kept as NAME.damaged for inspection.
class STAGEHAND_API DesktopRecovery {
public:
    // What became of one journal.
    struct STAGEHAND_API JournalReport {
        enum Outcome {
            RESTORED,    // its windows were shown again and it was removed (in a dry run: would be)
            LEFT_ALONE,  // its writer is running
            REFUSED      // damaged
        };

        vela::String path;
        Outcome outcome;
        DWORD writerPid;  // 0 for a refused journal
        bool writerRunning;
        // Shown again (in a dry run: those that would be), and those skipped because they
        // are gone or now belong to another process.
        vela::Array<HWND> shown;
        vela::Array<HWND> skipped;
        unsigned int programs;  // the processes whose windows were shown
        vela::String problem;   // why a refused journal was refused

        JournalReport();
        JournalReport(const JournalReport& other);
        JournalReport& operator=(const JournalReport& other);
        ~JournalReport();
    };

    struct STAGEHAND_API Report {
        vela::String folder;
        // The journals in the folder, in the order the file system lists them.
        vela::Array<JournalReport> journals;
        // Over all journals; a program is counted once.
        unsigned int windowsShown;
        unsigned int programs;
        unsigned int windowsSkipped;

        Report();
        Report(const Report& other);
        Report& operator=(const Report& other);
        ~Report();
    };

    // Restores the abandoned journals: shows their windows, gives the foreground back and
    // removes them. `dryRun` changes nothing and reports what would be done (a damaged
    // journal is still named, but not renamed); `force` also restores the journals of
    // writers that are running.
    static Report restore(bool dryRun = false, bool force = false);
    // What restore would show, silently and changing nothing.
    static Report find();

private:
    static Report run(bool dryRun, bool force, bool quiet);
};

}  // namespace stagehand
