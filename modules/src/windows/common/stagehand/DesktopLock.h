#pragma once

#include "JournalFormat.h"

#include <vela/String.h>

#include <windows.h>

namespace stagehand {

// Internal to the library: the desktop of a session is cleared by one program at a time, so
// that two tests never hide each other's windows or give back what the other has hidden.
// The lock is a record in named kernel objects of the session, shared by every process and
// every copy of the library in it:
// - the takes of one process are counted together, so that its clearings share the lock;
// - a program started by a run that holds the lock (it finds the holder in its environment,
//   STAGEHAND_DESKTOP_HOLDER) works inside that hold, and takes nothing;
// - a holder that died holds nothing: the next process to take the lock first gives back what
//   test programs that ended left changed (DesktopRecovery), a killed holder's among it.
// When the kernel objects cannot be had, clearing goes on without the lock, and says so once.
class DesktopLock {
public:
    // The environment variable through which a run names the holder to the program it starts.
    static const wchar_t kHolderVariable[];

    DesktopLock();
    // Lets go of what it holds.
    ~DesktopLock();
    DesktopLock(const DesktopLock&) = delete;
    DesktopLock& operator=(const DesktopLock&) = delete;

    // Takes the lock, waiting at most `wait` milliseconds while another program holds it, and
    // no longer once `stop` (when not null) is signalled; one line names that program once.
    // True when this object holds the lock, or it could not be used; false when the wait
    // ended, with `holder` naming the holder. Unless `look` is false, a process that takes
    // the lock afresh gives back first what test programs that ended left changed.
    bool take(DWORD wait, vela::String& holder, bool look = true, HANDLE stop = nullptr);
    void release();
    bool held() const { return m_state != FREE; }

    // What a program started within this hold finds in kHolderVariable; empty when nothing is held.
    vela::String holderValue() const;

private:
    enum State { FREE, COUNTED, NESTED, UNUSED };

    State m_state;
    JournalProcess m_holder;
};

}  // namespace stagehand
