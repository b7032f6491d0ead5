#include <stagehand/DisplayModeHold.h>

#include "ClearingJournal.h"
#include "DisplayModeSetting.h"
#include "ExclusiveLock.h"
#include "LogCodes.h"
#include "ProcessIdentity.h"

#include <vela/ClassLogger.h>
#include <vela/LastErrorKeeper.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

using vela::LoggerPriority;
using vela::String;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.DisplayModeHold");

// The holds of one adapter in this copy of the library, with the journal of the mode that
// the first of them found.
struct AdapterHolds {
    String adapterId;
    DisplayMode found;
    DisplayMode shown;                    // what the holds set last
    std::vector<DisplayModeHold*> holds;  // alive, oldest first
    ClearingJournal journal{ClearingJournal::DISPLAY_MODE};
};

// Every adapter held, on any thread, under one lock.
SRWLOCK s_lock = SRWLOCK_INIT;
std::vector<std::unique_ptr<AdapterHolds>> s_adapters;

std::vector<std::unique_ptr<AdapterHolds>>::iterator adapterHolds(const String& adapterId)
{
    return std::find_if(s_adapters.begin(), s_adapters.end(),
                        [&](const std::unique_ptr<AdapterHolds>& a) { return a->adapterId == adapterId; });
}

// The last hold of the adapter ends: its journal goes once the mode it records is back, and
// stays for DesktopRecovery otherwise.
void endJournal(AdapterHolds& adapter)
{
    if (adapter.shown == adapter.found) {
        adapter.journal.clear();
        return;
    }
    try {
        adapter.journal.abandon();
    } catch (...) {
        // Without memory to note its name, the file stays all the same.
    }
}

void logNotGivenBack(const AdapterHolds& adapter, LONG result)
{
    s_log.log(LoggerPriority::FAILURE, logcode::kModeNotGivenBack, "The display mode ", displayModeText(adapter.found),
              " of ", adapter.adapterId, " cannot be given back (", changeResultName(result),
              "): 'stagehand restore' will, once this program has ended");
}

DisplayModeHold::Status examine(const String& adapterId, const DisplayMode& wanted, DisplayModeEnumerator& listed,
                                DisplayMode& chosen, String& problem)
{
    switch (listed.enumerate(adapterId)) {
    case DisplayModeEnumerator::UNKNOWN_ADAPTER:
        problem = String("no monitor has the adapter id ").append(adapterId);
        return DisplayModeHold::UNKNOWN_ADAPTER;
    case DisplayModeEnumerator::UNREADABLE:
        problem = String("the display modes of ").append(adapterId).append(" cannot be read");
        return DisplayModeHold::UNREADABLE;
    case DisplayModeEnumerator::LISTED: break;
    }
    if (!listed.choose(wanted, chosen)) {
        problem = listed.whyNotListed(wanted);
        return DisplayModeHold::NOT_LISTED;
    }
    return DisplayModeHold::HELD;
}

}  // namespace

DisplayModeHold::DisplayModeHold() : m_status(NOT_HELD), m_mode(), m_previous() {}

DisplayModeHold::~DisplayModeHold()
{
    vela::LastErrorKeeper keep;  // a destructor runs on failure paths too
    release();
}

DisplayModeHold::Status DisplayModeHold::check(const String& adapterId, const DisplayMode& mode, String& problem)
{
    DisplayModeEnumerator listed;
    DisplayMode chosen = {};
    return examine(adapterId, mode, listed, chosen, problem);
}

