#include <stagehand/ProcessEnumerator.h>

#include "support/CallHook.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <vector>

using stagehand::ProcessEnumerator;

TEST(ProcessEnumerator, ListsTheRunningProcessesInA1024IdBufferInOneTraceScope)
{
    LogCapture log(vela::LoggerPriority::TRACE);
    ProcessEnumerator processes;
    EXPECT_EQ(0u, processes.numPids());
    ASSERT_TRUE(processes.enumerate());
    unsigned int n = processes.numPids();
    ASSERT_EQ(1024u, processes.processIds().size());
    EXPECT_TRUE(processes.processIds().contains(GetCurrentProcessId()));
    for (unsigned int i = n; i < 1024; ++i)
        ASSERT_EQ(0u, processes.processIds()[i]) << i;
    EXPECT_EQ((std::vector<std::string>{"1 stagehand.ProcessEnumerator: enter enumerate "
                                        "modules/src/windows/common/stagehand/ProcessEnumerator.cpp:13",
                                        "1 stagehand.ProcessEnumerator: leave enumerate"}),
              log.lines());
    ProcessEnumerator copy(processes);
    EXPECT_EQ(n, copy.numPids());
    EXPECT_EQ(processes.processIds()[n - 1], copy.processIds()[n - 1]);
}

TEST(ProcessEnumerator, AsksAgainWithTwiceTheBufferWhileTheListFillsItAndLogsAFailure)
{
    CallHook<decltype(&K32EnumProcesses)> list(stagehandModule(), "kernel32.dll", "K32EnumProcesses");
    DWORD fullUpTo = 4096;  // bytes: a buffer this small is filled completely
    list.instead = [&](DWORD* ids, DWORD bytes, DWORD* returned) {
        DWORD count = bytes <= fullUpTo ? bytes / sizeof(DWORD) : 3;
        for (DWORD i = 0; i < count; ++i)
            ids[i] = 4 * (i + 1);
        *returned = count * sizeof(DWORD);
        return TRUE;
    };
    ProcessEnumerator processes;
    ASSERT_TRUE(processes.enumerate());
    ASSERT_EQ(2u, list.calls().size());
    EXPECT_EQ(4096u, std::get<1>(list.calls()[0]));
    EXPECT_EQ(8192u, std::get<1>(list.calls()[1]));
    EXPECT_EQ(3u, processes.numPids());
    EXPECT_EQ(2048u, processes.processIds().size());

    LogCapture log(vela::LoggerPriority::FAILURE);
    list.failCall(3, FALSE, ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(processes.enumerate());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(4096u, std::get<1>(list.calls()[2])) << "a new snapshot starts again from 1024 ids";
    EXPECT_EQ(0u, processes.numPids()) << "a failed snapshot counts no processes";
    EXPECT_EQ((std::vector<std::string>{"3 stagehand.ProcessEnumerator: 27 EnumProcesses fails 5"}), log.lines());
}
