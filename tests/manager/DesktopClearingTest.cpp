#include <stagehand/ProcessEnumerator.h>
#include <stagehand/RenderWindowManager.h>

#include "support/HelperWindows.h"
#include "support/ImportHook.h"
#include "support/LogCapture.h"
#include "support/ProcessHandleLedger.h"

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

// Records the library's ShowWindow and SetForegroundWindow calls, and passes them on.
struct DesktopCalls {
    static inline int showCalls;
    static inline std::vector<HWND> foreground;
    static inline decltype(&ShowWindow) realShow;
    static inline decltype(&SetForegroundWindow) realForeground;
    static BOOL WINAPI show(HWND window, int command)
    {
        ++showCalls;
        return realShow(window, command);
    }
    static BOOL WINAPI setForeground(HWND window)
    {
        foreground.push_back(window);
        return realForeground(window);
    }
};

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
        std::vector<DWORD> order(processes.processIds().data(),
                                 processes.processIds().data() + processes.numPids());
        auto at = [&](DWORD pid) { return std::find(order.begin(), order.end(), pid) - order.begin(); };
        ASSERT_GT(at(a->pid()), 0) << "index 0 of the system's list is never recorded";
        ASSERT_GT(at(b->pid()), 0);
        first = at(a->pid()) < at(b->pid()) ? a.get() : b.get();
        second = first == a.get() ? b.get() : a.get();
    }

    void TearDown() override
    {
        // Whatever a test left hidden is shown again for the next one.
        for (HelperWindows* helper : {a.get(), b.get(), spare.get()})
            if (helper)
                for (HWND window : helper->windows())
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

TEST_F(Desktop, NewManagerHasNoTableAndItsDestructionTouchesNothing)
{
    ImportHook show(stagehandModule(), "user32.dll", "ShowWindow", &DesktopCalls::show, DesktopCalls::realShow);
    ImportHook foreground(stagehandModule(), "user32.dll", "SetForegroundWindow", &DesktopCalls::setForeground,
                          DesktopCalls::realForeground);
    DesktopCalls::showCalls = 0;
    DesktopCalls::foreground.clear();
    {
        RenderWindowManager manager;
        EXPECT_FALSE(manager.isValid());
        EXPECT_EQ(0u, manager.getWindowsByAdapterID("\\\\.\\DISPLAY1").size());
        EXPECT_EQ(0u, manager.getWindowsByAdapterID("").size());
        manager.hideAllTopLevelProcessExcept(vela::Array<vela::String>());
        EXPECT_FALSE(manager.isValid()) << "no name, no lookup, no table";
    }
    EXPECT_EQ(0, DesktopCalls::showCalls);
    EXPECT_TRUE(DesktopCalls::foreground.empty());
    EXPECT_TRUE(allVisible());
}

TEST_F(Desktop, NamedProgramsAreSparedAndTheOthersHidden)
{
    RenderWindowManager manager;
    manager.hideAllTopLevelProcessExcept(names({"SPARE_HELPER.exe"}));
    EXPECT_TRUE(manager.isValid());
    EXPECT_TRUE(spare->allVisible());
    EXPECT_TRUE(a->noneVisible());
    EXPECT_TRUE(b->noneVisible());
    EXPECT_FALSE(IsIconic(a->windows()[0])) << "hidden, not minimised";

    manager.restoreAllTopLevelProcess();
    EXPECT_TRUE(allVisible());
}

TEST_F(Desktop, OnlyTheFirstProgramOfAnExecutableNameIsSpared)
{
    RenderWindowManager manager;
    manager.hideAllTopLevelProcessExcept(names({"window_helper.exe"}));
    EXPECT_TRUE(first->allVisible());
    EXPECT_TRUE(second->noneVisible());
    EXPECT_TRUE(spare->noneVisible());
}

TEST_F(Desktop, UnknownNamesAreLoggedAndSpareNothing)
{
    LogCapture log(vela::LoggerPriority::FAILURE);
    RenderWindowManager manager;
    manager.hideAllTopLevelProcessExcept(names({"nothing.exe", "spare_helper.exe", "NoSuch"}));
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 116 Cannot find process handle for process nothing.exe",
                                        "3 RenderWindowManager: 116 Cannot find process handle for process NoSuch"}),
              log.lines());
    EXPECT_TRUE(spare->allVisible());
    EXPECT_TRUE(a->noneVisible());
    EXPECT_TRUE(b->noneVisible());
}

