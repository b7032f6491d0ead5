#include <stagehand/MonitorInfoEnumerator.h>

#include "support/FakeMonitors.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using stagehand::MonitorInfoEnumerator;

namespace {

std::vector<std::string> adapterIds(const MonitorInfoEnumerator& monitors)
{
    vela::Array<vela::String> ids;
    monitors.getAdapterId(ids);
    std::vector<std::string> all;
    for (unsigned int i = 0; i < ids.size(); ++i)
        all.push_back(ids[i].toUtf8());
    return all;
}

bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A primary monitor with a taskbar at the bottom, and one left of it.
class FakedMonitors : public testing::Test {
protected:
    FakeMonitors fake{{
        {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, MONITORINFOF_PRIMARY, L"\\\\.\\DISPLAY1"},
        {{-1280, 56, 0, 1080}, {-1280, 56, 0, 1080}, 0, L"\\\\.\\DISPLAY2"},
    }};
};

}  // namespace

TEST(MonitorInfoEnumerator, ListsBothScreensOfTheDisplay)
{
    MonitorInfoEnumerator monitors;
    ASSERT_EQ(2u, monitors.numMonitors());
    EXPECT_EQ((std::vector<std::string>{"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY2"}), adapterIds(monitors));

    MonitorInfoEnumerator::Info primary;
    ASSERT_TRUE(monitors.getMonitorInfo("\\\\.\\DISPLAY1", primary));
    EXPECT_EQ(12u, primary.deviceName.size()) << "no trailing NULs";
    EXPECT_EQ(sizeof(MONITORINFO), primary.monitorInfo.cbSize);
    EXPECT_EQ(static_cast<DWORD>(MONITORINFOF_PRIMARY), primary.monitorInfo.dwFlags);
    EXPECT_EQ(1920, primary.monitorInfo.rcMonitor.right);
    EXPECT_EQ(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), primary.hMonitor);

    MonitorInfoEnumerator::Info second;
    ASSERT_TRUE(monitors.getMonitorInfo("\\\\.\\display2", second)) << "letter case is ignored";
    EXPECT_EQ(0u, second.monitorInfo.dwFlags);
    EXPECT_EQ(1280, second.monitorInfo.rcMonitor.right - second.monitorInfo.rcMonitor.left);
    EXPECT_EQ(sizeof(MONITORINFO), second.monitorInfo.cbSize);
}

TEST(MonitorInfoEnumerator, MissLeavesTheRecordUntouched)
{
    MonitorInfoEnumerator monitors;
    MonitorInfoEnumerator::Info out;
    ASSERT_TRUE(monitors.getMonitorInfo("\\\\.\\DISPLAY2", out));
    EXPECT_FALSE(monitors.getMonitorInfo("\\\\.\\DISPLAY3", out));
    EXPECT_FALSE(monitors.getMonitorInfo("\\\\.\\DISPLAY", out));
    EXPECT_FALSE(monitors.getMonitorInfo("", out));
    EXPECT_EQ("\\\\.\\DISPLAY2", out.deviceName.toUtf8());
}

TEST(MonitorInfoEnumerator, RefreshReplacesTheList)
{
    MonitorInfoEnumerator monitors;
    ASSERT_TRUE(monitors.refresh());
    ASSERT_TRUE(monitors.refresh());
    EXPECT_EQ(2u, monitors.numMonitors());

    vela::Array<vela::String> ids;
    ids.append("stale");
    EXPECT_EQ(2u, monitors.getAdapterId(ids));
    EXPECT_EQ(2u, ids.size());
}

TEST_F(FakedMonitors, GeometryComesThroughUnchanged)
{
    MonitorInfoEnumerator monitors;
    ASSERT_EQ(2u, monitors.numMonitors());
    MonitorInfoEnumerator::Info left;
    ASSERT_TRUE(monitors.getMonitorInfo("\\\\.\\DISPLAY2", left));
    EXPECT_TRUE(left.monitorInfo.rcMonitor == (RECT{-1280, 56, 0, 1080}));
    MonitorInfoEnumerator::Info primary;
    ASSERT_TRUE(monitors.getMonitorInfo("\\\\.\\DISPLAY1", primary));
    EXPECT_TRUE(primary.monitorInfo.rcWork == (RECT{0, 0, 1920, 1040})) << "the work area leaves the taskbar out";
    EXPECT_TRUE(primary.monitorInfo.rcMonitor == (RECT{0, 0, 1920, 1080}));
}

TEST_F(FakedMonitors, UnreadableMonitorIsLeftOut)
{
    fake.monitors()[0].readable = false;
    MonitorInfoEnumerator monitors;
    EXPECT_EQ((std::vector<std::string>{"\\\\.\\DISPLAY2"}), adapterIds(monitors));
}

TEST_F(FakedMonitors, FailedEnumerationIsLoggedAndKeepsWhatWasReported)
{
    fake.failAfterReporting(true);
    LogCapture log(vela::LoggerPriority::FAILURE);
    MonitorInfoEnumerator monitors;
    EXPECT_FALSE(monitors.refresh());
    EXPECT_EQ(2u, monitors.numMonitors());
    EXPECT_EQ((std::vector<std::string>{"3 MonitorInfo: 22 EnumDisplayMonitors failed 5",
                                        "3 MonitorInfo: 22 EnumDisplayMonitors failed 5"}),
              log.lines())
        << "the constructor and refresh";
}

TEST_F(FakedMonitors, CopiesAreIndependentOfTheirSource)
{
    MonitorInfoEnumerator source;
    MonitorInfoEnumerator copy(source);
    MonitorInfoEnumerator assigned;
    fake.monitors().pop_back();
    assigned.refresh();
    assigned = source;
    assigned = assigned;
    source.refresh();
    EXPECT_EQ(1u, source.numMonitors());
    EXPECT_EQ(2u, copy.numMonitors());
    EXPECT_EQ(2u, assigned.numMonitors());
    copy.refresh();
    EXPECT_EQ(2u, assigned.numMonitors());
}
