#pragma once

#include <stagehand/DisplayModeEnumerator.h>
#include <stagehand/Export.h>
#include <vela/String.h>

namespace stagehand {

// An adapter id and a mode asked for it.
struct AdapterMode {
    vela::String adapterId;
    DisplayMode mode;
};

// Sets one adapter's display mode for the object's lifetime, and gives the mode it found back
// when it ends. The change is temporary (CDS_FULLSCREEN): it is never written to the
// registry, so a restart shows the user's own mode.
//
// A mode that the adapter does not list is refused before anything changes, and the reason
// names the nearest listed modes; a refusal of the system names its DISP_CHANGE_ code. Only
// that adapter's mode changes: the other monitors keep theirs, but the system moves the
// monitors to the right of one whose width changed, so that they stay side by side.
//
// The holds of one adapter in one process nest, on any thread: the adapter shows the mode of
// the latest hold alive, and the last to end gives back the mode that the first one found.
// Before the first hold of an adapter changes it, the process records the mode it found in a
// journal of its own, removed once that mode is back; should the process die first,
// DesktopRecovery (`stagehand restore`) gives the mode back, and a process that ends
// normally with holds alive gives it back as it ends.
class STAGEHAND_API DisplayModeHold {
public:
    enum Status {
        NOT_HELD,         // nothing asked for yet, or released
        HELD,             // the mode is set
        UNKNOWN_ADAPTER,  // no monitor has the adapter id
        NOT_LISTED,       // the adapter does not list the mode
        UNREADABLE,       // the adapter's modes cannot be read (logged)
        REFUSED           // the system refused the change (logged)
    };

    DisplayModeHold();
    // Gives the mode back, as release() does.
    ~DisplayModeHold();
    DisplayModeHold(const DisplayModeHold&) = delete;
    DisplayModeHold& operator=(const DisplayModeHold&) = delete;

    // Sets the listed mode that `mode` asks for (DisplayModeEnumerator::choose) on the
    // adapter; what the object held before is released first. Anything but HELD changed
    // nothing, and problem() says why.
    Status take(const vela::String& adapterId, const DisplayMode& mode);
    // Ends the hold. False when the mode could not be set back (logged): its journal is
    // left for `stagehand restore`. The object holds nothing afterwards either way.
    bool release();

    Status status() const;
    // After a take() that found the mode listed (HELD, or REFUSED by the system), also once
    // released: the adapter id as its monitor spells it, the listed mode chosen, and the mode
    // the adapter had before.
    const vela::String& adapterId() const;
    const DisplayMode& mode() const;
    const DisplayMode& previous() const;
    // Why the last take() failed; empty after one that succeeded.
    const vela::String& problem() const;

    // What take() would find, changing nothing (and logging only modes that cannot be read):
    // HELD when the adapter lists the mode, else the status take() would return and its
    // problem.
    static Status check(const vela::String& adapterId, const DisplayMode& mode, vela::String& problem);

    // A process that ends with holds alive gives their adapters' modes back, waiting for no
    // one. For the library's entry point alone.
    static void releaseAllAtExit();

private:
    Status m_status;
    vela::String m_adapterId;
    DisplayMode m_mode;
    DisplayMode m_previous;
    vela::String m_problem;
};

}  // namespace stagehand
