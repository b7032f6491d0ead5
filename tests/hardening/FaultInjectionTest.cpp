// Failure paths that Wine does not produce on demand, provoked through the import table.
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/RenderWindowManager.h>
#include <stagehand/WindowEnumerator.h>

#include "support/FakeMonitors.h"
#include "support/ImportHook.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

using stagehand::RenderWindowManager;

namespace {

HWND visibleWindow()
{
    return CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, nullptr, nullptr,
                           nullptr);
}

// Reports the first top-level window to the callback, then fails.
BOOL WINAPI enumWindowsFailingAfterOne(WNDENUMPROC proc, LPARAM data)
{
    proc(GetTopWindow(nullptr), data);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
}

BOOL WINAPI throwingPlacement(HWND, WINDOWPLACEMENT*)
{
    throw std::runtime_error("placement");
}

BOOL WINAPI throwingMonitorInfo(HMONITOR, MONITORINFO*)
{
    throw std::runtime_error("monitor");
}

RenderWindowManager::WindowParam param(const char* name)
{
    RenderWindowManager::WindowParam p;
    p.windowName = name;
    p.style = WS_POPUP;
    return p;
}

}  // namespace

TEST(FaultInjection, FailedWindowEnumerationReturnsFalseWithWhatItHad)
{
    HWND window = visibleWindow();
    ASSERT_EQ(window, GetTopWindow(nullptr));
    ImportHook hook(stagehandModule(), "user32.dll", "EnumWindows", &enumWindowsFailingAfterOne);
    stagehand::WindowEnumerator windows;
    EXPECT_FALSE(windows.enumerate(GetCurrentProcessId()));
    ASSERT_EQ(1u, windows.numWindows());
    EXPECT_EQ(window, windows.windowHandles()[0]);
    DestroyWindow(window);
}

// An exception must not unwind through the system's frames: it is carried past the call.
TEST(FaultInjection, ExceptionsInEnumerationCallbacksReachTheCaller)
{
    HWND window = visibleWindow();
    {
        ImportHook hook(stagehandModule(), "user32.dll", "GetWindowPlacement", &throwingPlacement);
        stagehand::WindowEnumerator windows;
        EXPECT_THROW(windows.enumerate(GetCurrentProcessId()), std::runtime_error);
        EXPECT_EQ(0u, windows.numWindows()) << "stopped at the first window, before keeping it";
    }
    {
        stagehand::MonitorInfoEnumerator monitors;
        ImportHook hook(stagehandModule(), "user32.dll", "GetMonitorInfoW", &throwingMonitorInfo);
        EXPECT_THROW(monitors.refresh(), std::runtime_error);
        EXPECT_EQ(0u, monitors.numMonitors());
    }
    DestroyWindow(window);
}

namespace {
decltype(&SetWindowPos) g_realSetWindowPos;
// Fails the move to the monitor's corner.
BOOL WINAPI failCornerMove(HWND window, HWND after, int x, int y, int cx, int cy, UINT flags)
{
    if (flags == (SWP_NOSIZE | SWP_SHOWWINDOW)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return g_realSetWindowPos(window, after, x, y, cx, cy, flags);
}
}  // namespace

TEST(FaultInjection, FailedCornerMoveIsLoggedAndTheWindowKept)
{
    ImportHook hook(stagehandModule(), "user32.dll", "SetWindowPos", &failCornerMove, g_realSetWindowPos);
    LogCapture log(vela::LoggerPriority::FAILURE);
    RenderWindowManager manager;
    stagehand::SharedWindow window = manager.createRenderWindow(param("cornerless"), "\\\\.\\DISPLAY1");
    ASSERT_TRUE(window->isInitialized());
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 261 SetWindowPos failed 5"}), log.lines());
    ASSERT_EQ(1u, manager.getWindowsByAdapterID("\\\\.\\DISPLAY1").size());
    EXPECT_EQ(window.get(), manager.getWindowsByAdapterID("\\\\.\\DISPLAY1")[0].get());
}

