#include <stagehand/RenderWindowManager.h>

#include <stagehand/ProcessEnumerator.h>

#include "CallbackGuard.h"
#include "ClearingJournal.h"
#include "ProcessAccess.h"

#include <vela/ClassLogger.h>
#include <vela/TraceLogger.h>

#include <psapi.h>

#include <climits>

using vela::LoggerPriority;
using vela::String;
using vela::TraceLogger;

namespace stagehand {

namespace {

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

// right - left, or bottom - top, as SetWindowPos takes it; huge rectangles must not overflow.
int extent(LONG from, LONG to)
{
    long long d = static_cast<long long>(to) - from;
    return d > INT_MAX ? INT_MAX : d < INT_MIN ? INT_MIN : static_cast<int>(d);
}

}  // namespace

// ---- Window parameters

RenderWindowManager::WindowParam::WindowParam() : rect(), style(0), windowName(), parent(nullptr) {}

RenderWindowManager::WindowParam::WindowParam(const WindowParam& other) = default;

RenderWindowManager::WindowParam& RenderWindowManager::WindowParam::operator=(const WindowParam& other) = default;

RenderWindowManager::WindowParam::~WindowParam() = default;


// ---- Construction, copies and destruction

RenderWindowManager::RenderWindowManager() : m_foregroundWindow(nullptr), m_journal(new ClearingJournal())
{
    TraceLogger trace(s_log.traceLogger(), "RenderWindowManager::RenderWindowManager()", __FILE__, 54);
}

RenderWindowManager::RenderWindowManager(const RenderWindowManager& other)
    : m_foregroundWindow(other.m_foregroundWindow),
      m_programs(other.m_programs),
      m_windowGroups(other.m_windowGroups),
      m_monitorEnumerator(other.m_monitorEnumerator),
      m_journal(new ClearingJournal())
{
}

RenderWindowManager& RenderWindowManager::operator=(const RenderWindowManager& other)
{
    m_foregroundWindow = other.m_foregroundWindow;
    m_programs = other.m_programs;
    m_windowGroups = other.m_windowGroups;
    m_monitorEnumerator = other.m_monitorEnumerator;
    if (this != &other)
        m_journal->abandon();
    return *this;
}

RenderWindowManager::~RenderWindowManager()
{
    // The desktop comes back first; the members then go in reverse order, the render
    // windows with the groups.
    restoreAllTopLevelProcess();
    delete m_journal;
}

// One window pass tells which processes show a window. Only those are recorded, in the
// order of the system's process list, and of each only the executable's name is read.
void RenderWindowManager::initialize()
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
        wchar_t name[MAX_PATH];
        DWORD length = GetModuleBaseNameW(program.process.get(), nullptr, name, MAX_PATH);
        program.executable = String(reinterpret_cast<const unsigned short*>(name), length);
        program.created = creationTime(program.process.get());
        m_programs.append(program);
    }
}

bool RenderWindowManager::isValid() const
{
    return m_programs.size() != 0;
}

const WindowList& RenderWindowManager::getWindowsByAdapterID(const String& adapterId) const
{
    static const WindowList none;
    SharedWindowList windows = findAdapterGroup(adapterId);
    return windows.get() ? *windows.get() : none;
}

SharedWindowList RenderWindowManager::findAdapterGroup(const String& adapterId) const
{
    for (unsigned int i = 0; i < m_windowGroups.size(); ++i)
        if (String::compareNoCase(m_windowGroups[i].adapterID, adapterId) == 0)
            return m_windowGroups[i].windows;
    return SharedWindowList();
}

SharedWindowList RenderWindowManager::adapterGroup(const String& adapterId)
{
    SharedWindowList windows = findAdapterGroup(adapterId);
    return windows.get() ? windows : newAdapterGroup(adapterId);
}

SharedWindowList RenderWindowManager::newAdapterGroup(const String& adapterId)
{
    WindowGroupedByAdapterID group;
    group.adapterID = adapterId;
    group.windows = SharedWindowList(new WindowList());
    m_windowGroups.append(group);
    return group.windows;
}

// ---- Creation

