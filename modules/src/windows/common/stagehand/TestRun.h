#pragma once

#include <stagehand/DesktopClearing.h>
#include <stagehand/Export.h>
#include <vela/Array.h>
#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// Runs a test program, whatever it is, on a prepared desktop, and gives the desktop back
// whatever happens to it: for harnesses that launch their tests themselves, and for
// `stagehand run`.
//
// In order: the other programs' windows are hidden (DesktopClearing, journaled) but for the
// spared ones; the screen saver is held off and the display on; the program starts in a job
// that ends its whole process tree when the job closes, so that a killed harness takes its
// test with it; it inherits an error mode that shows no crash dialog. Its own windows open
// after the table was built, so they are never touched. When it ends, in any way, the
// windows are shown again, the foreground, the screen saver and the display given back, and
// the journal removed.
class STAGEHAND_API TestRun {
public:
    struct STAGEHAND_API Options {
        // Executable names whose windows stay visible, and windows that stay visible.
        vela::Array<vela::String> spare;
        vela::Array<HWND> spareWindows;
        // How long the program may run, in milliseconds; INFINITE for as long as it takes.
        DWORD timeout;
        // When not null: signalled, it ends the program at once, as a timeout does.
        HANDLE stop;
        // When not null: called when the time is up, before the program is ended (a
        // screenshot of what it showed, say).
        void (*timedOut)(void* context);
        void* context;

        Options();
        Options(const Options& other);
        Options& operator=(const Options& other);
        ~Options();
    };

    struct STAGEHAND_API Outcome {
        enum Ending {
            EXITED,       // the program ended by itself; its exit code is set (a crash's NTSTATUS too)
            TIMED_OUT,    // the time was up, or `stop` was signalled: it was ended
            NOT_FOUND,    // no such program
            NOT_STARTED,  // found, but it could not be started, or run and waited for (then ended)
            FAILED        // the job could not be made: nothing was run and nothing changed
        };

        Ending ending;
        DWORD exitCode;
        DWORD error;  // why it was not found, started or run: a Windows error code
        unsigned long long milliseconds;
        // What hiding did, and showing again.
        DesktopClearing::Outcome hidden;
        DesktopClearing::Outcome shown;

        Outcome();
        Outcome(const Outcome& other);
        Outcome& operator=(const Outcome& other);
        ~Outcome();
    };

    // Runs the command line (a program and its arguments, quoted as CreateProcessW takes
    // them) on the caller's thread, waiting until it has ended.
    static Outcome run(const vela::String& commandLine, const Options& options);
};

}  // namespace stagehand
