#include <stagehand/ProcessEnumerator.h>
#include <stagehand/RenderWindowManager.h>

#include "support/CallHook.h"
#include "support/HelperWindows.h"
#include "support/LogCapture.h"
#include "support/ReleaseLedger.h"

#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using stagehand::RenderWindowManager;

namespace {

vela::Array<vela::String> names(std::initializer_list<const char*> list)
{
    vela::Array<vela::String> all;
    for (const char* name : list)
        all.append(name);
    return all;
}

vela::Array<HWND> windows(std::initializer_list<HWND> list)
{
    vela::Array<HWND> all;
    for (HWND window : list)
        all.append(window);
    return all;
}

// Three helper programs with visible windows: two instances of window_helper.exe and one
// spare_helper.exe. `first` and `second` are the two window_helpers in the order the
// process table records them (the system's order).
class Desktop : public testing::Test {
protected:
    void SetUp() override
    {
        a = std::make_unique<HelperWindows>(L"window_helper.exe", std::vector<std::string>{"a1", "a2"});
        b = std::make_unique<HelperWindows>(L"window_helper.exe", std::vector<std::string>{"b1"});
        spare = std::make_unique<HelperWindows>(L"spare_helper.exe", std::vector<std::string>{"s1", "s2"});
        ASSERT_TRUE(a->ready() && b->ready() && spare->ready());
        stagehand::ProcessEnumerator processes;
        ASSERT_TRUE(processes.enumerate());
        const DWORD* ids = processes.processIds().data();
        auto at = [&](DWORD pid) { return std::find(ids, ids + processes.numPids(), pid) - ids; };
        first = at(a->pid()) < at(b->pid()) ? a.get() : b.get();
        second = first == a.get() ? b.get() : a.get();
    }

    void TearDown() override
    {
        // Whatever a test left hidden is shown again for the next one.
        for (HelperWindows* helper : {a.get(), b.get(), spare.get()})
            for (HWND window : helper ? helper->windows() : std::vector<HWND>())
                ShowWindow(window, SW_SHOW);
    }

    // Builds the table with a lookup that matches nothing, and so hides nothing.
    static void buildTable(RenderWindowManager& manager)
    {
        LogCapture quiet(vela::LoggerPriority::SILENT);
        manager.minimizeTopLevelProcess("no-such-program.exe");
    }

    bool allVisible() const { return a->allVisible() && b->allVisible() && spare->allVisible(); }

    std::unique_ptr<HelperWindows> a, b, spare;
    HelperWindows* first = nullptr;
    HelperWindows* second = nullptr;
};

}  // namespace

TEST_F(Desktop, ProgramsAreSparedByNameTheFirstOfANameOnlyAndUnknownNamesAreLogged)
{
    CallHook<decltype(&ShowWindow)> show(stagehandModule(), "user32.dll", "ShowWindow");
    CallHook<decltype(&SetForegroundWindow)> foreground(stagehandModule(), "user32.dll", "SetForegroundWindow");
    {
        RenderWindowManager untouched;
        untouched.hideAllTopLevelProcessExcept(vela::Array<vela::String>());
        EXPECT_FALSE(untouched.isValid()) << "no name, no lookup, no table";
    }
    EXPECT_TRUE(show.calls().empty() && foreground.calls().empty()) << "a manager without a table touches nothing";

    LogCapture log(vela::LoggerPriority::FAILURE);
    {
        RenderWindowManager manager;
        manager.hideAllTopLevelProcessExcept(names({"nothing.exe", "SPARE_HELPER.exe", "window_helper.exe", "NoSuch"}));
        EXPECT_TRUE(manager.isValid());
        EXPECT_TRUE(spare->allVisible());
        EXPECT_TRUE(first->allVisible());
        EXPECT_TRUE(second->noneVisible());
        EXPECT_FALSE(IsIconic(second->windows()[0])) << "hidden, not minimised";
        EXPECT_EQ((std::vector<std::string>{
                      "3 RenderWindowManager: 116 Cannot find process handle for process nothing.exe",
                      "3 RenderWindowManager: 116 Cannot find process handle for process NoSuch"}),
                  log.lines());
        manager.restoreAllTopLevelProcess();
        EXPECT_TRUE(allVisible());

        manager.minimizeTopLevelProcess(vela::String(static_cast<const char*>(nullptr)));
        EXPECT_EQ(3u, log.lines().size());
        manager.minimizeTopLevelProcess("WINDOW_HELPER.EXE");
        EXPECT_TRUE(first->noneVisible());
        EXPECT_TRUE(second->allVisible());
        EXPECT_TRUE(spare->allVisible());
    }
    EXPECT_TRUE(allVisible()) << "the manager's destruction shows everything again";
}

