// Running a test program on a prepared desktop, and giving the desktop back however it ends.
#include <stagehand/TestRun.h>

#include "support/CallHook.h"
#include "support/HelperWindows.h"
#include "support/JournalFolder.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

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
