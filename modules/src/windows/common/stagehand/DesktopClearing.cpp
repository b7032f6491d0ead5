#include <stagehand/DesktopClearing.h>

#include <stagehand/DesktopRecovery.h>
#include <stagehand/ProcessEnumerator.h>

#include "CallbackGuard.h"
#include "ClearingJournal.h"
#include "LogCodes.h"
#include "ProcessAccess.h"
#include "ProcessIdentity.h"
#include "WindowShowing.h"

#include <vela/ClassLogger.h>

#include <exception>

using vela::LoggerPriority;
using vela::String;

namespace stagehand {

namespace {

// The logger the manager's clearing has always written to.
vela::ClassLogger s_log("RenderWindowManager");

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

}  // namespace

DesktopClearing::Outcome::Outcome() : windows(0), programs(0), refused(0) {}

DesktopClearing::Outcome::Outcome(const Outcome& other) = default;

DesktopClearing::Outcome& DesktopClearing::Outcome::operator=(const Outcome& other) = default;

DesktopClearing::Outcome::~Outcome() = default;

DesktopClearing::DesktopClearing()
    : m_foregroundWindow(nullptr), m_foregroundSaved(false), m_lookedForAbandoned(false),
      m_journal(new ClearingJournal(ClearingJournal::DESKTOP))
{
}

DesktopClearing::DesktopClearing(const DesktopClearing& other)
    : m_foregroundWindow(other.m_foregroundWindow),
      m_foregroundSaved(other.m_foregroundSaved),
      m_lookedForAbandoned(other.m_lookedForAbandoned),
      m_programs(other.m_programs),
      m_journal(new ClearingJournal(ClearingJournal::DESKTOP))
{
}

DesktopClearing& DesktopClearing::operator=(const DesktopClearing& other)
{
    m_programs = other.m_programs;
    m_foregroundWindow = other.m_foregroundWindow;
    m_foregroundSaved = other.m_foregroundSaved;
    m_lookedForAbandoned = other.m_lookedForAbandoned;
    if (this != &other)
        m_journal->abandon();
    return *this;
}

DesktopClearing::~DesktopClearing()
{
    // Nothing may leave a destructor: what cannot be shown now stays in the journal.
    try {
        restore();
    } catch (const std::exception& e) {
        s_log.log(LoggerPriority::FAILURE, logcode::kNotShownAgain, "The hidden windows could not be shown again (",
                  e.what(), "): run 'stagehand restore' once this program has ended");
    }
    delete m_journal;
}

bool DesktopClearing::isValid() const
{
    return m_programs.size() != 0;
}

// One window pass tells which processes show a window. Only those are recorded, in the
// order of the system's process list, and of each only the executable's name is read.
void DesktopClearing::buildTable()
{
    ShownWindows shown;
    EnumWindows(&collectShownWindow, reinterpret_cast<LPARAM>(&shown));
    shown.guard.rethrowIfCaught();
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
        program.process = openProcessForModules(program.pid);
        if (!program.process.get())
            continue;
        program.executable = executableName(program.process.get());
        program.created = creationTime(program.process.get());
        m_programs.append(program);
    }
}

void DesktopClearing::prepare()
{
    if (m_programs.size() == 0)
        buildTable();
    if (!m_foregroundSaved) {
        m_foregroundWindow = GetForegroundWindow();
        m_foregroundSaved = true;
    }
    if (!m_lookedForAbandoned) {
        m_lookedForAbandoned = true;
        DesktopRecovery::Report left = DesktopRecovery::find();
        if (left.windowsShown != 0)
            s_log.log(LoggerPriority::FAILURE, logcode::kLeftHidden, left.windowsShown, " windows of ", left.programs,
                      " programs are still hidden by test programs that ended: run 'stagehand restore' to show "
                      "them again");
    }
}

unsigned int DesktopClearing::findProgram(const String& name) const
{
    for (unsigned int i = 0; i < m_programs.size(); ++i)
        if (m_programs[i].executable.size() != 0 && String::compareNoCase(m_programs[i].executable, name) == 0)
            return i;
    s_log.log(LoggerPriority::FAILURE, logcode::kProgramNotFound, "Cannot find process handle for process ", name);
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
    if (windows.size() != 0) {
        vela::Array<JournalWindow> journal;
        for (unsigned int k = 0; k < windows.size(); ++k) {
            const RecordedProgram& program = m_programs[windows[k].program];
            JournalWindow entry = {reinterpret_cast<ULONG_PTR>(windows[k].window), {program.pid, program.created}};
            journal.append(entry);
        }
        m_journal->record(journal, m_foregroundWindow);
    }
    return apply(windows, SW_HIDE);
}

DesktopClearing::Outcome DesktopClearing::apply(const vela::Array<OwnedWindow>& windows, unsigned int showCmd,
                                                HWND foreground)
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
    VisibilityRequest request(handles, showCmd == SW_SHOW, foreground);
    vela::Array<HWND> late = request.await();
    outcome.refused = request.refused().size();
    if (outcome.refused != 0)
        s_log.log(LoggerPriority::FAILURE, logcode::kNotAsked, outcome.refused, " windows could not be asked to ", verb,
                  " (error ", static_cast<unsigned int>(request.error()), ")");
    String names;
    for (unsigned int k = 0; k < windows.size(); ++k) {
        HWND window = windows[k].window;
        const String& name = m_programs[windows[k].program].executable;
        if (!late.contains(window) || request.refused().contains(window))
            continue;
        outcome.unresponsive.append(window);
        if (!outcome.unresponsivePrograms.contains(name)) {
            outcome.unresponsivePrograms.append(name);
            names.append(names.empty() ? "" : ", ").append(name);
        }
    }
    if (outcome.unresponsive.size() != 0)
        s_log.log(LoggerPriority::FAILURE, logcode::kUnresponsive, outcome.unresponsive.size(), " windows of ",
                  outcome.unresponsivePrograms.size(), " programs did not respond (", names, "); they will ", verb,
                  " when those programs respond again");
    return outcome;
}

DesktopClearing::Outcome DesktopClearing::hideAllExcept(const vela::Array<String>& keepPrograms,
                                                        const vela::Array<HWND>& keepWindows)
{
    prepare();
    vela::Array<unsigned int> kept;
    for (unsigned int n = 0; n < keepPrograms.size(); ++n)
        kept.append(findProgram(keepPrograms[n]));
    return hide(ownedWindows(kNotFound, kept, keepWindows));
}

DesktopClearing::Outcome DesktopClearing::setProgramShowState(const String& name, unsigned int showCmd)
{
    prepare();
    unsigned int i = findProgram(name);
    if (i == kNotFound)
        return Outcome();
    vela::Array<OwnedWindow> windows = ownedWindows(i, vela::Array<unsigned int>(), vela::Array<HWND>());
    return showCmd == SW_HIDE ? hide(windows) : apply(windows, showCmd);
}

DesktopClearing::Outcome DesktopClearing::restore()
{
    Outcome outcome = apply(ownedWindows(kNotFound, vela::Array<unsigned int>(), vela::Array<HWND>()), SW_SHOW,
                            m_foregroundWindow);
    m_foregroundWindow = nullptr;
    m_foregroundSaved = false;
    // Windows that could not be asked to show stay hidden: their journal stays, for
    // DesktopRecovery (`stagehand restore`), and the next restore tries them again.
    if (outcome.refused == 0)
        m_journal->clear();
    return outcome;
}

}  // namespace stagehand
