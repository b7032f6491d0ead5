// Running a test program on a prepared desktop, and giving the desktop back however it ends.
#include <stagehand/TestRun.h>
#include <stagehand/stagehand_c.h>

#include "support/CallHook.h"
#include "support/HelperWindows.h"
#include "support/JournalFolder.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

TEST(TestRun, AProgramThatCannotBeResumedIsEndedNotWaitedForAndTheDesktopComesBack)
{
    JournalFolder journals;
    HelperWindows other(L"helper.exe", L"other");
    CallHook<decltype(&ResumeThread)> resume("kernel32.dll", "ResumeThread");
    resume.instead = [](HANDLE) { return SetLastError(ERROR_ACCESS_DENIED), static_cast<DWORD>(-1); };
    LogCapture log(vela::LoggerPriority::FAILURE);
    stagehand::TestRun::Outcome ran = stagehand::TestRun::run("helper.exe windows never", {});
    EXPECT_EQ(ran.NOT_STARTED, ran.ending);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ran.error);
    EXPECT_EQ(1u, log.count("3 stagehand.TestRun: 433 The program could not be run or waited for (error 5): it is ended"));
    EXPECT_EQ("other", shown({&other})) << "hidden while it ran, shown again";
    EXPECT_EQ(std::vector<std::string>(), journals.names());
}

// A harness's inheritable handles stay its own: the program inherits its standard handles and
// no other, and what it writes reaches the harness.
TEST(TestRun, AProgramInheritsItsStandardHandlesAndNothingElseOfItsHarness)
{
    JournalFolder journals;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE event = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
    HANDLE file = CreateFileW(L"harness.log", GENERIC_WRITE, 0, &inheritable, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
    HANDLE read = nullptr, write = nullptr, output = GetStdHandle(STD_OUTPUT_HANDLE);
    CreatePipe(&read, &write, &inheritable, 0);
    SetStdHandle(STD_OUTPUT_HANDLE, write);
    std::string line = "helper.exe handles " + std::to_string(reinterpret_cast<ULONG_PTR>(event)) + " " +
                       std::to_string(reinterpret_cast<ULONG_PTR>(file));
    stagehand_run_outcome outcome = {};
    EXPECT_EQ(STAGEHAND_OK, stagehand_run(line.c_str(), nullptr, 0, 20000, &outcome));
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    CloseHandle(write);
    char text[64];
    DWORD n = 0;
    ReadFile(read, text, sizeof text, &n, nullptr);
    EXPECT_EQ(std::make_pair(1, 0u), std::make_pair(outcome.ended_by_itself, outcome.exit_code)) << "handles it has";
    EXPECT_EQ("handles", std::string(text, n).substr(0, 7)) << "its standard output reaches the harness";
    for (HANDLE handle : {read, event, file})
        CloseHandle(handle);
}