SharedWindow RenderWindowManager::addNewWindow(const WindowParam& param, const MonitorInfoEnumerator::Info& monitor,
                                               WindowList& windowList)
{
    SharedWindow result(new GenericWindows());
    if (!result->initialize(GetModuleHandleW(nullptr), param.parent, param.windowName, param.style)) {
        s_log.log(LoggerPriority::FAILURE, "267 ", "Unable to initialize window ", param.windowName);
        return result;
    }
    const RECT& area = monitor.monitorInfo.rcMonitor;
    if (!SetWindowPos(result->getHWND(), nullptr, area.left, area.top, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW)) {
        DWORD error = GetLastError();
        s_log.log(LoggerPriority::FAILURE, "261 ", "SetWindowPos failed ", static_cast<unsigned int>(error));
    }
    windowList.append(result);
    return result;
}

SharedWindow RenderWindowManager::createRenderWindow(const WindowParam& param, const String& adapterId)
{
    MonitorInfoEnumerator::Info monitor;
    if (!m_monitorEnumerator.getMonitorInfo(adapterId, monitor)) {
        s_log.log(LoggerPriority::FAILURE, "240 ", "Adapter ID ", adapterId, " does not have a valid adapter");
        return SharedWindow();
    }
    SharedWindowList windows = adapterGroup(adapterId);
    SharedWindow window = addNewWindow(param, monitor, *windows.get());
    if (window->isInitialized()) {
        const RECT& r = param.rect;
        SetWindowPos(window->getHWND(), nullptr, r.left, r.top, extent(r.left, r.right), extent(r.top, r.bottom),
                     SWP_SHOWWINDOW);
    }
    return window;
}

bool RenderWindowManager::createRenderWindow(const vela::Array<WindowParam>& creationParam, const String& adapterId)
{
    SharedWindowList windows = findAdapterGroup(adapterId);
    MonitorInfoEnumerator::Info monitor;
    return addNewWindows(creationParam, adapterId, windows, monitor);
}

bool RenderWindowManager::addNewWindows(const vela::Array<WindowParam>& creationParam, const String& adapterId,
                                        SharedWindowList& windows, MonitorInfoEnumerator::Info& monitor)
{
    TraceLogger trace(s_log.traceLogger(), "RenderWindowManager::createRenderWindow", __FILE__, 276);
    if (creationParam.size() == 0) {
        s_log.log(LoggerPriority::FAILURE, "280 ", "Need at least one parameter in creationParam");
        return false;
    }
    if (!m_monitorEnumerator.getMonitorInfo(adapterId, monitor)) {
        s_log.log(LoggerPriority::FAILURE, "287 ", "Adapter ID ", adapterId, " does not have a valid adapter");
        return false;
    }
    if (!windows.get())
        windows = newAdapterGroup(adapterId);
    for (unsigned int i = 0; i < creationParam.size(); ++i)
        addNewWindow(creationParam[i], monitor, *windows.get());
    return true;
}

bool RenderWindowManager::createTiledRenderWindow(const vela::Array<WindowParam>& params, const String& adapterId,
                                                  const TileParam& tile)
{
    TraceLogger trace(s_log.traceLogger(), "RenderWindowManager::createTiledRenderWindow", __FILE__, 342);
    // In 64 bits: a 32-bit product of two large dimensions would wrap to a small count.
    if (params.size() != static_cast<unsigned long long>(tile.columns) * tile.rows) {
        s_log.log(LoggerPriority::FAILURE, "345 ", "The number of windows must match the tiling dimension");
        return false;
    }

    // The adapter's earlier windows go first, whatever becomes of the new ones.
    SharedWindowList windows = findAdapterGroup(adapterId);
    if (windows.get())
        windows->clear();
    MonitorInfoEnumerator::Info monitor;
    if (!addNewWindows(params, adapterId, windows, monitor))
        return false;
    const WindowList& list = *windows.get();
    if (list.size() != params.size()) {
        s_log.log(LoggerPriority::FAILURE, "378 ", "Not all requested windows can be created");
        return false;
    }

    const RECT& work = monitor.monitorInfo.rcWork;
    unsigned int width = static_cast<unsigned int>(work.right - work.left) / tile.columns;
    unsigned int height = static_cast<unsigned int>(work.bottom - work.top) / tile.rows;
    unsigned int k = 0;
    for (unsigned int c = 0; c < tile.columns; ++c) {
        for (unsigned int r = 0; r < tile.rows; ++r, ++k) {
            int x = work.left + static_cast<int>(c * width);
            int y = work.top + static_cast<int>(r * height);
            if (!SetWindowPos(list[k]->getHWND(), nullptr, x, y, static_cast<int>(width), static_cast<int>(height),
                              SWP_NOZORDER | SWP_SHOWWINDOW)) {
                DWORD error = GetLastError();
                s_log.log(LoggerPriority::FAILURE, "396 ", "SetWindowPos failed ", static_cast<unsigned int>(error));
            }
        }
    }
    return true;
}

