#include <stagehand/MonitorInfoEnumerator.h>

#include "support/CallHook.h"
#include "support/FakeMonitors.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using stagehand::MonitorInfoEnumerator;

namespace {

std::vector<std::string> adapterIds(const MonitorInfoEnumerator& monitors)
{
    vela::Array<vela::String> ids;
    ids.append("stale");
    monitors.getAdapterId(ids);
    std::vector<std::string> all;
    for (unsigned int i = 0; i < ids.size(); ++i)
        all.push_back(ids[i].toUtf8());
    return all;
}

std::vector<LONG> corners(const RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace

TEST(MonitorInfoEnumerator, ListsBothScreensAndFindsThemByAdapterIdInAnyLetterCaseOnly)
{
    MonitorInfoEnumerator monitors;
    ASSERT_TRUE(monitors.refresh());
    EXPECT_EQ((std::vector<std::string>{"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY2"}), adapterIds(monitors));
    MonitorInfoEnumerator::Info primary;
    ASSERT_TRUE(monitors.getMonitorInfo("\\\\.\\DISPLAY1", primary));
    EXPECT_EQ(12u, primary.deviceName.size()) << "no trailing NULs";
    EXPECT_EQ(sizeof(MONITORINFO), primary.monitorInfo.cbSize);
    EXPECT_EQ(static_cast<DWORD>(MONITORINFOF_PRIMARY), primary.monitorInfo.dwFlags);
    EXPECT_EQ((std::vector<LONG>{0, 0, 1920, 1080}), corners(primary.monitorInfo.rcMonitor));
    EXPECT_EQ(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), primary.hMonitor);
    MonitorInfoEnumerator::Info second;
    ASSERT_TRUE(monitors.getMonitorInfo("\\\\.\\display2", second));
    EXPECT_EQ(0u, second.monitorInfo.dwFlags);
    EXPECT_EQ((std::vector<LONG>{1920, 0, 3200, 1024}), corners(second.monitorInfo.rcMonitor));

    const unsigned short withNul[] = {'\\', '\\', '.', '\\', 'D', 'I', 'S', 'P', 'L', 'A', 'Y', '1', 0, 'x'};
    for (const vela::String& id : {vela::String(""), vela::String("\\\\.\\DISPLAY"), vela::String("\\\\.\\DISPLAY3"),
                                   vela::String(std::string(1000, 'D').c_str()),
                                   vela::String("\\\\.\\DISPLAY1\xC3\xA9"), vela::String("\\\\.\\ДИСПЛЕЙ1"),
                                   vela::String(withNul, 14), vela::String(withNul, 13)}) {
        EXPECT_FALSE(monitors.getMonitorInfo(id, second)) << id.toUtf8();
        EXPECT_EQ("\\\\.\\DISPLAY2", second.deviceName.toUtf8()) << "a miss leaves the record untouched";
    }
}

TEST(MonitorInfoEnumerator, FakedGeometryComesThroughAndFailuresKeepWhatWasReported)
{
    FakeMonitors fake({
        {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, MONITORINFOF_PRIMARY, L"\\\\.\\DISPLAY1"},
        {{-1280, 56, 0, 1080}, {-1280, 56, 0, 1080}, 0, L"\\\\.\\DISPLAY2"},
    });
    MonitorInfoEnumerator monitors;
    MonitorInfoEnumerator::Info info;
    ASSERT_TRUE(monitors.getMonitorInfo("\\\\.\\DISPLAY2", info));
    EXPECT_EQ((std::vector<LONG>{-1280, 56, 0, 1080}), corners(info.monitorInfo.rcMonitor));
    ASSERT_TRUE(monitors.getMonitorInfo("\\\\.\\DISPLAY1", info));
    EXPECT_EQ((std::vector<LONG>{0, 0, 1920, 1040}), corners(info.monitorInfo.rcWork));

    MonitorInfoEnumerator copy(monitors);
    fake.monitors[0].readable = false;
    ASSERT_TRUE(monitors.refresh());
    EXPECT_EQ((std::vector<std::string>{"\\\\.\\DISPLAY2"}), adapterIds(monitors)) << "an unreadable one is left out";
    EXPECT_EQ(2u, copy.numMonitors()) << "a copy is independent of its source";
    copy = monitors;
    EXPECT_EQ(1u, copy.numMonitors());

    fake.monitors[0].readable = true;
    fake.fail = true;
    LogCapture log(vela::LoggerPriority::FAILURE);
    EXPECT_FALSE(monitors.refresh());
    EXPECT_EQ(2u, monitors.numMonitors());
    EXPECT_EQ((std::vector<std::string>{"3 MonitorInfo: 22 EnumDisplayMonitors failed 5"}), log.lines());
}

TEST(MonitorInfoEnumerator, AnExceptionInTheCallbackReachesTheCaller)
{
    MonitorInfoEnumerator monitors;
    CallHook<decltype(&GetMonitorInfoW)> info(stagehandModule(), "user32.dll", "GetMonitorInfoW");
    info.instead = [](HMONITOR, MONITORINFO*) -> BOOL { throw std::runtime_error("monitor"); };
    EXPECT_THROW(monitors.refresh(), std::runtime_error);
    EXPECT_EQ(0u, monitors.numMonitors());
}
