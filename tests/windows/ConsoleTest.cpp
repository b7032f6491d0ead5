#include <stagehand/AllocateConsole.h>
#include <stagehand/Genericwindows.h>

#include "support/CallHook.h"
#include "support/HelperWindows.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using stagehand::GenericWindows;

namespace {

// Runs console_helper in a process of its own (a process has one console) and returns its
// "name=value" lines and the library's log lines, joined by spaces.
std::string consoleHelper(const wchar_t* mode, DWORD creationFlags)
{
    ChildProcess helper(L"console_helper.exe", mode, creationFlags);
    std::string output = helper.readAll();
    EXPECT_EQ(0u, helper.wait());
    std::string joined;
    for (char c : output)
        if (c != '\r')
            joined += c == '\n' ? ' ' : c;
    return joined;
}

LONG_PTR windowProc(HWND window)
{
    return GetWindowLongPtrW(window, GWLP_WNDPROC);
}

const LONG_PTR kHandler = reinterpret_cast<LONG_PTR>(&GenericWindows::messageHandler);

}  // namespace

TEST(AllocateConsole, OwnsOnlyAConsoleItAllocatedAndFreesItOnce)
{
    EXPECT_EQ("console_before=0 owns=1 handle_is_console=1 visible=1 console_after=0 ",
              consoleHelper(L"single", DETACHED_PROCESS));
    EXPECT_EQ("console_before=1 owns=0 handle_is_console=1 visible=1 console_after=1 ",
              consoleHelper(L"single", CREATE_NEW_CONSOLE));
    EXPECT_EQ("console_before=0 user_owns=0 same_window=1 copy_owns=0 console_after_users=1 owner_owns=1 "
              "console_after_owner=0 ",
              consoleHelper(L"shared", DETACHED_PROCESS));

    CallHook<decltype(&GetConsoleWindow)> window(stagehandModule(), "kernel32.dll", "GetConsoleWindow");
    CallHook<decltype(&AllocConsole)> allocate(stagehandModule(), "kernel32.dll", "AllocConsole");
    CallHook<decltype(&FreeConsole), 1> release(stagehandModule(), "kernel32.dll", "FreeConsole");
    window.failCall(0, nullptr, 0);
    allocate.failCall(0, FALSE, ERROR_ACCESS_DENIED);
    LogCapture log(vela::LoggerPriority::FAILURE);
    {
        stagehand::AllocateConsole console;
        EXPECT_EQ(nullptr, console.consoleHandle());
        EXPECT_FALSE(console.ownsConsole());
    }
    EXPECT_TRUE(release.calls().empty());
    EXPECT_EQ((std::vector<std::string>{"3 stagehand.allocateConsole: 27  AllocConsole fails 5",
                                        "3 stagehand.allocateConsole: 37 Console handle returns NULL"}),
              log.lines());
}

TEST(WindowInstance, TheExecutableForNullTheOwnerOfAWindowAndNoneOfAMadeUpOne)
{
    GenericWindows window(GetModuleHandleW(nullptr), nullptr, "owned", WS_POPUP);
    HWND destroyed = probeWindow();
    DestroyWindow(destroyed);
    LogCapture log(vela::LoggerPriority::DETAIL);
    EXPECT_EQ(GetModuleHandleW(nullptr), stagehand::getWindowInstance(nullptr));
    EXPECT_EQ(GetModuleHandleW(nullptr), stagehand::getWindowInstance(window.getHWND()));
    EXPECT_EQ(nullptr, stagehand::getWindowInstance(destroyed));
    EXPECT_EQ((std::vector<std::string>{
                  "3 stagehand.GenericWindows: 20 window handle is NULL, getting the topmost window instance",
                  "2 stagehand.GenericWindows: 27 Getting a window long pointer",
                  "2 stagehand.GenericWindows: 27 Getting a window long pointer",
                  "3 stagehand.GenericWindows: 32 GetWindowLong call fails, last error code = 1400"}),
              log.lines());
}

TEST(Subclassing, RoutesOneWindowUntilTheOwnerGoesAndRefusesAnyOther)
{
    HWND target = probeWindow();
    HWND other = probeWindow();
    LONG_PTR before = windowProc(target);
    {
        GenericWindows owner;
        LogCapture log(vela::LoggerPriority::FAILURE);
        EXPECT_FALSE(stagehand::subclassWindow(owner, nullptr));
        ASSERT_TRUE(stagehand::subclassWindow(owner, target));
        EXPECT_EQ(kHandler, windowProc(target));
        // With no object in its user data the window's messages go to DefWindowProcW.
        EXPECT_TRUE(SendMessageW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"routed")));
        EXPECT_FALSE(stagehand::subclassWindow(owner, other));
        EXPECT_EQ((std::vector<std::string>{
                      "3 stagehand.GenericWindows: 416 Invalid superclass window handle",
                      "3 stagehand.GenericWindows: 405 Generic window has a registered window handle",
                      "3 stagehand.GenericWindows: 408 Console procedure is already subclassed"}),
                  log.lines());
        EXPECT_NE(kHandler, windowProc(other));
    }
    EXPECT_EQ(before, windowProc(target));

    LogCapture log(vela::LoggerPriority::TRACE);
    {
        CallHook<decltype(&SetWindowLongPtrW)> set(stagehandModule(), "user32.dll", "SetWindowLongPtrW");
        set.failCall(2, 0, ERROR_ACCESS_DENIED);
        GenericWindows owner;
        ASSERT_TRUE(stagehand::subclassWindow(owner, target));
    }
    EXPECT_EQ(1u, log.count("1 stagehand.GenericWindows: 232 SetWindowLong fails 5"));
    EXPECT_EQ(1u, log.count("leave GenericWindows::~GenericWindows")) << "destruction goes on";
    SetWindowLongPtrW(target, GWLP_WNDPROC, before);
    DestroyWindow(target);
    DestroyWindow(other);
}

TEST(Subclassing, WindowOfAnotherProcessFailsAndIsRetriedOnTheNextCall)
{
    HelperWindows helper(L"window_helper.exe", {"foreign"});
    ASSERT_TRUE(helper.ready());
    HWND mine = probeWindow();
    LONG_PTR mineBefore = windowProc(mine);
    for (HWND bad : {probeWindow(), reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7ffe1234))}) {
        DestroyWindow(bad);
        GenericWindows refused;
        LogCapture log(vela::LoggerPriority::FAILURE);
        EXPECT_FALSE(stagehand::subclassWindow(refused, bad));
        EXPECT_EQ(1u, log.count("4 stagehand.GenericWindows: 425 "));
    }
    GenericWindows owner;
    LogCapture log(vela::LoggerPriority::FAILURE);
    EXPECT_FALSE(stagehand::subclassWindow(owner, helper.windows()[0]));
    EXPECT_FALSE(stagehand::subclassWindow(owner, mine));
    ASSERT_EQ(3u, log.lines().size());
    const std::string refused = "4 stagehand.GenericWindows: 425 SetWindowLong fails to subclass current console "
                                "message procedure ";
    EXPECT_EQ(0u, log.lines()[0].find(refused));
    EXPECT_EQ("3 stagehand.GenericWindows: 405 Generic window has a registered window handle", log.lines()[1]);
    EXPECT_EQ(0u, log.lines()[2].find(refused));
    EXPECT_EQ(mineBefore, windowProc(mine)) << "the retry went to the first window";
    DestroyWindow(mine);
}