// ---- Desktop clearing

unsigned int RenderWindowManager::findTopLevelProcess(const String& name)
{
    if (m_programs.size() == 0)
        initialize();
    for (unsigned int i = 0; i < m_programs.size(); ++i)
        if (m_programs[i].executable.size() != 0 && String::compareNoCase(m_programs[i].executable, name) == 0)
            return i;
    s_log.log(LoggerPriority::FAILURE, "116 ", "Cannot find process handle for process ", name);
    return kNotFound;
}

vela::Array<RenderWindowManager::OwnedWindow> RenderWindowManager::ownedWindows(
    unsigned int only, const vela::Array<unsigned int>& keptProcesses, const vela::Array<HWND>& keptWindows) const
{
    vela::Array<OwnedWindow> owned;
    for (unsigned int i = 0; i < m_programs.size(); ++i) {
        if ((only != kNotFound && i != only) || keptProcesses.contains(i))
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

void RenderWindowManager::hide(const vela::Array<OwnedWindow>& windows)
{
    if (windows.size() == 0)
        return;
    vela::Array<JournalWindow> journal;
    for (unsigned int k = 0; k < windows.size(); ++k) {
        const RecordedProgram& program = m_programs[windows[k].program];
        JournalWindow entry = {reinterpret_cast<ULONG_PTR>(windows[k].window), {program.pid, program.created}};
        journal.append(entry);
    }
    m_journal->record(journal, m_foregroundWindow);
    for (unsigned int k = 0; k < windows.size(); ++k)
        ShowWindow(windows[k].window, SW_HIDE);
}

void RenderWindowManager::minimizeTopLevelProcess(const String& name)
{
    // Hidden, not minimised: a minimised window would still show on a taskbar.
    unsigned int i = findTopLevelProcess(name);
    if (i != kNotFound)
        hide(ownedWindows(i, vela::Array<unsigned int>(), vela::Array<HWND>()));
}

void RenderWindowManager::hideAllTopLevelProcess()
{
    m_foregroundWindow = GetForegroundWindow();
    hide(ownedWindows(kNotFound, vela::Array<unsigned int>(), vela::Array<HWND>()));
}

void RenderWindowManager::hideAllTopLevelProcessExcept(const vela::Array<HWND>& keepWindows)
{
    m_foregroundWindow = GetForegroundWindow();
    hide(ownedWindows(kNotFound, vela::Array<unsigned int>(), keepWindows));
}

vela::Array<unsigned int> RenderWindowManager::keptProcesses(const vela::Array<String>& names)
{
    vela::Array<unsigned int> kept;
    for (unsigned int n = 0; n < names.size(); ++n)
        kept.append(findTopLevelProcess(names[n]));
    return kept;
}

void RenderWindowManager::hideAllTopLevelProcessExcept(const vela::Array<String>& keepProcesses)
{
    hide(ownedWindows(kNotFound, keptProcesses(keepProcesses), vela::Array<HWND>()));
}

void RenderWindowManager::hideAllTopLevelProcessExcept(const vela::Array<String>& keepProcesses,
                                                       const vela::Array<HWND>& keepWindows)
{
    hide(ownedWindows(kNotFound, keptProcesses(keepProcesses), keepWindows));
}

void RenderWindowManager::restoreAllTopLevelProcess()
{
    vela::Array<OwnedWindow> windows = ownedWindows(kNotFound, vela::Array<unsigned int>(), vela::Array<HWND>());
    for (unsigned int k = 0; k < windows.size(); ++k)
        ShowWindow(windows[k].window, SW_SHOW);
    if (m_foregroundWindow)
        SetForegroundWindow(m_foregroundWindow);
    m_journal->clear();
}

}  // namespace stagehand