DisplayModeHold::Status DisplayModeHold::take(const String& adapterId, const DisplayMode& mode)
{
    release();
    m_problem = String();
    DisplayModeEnumerator listed;
    DisplayMode chosen = {};
    Status status = examine(adapterId, mode, listed, chosen, m_problem);
    if (status != HELD) {
        if (status != UNREADABLE)  // which the listing logged
            s_log.log(LoggerPriority::FAILURE, logcode::kModeRefused, "Refused to hold ", displayModeText(mode),
                      " on ", adapterId, ": ", m_problem);
        return m_status = status;
    }
    m_adapterId = listed.adapterId();
    m_mode = chosen;
    m_previous = listed.current();
    ExclusiveLock only(s_lock);
    // A new adapter's holds join the list only once its mode is set; nothing that follows
    // the change allocates.
    auto found = adapterHolds(listed.adapterId());
    std::unique_ptr<AdapterHolds> added;
    if (found == s_adapters.end()) {
        added = std::make_unique<AdapterHolds>();
        added->adapterId = listed.adapterId();
        added->found = added->shown = listed.current();
        s_adapters.reserve(s_adapters.size() + 1);
    }
    AdapterHolds& adapter = added ? *added : **found;
    adapter.holds.reserve(adapter.holds.size() + 1);
    if (added) {
        DisplayModeJournal journal = {currentProcess(), adapter.adapterId.toUtf8(), journalMode(adapter.found)};
        try {
            adapter.journal.write(formatJournal(journal));
        } catch (...) {
            adapter.journal.clear();
            throw;
        }
    }
    if (chosen != listed.current()) {
        DEVMODEW settings = displaySettings(chosen);
        LONG result = ChangeDisplaySettingsExW(adapter.adapterId.wide(), &settings, nullptr, CDS_FULLSCREEN, nullptr);
        if (result != DISP_CHANGE_SUCCESSFUL) {
            m_problem = String("the system refused ").append(displayModeText(chosen)).append(" on ");
            m_problem.append(adapter.adapterId).append(": ").append(changeResultName(result));
            s_log.log(LoggerPriority::FAILURE, logcode::kChangeRefused, "ChangeDisplaySettingsExW refused ",
                      displayModeText(chosen), " on ", adapter.adapterId, ": ", changeResultName(result));
            if (added)
                adapter.journal.clear();
            return m_status = REFUSED;
        }
    }
    adapter.shown = chosen;
    adapter.holds.push_back(this);
    if (added)
        s_adapters.push_back(std::move(added));
    return m_status = HELD;
}

bool DisplayModeHold::release()
{
    if (m_status != HELD) {
        m_status = NOT_HELD;
        return true;
    }
    m_status = NOT_HELD;
    ExclusiveLock only(s_lock);
    auto found = adapterHolds(m_adapterId);
    if (found == s_adapters.end())
        return true;  // given back as the process ends
    AdapterHolds& adapter = **found;
    adapter.holds.erase(std::remove(adapter.holds.begin(), adapter.holds.end(), this), adapter.holds.end());
    // The latest hold alive has its mode; the last gives back the first one's.
    DisplayMode next = adapter.holds.empty() ? adapter.found : adapter.holds.back()->mode();
    bool back = true;
    if (next != adapter.shown) {
        DEVMODEW settings = displaySettings(next);
        LONG result = ChangeDisplaySettingsExW(adapter.adapterId.wide(), &settings, nullptr, CDS_FULLSCREEN, nullptr);
        back = result == DISP_CHANGE_SUCCESSFUL;
        if (back)
            adapter.shown = next;
        else
            logNotGivenBack(adapter, result);
    }
    if (!adapter.holds.empty())
        return back;
    endJournal(adapter);
    s_adapters.erase(found);
    return back;
}

DisplayModeHold::Status DisplayModeHold::status() const
{
    return m_status;
}

const String& DisplayModeHold::adapterId() const
{
    return m_adapterId;
}

const DisplayMode& DisplayModeHold::mode() const
{
    return m_mode;
}

const DisplayMode& DisplayModeHold::previous() const
{
    return m_previous;
}

const String& DisplayModeHold::problem() const
{
    return m_problem;
}

void DisplayModeHold::releaseAllAtExit()
{
    // A thread that ended with the process may have held the lock: then it is left alone.
    if (!TryAcquireSRWLockExclusive(&s_lock))
        return;
    for (const std::unique_ptr<AdapterHolds>& adapter : s_adapters) {
        if (adapter->shown != adapter->found) {
            DEVMODEW settings = displaySettings(adapter->found);
            LONG result =
                ChangeDisplaySettingsExW(adapter->adapterId.wide(), &settings, nullptr, CDS_FULLSCREEN, nullptr);
            if (result == DISP_CHANGE_SUCCESSFUL)
                adapter->shown = adapter->found;
            else
                logNotGivenBack(*adapter, result);
        }
        endJournal(*adapter);
    }
    s_adapters.clear();
    ReleaseSRWLockExclusive(&s_lock);
}

}  // namespace stagehand
