// Bad input on every public operation: each gets its documented result (false, an empty
// result, a log line, or the foundation's exception), never a crash; no window is left
// hidden and nothing leaks.
#include <stagehand/AllocateConsole.h>
#include <stagehand/Genericwindows.h>
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <stagehand/RenderWindowManager.h>
#include <stagehand/WindowEnumerator.h>

#include "support/HelperWindows.h"
#include "support/LogCapture.h"
#include "support/ResourceCounter.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using stagehand::RenderWindowManager;
typedef RenderWindowManager::WindowParam WindowParam;

namespace {

HWND destroyedWindow()
{
    HWND window = CreateWindowExW(0, L"STATIC", L"gone", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(window);
    return window;
}

const HWND kMadeUp = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7ffe1234));

// Adapter ids that name no monitor.
std::vector<vela::String> badAdapterIds()
{
    const unsigned short withNul[] = {'\\', '\\', '.', '\\', 'D', 'I', 'S', 'P', 'L', 'A', 'Y', '1', 0, 'x'};
    return {
        vela::String(""),
        vela::String(std::string(1000, 'D').c_str()),
        vela::String("\\\\.\\DISPLAY1\xC3\xA9"),  // é
        vela::String("\\\\.\\ДИСПЛЕЙ1"),
        vela::String(withNul, 14),
        vela::String(withNul, 13),  // the right name and a trailing NUL
    };
}

WindowParam param(const std::string& name, RECT rect = RECT{0, 0, 100, 100})
{
    WindowParam p;
    p.windowName = name.c_str();
    p.style = WS_POPUP;
    p.rect = rect;
    return p;
}

}  // namespace

TEST(BadInput, WindowHandles)
{
    LogCapture log(vela::LoggerPriority::FAILURE);
    for (HWND window : {HWND(nullptr), destroyedWindow(), kMadeUp}) {
        log.clear();
        HINSTANCE instance = stagehand::getWindowInstance(window);
        if (window)
            EXPECT_EQ(nullptr, instance);
        else
            EXPECT_EQ(GetModuleHandleW(nullptr), instance);
        EXPECT_EQ(1u, log.count(window ? "32 GetWindowLong call fails" : "20 window handle is NULL"));

        stagehand::GenericWindows owner;
        EXPECT_FALSE(stagehand::subclassWindow(owner, window));

        stagehand::GenericWindows child;
        if (window) {  // a parent that does not exist
            EXPECT_FALSE(child.initialize(GetModuleHandleW(nullptr), window, "orphan", WS_CHILD | WS_VISIBLE));
        }
    }
    stagehand::GenericWindows unused;
    unused.setWindowTitle("nothing to name");
    unused.listenOnce();
    unused.turnOnCursor();
    EXPECT_FALSE(unused.isInitialized());
}

TEST(BadInput, ProcessIds)
{
    LogCapture log(vela::LoggerPriority::FAILURE);
    for (DWORD pid : {DWORD(0), DWORD(0x7FFFFFF0), DWORD(0xFFFFFFFF)}) {
        stagehand::ProcessModuleEnumerator modules;
        EXPECT_FALSE(modules.enumerate(pid)) << pid;
        EXPECT_EQ(0u, modules.numModules());
        stagehand::WindowEnumerator windows;
        EXPECT_TRUE(windows.enumerate(pid)) << pid;
        EXPECT_EQ(0u, windows.numWindows()) << pid;
    }
    EXPECT_EQ(3u, log.count("72 OpenProcess failed on pid "));
    stagehand::ProcessModuleEnumerator own;
    EXPECT_TRUE(own.enumerate(GetCurrentProcessId()));
}

