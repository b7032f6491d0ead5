#include <stagehand/WindowEnumerator.h>

#include "support/CallHook.h"
#include "support/HelperWindows.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using stagehand::WindowEnumerator;

namespace {

// The windows of this test process: a maximised one, a hidden one, an owned visible pop-up.
class OwnWindows : public testing::Test {
protected:
    void SetUp() override
    {
        visible = probeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        hidden = probeWindow(WS_OVERLAPPEDWINDOW);
        popup = probeWindow(WS_POPUP | WS_VISIBLE, visible);
        ASSERT_TRUE(visible && hidden && popup);
        ShowWindow(visible, SW_MAXIMIZE);
    }
    void TearDown() override
    {
        for (HWND window : {popup, hidden, visible})
            DestroyWindow(window);
    }

    // Both windows are listed, each with its own show state.
    void expectBothWithTheirStates(const WindowEnumerator& windows)
    {
        ASSERT_EQ(2u, windows.numWindows());
        for (unsigned int i = 0; i < 2; ++i) {
            HWND window = windows.windowHandles()[i];
            EXPECT_TRUE(window == visible || window == popup) << "owned pop-ups are kept, hidden windows not";
            EXPECT_EQ(window == visible ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL, windows.showWindowState(i)) << i;
        }
    }

    HWND visible = nullptr;
    HWND hidden = nullptr;
    HWND popup = nullptr;
};

}  // namespace

TEST_F(OwnWindows, VisibleTopLevelWindowsOfOneProcessAreListedWithTheirShowStates)
{
    HelperWindows helper(L"window_helper.exe", {"foreign"});
    ASSERT_TRUE(helper.ready());
    WindowEnumerator windows;
    EXPECT_EQ(0u, windows.processId());
    ASSERT_TRUE(windows.enumerate(GetCurrentProcessId()));
    EXPECT_EQ(GetCurrentProcessId(), windows.processId());
    expectBothWithTheirStates(windows);
    try {
        windows.showWindowState(2);
        FAIL();
    } catch (const vela::IndexOutOfBounds& e) {
        EXPECT_EQ(1, e.highest());
        EXPECT_EQ(2, e.index());
    }

    WindowEnumerator copy(windows);
    ASSERT_TRUE(windows.enumerate(helper.pid()));
    EXPECT_EQ(helper.pid(), windows.processId());
    EXPECT_EQ(std::vector<HWND>{helper.windows()[0]},
              std::vector<HWND>(windows.windowHandles().data(), windows.windowHandles().data() + 1));
    EXPECT_EQ(1u, windows.numWindows()) << "each enumeration starts afresh";
    WindowEnumerator assigned;
    assigned = copy;
    expectBothWithTheirStates(assigned);
}

TEST_F(OwnWindows, FailuresKeepTheListsAlignedAndExceptionsReachTheCaller)
{
    {
        CallHook<decltype(&GetWindowPlacement)> placement(stagehandModule(), "user32.dll", "GetWindowPlacement");
        placement.failCall(2, FALSE, ERROR_ACCESS_DENIED);
        LogCapture log(vela::LoggerPriority::FAILURE);
        WindowEnumerator windows;
        ASSERT_TRUE(windows.enumerate(GetCurrentProcessId()));
        EXPECT_EQ((std::vector<std::string>{"3 stagehand.WindowEnumerator: 48 GetWindowPlacement failed 5"}),
                  log.lines());
        expectBothWithTheirStates(windows);  // inferred for the unreadable one

        // An exception must not unwind through the system's frames: it is carried past the call.
        placement.instead = [](HWND, WINDOWPLACEMENT*) -> BOOL { throw std::runtime_error("placement"); };
        EXPECT_THROW(windows.enumerate(GetCurrentProcessId()), std::runtime_error);
        EXPECT_EQ(0u, windows.numWindows()) << "stopped at the first window, before keeping it";
    }
    CallHook<decltype(&EnumWindows)> enumerate(stagehandModule(), "user32.dll", "EnumWindows");
    enumerate.instead = [&](WNDENUMPROC proc, LPARAM data) {
        proc(visible, data);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    };
    WindowEnumerator windows;
    EXPECT_FALSE(windows.enumerate(GetCurrentProcessId()));
    ASSERT_EQ(1u, windows.numWindows()) << "the windows collected before the failure stay";
    EXPECT_EQ(visible, windows.windowHandles()[0]);
}
