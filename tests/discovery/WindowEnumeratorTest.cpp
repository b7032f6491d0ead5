#include <stagehand/WindowEnumerator.h>

#include "support/ChildProcess.h"
#include "support/ImportHook.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using stagehand::WindowEnumerator;

namespace {

HWND makeWindow(DWORD style, HWND owner = nullptr)
{
    return CreateWindowExW(0, L"STATIC", L"probe", style, 10, 10, 200, 100, owner, nullptr, nullptr, nullptr);
}

std::vector<HWND> handles(const WindowEnumerator& e)
{
    std::vector<HWND> all;
    for (unsigned int i = 0; i < e.numWindows(); ++i)
        all.push_back(e.windowHandles()[i]);
    return all;
}

bool listed(const WindowEnumerator& e, HWND window)
{
    return e.windowHandles().contains(window);
}

// The windows of this test process: a visible one, a hidden one, an owned visible pop-up.
class OwnWindows : public testing::Test {
protected:
    void SetUp() override
    {
        visible = makeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        hidden = makeWindow(WS_OVERLAPPEDWINDOW);
        popup = makeWindow(WS_POPUP | WS_VISIBLE, visible);
        ASSERT_TRUE(visible && hidden && popup);
    }
    void TearDown() override
    {
        DestroyWindow(popup);
        DestroyWindow(hidden);
        DestroyWindow(visible);
    }
    HWND visible = nullptr;
    HWND hidden = nullptr;
    HWND popup = nullptr;
};

int g_placementCalls;
BOOL WINAPI failSecondPlacement(HWND window, WINDOWPLACEMENT* placement)
{
    if (++g_placementCalls == 2) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return GetWindowPlacement(window, placement);
}

}  // namespace

TEST_F(OwnWindows, VisibleTopLevelWindowsOfTheProcessAreListed)
{
    ChildProcess helper(L"window_helper.exe", L"foreign");
    ASSERT_EQ(0u, helper.readLine().find("hwnd "));

    WindowEnumerator windows;
    EXPECT_EQ(0u, windows.processId());
    ASSERT_TRUE(windows.enumerate(GetCurrentProcessId()));
    EXPECT_EQ(GetCurrentProcessId(), windows.processId());
    EXPECT_TRUE(listed(windows, visible));
    EXPECT_TRUE(listed(windows, popup)) << "owned pop-ups are kept too";
    EXPECT_FALSE(listed(windows, hidden));
    EXPECT_EQ(2u, windows.numWindows()) << "nothing of the other process";
}

TEST_F(OwnWindows, ShowStatesFollowTheirWindows)
{
    ShowWindow(visible, SW_MAXIMIZE);
    WindowEnumerator windows;
    ASSERT_TRUE(windows.enumerate(GetCurrentProcessId()));
    ASSERT_EQ(2u, windows.numWindows());
    for (unsigned int i = 0; i < 2; ++i) {
        unsigned int expected = windows.windowHandles()[i] == visible ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
        EXPECT_EQ(expected, windows.showWindowState(i)) << i;
    }
    try {
        windows.showWindowState(2);
        FAIL();
    } catch (const vela::IndexOutOfBounds& e) {
        EXPECT_EQ(0, e.lowest());
        EXPECT_EQ(1, e.highest());
        EXPECT_EQ(2, e.index());
    }
}

TEST_F(OwnWindows, UnreadablePlacementIsLoggedAndTheListsStayAligned)
{
    ShowWindow(visible, SW_MAXIMIZE);
    ImportHook hook(stagehandModule(), "user32.dll", "GetWindowPlacement", &failSecondPlacement);
    g_placementCalls = 0;
    LogCapture log(vela::LoggerPriority::FAILURE);

    WindowEnumerator windows;
    ASSERT_TRUE(windows.enumerate(GetCurrentProcessId()));
    ASSERT_EQ(2u, windows.numWindows());
    EXPECT_EQ((std::vector<std::string>{"3 stagehand.WindowEnumerator: 48 GetWindowPlacement failed 5"}), log.lines());
    for (unsigned int i = 0; i < 2; ++i) {
        unsigned int expected = windows.windowHandles()[i] == visible ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
        EXPECT_EQ(expected, windows.showWindowState(i)) << i;
    }
}

TEST_F(OwnWindows, EachEnumerationStartsAfresh)
{
    ChildProcess empty(L"window_helper.exe", L"");
    ASSERT_EQ("ready", empty.readLine());

    WindowEnumerator windows;
    ASSERT_TRUE(windows.enumerate(GetCurrentProcessId()));
    ASSERT_EQ(2u, windows.numWindows());
    WindowEnumerator copy(windows);

    ASSERT_TRUE(windows.enumerate(empty.pid()));
    EXPECT_EQ(empty.pid(), windows.processId());
    EXPECT_EQ(0u, windows.numWindows());
    EXPECT_THROW(windows.showWindowState(0), vela::IndexOutOfBounds);

    EXPECT_EQ(GetCurrentProcessId(), copy.processId()) << "a copy is independent";
    EXPECT_EQ(2u, copy.numWindows());
    WindowEnumerator assigned;
    assigned = copy;
    assigned = assigned;
    EXPECT_EQ(handles(copy), handles(assigned));
    EXPECT_EQ(copy.showWindowState(1), assigned.showWindowState(1));
}
