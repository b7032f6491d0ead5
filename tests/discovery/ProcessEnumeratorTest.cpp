#include <stagehand/ProcessEnumerator.h>

#include "support/ImportHook.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <vector>

using stagehand::ProcessEnumerator;

namespace {

// What EnumProcesses was asked, and what the fake answers.
struct FakeEnumProcesses {
    static inline std::vector<DWORD> bufferBytes;
    static inline DWORD fullUpTo;     // calls with a buffer up to this many bytes are filled completely
    static inline DWORD failWith;     // nonzero: every call fails with this error

    static BOOL WINAPI call(DWORD* ids, DWORD bytes, DWORD* returned)
    {
        bufferBytes.push_back(bytes);
        if (failWith) {
            SetLastError(failWith);
            return FALSE;
        }
        DWORD count = bytes <= fullUpTo ? bytes / sizeof(DWORD) : 3;
        for (DWORD i = 0; i < count; ++i)
            ids[i] = 4 * (i + 1);
        *returned = count * sizeof(DWORD);
        return TRUE;
    }

    static void reset(DWORD full, DWORD error)
    {
        bufferBytes.clear();
        fullUpTo = full;
        failWith = error;
    }
};

}  // namespace

TEST(ProcessEnumerator, ListsTheRunningProcessesInA1024IdBuffer)
{
    ProcessEnumerator processes;
    EXPECT_EQ(0u, processes.numPids());
    ASSERT_TRUE(processes.enumerate());

    unsigned int n = processes.numPids();
    ASSERT_GT(n, 1u);
    ASSERT_EQ(1024u, processes.processIds().size());
    bool ownListed = false;
    for (unsigned int i = 0; i < n; ++i)
        ownListed |= processes.processIds()[i] == GetCurrentProcessId();
    EXPECT_TRUE(ownListed);
    for (unsigned int i = n; i < 1024; ++i)
        ASSERT_EQ(0u, processes.processIds()[i]) << i;

    ProcessEnumerator copy(processes);
    EXPECT_EQ(n, copy.numPids());
    EXPECT_EQ(processes.processIds().capacity(), copy.processIds().capacity());
    for (unsigned int i = 0; i < 1024; ++i)
        ASSERT_EQ(processes.processIds()[i], copy.processIds()[i]);
}

TEST(ProcessEnumerator, AskesAgainWithTwiceTheBufferWhileTheListFillsIt)
{
    ImportHook hook(stagehandModule(), "kernel32.dll", "K32EnumProcesses", &FakeEnumProcesses::call);
    FakeEnumProcesses::reset(1024 * sizeof(DWORD), 0);

    ProcessEnumerator processes;
    ASSERT_TRUE(processes.enumerate());
    EXPECT_EQ((std::vector<DWORD>{4096, 8192}), FakeEnumProcesses::bufferBytes);
    EXPECT_EQ(3u, processes.numPids());
    EXPECT_EQ(2048u, processes.processIds().size());

    // A second snapshot starts again from 1024 ids.
    FakeEnumProcesses::reset(0, 0);
    ASSERT_TRUE(processes.enumerate());
    EXPECT_EQ((std::vector<DWORD>{4096}), FakeEnumProcesses::bufferBytes);
    EXPECT_EQ(1024u, processes.processIds().size());
}

TEST(ProcessEnumerator, AFailedListingIsLoggedWithItsErrorCode)
{
    ImportHook hook(stagehandModule(), "kernel32.dll", "K32EnumProcesses", &FakeEnumProcesses::call);
    LogCapture log(vela::LoggerPriority::FAILURE);

    ProcessEnumerator processes;
    FakeEnumProcesses::reset(1024 * sizeof(DWORD), 0);
    ASSERT_TRUE(processes.enumerate());
    ASSERT_EQ(3u, processes.numPids());

    FakeEnumProcesses::reset(0, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(processes.enumerate());
    EXPECT_EQ(0u, processes.numPids()) << "a failed snapshot counts no processes";
    EXPECT_EQ((std::vector<std::string>{"3 stagehand.ProcessEnumerator: 27 EnumProcesses fails 5"}), log.lines());
}

TEST(ProcessEnumerator, TraceScopeNamesTheOperation)
{
    LogCapture log(vela::LoggerPriority::TRACE);
    ProcessEnumerator processes;
    processes.enumerate();
    ASSERT_EQ(2u, log.lines().size());
    EXPECT_EQ("1 stagehand.ProcessEnumerator: enter enumerate "
              "modules/src/windows/common/stagehand/ProcessEnumerator.cpp:13",
              log.lines()[0]);
    EXPECT_EQ("1 stagehand.ProcessEnumerator: leave enumerate", log.lines()[1]);
}