TEST(BadInput, AdapterIdsThatNameNoMonitor)
{
    ResourceCounter counter;
    LogCapture log(vela::LoggerPriority::FAILURE);
    RenderWindowManager manager;
    stagehand::MonitorInfoEnumerator monitors;
    vela::Array<WindowParam> params;
    params.append(param("never"));
    RenderWindowManager::TileParam grid;
    grid.rows = grid.columns = 1;
    for (const vela::String& id : badAdapterIds()) {
        stagehand::MonitorInfoEnumerator::Info info;
        EXPECT_FALSE(monitors.getMonitorInfo(id, info)) << id.toUtf8();
        EXPECT_EQ(nullptr, manager.createRenderWindow(param("never"), id).get());
        EXPECT_FALSE(manager.createRenderWindow(params, id));
        EXPECT_FALSE(manager.createTiledRenderWindow(params, id, grid));
        EXPECT_EQ(0u, manager.getWindowsByAdapterID(id).size());
    }
    EXPECT_EQ(badAdapterIds().size(), log.count("240 Adapter ID "));
    EXPECT_EQ(2 * badAdapterIds().size(), log.count("287 Adapter ID "));
    EXPECT_EQ(0, counter.counts().windowsCreated);
}

TEST(BadInput, RectanglesAreUsedAsTheyAre)
{
    ResourceCounter counter;
    {
        RenderWindowManager manager;
        const RECT rects[] = {{500, 400, 100, 100}, {0, 0, 0, 0}, {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                              {INT_MAX, INT_MAX, INT_MIN, INT_MIN}, {-100000, -100000, 100000, 100000}};
        int i = 0;
        for (const RECT& rect : rects) {
            stagehand::SharedWindow window =
                manager.createRenderWindow(param("rect" + std::to_string(i++), rect), "\\\\.\\DISPLAY1");
            ASSERT_TRUE(window->isInitialized());
            RECT placed;
            EXPECT_TRUE(GetWindowRect(window->getHWND(), &placed));
            EXPECT_GE(placed.right, placed.left) << "Windows makes no window of negative size";
        }
    }
    EXPECT_EQ(5, counter.counts().windowsCreated);
    EXPECT_EQ(5, counter.counts().windowsDestroyed);
}

TEST(BadInput, GridsAndArraysPastTheirLimits)
{
    ResourceCounter counter;
    LogCapture log(vela::LoggerPriority::FAILURE);
    RenderWindowManager manager;
    vela::Array<WindowParam> two;
    two.append(param("left"));
    two.append(param("right"));
    struct Grid {
        unsigned int rows, columns;
    };
    // The last two grids have 32-bit products that wrap to 0 and to 2.
    for (const Grid& g : {Grid{0, 0}, Grid{0, 2}, Grid{1, 0}, Grid{3, 1}, Grid{0x80000000, 2}, Grid{0x80000001, 2}}) {
        RenderWindowManager::TileParam grid;
        grid.rows = g.rows;
        grid.columns = g.columns;
        EXPECT_FALSE(manager.createTiledRenderWindow(two, "\\\\.\\DISPLAY1", grid)) << g.rows << "x" << g.columns;
    }
    EXPECT_EQ(6u, log.count("345 The number of windows must match the tiling dimension"));
    EXPECT_EQ(0, counter.counts().windowsCreated);

    vela::Array<WindowParam> many;
    EXPECT_THROW(many.appendDefault(0xFFFFFFFF), vela::NullPointer);
    EXPECT_THROW(many[0], vela::IndexOutOfBounds);
    vela::Array<HWND> handles;
    EXPECT_THROW(handles.appendDefault(536870911), vela::NullPointer);
    EXPECT_EQ(0u, handles.size());
}

TEST(BadInput, DesktopClearingWithBadHandlesAndNamesHidesNothingForGood)
{
    HelperWindows helper(L"window_helper.exe", {"kept"});
    ASSERT_TRUE(helper.ready());
    LogCapture log(vela::LoggerPriority::FAILURE);
    {
        RenderWindowManager manager;
        vela::Array<vela::String> names;
        for (const vela::String& id : badAdapterIds())
            names.append(id);
        names.append("window_helper.exe");
        vela::Array<HWND> windows;
        windows.append(nullptr);
        windows.append(destroyedWindow());
        windows.append(kMadeUp);
        manager.hideAllTopLevelProcessExcept(names, windows);
        EXPECT_TRUE(helper.allVisible());
        manager.minimizeTopLevelProcess(vela::String(static_cast<const char*>(nullptr)));
        manager.hideAllTopLevelProcessExcept(windows);
        EXPECT_TRUE(helper.noneVisible());
    }
    EXPECT_TRUE(helper.allVisible()) << "the manager showed everything again";
    EXPECT_EQ(badAdapterIds().size() + 1, log.count("116 Cannot find process handle for process "));
}
