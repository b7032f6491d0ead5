#include <stagehand/ScreenSaverHold.h>

#include "ClearingJournal.h"
#include "DisplayRequest.h"
#include "ExclusiveLock.h"
#include "JournalFiles.h"
#include "LogCodes.h"
#include "ProcessIdentity.h"
#include "ScreenSaverSetting.h"

#include <vela/ClassLogger.h>
#include <vela/LastErrorKeeper.h>

#include <windows.h>

#include <exception>

using vela::LoggerPriority;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.ScreenSaverHold");

// The holds of this copy of the library, on any thread, and the journal of the one that
// switched the screen saver off, all under one lock.
SRWLOCK s_lock = SRWLOCK_INIT;
unsigned int s_holders = 0;
ClearingJournal s_journal(ClearingJournal::SCREEN_SAVER);
bool s_journaled = false;

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
        if (!s_journal.isNamed(names[i]))
            writers.append(ClearingJournal::writerOfName(names[i]));
    if (error)
        s_log.log(LoggerPriority::FAILURE, logcode::kHoldersUnlisted, "The screen-saver journals in ", folder,
                  " cannot be listed (error ", static_cast<unsigned int>(error), "): other holders are not known");
    return writers;
}

bool heldElsewhere()
{
    vela::Array<JournalProcess> writers = otherHolders();
    for (unsigned int i = 0; i < writers.size(); ++i)
        switch (liveness(writers[i])) {
            case Liveness::RUNNING:
                return true;
            case Liveness::ENDED:
                break;
            case Liveness::UNKNOWN:
                s_log.log(LoggerPriority::FAILURE, logcode::kHolderUnknown, "Whether process ", writers[i].pid,
                          ", which holds the screen saver off too, still runs cannot be told (error ",
                          static_cast<unsigned int>(GetLastError()), "): it is left to switch it back on");
                return true;
        }
    return false;
}

// What the last hold gives back. Switched on again, the journal goes; otherwise it is left,
// closed, for DesktopRecovery.
void giveBack()
{
    DisplayRequest::release();
    if (!s_journaled)
        return;
    vela::LastErrorKeeper keep;  // a destructor runs on failure paths too
    bool held = false;
    try {
        held = heldElsewhere();
    } catch (const std::exception& e) {
        s_log.log(LoggerPriority::FAILURE, logcode::kHoldersUnlisted,
                  "Other holders of the screen saver cannot be "
                  "looked for (",
                  e.what(), "): it is switched back on");
    }
    if (held || switchScreenSaver(true)) {
        s_journal.clear();
        s_journaled = false;
    } else {
        DWORD error = GetLastError();
        s_log.log(LoggerPriority::FAILURE, logcode::kScreenSaverNotBack,
                  "The screen saver cannot be switched back on (error ", error,
                  "): 'stagehand restore' will, once this program has ended");
        s_journal.abandon();
        s_journaled = false;
    }
}

}  // namespace

ScreenSaverHold::ScreenSaverHold() : m_held(false) {}

ScreenSaverHold::~ScreenSaverHold()
{
    if (!m_held)
        return;
    ExclusiveLock only(s_lock);
    if (s_holders != 0 && --s_holders == 0)
        giveBack();
}

bool ScreenSaverHold::take()
{
    // A retry after a failed initialize keeps the hold of the first attempt.
    if (m_held)
        return true;
    ExclusiveLock only(s_lock);
    if (s_holders == 0) {
        BOOL active = FALSE;
        if (!readScreenSaver(active))
            return false;
        vela::LastErrorKeeper keep;
        // Off, with a journal of another holder: it was on, and that holder switched it off.
        if (active || otherHolders().size() != 0) {
            Journal journal = {currentProcess(), JournalWindow(), vela::Array<JournalWindow>()};
            s_journal.write(formatJournal(journal));
            s_journaled = true;
        }
        if (active && !switchScreenSaver(false))
            s_log.log(LoggerPriority::FAILURE, logcode::kScreenSaverNotOff,
                      "The screen saver cannot be switched off (error ", static_cast<unsigned int>(GetLastError()),
                      ")");
        if (!DisplayRequest::take())
            s_log.log(LoggerPriority::FAILURE, logcode::kDisplayNotKept, "The display cannot be kept on (error ",
                      static_cast<unsigned int>(GetLastError()), ")");
    }
    ++s_holders;
    m_held = true;
    return true;
}

void ScreenSaverHold::releaseAllAtExit()
{
    // A thread that ended with the process may have held the lock: then it is left alone.
    if (!TryAcquireSRWLockExclusive(&s_lock))
        return;
    if (s_holders != 0) {
        s_holders = 0;
        giveBack();
    }
    ReleaseSRWLockExclusive(&s_lock);
}

}  // namespace stagehand
