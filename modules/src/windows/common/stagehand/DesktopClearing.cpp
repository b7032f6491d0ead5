#include <stagehand/DesktopClearing.h>

#include <stagehand/ProcessEnumerator.h>

#include "CallbackGuard.h"
#include "ClearingJournal.h"
#include "DesktopLock.h"
#include "ExclusiveLock.h"
#include "LogCodes.h"
#include "ProcessAccess.h"
#include "ProcessIdentity.h"
#include "StackingOrder.h"
#include "WindowShowing.h"

#include <vela/ClassLogger.h>

#include <exception>

using vela::LoggerPriority;
using vela::String;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.DesktopClearing");
// A name that matches no program is the manager's line, whoever looks it up.
vela::ClassLogger s_managerLog("RenderWindowManager");

// What the table's one EnumWindows pass collects: the shown top-level windows in
// EnumWindows order, and the process of each.
struct ShownWindows {
    vela::Array<HWND> windows;
    vela::Array<unsigned int> owners;
    CallbackGuard guard;
};

BOOL CALLBACK collectShownWindow(HWND window, LPARAM context)
{
    auto* shown = reinterpret_cast<ShownWindows*>(context);
    return shown->guard.run([&] {
        DWORD pid = 0;
        if (isShownWindow(window, pid)) {
            shown->windows.append(window);
            shown->owners.append(pid);
        }
        return TRUE;
    });
}

// The live clearings of this copy of the library, for the end of the process.
SRWLOCK s_liveLock = SRWLOCK_INIT;
DesktopClearing* s_live = nullptr;

}  // namespace

struct DesktopClearing::Hold {
    DesktopLock desktop;
    ClearingJournal file{ClearingJournal::DESKTOP};
    Journal journal{};
    // The shown windows in their stacking order when the foreground was saved.
    vela::Array<HWND> order;
    // The windows hidden since the last restore, and those whose hide did not take effect in
    // time: shown still, their programs have not responded since.
    vela::Array<HWND> hiddenWindows;
    vela::Array<HWND> late;
    bool hidden = false;  // since the last restore
    HANDLE stop = nullptr;  // the caller's: ends the wait for the desktop
};

DesktopClearing::Outcome::Outcome() : windows(0), programs(0), refused(0) {}

DesktopClearing::Outcome::Outcome(const Outcome& other) = default;

DesktopClearing::Outcome& DesktopClearing::Outcome::operator=(const Outcome& other) = default;

DesktopClearing::Outcome::~Outcome() = default;

DesktopClearing::DesktopClearing()
    : m_foregroundWindow(nullptr), m_foregroundSaved(false), m_desktopWait(kDefaultDesktopWait), m_hold(new Hold())
{
    enlist();
}

DesktopClearing::DesktopClearing(const DesktopClearing& other)
    : m_foregroundWindow(other.m_foregroundWindow),
      m_foregroundSaved(other.m_foregroundSaved),
      m_desktopWait(other.m_desktopWait),
      m_programs(other.m_programs),
      m_hold(new Hold())
{
    m_hold->order = other.m_hold->order;
    m_hold->stop = other.m_hold->stop;
    enlist();
}

DesktopClearing& DesktopClearing::operator=(const DesktopClearing& other)
{
    if (this == &other)
        return *this;
    m_programs = other.m_programs;
    m_foregroundWindow = other.m_foregroundWindow;
    m_foregroundSaved = other.m_foregroundSaved;
    m_desktopWait = other.m_desktopWait;
    m_hold->order = other.m_hold->order;
    m_hold->stop = other.m_hold->stop;
    m_hold->hiddenWindows.clear();
    m_hold->late.clear();
    m_hold->file.abandon();
    m_hold->journal.windows.clear();
    m_hold->desktop.release();
    m_hold->hidden = false;
    return *this;
}

DesktopClearing::~DesktopClearing()
{
    delist();
    // Nothing may leave a destructor: what cannot be shown now stays in the journal.
    try {
        if (m_hold->desktop.held())
            restore();
    } catch (const std::exception& e) {
        s_log.log(LoggerPriority::FAILURE, logcode::kNotShownAgain, "The hidden windows could not be shown again (",
                  e.what(), "): run 'stagehand restore' once this program has ended");
    }
}

bool DesktopClearing::isValid() const
{
    return m_programs.size() != 0;
}

