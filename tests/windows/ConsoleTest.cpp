#include <stagehand/AllocateConsole.h>
#include <stagehand/Genericwindows.h>

#include "support/ChildProcess.h"
#include "support/ImportHook.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

using stagehand::AllocateConsole;
using stagehand::GenericWindows;

namespace {

// Runs console_helper in a process of its own and reads its "name=value" lines.
std::map<std::string, std::string> runConsoleHelper(const wchar_t* mode, DWORD creationFlags)
{
    ChildProcess::Options options;
    options.creationFlags = creationFlags;
    ChildProcess helper(L"console_helper.exe", mode, options);
    EXPECT_TRUE(helper.started());
    std::istringstream output(helper.readAll());
    EXPECT_EQ(0u, helper.wait());
    std::map<std::string, std::string> values;
    for (std::string line; std::getline(output, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t equals = line.find('=');
        if (line.compare(0, 4, "log ") == 0)
            values["log"] += line.substr(4) + "\n";
        else if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

HWND plainWindow()
{
    return CreateWindowExW(0, L"STATIC", L"plain", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

LONG_PTR windowProc(HWND window)
{
    return GetWindowLongPtrW(window, GWLP_WNDPROC);
}

const LONG_PTR kHandler = reinterpret_cast<LONG_PTR>(&GenericWindows::messageHandler);

}  // namespace

TEST(AllocateConsole, CreatesAConsoleWhereThereIsNoneAndFreesIt)
{
    auto v = runConsoleHelper(L"single", DETACHED_PROCESS);
    EXPECT_EQ("0", v["console_before"]);
    EXPECT_EQ("1", v["owns"]);
    EXPECT_EQ("1", v["handle_is_console"]);
    EXPECT_EQ("1", v["visible"]);
    EXPECT_EQ("0", v["console_after"]);
    EXPECT_EQ("", v["log"]);
}

TEST(AllocateConsole, UsesAnExistingConsoleAndLeavesItInPlace)
{
    auto v = runConsoleHelper(L"single", CREATE_NEW_CONSOLE);
    EXPECT_EQ("1", v["console_before"]);
    EXPECT_EQ("0", v["owns"]);
    EXPECT_EQ("1", v["handle_is_console"]);
    EXPECT_EQ("1", v["visible"]);
    EXPECT_EQ("1", v["console_after"]);
}

TEST(AllocateConsole, CopiesShareTheWindowButNotTheOwnership)
{
    auto v = runConsoleHelper(L"shared", DETACHED_PROCESS);
    EXPECT_EQ("1", v["owner_owns"]);
    EXPECT_EQ("0", v["user_owns"]);
    EXPECT_EQ("0", v["copy_owns"]);
    EXPECT_EQ("1", v["same_window"]);
    EXPECT_EQ("1", v["console_after_users"]) << "users freed the owner's console";
    EXPECT_EQ("0", v["console_after_owner"]);
}

namespace {
int g_freeConsoleCalls;
HWND WINAPI noConsoleWindow()
{
    return nullptr;
}
BOOL WINAPI refuseAllocConsole()
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI countFreeConsole()
{
    ++g_freeConsoleCalls;
    return TRUE;
}
}  // namespace

TEST(AllocateConsole, FailureIsLoggedAndNothingIsFreed)
{
    ImportHook window(stagehandModule(), "kernel32.dll", "GetConsoleWindow", &noConsoleWindow);
    ImportHook allocate(stagehandModule(), "kernel32.dll", "AllocConsole", &refuseAllocConsole);
    ImportHook release(stagehandModule(), "kernel32.dll", "FreeConsole", &countFreeConsole);
    LogCapture log(vela::LoggerPriority::FAILURE);
    g_freeConsoleCalls = 0;
    {
        AllocateConsole console;
        EXPECT_EQ(nullptr, console.consoleHandle());
        EXPECT_FALSE(console.ownsConsole());
    }
    EXPECT_EQ(0, g_freeConsoleCalls);
    EXPECT_EQ((std::vector<std::string>{"3 stagehand.allocateConsole: 27  AllocConsole fails 5",
                                        "3 stagehand.allocateConsole: 37 Console handle returns NULL"}),
              log.lines());
}

TEST(WindowInstance, NullWindowGivesTheExecutable)
{
    LogCapture log(vela::LoggerPriority::DETAIL);
    EXPECT_EQ(GetModuleHandleW(nullptr), stagehand::getWindowInstance(nullptr));
    EXPECT_EQ((std::vector<std::string>{
                  "3 stagehand.GenericWindows: 20 window handle is NULL, getting the topmost window instance"}),
              log.lines());
}

TEST(WindowInstance, OwnerOfARealWindowAndNoneOfAMadeUpOne)
{
    GenericWindows window(GetModuleHandleW(nullptr), nullptr, "owned", WS_POPUP);
    LogCapture log(vela::LoggerPriority::DETAIL);
    EXPECT_EQ(GetModuleHandleW(nullptr), stagehand::getWindowInstance(window.getHWND()));
    EXPECT_EQ((std::vector<std::string>{"2 stagehand.GenericWindows: 27 Getting a window long pointer"}), log.lines());

    log.clear();
    HWND madeUp = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7ff0123));
    ASSERT_FALSE(IsWindow(madeUp));
    EXPECT_EQ(nullptr, stagehand::getWindowInstance(madeUp));
    EXPECT_EQ((std::vector<std::string>{
                  "2 stagehand.GenericWindows: 27 Getting a window long pointer",
                  "3 stagehand.GenericWindows: 32 GetWindowLong call fails, last error code = 1400"}),
              log.lines());
}

TEST(Subclassing, RefusesANullWindow)
{
    LogCapture log(vela::LoggerPriority::FAILURE);
    GenericWindows owner;
    EXPECT_FALSE(stagehand::subclassWindow(owner, nullptr));
    EXPECT_EQ((std::vector<std::string>{"3 stagehand.GenericWindows: 416 Invalid superclass window handle"}),
              log.lines());
}

TEST(Subclassing, RoutesAWindowUntilTheOwnerGoesAndRefusesASecondTime)
{
    HWND target = plainWindow();
    HWND other = plainWindow();
    LONG_PTR before = windowProc(target);
    {
        GenericWindows owner;
        LogCapture log(vela::LoggerPriority::FAILURE);
        ASSERT_TRUE(stagehand::subclassWindow(owner, target));
        EXPECT_EQ(kHandler, windowProc(target));
        // With no object in its user data the window's messages go to DefWindowProcW.
        EXPECT_TRUE(SendMessageW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"routed")));

        EXPECT_FALSE(stagehand::subclassWindow(owner, other));
        EXPECT_EQ((std::vector<std::string>{
                      "3 stagehand.GenericWindows: 405 Generic window has a registered window handle",
                      "3 stagehand.GenericWindows: 408 Console procedure is already subclassed"}),
                  log.lines());
        EXPECT_NE(kHandler, windowProc(other));
    }
    EXPECT_EQ(before, windowProc(target));
    DestroyWindow(target);
    DestroyWindow(other);
}

TEST(Subclassing, WindowOfAnotherProcessFailsAndIsRetriedOnTheNextCall)
{
    ChildProcess helper(L"window_helper.exe", L"foreign");
    std::string line = helper.readLine();
    ASSERT_EQ(0u, line.find("hwnd ")) << line;
    HWND foreign = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::stoull(line.substr(5))));
    HWND mine = plainWindow();
    LONG_PTR mineBefore = windowProc(mine);

    GenericWindows owner;
    LogCapture log(vela::LoggerPriority::FAILURE);
    EXPECT_FALSE(stagehand::subclassWindow(owner, foreign));
    ASSERT_EQ(1u, log.lines().size());
    EXPECT_EQ(0u, log.lines()[0].find(
                      "4 stagehand.GenericWindows: 425 SetWindowLong fails to subclass current console message "
                      "procedure "));

    log.clear();
    EXPECT_FALSE(stagehand::subclassWindow(owner, mine));
    ASSERT_EQ(2u, log.lines().size());
    EXPECT_EQ("3 stagehand.GenericWindows: 405 Generic window has a registered window handle", log.lines()[0]);
    EXPECT_EQ(0u, log.lines()[1].find("4 stagehand.GenericWindows: 425 "));
    EXPECT_EQ(mineBefore, windowProc(mine)) << "the retry went to the first window";
    DestroyWindow(mine);
}

namespace {
decltype(&SetWindowLongPtrW) g_realSetWindowLongPtrW;
int g_setCalls;
// Lets the subclassing through and makes the restore fail.
LONG_PTR WINAPI failSecondSet(HWND window, int index, LONG_PTR value)
{
    if (++g_setCalls == 1)
        return g_realSetWindowLongPtrW(window, index, value);
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}
}  // namespace

TEST(Subclassing, FailedRestoreIsLoggedAndDestructionGoesOn)
{
    HWND target = plainWindow();
    LONG_PTR before = windowProc(target);
    LogCapture log(vela::LoggerPriority::TRACE);
    {
        ImportHook hook(stagehandModule(), "user32.dll", "SetWindowLongPtrW", &failSecondSet, g_realSetWindowLongPtrW);
        g_setCalls = 0;
        GenericWindows owner;
        ASSERT_TRUE(stagehand::subclassWindow(owner, target));
    }
    EXPECT_EQ(1, log.count("1 stagehand.GenericWindows: 232 SetWindowLong fails 5"));
    EXPECT_EQ(1, log.count("leave GenericWindows::~GenericWindows"));
    SetWindowLongPtrW(target, GWLP_WNDPROC, before);
    DestroyWindow(target);
}
