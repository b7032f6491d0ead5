#include <stagehand/RenderWindowManager.h>

#include "LogCodes.h"

#include <vela/ClassLogger.h>
#include <vela/TraceLogger.h>

#include <climits>

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

RenderWindowManager::RenderWindowManager()
{
    TraceLogger trace(s_log.traceLogger(), "RenderWindowManager::RenderWindowManager()", __FILE__, 54);
}

RenderWindowManager::RenderWindowManager(const RenderWindowManager& other) = default;

RenderWindowManager& RenderWindowManager::operator=(const RenderWindowManager& other) = default;

// The members go in reverse order: the clearing first, which shows the desktop again, then
// the render windows with the groups.
RenderWindowManager::~RenderWindowManager() = default;

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

// ---- Creation

// Made hidden, a window is placed and shown in one move: X maps it once, where it belongs.
// Each window is made, and then moved, on the calling thread, so SetWindowPos here waits on
// no other program; SWP_NOOWNERZORDER leaves an owner (WindowParam::parent), which may be
// another program's, where it is.
SharedWindow RenderWindowManager::addNewWindow(const WindowParam& param, WindowList& windowList)
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

void RenderWindowManager::showAtCorner(const WindowList& windows, const MonitorInfoEnumerator::Info& monitor)
{
    const RECT& area = monitor.monitorInfo.rcMonitor;
    for (unsigned int i = 0; i < windows.size(); ++i) {
        if (!SetWindowPos(windows[i]->getHWND(), nullptr, area.left, area.top, 0, 0,
                          SWP_NOSIZE | SWP_NOOWNERZORDER | SWP_SHOWWINDOW)) {
            DWORD error = GetLastError();
            s_log.log(LoggerPriority::FAILURE, logcode::kPlaceWindowFails, "SetWindowPos failed ",
                      static_cast<unsigned int>(error));
        }
    }
}

SharedWindow RenderWindowManager::createRenderWindow(const WindowParam& param, const String& adapterId)
{
    MonitorInfoEnumerator::Info monitor;
    if (!m_monitorEnumerator.getMonitorInfo(adapterId, monitor)) {
        s_log.log(LoggerPriority::FAILURE, logcode::kNoAdapter, "Adapter ID ", adapterId,
                  " does not have a valid adapter");
        return SharedWindow();
    }
    SharedWindowList windows = adapterGroup(adapterId);
    SharedWindow window = addNewWindow(param, *windows.get());
    const RECT& r = param.rect;
    if (window->isInitialized() && !SetWindowPos(window->getHWND(), nullptr, r.left, r.top, extent(r.left, r.right),
                                                 extent(r.top, r.bottom), SWP_NOOWNERZORDER | SWP_SHOWWINDOW)) {
        DWORD error = GetLastError();
        s_log.log(LoggerPriority::FAILURE, logcode::kPlaceWindowFails, "SetWindowPos failed ",
                  static_cast<unsigned int>(error));
    }
    return window;
}

bool RenderWindowManager::createRenderWindow(const vela::Array<WindowParam>& creationParam, const String& adapterId)
{
    SharedWindowList windows = findAdapterGroup(adapterId);
    MonitorInfoEnumerator::Info monitor;
    WindowList added;
    if (!addNewWindows(creationParam, adapterId, windows, monitor, added))
        return false;
    showAtCorner(added, monitor);
    return true;
}

bool RenderWindowManager::addNewWindows(const vela::Array<WindowParam>& creationParam, const String& adapterId,
                                        SharedWindowList& windows, MonitorInfoEnumerator::Info& monitor,
                                        WindowList& added)
{
    TraceLogger trace(s_log.traceLogger(), "RenderWindowManager::createRenderWindow", __FILE__, 276);
    if (creationParam.size() == 0) {
        s_log.log(LoggerPriority::FAILURE, logcode::kNoParameters, "Need at least one parameter in creationParam");
        return false;
    }
    if (!m_monitorEnumerator.getMonitorInfo(adapterId, monitor)) {
        s_log.log(LoggerPriority::FAILURE, logcode::kNoAdapterForArray, "Adapter ID ", adapterId,
                  " does not have a valid adapter");
        return false;
    }
    if (!windows.get())
        windows = newAdapterGroup(adapterId);
    for (unsigned int i = 0; i < creationParam.size(); ++i) {
        SharedWindow window = addNewWindow(creationParam[i], *windows.get());
        if (window->isInitialized())
            added.append(window);
    }
    return true;
}

bool RenderWindowManager::createTiledRenderWindow(const vela::Array<WindowParam>& params, const String& adapterId,
                                                  const TileParam& tile)
{
    TraceLogger trace(s_log.traceLogger(), "RenderWindowManager::createTiledRenderWindow", __FILE__, 342);
    // In 64 bits: a 32-bit product of two large dimensions would wrap to a small count.
    if (params.size() != static_cast<unsigned long long>(tile.columns) * tile.rows) {
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
    if (list.size() != params.size()) {
        s_log.log(LoggerPriority::FAILURE, logcode::kNotAllWindowsMade, "Not all requested windows can be created");
        showAtCorner(list, monitor);
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

void RenderWindowManager::setTopLevelProcessShowState(const String& name, unsigned int showCmd)
{
    m_clearing.setProgramShowState(name, showCmd);
}

void RenderWindowManager::minimizeTopLevelProcess(const String& name)
{
    // Hidden, not minimised: a minimised window would still show on a taskbar.
    setTopLevelProcessShowState(name, SW_HIDE);
}

void RenderWindowManager::hideAllTopLevelProcess()
{
    m_clearing.hideAllExcept(vela::Array<String>(), vela::Array<HWND>());
}

void RenderWindowManager::hideAllTopLevelProcessExcept(const vela::Array<HWND>& keepWindows)
{
    m_clearing.hideAllExcept(vela::Array<String>(), keepWindows);
}

void RenderWindowManager::hideAllTopLevelProcessExcept(const vela::Array<String>& keepProcesses)
{
    m_clearing.hideAllExcept(keepProcesses, vela::Array<HWND>());
}

void RenderWindowManager::hideAllTopLevelProcessExcept(const vela::Array<String>& keepProcesses,
                                                       const vela::Array<HWND>& keepWindows)
{
    m_clearing.hideAllExcept(keepProcesses, keepWindows);
}

void RenderWindowManager::restoreAllTopLevelProcess()
{
    m_clearing.restore();
}

}  // namespace stagehand