void DesktopClearing::setDesktopWait(DWORD milliseconds)
{
    m_desktopWait = milliseconds;
}

void DesktopClearing::setDesktopStop(HANDLE event)
{
    m_hold->stop = event;
}

// One window pass tells which processes show a window. Only those are recorded, in the
// order of the system's process list, and of each only the executable's name is read.
void DesktopClearing::buildTable()
{
    ShownWindows shown;
    if (!EnumWindows(&collectShownWindow, reinterpret_cast<LPARAM>(&shown))) {
        shown.guard.rethrowIfCaught();
        s_log.log(LoggerPriority::FAILURE, logcode::kWindowsUnlisted, "The desktop's windows cannot be listed (error ",
                  static_cast<unsigned int>(GetLastError()), "): nothing is hidden");
        return;
    }
    ProcessEnumerator processes;
    if (!processes.enumerate() || processes.numPids() < 2)
        return;
    // The first entry of the system's list is never examined.
    for (unsigned int i = 1; i < processes.numPids(); ++i) {
        RecordedProgram program = {processes.processIds()[i], 0, ProcessHandle(), String(), vela::Array<HWND>()};
        for (unsigned int w = 0; w < shown.windows.size(); ++w)
            if (shown.owners[w] == program.pid)
                program.windows.append(shown.windows[w]);
        if (program.windows.size() == 0)
            continue;
        program.process = ProcessHandle(openProcessForModules(program.pid));
        if (!program.process.get())
            continue;
        program.executable = executableName(program.process.get());
        program.created = creationTime(program.process.get());
        // Journaled without it, its windows would be taken for another process's by recovery.
        if (program.created == 0) {
            s_log.log(LoggerPriority::FAILURE, logcode::kStartUnreadable, "The start time of process ", program.pid,
                      " cannot be read (error ", static_cast<unsigned int>(GetLastError()),
                      "): its windows are left as they are");
            continue;
        }
        m_programs.append(program);
    }
}

DesktopClearing::Outcome DesktopClearing::prepare()
{
    // The desktop first: another program's clearing may have windows hidden until it lets go.
    Outcome outcome;
    if (!m_hold->desktop.take(m_desktopWait, outcome.desktopHolder, true, m_hold->stop))
        return outcome;
    if (m_programs.size() == 0)
        buildTable();
    if (!m_foregroundSaved) {
        m_foregroundWindow = GetForegroundWindow();
        m_hold->order = StackingOrder::now();
        m_foregroundSaved = true;
    }
    return outcome;
}

String DesktopClearing::desktopHoldValue() const
{
    return m_hold->desktop.holderValue();
}

unsigned int DesktopClearing::findProgram(const String& name) const
{
    for (unsigned int i = 0; i < m_programs.size(); ++i)
        if (m_programs[i].executable.size() != 0 && String::compareNoCase(m_programs[i].executable, name) == 0)
            return i;
    s_managerLog.log(LoggerPriority::FAILURE, logcode::kProgramNotFound, "Cannot find process handle for process ",
                     name);
    return kNotFound;
}

vela::Array<DesktopClearing::OwnedWindow> DesktopClearing::ownedWindows(
    unsigned int only, const vela::Array<unsigned int>& keptPrograms, const vela::Array<HWND>& keptWindows) const
{
    vela::Array<OwnedWindow> owned;
    for (unsigned int i = 0; i < m_programs.size(); ++i) {
        if ((only != kNotFound && i != only) || keptPrograms.contains(i))
            continue;
        for (unsigned int j = 0; j < m_programs[i].windows.size(); ++j) {
            HWND window = m_programs[i].windows[j];
            DWORD owner = 0;
            if (!keptWindows.contains(window) && GetWindowThreadProcessId(window, &owner) && owner == m_programs[i].pid)
                owned.append(OwnedWindow{window, i});
        }
    }
    return owned;
}

