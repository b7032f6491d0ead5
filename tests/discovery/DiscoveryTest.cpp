// The enumerators of processes, modules and monitors.
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/ProcessEnumerator.h>
#include <stagehand/ProcessModuleEnumerator.h>

#include "support/CallHook.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace stagehand;

// What the Wine desktop does not give. (The listings are the C road's and the tool's; each
// failing call is the sweep's.)
TEST(ProcessEnumerator, AsksAgainWhileTheBufferFillsAndFailuresKeepOrPassOn)
{
    CallHook<decltype(&K32EnumProcesses)> list("kernel32.dll", "K32EnumProcesses");
    list.instead = [&](DWORD* ids, DWORD bytes, DWORD* returned) {
        DWORD count = bytes <= 4096 ? bytes / sizeof(DWORD) : 3;  // a buffer this small is filled
        for (DWORD i = 0; i < count; ++i)
            ids[i] = 4 * (i + 1);
        *returned = count * sizeof(DWORD);
        return TRUE;
    };
    ProcessEnumerator processes;
    ASSERT_TRUE(processes.enumerate());
    EXPECT_EQ(8192u, std::get<1>(list.calls().at(1)));
    EXPECT_EQ((std::vector<DWORD>{4, 8, 12, 0}), std::vector<DWORD>(processes.processIds().data(),
                                                                    processes.processIds().data() + 4));
    EXPECT_EQ(3u, processes.numPids()) << "the rest of the buffer stays 0";

    LogCapture log(vela::LoggerPriority::FAILURE);
    ProcessModuleEnumerator modules;
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(modules.enumerate(0x7FFFFFF0));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError()) << "OpenProcess's own code";
    EXPECT_FALSE(processExists(0x7FFFFFF0));
    EXPECT_EQ(std::vector<std::string>{"3 stagehand.ProcessModuleEnumerator: 72 OpenProcess failed on pid 2147483632! "
                                       "Is this a 64Bit OS? 87"}, log.lines);
    EXPECT_EQ("discovery_tests.exe", modules.moduleNames()[0].toUtf8()) << "a failed open keeps the earlier lists";

    MonitorInfoEnumerator monitors;
    CallHook<decltype(&GetMonitorInfoW)> broken("user32.dll", "GetMonitorInfoW");
    broken.instead = [](HMONITOR, MONITORINFO*) -> BOOL { throw std::runtime_error("monitor"); };
    EXPECT_THROW(monitors.refresh(), std::runtime_error);
    EXPECT_EQ(0u, monitors.numMonitors());
}
