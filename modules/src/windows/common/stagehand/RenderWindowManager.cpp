#include <stagehand/RenderWindowManager.h>

#include "LogCodes.h"

#include <vela/ClassLogger.h>
#include <vela/TraceLogger.h>

#include <climits>
#include <exception>

using vela::LoggerPriority;
using vela::String;
using vela::TraceLogger;

namespace stagehand {

namespace {

vela::ClassLogger s_log("RenderWindowManager");

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

RenderWindowManager::RenderWindowManager() : m_lastCreation(CREATED)
{
    TraceLogger trace(s_log.traceLogger(), "RenderWindowManager::RenderWindowManager()", __FILE__, 54);
}

RenderWindowManager::RenderWindowManager(const RenderWindowManager& other) = default;

RenderWindowManager& RenderWindowManager::operator=(const RenderWindowManager& other) = default;

// The desktop comes back first, then the members go in reverse order: the clearing, which
// has nothing left to show, then the render windows with the groups.
RenderWindowManager::~RenderWindowManager()
{
    try {
        restoreAllTopLevelProcess();
    } catch (const std::exception&) {
        // The clearing's own destructor tries again, and logs what it cannot show.
    }
}

bool RenderWindowManager::isValid() const
{
    return m_clearing.isValid();
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

RenderWindowManager::Creation RenderWindowManager::lastCreation() const
{
    return m_lastCreation;
}

const DesktopClearing::Outcome& RenderWindowManager::lastClearing() const
{
    return m_lastClearing;
}

// ---- Creation

// Made hidden, a window is placed and shown in one move by the form that made it: X maps it
// once, where it belongs.
SharedWindow RenderWindowManager::addNewWindow(const WindowParam& param, const MonitorInfoEnumerator::Info&,
                                               WindowList& windowList)
{
    SharedWindow result(new GenericWindows());
    if (!result->initialize(GetModuleHandleW(nullptr), param.parent, param.windowName, param.style & ~WS_VISIBLE)) {
        s_log.log(LoggerPriority::FAILURE, logcode::kWindowNotInitialized, "Unable to initialize window ",
                  param.windowName);
        return result;
    }
    windowList.append(result);
    return result;
}

// The window was made on this thread by the call that shows it, so SetWindowPos waits on no
// other program: SWP_NOOWNERZORDER leaves an owner (WindowParam::parent), which may be another
// program's, where it is, and the activation that takes the foreground from another program
// is queued to that program's thread (a hung one included).
void RenderWindowManager::show(const SharedWindow& window, int x, int y, int width, int height, UINT flags)
{
    if (!SetWindowPos(window->getHWND(), nullptr, x, y, width, height, flags | SWP_NOOWNERZORDER | SWP_SHOWWINDOW)) {
        DWORD error = GetLastError();
        s_log.log(LoggerPriority::FAILURE, logcode::kPlaceWindowFails, "SetWindowPos failed ",
                  static_cast<unsigned int>(error));
    }
}

SharedWindow RenderWindowManager::createRenderWindow(const WindowParam& param, const String& adapterId)
{
    MonitorInfoEnumerator::Info monitor;
    if (!m_monitorEnumerator.getMonitorInfo(adapterId, monitor)) {
        m_lastCreation = NO_SUCH_ADAPTER;
        s_log.log(LoggerPriority::FAILURE, logcode::kNoAdapter, "Adapter ID ", adapterId,
                  " does not have a valid adapter");
        return SharedWindow();
    }
    SharedWindowList windows = adapterGroup(adapterId);
    SharedWindow window = addNewWindow(param, monitor, *windows.get());
    m_lastCreation = window->isInitialized() ? CREATED : NOT_ALL_CREATED;
    const RECT& r = param.rect;
    if (window->isInitialized())
        show(window, r.left, r.top, extent(r.left, r.right), extent(r.top, r.bottom), 0);
    return window;
}

bool RenderWindowManager::createRenderWindow(const vela::Array<WindowParam>& creationParam, const String& adapterId)
{
    SharedWindowList windows = findAdapterGroup(adapterId);
    MonitorInfoEnumerator::Info monitor;
    WindowList added;
    if (!addNewWindows(creationParam, adapterId, windows, monitor, added))
        return false;
    // At the monitor's corner, the last on top.
    const RECT& area = monitor.monitorInfo.rcMonitor;
    for (unsigned int i = 0; i < added.size(); ++i)
        show(added[i], area.left, area.top, 0, 0, SWP_NOSIZE);
    return true;
}

bool RenderWindowManager::addNewWindows(const vela::Array<WindowParam>& creationParam, const String& adapterId,
                                        SharedWindowList& windows, MonitorInfoEnumerator::Info& monitor,
                                        WindowList& added)
{
    TraceLogger trace(s_log.traceLogger(), "RenderWindowManager::createRenderWindow", __FILE__, 276);
    if (creationParam.size() == 0) {
        m_lastCreation = NO_PARAMETERS;
        s_log.log(LoggerPriority::FAILURE, logcode::kNoParameters, "Need at least one parameter in creationParam");
        return false;
    }
    // Placed by the monitor's rectangle and work area, as a display mode since changed has them.
    m_monitorEnumerator.refresh();
    if (!m_monitorEnumerator.getMonitorInfo(adapterId, monitor)) {
        m_lastCreation = NO_SUCH_ADAPTER;
        s_log.log(LoggerPriority::FAILURE, logcode::kNoAdapterForArray, "Adapter ID ", adapterId,
                  " does not have a valid adapter");
        return false;
    }
    if (!windows.get())
        windows = newAdapterGroup(adapterId);
    for (unsigned int i = 0; i < creationParam.size(); ++i) {
        SharedWindow window = addNewWindow(creationParam[i], monitor, *windows.get());
        if (window->isInitialized())
            added.append(window);
    }
    m_lastCreation = added.size() == creationParam.size() ? CREATED : NOT_ALL_CREATED;
    return true;
}

bool RenderWindowManager::createTiledRenderWindow(const vela::Array<WindowParam>& params, const String& adapterId,
                                                  const TileParam& tile)
{
    TraceLogger trace(s_log.traceLogger(), "RenderWindowManager::createTiledRenderWindow", __FILE__, 342);
    // In 64 bits: a 32-bit product of two large dimensions would wrap to a small count.
    if (params.size() != static_cast<unsigned long long>(tile.columns) * tile.rows) {
        m_lastCreation = GRID_MISMATCH;
        s_log.log(LoggerPriority::FAILURE, logcode::kGridMismatch,
                  "The number of windows must match the tiling dimension");
        return false;
    }

    // The adapter's earlier windows go first, whatever becomes of the new ones.
    SharedWindowList windows = findAdapterGroup(adapterId);
    if (windows.get())
        windows->clear();
    MonitorInfoEnumerator::Info monitor;
    WindowList list;
    if (!addNewWindows(params, adapterId, windows, monitor, list))
        return false;
    const RECT& area = monitor.monitorInfo.rcMonitor;
    if (list.size() != params.size()) {
        s_log.log(LoggerPriority::FAILURE, logcode::kNotAllWindowsMade, "Not all requested windows can be created");
        for (unsigned int i = 0; i < list.size(); ++i)
            show(list[i], area.left, area.top, 0, 0, SWP_NOSIZE);
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
                              SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_SHOWWINDOW)) {
                DWORD error = GetLastError();
                s_log.log(LoggerPriority::FAILURE, logcode::kPlaceTileFails, "SetWindowPos failed ",
                          static_cast<unsigned int>(error));
            }
        }
    }
    return true;
}