DesktopClearing::Outcome DesktopClearing::hide(const vela::Array<OwnedWindow>& windows)
{
    Journal& journal = m_hold->journal;
    if (windows.size() != 0) {
        if (journal.writer.pid == 0)
            journal.writer = currentProcess();
        for (unsigned int k = 0; k < windows.size(); ++k) {
            const RecordedProgram& program = m_programs[windows[k].program];
            JournalWindow entry = {reinterpret_cast<ULONG_PTR>(windows[k].window), {program.pid, program.created}};
            bool known = false;
            for (unsigned int j = 0; j < journal.windows.size() && !known; ++j)
                known = journal.windows[j].handle == entry.handle;
            if (!known)
                journal.windows.append(entry);
        }
        journal.foreground.handle = reinterpret_cast<ULONG_PTR>(m_foregroundWindow);
        journal.foreground.owner = windowOwner(m_foregroundWindow);
        if (journal.foreground.owner.pid != 0 && journal.foreground.owner.created == 0)
            s_log.log(LoggerPriority::FAILURE, logcode::kForegroundOwnerUnread,
                      "The start time of the foreground window's process cannot be read (error ",
                      static_cast<unsigned int>(GetLastError()), "): a recovery will not give it the foreground");
        m_hold->file.write(formatJournal(journal));
        m_hold->hidden = true;
    }
    for (unsigned int k = 0; k < windows.size(); ++k)
        if (!m_hold->hiddenWindows.contains(windows[k].window))
            m_hold->hiddenWindows.append(windows[k].window);
    Outcome outcome = apply(windows, SW_HIDE);
    for (unsigned int k = 0; k < outcome.unresponsive.size(); ++k)
        if (!m_hold->late.contains(outcome.unresponsive[k]))
            m_hold->late.append(outcome.unresponsive[k]);
    return outcome;
}

DesktopClearing::Outcome DesktopClearing::apply(const vela::Array<OwnedWindow>& windows, unsigned int showCmd,
                                                HWND foreground, const vela::Array<HWND>& knownLate)
{
    Outcome outcome;
    vela::Array<HWND> handles;
    vela::Array<unsigned int> programs;
    for (unsigned int k = 0; k < windows.size(); ++k) {
        handles.append(windows[k].window);
        if (!programs.contains(windows[k].program))
            programs.append(windows[k].program);
    }
    outcome.windows = handles.size();
    outcome.programs = programs.size();
    if (showCmd != SW_HIDE && showCmd != SW_SHOW) {
        for (unsigned int k = 0; k < handles.size(); ++k)
            ShowWindowAsync(handles[k], static_cast<int>(showCmd));
        return outcome;
    }
    const char* verb = showCmd == SW_HIDE ? "hide" : "show";
    VisibilityRequest request(handles, showCmd == SW_SHOW, foreground,
                              showCmd == SW_SHOW ? m_hold->order : vela::Array<HWND>(), shownMeanwhile());
    vela::Array<HWND> late = request.await();
    outcome.refused = request.refused().size();
    if (outcome.refused != 0)
        s_log.log(LoggerPriority::FAILURE, logcode::kNotAsked, outcome.refused, " windows could not be asked to ",
                  verb, " (error ", static_cast<unsigned int>(request.error()), ")");
    String names;
    for (unsigned int k = 0; k < windows.size(); ++k) {
        HWND window = windows[k].window;
        const String& name = m_programs[windows[k].program].executable;
        if (!(late.contains(window) || knownLate.contains(window)) || request.refused().contains(window))
            continue;
        outcome.unresponsive.append(window);
        if (!outcome.unresponsivePrograms.contains(name)) {
            outcome.unresponsivePrograms.append(name);
            names.append(names.empty() ? "" : ", ").append(name);
        }
    }
    if (outcome.unresponsive.size() != 0)
        s_log.log(LoggerPriority::FAILURE, logcode::kUnresponsive, outcome.unresponsive.size(),
                  outcome.unresponsive.size() == 1 ? " window of " : " windows of ",
                  outcome.unresponsivePrograms.size(),
                  outcome.unresponsivePrograms.size() == 1 ? " program" : " programs", " did not respond (", names,
                  "); they will ", verb, " when those programs respond again");
    return outcome;
}

DesktopClearing::Outcome DesktopClearing::hideAllExcept(const vela::Array<String>& keepPrograms,
                                                        const vela::Array<HWND>& keepWindows)
{
    Outcome taken = prepare();
    if (!taken.desktopHolder.empty())
        return taken;
    vela::Array<unsigned int> kept;
    for (unsigned int n = 0; n < keepPrograms.size(); ++n)
        kept.append(findProgram(keepPrograms[n]));
    return hide(ownedWindows(kNotFound, kept, keepWindows));
}

