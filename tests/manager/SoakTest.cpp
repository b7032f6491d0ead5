// Many rounds of the library's work on both monitors and a desktop of helper programs:
// every window, device context, class and process handle acquired is released exactly
// once, and every helper window is visible at the end. CTest runs a short count; for a
// long run set STAGEHAND_SOAK_ROUNDS, for example to 200.
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/ProcessEnumerator.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <stagehand/RenderWindowManager.h>
#include <stagehand/WindowEnumerator.h>

#include "support/HelperWindows.h"
#include "support/ReleaseLedger.h"
#include "support/RenderParams.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using stagehand::RenderWindowManager;

TEST(Soak, RoundsOfCreationTilingEnumerationAndDesktopClearingLeakNothing)
{
    const char* rounds = std::getenv("STAGEHAND_SOAK_ROUNDS");
    const int count = rounds ? std::atoi(rounds) : 10;
    HelperWindows hidden(L"window_helper.exe", {"a", "b"});
    HelperWindows spared(L"spare_helper.exe", {"c"});
    ASSERT_TRUE(hidden.ready() && spared.ready());
    vela::Array<vela::String> spare;
    spare.append("spare_helper.exe");
    ReleaseLedger ledger;
    {
        RenderWindowManager windows;
        stagehand::ProcessEnumerator processes;
        stagehand::ProcessModuleEnumerator modules;
        stagehand::WindowEnumerator helperWindows;
        stagehand::MonitorInfoEnumerator monitors;
        for (int round = 0; round < count; ++round) {
            std::string tag = "r" + std::to_string(round) + "_";
            // Each round replaces the windows of the round before on both adapters.
            ASSERT_TRUE(windows.createTiledRenderWindow(params(tag + "a", 4), "\\\\.\\DISPLAY1", grid(2, 2)));
            ASSERT_TRUE(windows.createTiledRenderWindow(params(tag + "b", 3), "\\\\.\\DISPLAY2", grid(1, 3)));
            ASSERT_TRUE(windows.createRenderWindow(param(tag + "c", RECT{5, 5, 55, 55}), "\\\\.\\DISPLAY2")
                            ->isInitialized());
            ASSERT_TRUE(processes.enumerate() && modules.enumerate(hidden.pid()));
            ASSERT_TRUE(helperWindows.enumerate(hidden.pid()) && helperWindows.numWindows() == 2);
            ASSERT_TRUE(monitors.refresh() && monitors.numMonitors() == 2);

            RenderWindowManager clearing;
            clearing.hideAllTopLevelProcessExcept(spare);
            ASSERT_TRUE(hidden.noneVisible() && spared.allVisible()) << round;
            if (round % 2)
                clearing.restoreAllTopLevelProcess();  // else the destructor restores
        }
        EXPECT_EQ(1u, ledger.held(ReleaseLedger::ProcessHandle).size()) << "only the enumerator's last handle";
    }
    EXPECT_TRUE(hidden.allVisible() && spared.allVisible());
    EXPECT_EQ(8 * count, ledger.acquired(ReleaseLedger::Window));
    EXPECT_TRUE(ledger.allReleased());
    std::printf("%d rounds: windows %d/%d, process handles %d/%d (acquired/released)\n", count,
                ledger.acquired(ReleaseLedger::Window), ledger.released(ReleaseLedger::Window),
                ledger.acquired(ReleaseLedger::ProcessHandle), ledger.released(ReleaseLedger::ProcessHandle));
}