TEST_F(Desktop, WindowsAreSparedByHandleAloneOrWithTheirPrograms)
{
    RenderWindowManager manager;
    buildTable(manager);
    HWND destroyed = probeWindow();
    DestroyWindow(destroyed);
    HWND madeUp = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7ff00));
    manager.hideAllTopLevelProcessExcept(windows({a->windows()[1], spare->windows()[0], nullptr, destroyed, madeUp}));
    EXPECT_FALSE(IsWindowVisible(a->windows()[0]));
    EXPECT_TRUE(IsWindowVisible(a->windows()[1]));
    EXPECT_TRUE(b->noneVisible());
    EXPECT_TRUE(IsWindowVisible(spare->windows()[0]));
    EXPECT_FALSE(IsWindowVisible(spare->windows()[1]));
    manager.restoreAllTopLevelProcess();

    manager.hideAllTopLevelProcessExcept(names({"spare_helper.exe"}), windows({second->windows()[0], madeUp}));
    EXPECT_TRUE(spare->allVisible());
    EXPECT_TRUE(IsWindowVisible(second->windows()[0]));
    EXPECT_TRUE(first->noneVisible());
}

TEST_F(Desktop, TheTableIsBuiltOnceWithoutTheSystemsFirstProcessAndLaterWindowsAreNeverTouched)
{
    // The real list, with spare_helper moved to its head.
    CallHook<decltype(&K32EnumProcesses)> list(stagehandModule(), "kernel32.dll", "K32EnumProcesses");
    list.instead = [&](DWORD* ids, DWORD bytes, DWORD* returned) {
        BOOL done = list.real(ids, bytes, returned);
        DWORD* end = ids + *returned / sizeof(DWORD);
        DWORD* at = std::find(ids, end, spare->pid());
        if (done && at != end)
            std::rotate(ids, at, at + 1);
        return done;
    };
    RenderWindowManager manager;
    manager.hideAllTopLevelProcess();
    EXPECT_EQ(0u, list.calls().size()) << "hiding everything builds no table";
    EXPECT_TRUE(allVisible());

    buildTable(manager);
    HWND late = a->open("late");
    ASSERT_NE(nullptr, late);
    manager.hideAllTopLevelProcess();
    manager.hideAllTopLevelProcessExcept(names({"window_helper.exe"}));
    EXPECT_TRUE(spare->allVisible()) << "index 0 of the system's list is never recorded";
    EXPECT_TRUE(IsWindowVisible(late));
    EXPECT_FALSE(IsWindowVisible(a->windows()[0]));
    EXPECT_TRUE(b->noneVisible());

    b.reset();  // a recorded program exits
    manager.restoreAllTopLevelProcess();
    EXPECT_EQ(1u, list.calls().size());
    EXPECT_TRUE(a->allVisible());
}

TEST_F(Desktop, RestoreGivesTheSavedForegroundBackAndLeavesAReusedHandleAlone)
{
    CallHook<decltype(&SetForegroundWindow)> foreground(stagehandModule(), "user32.dll", "SetForegroundWindow");
    RenderWindowManager manager;
    buildTable(manager);
    SetForegroundWindow(spare->windows()[0]);
    HWND saved = GetForegroundWindow();
    manager.hideAllTopLevelProcessExcept(windows({}));
    SetForegroundWindow(a->windows()[0]);
    manager.minimizeTopLevelProcess("spare_helper.exe");  // saves nothing
    manager.hideAllTopLevelProcessExcept(names({"spare_helper.exe"}));  // saves nothing
    ShowWindow(spare->windows()[1], SW_HIDE);  // hidden by someone else
    manager.restoreAllTopLevelProcess();
    EXPECT_TRUE(allVisible());
    ASSERT_EQ(1u, foreground.calls().size());
    EXPECT_EQ(saved, std::get<0>(foreground.calls()[0]));

    // A closed window's handle may since name a window of another program.
    CallHook<decltype(&GetWindowThreadProcessId)> owner(stagehandModule(), "user32.dll", "GetWindowThreadProcessId");
    owner.instead = [&](HWND window, DWORD* pid) {
        DWORD thread = owner.real(window, pid);
        if (window == a->windows()[0] && pid)
            *pid = 0x7FFFFFF0;
        return thread;
    };
    manager.hideAllTopLevelProcess();
    EXPECT_TRUE(IsWindowVisible(a->windows()[0]));
    EXPECT_FALSE(IsWindowVisible(a->windows()[1]));
    ShowWindow(a->windows()[0], SW_HIDE);
    manager.restoreAllTopLevelProcess();
    EXPECT_FALSE(IsWindowVisible(a->windows()[0])) << "restore does not show it either";
}

TEST_F(Desktop, CopiesKeepTheTableAndEveryProcessHandleIsClosedOnce)
{
    ReleaseLedger ledger;
    {
        RenderWindowManager manager;
        manager.hideAllTopLevelProcessExcept(names({"spare_helper.exe"}));
        RenderWindowManager& alias = manager;
        manager = alias;
        EXPECT_TRUE(a->noneVisible()) << "self-assignment changes nothing";
        RenderWindowManager copy(manager);
        EXPECT_GE(ledger.held(ReleaseLedger::ProcessHandle).size(), 3u) << "the helpers are recorded";
        manager = RenderWindowManager();
        EXPECT_FALSE(manager.isValid());
        EXPECT_TRUE(a->noneVisible()) << "assignment restores nothing";
        copy.restoreAllTopLevelProcess();
        EXPECT_TRUE(allVisible()) << "the copy kept the table";
    }
    EXPECT_TRUE(ledger.allReleased());
}