namespace {
int g_listings;
decltype(&K32EnumProcesses) g_realEnumProcesses;
BOOL WINAPI countListings(DWORD* ids, DWORD bytes, DWORD* returned)
{
    ++g_listings;
    return g_realEnumProcesses(ids, bytes, returned);
}
}  // namespace

TEST_F(Desktop, TableIsBuiltOnceAndLaterWindowsAreNeverTouched)
{
    ImportHook hook(stagehandModule(), "kernel32.dll", "K32EnumProcesses", &countListings, g_realEnumProcesses);
    g_listings = 0;

    RenderWindowManager manager;
    manager.hideAllTopLevelProcess();
    EXPECT_EQ(0, g_listings) << "hiding everything builds no table";
    EXPECT_TRUE(allVisible());

    buildTable(manager);
    HWND late = a->open("late");
    ASSERT_NE(nullptr, late);
    manager.hideAllTopLevelProcessExcept(names({"spare_helper.exe"}));
    manager.minimizeTopLevelProcess("spare_helper.exe");
    EXPECT_EQ(1, g_listings);
    EXPECT_TRUE(IsWindowVisible(late));
    EXPECT_FALSE(IsWindowVisible(a->windows()[0]));
    EXPECT_TRUE(spare->noneVisible());

    b.reset();  // a recorded program exits
    EXPECT_TRUE(manager.isValid());
    manager.restoreAllTopLevelProcess();
    EXPECT_EQ(1, g_listings);
    EXPECT_TRUE(IsWindowVisible(a->windows()[0]));
    EXPECT_TRUE(spare->allVisible());
}

TEST_F(Desktop, GivenWindowsAreSpared)
{
    RenderWindowManager manager;
    buildTable(manager);
    HWND bogus = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7ff00));
    manager.hideAllTopLevelProcessExcept(windows({a->windows()[1], spare->windows()[0], bogus}));
    EXPECT_FALSE(IsWindowVisible(a->windows()[0]));
    EXPECT_TRUE(IsWindowVisible(a->windows()[1]));
    EXPECT_TRUE(b->noneVisible());
    EXPECT_TRUE(IsWindowVisible(spare->windows()[0]));
    EXPECT_FALSE(IsWindowVisible(spare->windows()[1]));
}

TEST_F(Desktop, SparedProgramsAndSparedWindowsTogether)
{
    RenderWindowManager manager;
    manager.hideAllTopLevelProcessExcept(names({"spare_helper.exe"}),
                                         windows({second->windows()[0], spare->windows()[1]}));
    EXPECT_TRUE(spare->allVisible());
    EXPECT_TRUE(IsWindowVisible(second->windows()[0]));
    EXPECT_TRUE(first->noneVisible());
}

TEST_F(Desktop, MinimizeHidesTheFirstProgramOfThatName)
{
    RenderWindowManager manager;
    manager.minimizeTopLevelProcess("WINDOW_HELPER.EXE");
    EXPECT_TRUE(first->noneVisible());
    EXPECT_FALSE(IsIconic(first->windows()[0]));
    EXPECT_TRUE(second->allVisible());
    EXPECT_TRUE(spare->allVisible());
}

TEST_F(Desktop, RestoreShowsEverythingAndGivesTheSavedForegroundBack)
{
    ImportHook foreground(stagehandModule(), "user32.dll", "SetForegroundWindow",
                          &DesktopCalls::setForeground, DesktopCalls::realForeground);
    DesktopCalls::foreground.clear();

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
    EXPECT_EQ((std::vector<HWND>{saved}), DesktopCalls::foreground);
}

TEST_F(Desktop, DestroyingTheManagerShowsEverythingAgain)
{
    {
        RenderWindowManager manager;
        manager.hideAllTopLevelProcessExcept(names({"nothing-spared"}));
        EXPECT_TRUE(a->noneVisible() && b->noneVisible() && spare->noneVisible());
    }
    EXPECT_TRUE(allVisible());
}