// ---- Desktop clearing

void RenderWindowManager::initialize()
{
    m_lastClearing = m_clearing.prepare();
}

unsigned int RenderWindowManager::findTopLevelProcess(const String& name)
{
    initialize();
    return m_clearing.findProgram(name);
}

void RenderWindowManager::setTopLevelProcessShowState(const String& name, unsigned int showCmd)
{
    m_lastClearing = m_clearing.setProgramShowState(name, showCmd);
}

void RenderWindowManager::minimizeTopLevelProcess(const String& name)
{
    // Hidden, not minimised: a minimised window would still show on a taskbar.
    setTopLevelProcessShowState(name, SW_HIDE);
}

void RenderWindowManager::hideAllTopLevelProcess()
{
    m_lastClearing = m_clearing.hideAllExcept(vela::Array<String>(), vela::Array<HWND>());
}

void RenderWindowManager::hideAllTopLevelProcessExcept(const vela::Array<HWND>& keepWindows)
{
    m_lastClearing = m_clearing.hideAllExcept(vela::Array<String>(), keepWindows);
}

void RenderWindowManager::hideAllTopLevelProcessExcept(const vela::Array<String>& keepProcesses)
{
    m_lastClearing = m_clearing.hideAllExcept(keepProcesses, vela::Array<HWND>());
}

void RenderWindowManager::hideAllTopLevelProcessExcept(const vela::Array<String>& keepProcesses,
                                                       const vela::Array<HWND>& keepWindows)
{
    m_lastClearing = m_clearing.hideAllExcept(keepProcesses, keepWindows);
}

void RenderWindowManager::restoreAllTopLevelProcess()
{
    m_lastClearing = m_clearing.restore();
}

void RenderWindowManager::setDesktopWait(DWORD milliseconds)
{
    m_clearing.setDesktopWait(milliseconds);
}

}  // namespace stagehand
