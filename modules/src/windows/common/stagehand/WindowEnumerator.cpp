#include <stagehand/WindowEnumerator.h>

#include "CallbackGuard.h"
#include "LogCodes.h"
#include "ProcessAccess.h"

#include <vela/ClassLogger.h>
#include <vela/TraceLogger.h>

using vela::LoggerPriority;
using vela::TraceLogger;

namespace stagehand {

namespace {

vela::ClassLogger s_log("stagehand.WindowEnumerator");

// What EnumWindows hands to EnumProc.
struct Collection {
    WindowEnumerator* collector;
    CallbackGuard guard;
};

}  // namespace

WindowEnumerator::WindowEnumerator() : m_processId(0) {}

WindowEnumerator::WindowEnumerator(const WindowEnumerator& other) = default;

WindowEnumerator& WindowEnumerator::operator=(const WindowEnumerator& other) = default;

WindowEnumerator::~WindowEnumerator() = default;

bool WindowEnumerator::enumerate(DWORD pid)
{
    TraceLogger trace(s_log.traceLogger(), "WindowEnumerator::enumerate", __FILE__, 18);
    m_processId = pid;
    m_windowHandles.clear();
    m_placements.clear();
    Collection collection = {this, CallbackGuard()};
    BOOL done = EnumWindows(&WindowEnumerator::EnumProc, reinterpret_cast<LPARAM>(&collection));
    collection.guard.rethrowIfCaught();
    return done == TRUE;
}

unsigned int WindowEnumerator::showWindowState(unsigned int i) const
{
    return m_placements[i].showCmd;
}

BOOL CALLBACK WindowEnumerator::EnumProc(HWND window, LPARAM context)
{
    Collection* collection = reinterpret_cast<Collection*>(context);
    return collection->guard.run([&] { return collection->collector->enumProcHelper(window); });
}

int WindowEnumerator::enumProcHelper(HWND window)
{
    TraceLogger trace(s_log.traceLogger(), "WindowEnumerator::enumProcHelper", __FILE__, 35);
    if (!isMainWindow(window))
        return 1;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement)) {
        DWORD error = GetLastError();
        s_log.log(LoggerPriority::FAILURE, logcode::kWindowPlacementFails, "GetWindowPlacement failed ", error);
        // Keep the placements aligned with the handles: what the window itself still tells.
        placement = WINDOWPLACEMENT();
        placement.length = sizeof placement;
        placement.showCmd = IsIconic(window) ? SW_SHOWMINIMIZED : IsZoomed(window) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    }
    // Room in both lists first, so that they grow together or not at all.
    m_windowHandles.reserve(m_windowHandles.size() + 1);
    m_placements.reserve(m_placements.size() + 1);
    m_windowHandles.append(window);
    m_placements.append(placement);
    return 1;
}

bool WindowEnumerator::isMainWindow(HWND window)
{
    DWORD pid = 0;
    return isShownWindow(window, pid) && pid == m_processId;
}

const vela::Array<HWND>& WindowEnumerator::windowHandles() const
{
    return m_windowHandles;
}

DWORD WindowEnumerator::processId() const
{
    return m_processId;
}

unsigned int WindowEnumerator::numWindows() const
{
    return m_windowHandles.size();
}

}  // namespace stagehand