DesktopClearing::Outcome DesktopClearing::setProgramShowState(const String& name, unsigned int showCmd)
{
    Outcome taken = prepare();
    if (!taken.desktopHolder.empty())
        return taken;
    unsigned int i = findProgram(name);
    if (i == kNotFound)
        return Outcome();
    vela::Array<OwnedWindow> windows = ownedWindows(i, vela::Array<unsigned int>(), vela::Array<HWND>());
    return showCmd == SW_HIDE ? hide(windows) : apply(windows, showCmd);
}

DesktopClearing::Outcome DesktopClearing::restore()
{
    // Not holding the desktop, showing the recorded windows must not undo another program's
    // clearing: they are shown only while no other program holds it.
    Outcome outcome;
    if (!m_hold->desktop.held() &&
        (m_programs.size() == 0 || !m_hold->desktop.take(0, outcome.desktopHolder, false)))
        return outcome;
    vela::Array<OwnedWindow> windows = ownedWindows(kNotFound, vela::Array<unsigned int>(), vela::Array<HWND>());
    // A window whose hide never ran is shown still, its program silent since.
    vela::Array<HWND> stillLate;
    for (unsigned int k = 0; k < m_hold->late.size(); ++k)
        if (IsWindowVisible(m_hold->late[k]))
            stillLate.append(m_hold->late[k]);
    outcome = apply(windows, SW_SHOW, m_foregroundWindow, stillLate);
    m_foregroundWindow = nullptr;
    m_foregroundSaved = false;
    m_hold->order.clear();
    m_hold->hiddenWindows.clear();
    m_hold->late.clear();
    // Windows that could not be asked to show stay hidden: their journal stays, for
    // DesktopRecovery (`stagehand restore`), and the next restore tries them again.
    if (outcome.refused == 0) {
        m_hold->file.clear();
        m_hold->journal.windows.clear();
    }
    m_hold->hidden = false;
    m_hold->desktop.release();
    return outcome;
}

// The windows hidden since the last restore that their programs have shown again: they stay
// where their programs put them.
vela::Array<HWND> DesktopClearing::shownMeanwhile() const
{
    vela::Array<HWND> shown;
    for (unsigned int k = 0; k < m_hold->hiddenWindows.size(); ++k) {
        HWND window = m_hold->hiddenWindows[k];
        if (IsWindowVisible(window) && !m_hold->late.contains(window))
            shown.append(window);
    }
    return shown;
}

void DesktopClearing::enlist()
{
    ExclusiveLock only(s_liveLock);
    m_previous = nullptr;
    m_next = s_live;
    if (s_live)
        s_live->m_previous = this;
    s_live = this;
}

void DesktopClearing::delist()
{
    ExclusiveLock only(s_liveLock);
    (m_previous ? m_previous->m_next : s_live) = m_next;
    if (m_next)
        m_next->m_previous = m_previous;
}

// The process is ending under the loader lock, its other threads gone: the windows are asked
// to show and the foreground to come back, and nothing is waited for.
void DesktopClearing::leaveAtExit()
{
    vela::Array<OwnedWindow> windows = ownedWindows(kNotFound, vela::Array<unsigned int>(), vela::Array<HWND>());
    vela::Array<HWND> handles;
    for (unsigned int k = 0; k < windows.size(); ++k)
        handles.append(windows[k].window);
    VisibilityRequest request(handles, true, m_foregroundWindow, m_hold->order, shownMeanwhile());
    if (request.refused().size() == 0)
        m_hold->file.clear();
    m_hold->hidden = false;
    // The desktop goes with the process, which a waiting taker sees end: letting go now would
    // take a lock that a thread killed by the exit may have held.
}

void DesktopClearing::restoreAllAtExit()
{
    // A thread that ended with the process may have held the list: then it is left alone.
    if (!TryAcquireSRWLockExclusive(&s_liveLock))
        return;
    for (DesktopClearing* clearing = s_live; clearing; clearing = clearing->m_next) {
        try {
            if (clearing->m_hold->hidden)
                clearing->leaveAtExit();
        } catch (const std::exception&) {
            // Without memory to ask, the journal stays for `stagehand restore`.
        }
    }
    ReleaseSRWLockExclusive(&s_liveLock);
}

}  // namespace stagehand
