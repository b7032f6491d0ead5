// Many rounds of the library's work: every window, device context, class and process
// handle acquired is released exactly once (counted call by call, since Wine's object
// counters read 0), and every helper window is visible at the end.
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/ProcessEnumerator.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <stagehand/RenderWindowManager.h>
#include <stagehand/WindowEnumerator.h>

#include "support/HelperWindows.h"
#include "support/ProcessHandleLedger.h"
#include "support/ResourceCounter.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

using stagehand::RenderWindowManager;

namespace {

// Every process handle opened during the test is closed once by the end.
class SoakCountingHandles : public testing::Test {
protected:
    void expectAllClosed()
    {
        EXPECT_TRUE(ledger.open().empty());
        EXPECT_EQ(0, ledger.strayCloses());
        EXPECT_EQ(ledger.opened(), ledger.closed());
        std::printf("process handles: %d opened, %d closed\n", ledger.opened(), ledger.closed());
    }

    ProcessHandleLedger ledger;
};

}  // namespace

TEST(Soak, ThousandRoundsOfCreationTilingAndRelease)
{
    ResourceCounter counter;
    const char* adapters[] = {"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY2"};
    {
        RenderWindowManager manager;
        for (int round = 0; round < 1000; ++round) {
            RenderWindowManager::WindowParam param;
            param.windowName = ("soak" + std::to_string(round)).c_str();
            param.style = WS_POPUP;
            vela::Array<RenderWindowManager::WindowParam> params;
            params.append(param);
            RenderWindowManager::TileParam grid;
            grid.rows = grid.columns = 1;
            // Each round replaces the window of the round before on that adapter.
            ASSERT_TRUE(manager.createTiledRenderWindow(params, adapters[round % 2], grid)) << round;
        }
    }
    const ResourceCounter::Counts& c = counter.counts();
    EXPECT_EQ(1000, c.windowsCreated);
    EXPECT_EQ(c.windowsCreated, c.windowsDestroyed);
    EXPECT_EQ(c.windowsCreated, c.dcsTaken);
    EXPECT_EQ(c.dcsTaken, c.dcsReleased);
    EXPECT_EQ(c.windowsCreated, c.classesRegistered);
    EXPECT_EQ(c.classesRegistered, c.classesUnregistered);
    int alive = 0;
    for (HWND window : c.windows)
        alive += IsWindow(window) ? 1 : 0;
    EXPECT_EQ(0, alive);
    std::printf("windows %d/%d, DCs %d/%d, classes %d/%d (acquired/released)\n", c.windowsCreated,
                c.windowsDestroyed, c.dcsTaken, c.dcsReleased, c.classesRegistered, c.classesUnregistered);
}

TEST_F(SoakCountingHandles, ThousandEnumerationsOfEachKind)
{
    HelperWindows helper(L"window_helper.exe", {"one", "two"});
    ASSERT_TRUE(helper.ready());
    {
        stagehand::ProcessEnumerator processes;
        stagehand::ProcessModuleEnumerator modules;
        stagehand::WindowEnumerator windows;
        stagehand::MonitorInfoEnumerator monitors;
        for (int i = 0; i < 1000; ++i) {
            ASSERT_TRUE(processes.enumerate());
            ASSERT_TRUE(modules.enumerate(helper.pid()));
            ASSERT_TRUE(windows.enumerate(helper.pid()));
            ASSERT_EQ(2u, windows.numWindows());
            ASSERT_TRUE(monitors.refresh());
            ASSERT_EQ(2u, monitors.numMonitors());
        }
        EXPECT_EQ(1u, ledger.open().size()) << "only the last process handle is still held";
    }
    expectAllClosed();
    EXPECT_EQ(1000, ledger.opened());
}

TEST_F(SoakCountingHandles, HundredHideAndRestoreCycles)
{
    HelperWindows first(L"window_helper.exe", {"a", "b"});
    HelperWindows second(L"spare_helper.exe", {"c"});
    ASSERT_TRUE(first.ready() && second.ready());
    vela::Array<vela::String> spare;
    spare.append("spare_helper.exe");
    for (int cycle = 0; cycle < 100; ++cycle) {
        RenderWindowManager manager;
        manager.hideAllTopLevelProcessExcept(spare);
        ASSERT_TRUE(first.noneVisible()) << cycle;
        ASSERT_TRUE(second.allVisible()) << cycle;
        if (cycle % 2)
            manager.restoreAllTopLevelProcess();  // else the destructor restores
    }
    EXPECT_TRUE(first.allVisible());
    EXPECT_TRUE(second.allVisible());
    expectAllClosed();
}
