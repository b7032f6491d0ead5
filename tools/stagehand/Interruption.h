#pragma once

#include "OwnedHandle.h"

#include <windows.h>

// Ctrl+C, Ctrl+Break, the console's closing and the session's end, while a run lives. The
// program gets the event as well, from the console, and may end by itself; one that has not
// ended within a short grace (a program without a console never sees the event) is stopped
// through stop(), as a timeout stops it.
class Interruption {
public:
    // Takes the console's events, until it goes. One at a time.
    Interruption();
    ~Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    // Signalled when the program is to be stopped.
    HANDLE stop() const { return m_stop.get(); }
    // The run is over: no grace is waited for any more.
    void runEnded();
    // Whether an event came.
    bool happened() const;

    // The console's handler. A closing console ends this process once the handler returns,
    // so it returns only once the run is over and its desktop given back, or a bound is up.
    static BOOL WINAPI onConsoleEvent(DWORD event);

private:
    OwnedHandle m_stop;
    OwnedHandle m_ended;
    OwnedHandle m_done;  // the desktop is given back and the reports written
    volatile LONG m_happened = 0;
};
