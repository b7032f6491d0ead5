#pragma once

namespace stagehand {

// Keeps the screen saver off and the display on for one render window (or one TestRun). The
// screen saver is a setting of the whole session while render windows come and go one by
// one, on any thread: the first hold of the process switches it off, when it was on, and the
// last one switches it on again, unless a running process still holds it off. Nothing else is
// written: a change the user makes meanwhile stays. The first hold also asks the system to
// keep the display on until the last hold goes, whichever thread that is on; the request ends
// with the process, so a crash cannot leave it behind.
//
// A process that dies while it holds the screen saver off leaves it off for the session, so
// the first hold records in a journal of its own that it switched it off; DesktopRecovery
// (`stagehand restore`) switches it back on. A later process that finds the screen saver off
// and such a journal knows that it was on, and holds it the same way. A process that ends
// normally with holds alive gives them back as it ends.
class ScreenSaverHold {
public:
    ScreenSaverHold();
    ~ScreenSaverHold();

    ScreenSaverHold(const ScreenSaverHold&) = delete;
    ScreenSaverHold& operator=(const ScreenSaverHold&) = delete;

    // Holds the screen saver off. False, with the last-error code of the failed read, when
    // its setting cannot be read; then nothing is held and nothing is switched.
    bool take();

    // A process that ends with holds alive gives them back, waiting for no one. For the
    // library's entry point alone.
    static void releaseAllAtExit();

private:
    bool m_held;
};

}  // namespace stagehand
