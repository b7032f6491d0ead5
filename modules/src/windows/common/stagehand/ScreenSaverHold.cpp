#include <stagehand/ScreenSaverHold.h>

#include "ClearingJournal.h"
#include "JournalFiles.h"
#include "LogCodes.h"
#include "ProcessIdentity.h"
#include "UniqueHandle.h"

#include <vela/ClassLogger.h>
#include <vela/LastErrorKeeper.h>

#include <windows.h>

using vela::LoggerPriority;

namespace stagehand {

namespace {

// The screen saver is a render window's: its lines are the window's.
vela::ClassLogger s_log("stagehand.GenericWindows");

// The holds of this copy of the library, and the journal of the one that switched it off.
unsigned int s_holders = 0;
ClearingJournal* s_journal = nullptr;

// The writers of the screen-saver journals in the folder, but for this copy's own.
vela::Array<JournalProcess> otherHolders()
{
    vela::Array<JournalProcess> writers;
    vela::String folder = journalFolder();
    DWORD error = 0;
    vela::Array<vela::String> names =
        folder.empty() ? vela::Array<vela::String>()
                       : listJournalFiles(folder, ClearingJournal::pattern(ClearingJournal::SCREEN_SAVER), error);
    for (unsigned int i = 0; i < names.size(); ++i)
        if (!s_journal || !s_journal->isNamed(names[i]))
            writers.append(ClearingJournal::writerOfName(names[i]));
    return writers;
}

bool heldElsewhere()
{
    vela::Array<JournalProcess> writers = otherHolders();
    for (unsigned int i = 0; i < writers.size(); ++i)
        if (isRunning(writers[i]))
            return true;
    return false;
}

}  // namespace

ScreenSaverHold::ScreenSaverHold() : m_held(false) {}

ScreenSaverHold::~ScreenSaverHold()
{
    if (!m_held || --s_holders != 0)
        return;
    SetThreadExecutionState(ES_CONTINUOUS);
    if (!s_journal)
        return;
    vela::LastErrorKeeper keep;  // a destructor runs on failure paths too
    bool held = false;
    try {
        held = heldElsewhere();
    } catch (...) {
        // Without memory to look, what this process changed is given back.
    }
    // Switched on again, the journal goes; otherwise it stays, for DesktopRecovery.
    if (held || SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE)) {
        s_journal->clear();
    } else {
        DWORD error = GetLastError();
        s_log.log(LoggerPriority::FAILURE, logcode::kScreenSaverNotBack,
                  "The screen saver cannot be switched back on (error ", error,
                  "): 'stagehand restore' will, once this program has ended");
    }
    delete s_journal;
    s_journal = nullptr;
}

bool ScreenSaverHold::take()
{
    // A retry after a failed initialize keeps the hold of the first attempt.
    if (m_held)
        return true;
    if (s_holders == 0) {
        BOOL active = FALSE;
        if (!SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0))
            return false;
        vela::LastErrorKeeper keep;
        // Off, with a journal of another holder: it was on, and that holder switched it off.
        if (active || otherHolders().size() != 0) {
            s_journal = new ClearingJournal(ClearingJournal::SCREEN_SAVER);
            s_journal->record(vela::Array<JournalWindow>(), nullptr);
        }
        if (active)
            SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDWININICHANGE);
        SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED);
    }
    ++s_holders;
    m_held = true;
    return true;
}

}  // namespace stagehand
