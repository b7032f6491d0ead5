// The enumerators of processes, modules, windows and monitors on the real Wine desktop,
// with hooked imports where a failure or a geometry cannot be had on demand.
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/ProcessEnumerator.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <stagehand/WindowEnumerator.h>

#include "support/CallHook.h"
#include "support/HelperWindows.h"
#include "support/LogCapture.h"
#include "support/ReleaseLedger.h"

#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace stagehand;

namespace {

template <class T>
std::vector<T> items(const vela::Array<T>& array, unsigned int count)
{
    return count ? std::vector<T>(array.data(), array.data() + count) : std::vector<T>();
}

}  // namespace

TEST(ProcessEnumerator, ListsTheProcessesAsksAgainWhileTheBufferFillsAndKeepsTheErrorOfAFailure)
{
    ProcessEnumerator processes;
    ASSERT_TRUE(processes.enumerate());
    ASSERT_EQ(1024u, processes.processIds().size());
    EXPECT_TRUE(processes.processIds().contains(GetCurrentProcessId()));
    EXPECT_EQ(0u, processes.processIds()[processes.numPids()]) << "the rest of the buffer stays 0";

    CallHook<decltype(&K32EnumProcesses)> list("kernel32.dll", "K32EnumProcesses");
    list.instead = [&](DWORD* ids, DWORD bytes, DWORD* returned) {
        DWORD count = bytes <= 4096 ? bytes / sizeof(DWORD) : 3;  // a buffer this small is filled
        for (DWORD i = 0; i < count; ++i)
            ids[i] = 4 * (i + 1);
        *returned = count * sizeof(DWORD);
        return TRUE;
    };
    ASSERT_TRUE(processes.enumerate());
    EXPECT_EQ(8192u, std::get<1>(list.calls().at(1)));
    EXPECT_EQ((std::vector<DWORD>{4, 8, 12}), items(processes.processIds(), 3));
    EXPECT_EQ(3u, processes.numPids());

    LogCapture failures(vela::LoggerPriority::FAILURE);
    list.failCall(3, FALSE, ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(processes.enumerate());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(4096u, std::get<1>(list.calls().at(2))) << "a new snapshot starts again from 1024 ids";
    EXPECT_EQ(0u, processes.numPids());
    EXPECT_EQ(std::vector<std::string>{"3 stagehand.ProcessEnumerator: 27 EnumProcesses fails 5"}, failures.lines);
}

TEST(ProcessModuleEnumerator, ListsTheExecutableFirstRetriesADeniedOpenAndClosesEachHandleOnce)
{
    ReleaseLedger ledger;
    ProcessHandle held;
    {
        CallHook<decltype(&OpenProcess)> open("kernel32.dll", "OpenProcess");
        open.failCall(1, nullptr, ERROR_ACCESS_DENIED);
        LogCapture log(vela::LoggerPriority::FAILURE);
        ProcessModuleEnumerator modules;
        ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
        ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
        EXPECT_EQ(0x1010u, std::get<0>(open.calls().at(1))) << "denied, then the limited query right";
        EXPECT_EQ(1, ledger.acquired(ReleaseLedger::ProcessHandle) - ledger.released(ReleaseLedger::ProcessHandle));
        ASSERT_GT(modules.numModules(), 3u);
        EXPECT_EQ(GetModuleHandleW(nullptr), modules.modules()[0]);
        EXPECT_EQ("discovery_tests.exe", modules.moduleNames()[0].toUtf8());

        ProcessModuleEnumerator copy(modules);
        held = copy.processHandle();
        EXPECT_EQ(3u, held.useCount()) << "source, copy and the holder handed out";
        EXPECT_FALSE(copy.enumerate(0x7FFFFFF0));
        EXPECT_EQ(1u, log.count("3 stagehand.ProcessModuleEnumerator: 72 OpenProcess failed on pid 2147483632! Is this "
                                "a 64Bit OS? "));
        EXPECT_EQ(modules.numModules(), copy.numModules()) << "a failed open keeps the earlier lists";
    }
    held.reset();
    EXPECT_TRUE(ledger.allReleased());
}

TEST(WindowEnumerator, ListsTheVisibleTopLevelWindowsOfOneProcessWithTheirShowStates)
{
    HelperWindows helper(L"helper.exe", L"foreign");
    ASSERT_TRUE(helper.ready());
    HWND visible = probeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND hidden = probeWindow(WS_OVERLAPPEDWINDOW);
    HWND popup = probeWindow(WS_POPUP | WS_VISIBLE, visible);  // owned pop-ups are kept
    ShowWindow(visible, SW_MAXIMIZE);
    WindowEnumerator windows;
    ASSERT_TRUE(windows.enumerate(GetCurrentProcessId()));
    EXPECT_EQ(GetCurrentProcessId(), windows.processId());
    ASSERT_EQ((std::vector<HWND>{popup, visible}), items(windows.windowHandles(), windows.numWindows()));
    EXPECT_EQ(SW_SHOWNORMAL, windows.showWindowState(0));
    EXPECT_EQ(SW_SHOWMAXIMIZED, windows.showWindowState(1));
    EXPECT_THROW(windows.showWindowState(2), vela::IndexOutOfBounds);
    ASSERT_TRUE(windows.enumerate(helper.pid()));
    EXPECT_EQ(helper.windows(), items(windows.windowHandles(), windows.numWindows())) << "each one starts afresh";

    for (HWND window : {popup, hidden, visible})
        DestroyWindow(window);
}

TEST(MonitorInfoEnumerator, FindsBothScreensByAdapterIdInAnyLetterCaseOnly)
{
    MonitorInfoEnumerator monitors;
    vela::Array<vela::String> ids;
    ids.append("stale");
    monitors.getAdapterId(ids);
    ASSERT_EQ(2u, ids.size()) << "the stale entry is dropped";
    EXPECT_TRUE(ids[0].toUtf8() == "\\\\.\\DISPLAY1" && ids[1].toUtf8() == "\\\\.\\DISPLAY2");
    MonitorInfoEnumerator::Info info;
    ASSERT_TRUE(monitors.getMonitorInfo("\\\\.\\DISPLAY1", info));
    EXPECT_EQ(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), info.hMonitor);
    ASSERT_TRUE(monitors.getMonitorInfo("\\\\.\\display2", info));
    EXPECT_EQ(1920, info.monitorInfo.rcMonitor.left);
    EXPECT_EQ(1024, info.monitorInfo.rcMonitor.bottom);
    const unsigned short withNul[] = {'\\', '\\', '.', '\\', 'D', 'I', 'S', 'P', 'L', 'A', 'Y', '1', 0};
    EXPECT_FALSE(monitors.getMonitorInfo(vela::String(withNul, 13), info) || monitors.getMonitorInfo("DISPLAY1", info));
    EXPECT_EQ("\\\\.\\DISPLAY2", info.deviceName.toUtf8()) << "a miss leaves the record untouched";

    // An exception in the callback reaches the caller.
    CallHook<decltype(&GetMonitorInfoW)> broken("user32.dll", "GetMonitorInfoW");
    broken.instead = [](HMONITOR, MONITORINFO*) -> BOOL { throw std::runtime_error("monitor"); };
    EXPECT_THROW(monitors.refresh(), std::runtime_error);
    EXPECT_EQ(0u, monitors.numMonitors());
}
