#pragma once

#include <stagehand/DesktopClearing.h>
#include <stagehand/DisplayModeHold.h>
#include <stagehand/Export.h>
#include <vela/Array.h>
#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// Runs a test program, whatever it is, on a prepared desktop, and gives the desktop back
// whatever happens to it: for harnesses that launch their tests themselves, and for
// `stagehand run`.
//
// In order: the desktop is taken, waiting a bounded time while another program holds it;
// the other programs' windows are hidden (DesktopClearing, journaled) but for the spared
// ones; the screen saver is held off and the display on; the display modes asked for are set
// (each checked before anything changes); the program starts in a job that
// ends its whole process tree when the job closes, so that a killed harness takes its test
// with it. It inherits an error mode that shows no crash dialog, the standard handles it is
// given and no other handle, and the name of the desktop's holder, so that a test which
// clears the desktop itself works inside the run's hold. Its own windows open after the
// table was built, so they are never touched. When it ends, in any way, the windows are
// shown again, the display modes, the foreground, the screen saver and the display given
// back, the journal removed and the desktop let go.
class STAGEHAND_API TestRun {
public:
    struct STAGEHAND_API Options {
        // Executable names whose windows stay visible, and windows that stay visible.
        vela::Array<vela::String> spare;
        vela::Array<HWND> spareWindows;
        // How long to wait for another program to let go of the desktop, in milliseconds.
        DWORD desktopWait;
        // How long the program may run, in milliseconds; INFINITE for as long as it takes.
        DWORD timeout;
        // When not null: signalled, it ends the program at once, as a timeout does, or the
        // wait for the desktop (then nothing is run).
        HANDLE stop;
        // When not null: called when the time is up, before the program is ended (a
        // screenshot of what it showed, say).
        void (*timedOut)(void* context);
        void* context;
        // The display modes to hold while the program runs, at most one per adapter.
        vela::Array<AdapterMode> modes;

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
            FAILED,       // the job could not be made: nothing was run and nothing changed
            DESKTOP_BUSY,  // another program held the desktop all the time it was waited for
                           // (hidden.desktopHolder says which): nothing was run or changed
            MODE_REFUSED   // a display mode was refused (`problem` says why): nothing was run,
                           // and everything changed was given back
        };

        Ending ending;
        DWORD exitCode;
        DWORD error;  // why it was not found, started or run: a Windows error code
        unsigned long long milliseconds;
        // What hiding did, and showing again.
        DesktopClearing::Outcome hidden;
        DesktopClearing::Outcome shown;
        // The display modes held while the program ran, as the adapters listed them.
        vela::Array<AdapterMode> modes;
        vela::String problem;

        Outcome();
        Outcome(const Outcome& other);
        Outcome& operator=(const Outcome& other);
        ~Outcome();

        // What a wrapper such as `stagehand run` exits with: the program's exit code when it
        // ended by itself, else 124 (its time was up), 125 (the desktop was busy, a display mode
        // was refused, or no job could be made), 126 (it could not be started, or run) or 127 (not found).
        int exitStatus() const;
    };

    // Exit statuses of a run that did not end by itself, as timeout(1) and env(1) have them.
    static const int kTimedOut = 124;
    static const int kFailed = 125;
    static const int kNotStarted = 126;
    static const int kNotFound = 127;

    // Runs the command line (a program and its arguments, quoted as CreateProcessW takes
    // them) on the caller's thread, waiting until it has ended.
    static Outcome run(const vela::String& commandLine, const Options& options);
};

}  // namespace stagehand