namespace {
DWORD g_firstPid;
decltype(&K32EnumProcesses) g_realList;
// The real list, with one chosen process moved to its head.
BOOL WINAPI listWithFirst(DWORD* ids, DWORD bytes, DWORD* returned)
{
    BOOL done = g_realList(ids, bytes, returned);
    DWORD n = *returned / sizeof(DWORD);
    DWORD* at = std::find(ids, ids + n, g_firstPid);
    if (done && at != ids + n)
        std::rotate(ids, at, at + 1);
    return done;
}
}  // namespace

TEST_F(Desktop, FirstProcessOfTheSystemListIsNeverRecorded)
{
    ImportHook hook(stagehandModule(), "kernel32.dll", "K32EnumProcesses", &listWithFirst, g_realList);
    g_firstPid = spare->pid();
    RenderWindowManager manager;
    manager.hideAllTopLevelProcessExcept(names({"spare_helper.exe"}));
    EXPECT_TRUE(spare->allVisible());
    manager.hideAllTopLevelProcess();
    EXPECT_TRUE(spare->allVisible());
    EXPECT_TRUE(a->noneVisible());
}

namespace {
HWND g_reused;
decltype(&GetWindowThreadProcessId) g_realOwner;
// Tells that one window now belongs to some other process, as a reused handle would.
DWORD WINAPI ownerWithReusedHandle(HWND window, DWORD* pid)
{
    DWORD thread = g_realOwner(window, pid);
    if (window == g_reused && pid)
        *pid = 0x7FFFFFF0;
    return thread;
}
}  // namespace

TEST_F(Desktop, HandleThatNowNamesAnotherProgramsWindowIsLeftAlone)
{
    RenderWindowManager manager;
    buildTable(manager);
    ImportHook hook(stagehandModule(), "user32.dll", "GetWindowThreadProcessId", &ownerWithReusedHandle, g_realOwner);
    g_reused = a->windows()[0];
    manager.hideAllTopLevelProcess();
    EXPECT_TRUE(IsWindowVisible(a->windows()[0]));
    EXPECT_FALSE(IsWindowVisible(a->windows()[1]));
    ShowWindow(a->windows()[0], SW_HIDE);
    manager.restoreAllTopLevelProcess();
    EXPECT_FALSE(IsWindowVisible(a->windows()[0])) << "restore does not show it either";
}

TEST_F(Desktop, AssignmentReplacesTheTableWithoutShowingAnything)
{
    RenderWindowManager manager;
    manager.hideAllTopLevelProcessExcept(names({"spare_helper.exe"}));
    RenderWindowManager& alias = manager;
    manager = alias;
    EXPECT_TRUE(a->noneVisible()) << "self-assignment changes nothing";
    EXPECT_TRUE(manager.isValid());

    RenderWindowManager copy(manager);
    EXPECT_TRUE(copy.isValid());
    manager = RenderWindowManager();
    EXPECT_FALSE(manager.isValid());
    EXPECT_TRUE(a->noneVisible()) << "assignment restores nothing";
    copy.restoreAllTopLevelProcess();
    EXPECT_TRUE(allVisible()) << "the copy kept the table";
}

TEST_F(Desktop, EveryProcessHandleIsClosedOnce)
{
    ProcessHandleLedger ledger;
    std::vector<HANDLE> held;
    {
        RenderWindowManager manager;
        buildTable(manager);
        ASSERT_TRUE(manager.isValid());
        RenderWindowManager copy(manager);
        held.assign(ledger.open().begin(), ledger.open().end());
        EXPECT_GE(held.size(), 3u) << "the three helpers are recorded and keep their handles";
    }
    EXPECT_TRUE(ledger.open().empty());
    EXPECT_EQ(0, ledger.strayCloses());
    EXPECT_EQ(ledger.opened(), ledger.closed());
    for (HANDLE process : held) {
        DWORD flags;
        EXPECT_FALSE(GetHandleInformation(process, &flags));
    }
}
