// Render windows on the X display's two screens or a faked desktop; the desktop cleared of
// real helper programs and shown again.
#include <stagehand/DesktopRecovery.h>
#include <stagehand/RenderWindowManager.h>
#include <stagehand/stagehand_c.h>

#include "support/CallHook.h"
#include "support/HelperWindows.h"
#include "support/JournalFolder.h"
#include "support/LogCapture.h"
#include "support/ReleaseLedger.h"

#include <windows.h>

#include <aclapi.h>
#include <psapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using stagehand::RenderWindowManager;
using stagehand::SharedWindow;
using stagehand::WindowList;
using Grid = RenderWindowManager::TileParam;

namespace {

const char kPrimary[] = "\\\\.\\DISPLAY1";
const char kSecond[] = "\\\\.\\DISPLAY2";
const size_t npos = std::string::npos;

// While it lives, stagehand.dll sees a test rig's desktop, which the X display cannot give:
// a primary monitor whose taskbar takes the top 40 rows, and a second monitor left of it.
class TaskbarDesktop {
public:
    TaskbarDesktop()
    {
        m_enum.instead = [](HDC, LPCRECT, MONITORENUMPROC proc, LPARAM data) {
            return proc(reinterpret_cast<HMONITOR>(1), nullptr, nullptr, data) &&
                   proc(reinterpret_cast<HMONITOR>(2), nullptr, nullptr, data);
        };
        m_info.instead = [](HMONITOR handle, MONITORINFO* info) {
            bool primary = handle == reinterpret_cast<HMONITOR>(1);
            info->rcMonitor = primary ? RECT{0, 0, 1920, 1080} : RECT{-1366, 100, 0, 868};
            info->rcWork = primary ? RECT{0, 40, 1920, 1080} : info->rcMonitor;
            info->dwFlags = primary ? MONITORINFOF_PRIMARY : 0;
            auto* named = reinterpret_cast<MONITORINFOEXW*>(info);
            lstrcpyW(named->szDevice, primary ? L"\\\\.\\DISPLAY1" : L"\\\\.\\DISPLAY2");
            return TRUE;
        };
    }

private:
    CallHook<decltype(&EnumDisplayMonitors)> m_enum{"user32.dll", "EnumDisplayMonitors"};
    CallHook<decltype(&GetMonitorInfoW)> m_info{"user32.dll", "GetMonitorInfoW"};
};

template <class T>
vela::Array<T> array(std::initializer_list<T> list)
{
    vela::Array<T> all;
    for (const T& item : list)
        all.append(item);
    return all;
}

RenderWindowManager::WindowParam param(const std::string& name, RECT rect = RECT{0, 0, 0, 0})
{
    RenderWindowManager::WindowParam p;
    p.windowName = name.c_str();
    p.style = WS_POPUP;
    p.rect = rect;
    return p;
}

vela::Array<RenderWindowManager::WindowParam> params(const std::string& prefix, unsigned int count)
{
    vela::Array<RenderWindowManager::WindowParam> all;
    for (unsigned int i = 0; i < count; ++i)
        all.append(param(prefix + std::to_string(i)));
    return all;
}

// The window's rectangle, then whether it is visible, topmost and on that monitor.
std::vector<LONG> rectOf(const SharedWindow& window, const wchar_t* monitor = nullptr)
{
    HWND handle = window->getHWND();
    RECT r = {};
    MONITORINFOEXW info = {};
    info.cbSize = sizeof info;
    GetWindowRect(handle, &r);
    GetMonitorInfoW(MonitorFromWindow(handle, MONITOR_DEFAULTTONULL), &info);
    bool on = !monitor || lstrcmpW(info.szDevice, monitor) == 0;
    return {r.left, r.top, r.right, r.bottom,
            IsWindowVisible(handle) && on && (GetWindowLongW(handle, GWL_EXSTYLE) & WS_EX_TOPMOST)};
}

std::string names(const WindowList& list)
{
    std::string all;
    for (unsigned int i = 0; i < list.size(); ++i)
        all += list[i]->windowName().toUtf8() + " ";
    return all;
}

}  // namespace

TEST(RenderWindowManager, WindowsLandOnTheirRectangleOrTheMonitorCornerOfTheirAdapterAndAreShared)
{
    SharedWindow held;
    HWND corner;
    {
        RenderWindowManager manager;
        held = manager.createRenderWindow(param("single", RECT{2000, 120, 2320, 360}), kSecond);
        EXPECT_EQ((std::vector<LONG>{2000, 120, 2320, 360, true}), rectOf(held, L"\\\\.\\DISPLAY2"));
        ASSERT_TRUE(manager.createRenderWindow(params("corner", 2), "\\\\.\\display2"));
        const WindowList& list = manager.getWindowsByAdapterID("\\\\.\\display2");
        EXPECT_EQ("single corner0 corner1 ", names(list));
        std::vector<LONG> at = rectOf(list[2], L"\\\\.\\DISPLAY2");
        EXPECT_EQ((std::vector<LONG>{1920, 0, true}), (std::vector<LONG>{at[0], at[1], at[4]})) << "left, top, shown";
        corner = list[2]->getHWND();
        EXPECT_EQ(GetNextWindow(corner, GW_HWNDNEXT), list[1]->getHWND()) << "the last one on top";
        // A huge rectangle is used as it is, its extents clamped.
        SharedWindow huge = manager.createRenderWindow(param("huge", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}), kPrimary);
        EXPECT_TRUE(rectOf(huge)[4]);
    }
    EXPECT_FALSE(IsWindow(corner));
    EXPECT_TRUE(rectOf(held)[4]) << "the caller still holds it";

    TaskbarDesktop desktop;
    RenderWindowManager manager;  // reads the monitors when it is made
    ASSERT_TRUE(manager.createRenderWindow(params("left", 1), kSecond));
    ASSERT_TRUE(manager.createRenderWindow(params("top", 1), kPrimary));
    EXPECT_EQ(-1366, rectOf(manager.getWindowsByAdapterID(kSecond)[0])[0]);
    EXPECT_EQ(0, rectOf(manager.getWindowsByAdapterID(kPrimary)[0])[1]) << "the monitor's corner, not the work area's";
    EXPECT_EQ(10, rectOf(manager.createRenderWindow(param("unshifted", {10, 20, 330, 260}), kSecond))[0]);
}

TEST(RenderWindowManager, UnknownAdaptersAndWindowsThatCannotBeMadeAddNothingAndCopiesShareTheirGroups)
{
    ReleaseLedger ledger;
    RenderWindowManager manager;
    for (const char* id : {"\\\\.\\DISPLAY9", "", "\\\\.\\DISPLAY1 "}) {
        EXPECT_EQ((std::vector<bool>{false, false, false}),
                  (std::vector<bool>{manager.createRenderWindow(param("lost"), id).get() != nullptr,
                                     manager.createRenderWindow(params("lost", 2), id),
                                     manager.createTiledRenderWindow(params("lost", 1), id, Grid{1, 1})})) << id;
        EXPECT_EQ(0u, manager.getWindowsByAdapterID(id).size()) << "no group was added";
    }
    EXPECT_EQ(0, ledger.acquired(ReleaseLedger::Window));

    LogCapture log(vela::LoggerPriority::FAILURE);
    EXPECT_FALSE(manager.createRenderWindow(vela::Array<RenderWindowManager::WindowParam>(), kPrimary));
    EXPECT_EQ(1u, log.count("3 RenderWindowManager: 280 Need at least one parameter in creationParam"));
    SharedWindow live = manager.createRenderWindow(param("taken"), kPrimary);
    EXPECT_FALSE(manager.createRenderWindow(param("taken"), kPrimary)->isInitialized()) << "returned without a window";
    EXPECT_TRUE(manager.createRenderWindow(array({param("before"), param("taken")}), "\\\\.\\display1"));
    RenderWindowManager(manager).createRenderWindow(params("viaCopy", 1), kPrimary);
    RenderWindowManager(manager).createRenderWindow(params("copyOnly", 1), kSecond);
    EXPECT_EQ("taken before viaCopy0 ", names(manager.getWindowsByAdapterID(kPrimary)));
    EXPECT_EQ(0u, manager.getWindowsByAdapterID(kSecond).size()) << "a group made by a copy stays the copy's";
    live.reset();
    manager = RenderWindowManager();
    EXPECT_TRUE(ledger.allReleased()) << "assignment lets go of the old groups";
}

TEST(Tiling, TilesGoColumnByColumnOverTheWorkAreaRoundingDownAndRefusalsSayWhatSurvives)
{
    TaskbarDesktop desktop;
    RenderWindowManager manager;
    auto primary = [&](unsigned int i) { return rectOf(manager.getWindowsByAdapterID(kPrimary)[i]); };
    ASSERT_TRUE(manager.createTiledRenderWindow(params("old", 2), kPrimary, Grid{1, 2}));
    ASSERT_TRUE(manager.createTiledRenderWindow(params("tile", 6), "\\\\.\\display1", Grid{2, 3}));
    ASSERT_EQ(6u, manager.getWindowsByAdapterID(kPrimary).size()) << "tiling again replaces the adapter's windows";
    for (unsigned int i = 0; i < 6; ++i) {
        LONG x = 640 * (i / 2), y = 40 + 520 * (i % 2);
        EXPECT_EQ((std::vector<LONG>{x, y, x + 640, y + 520, true}), primary(i)) << i;
    }
    // 1366 / 3 = 455: the rightmost pixel column stays free.
    ASSERT_TRUE(manager.createTiledRenderWindow(params("left", 3), kSecond, Grid{1, 3}));
    EXPECT_EQ((std::vector<LONG>{-1366, 100, -911, 868, true}), rectOf(manager.getWindowsByAdapterID(kSecond)[0]));
    EXPECT_EQ((std::vector<LONG>{-456, 100, -1, 868, true}), rectOf(manager.getWindowsByAdapterID(kSecond)[2]));
    EXPECT_EQ(6u, manager.getWindowsByAdapterID(kPrimary).size()) << "other adapters are not touched";

    LogCapture log(vela::LoggerPriority::FAILURE);
    // The last two grids have 32-bit products that wrap to 0 and to 2.
    for (const Grid& g : {Grid{0, 0}, Grid{2, 3}, Grid{0x80000000, 2}, Grid{0x80000001, 2}})
        EXPECT_FALSE(manager.createTiledRenderWindow(params("two", 2), kPrimary, g)) << g.rows << "x" << g.columns;
    EXPECT_EQ(4u, log.count("3 RenderWindowManager: 345 The number of windows must match the tiling dimension"));
    EXPECT_EQ(6u, manager.getWindowsByAdapterID(kPrimary).size()) << "a count mismatch changes nothing";
    EXPECT_FALSE(manager.createTiledRenderWindow(array({param("part"), param("left0")}), kPrimary, Grid{1, 2}));
    EXPECT_EQ(1u, log.count("3 RenderWindowManager: 378 Not all requested windows can be created"));
    EXPECT_EQ("part ", names(manager.getWindowsByAdapterID(kPrimary))) << "the window that could be made stays";
    EXPECT_FALSE(manager.createTiledRenderWindow(params("none", 0), kPrimary, Grid{0, 4}));
    EXPECT_EQ(0u, manager.getWindowsByAdapterID(kPrimary).size()) << "the adapter's windows are released first";
}

namespace {

// Two helper.exe, `a` listed before `b`, and one spare_helper.exe, each with visible windows.
class Desktop : public testing::Test {
protected:
    void SetUp() override
    {
        a = std::make_unique<HelperWindows>(L"helper.exe", L"a1 a2");
        b = std::make_unique<HelperWindows>(L"helper.exe", L"b1");
        spare = std::make_unique<HelperWindows>(L"spare_helper.exe", L"s1 s2");
        ASSERT_EQ("a1 a2 b1 s1 s2", shown());
        listFirst({a->pid(), b->pid()});
    }

    std::string shown(const HelperWindows* also = nullptr) const { return ::shown({a.get(), b.get(), spare.get(), also}); }
    // The system's process list with these processes from index `from` on (the library never
    // looks at index 0).
    void listFirst(const std::vector<DWORD>& pids, size_t from = 1)
    {
        list.instead = [this, pids, from](DWORD* ids, DWORD bytes, DWORD* returned) {
            BOOL done = list.real(ids, bytes, returned);
            DWORD* end = ids + *returned / sizeof(DWORD);
            for (size_t i = from; i < from + pids.size(); ++i)
                if (DWORD* at = std::find(ids + i, end, pids[i - from]); at != end)
                    std::rotate(ids + i, at, at + 1);
            return done;
        };
    }

    JournalFolder journals;
    std::unique_ptr<HelperWindows> a, b, spare;
    CallHook<decltype(&K32EnumProcesses)> list{"kernel32.dll", "K32EnumProcesses"};
};

// How a journal records a helper's first window: "window HANDLE PID ".
std::string entry(const HelperWindows& helper)
{
    return "window " + std::to_string(reinterpret_cast<ULONG_PTR>(helper.windows()[0])) + " " +
           std::to_string(helper.pid()) + " ";
}

}  // namespace

// Programs are spared by name, case aside, the first of a name with windows only; windows by
// handle. The table is built once; restore gives back the first form's foreground, and every
// window in its place in the stacking order, those that stayed shown included.
TEST_F(Desktop, EveryFormSparesWhatItNamesAndRestoreGivesTheForegroundBackOnTop)
{
    HelperWindows windowless(L"helper.exe", L"");  // listed before the others: it never takes the name
    listFirst({spare->pid(), windowless.pid(), a->pid(), b->pid()}, 0);
    HWND aWindow = a->windows()[0], bWindow = b->windows()[0];
    HWND madeUp = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7ff00));
    // Each form, and the helpers' windows it leaves visible.
    const std::tuple<const char*, std::function<void(RenderWindowManager&)>, const char*> forms[] = {
        {"all", [](RenderWindowManager& m) { m.hideAllTopLevelProcess(); }, "s1 s2"},
        {"all but windows", [&](RenderWindowManager& m) {
             m.hideAllTopLevelProcessExcept(array({aWindow, HWND(), madeUp}));
         }, "a1 s1 s2"},
        {"all but programs", [](RenderWindowManager& m) {
             m.hideAllTopLevelProcessExcept(array<vela::String>({"nothing.exe", "SPARE_helper.exe", "HELPER.exe"}));
         }, "a1 a2 s1 s2"},
        {"all but both", [&](RenderWindowManager& m) {
             m.hideAllTopLevelProcessExcept(array<vela::String>({"helper.exe"}), array({bWindow}));
         }, "a1 a2 b1 s1 s2"},
        {"one program", [](RenderWindowManager& m) { m.minimizeTopLevelProcess("HELPER.exe"); }, "b1 s1 s2"},
    };
    std::vector<HWND> all = a->windows();
    for (const HelperWindows* helper : {b.get(), spare.get()})
        all.insert(all.end(), helper->windows().begin(), helper->windows().end());
    // A stacking order of the desktop's own, a topmost window in it, which every restore
    // must give back whole.
    for (HWND window : {all[3], all[0], all[4], all[1], all[2]})
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(bWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    LogCapture log(vela::LoggerPriority::FAILURE);
    const HWND foreground = a->windows()[1];
    ASSERT_TRUE(activate(foreground));
    const std::string order = desktopWalk();
    for (const auto& [form, hide, shownAfter] : forms) {
        RenderWindowManager manager;
        size_t builds = list.calls().size();
        hide(manager);
        EXPECT_EQ(shownAfter, shown()) << form;
        EXPECT_FALSE(IsIconic(bWindow)) << "hidden, not minimised";
        ASSERT_TRUE(activate(spare->windows()[0]));
        manager.hideAllTopLevelProcess();  // the foreground saved by the first form stays
        EXPECT_EQ("s1 s2", ::shown({spare.get()})) << "index 0 of the system's list is never recorded";
        manager.restoreAllTopLevelProcess();
        // Wine settles activation asynchronously, in each program's own time.
        auto restored = [&] { return std::make_tuple(shown(), GetForegroundWindow(), desktopWalk()); };
        const auto whole = std::make_tuple(std::string("a1 a2 b1 s1 s2"), foreground, order);
        for (int wait = 0; wait < 100 && restored() != whole; ++wait)
            Sleep(10);
        EXPECT_EQ(whole, restored()) << form << ": shown, the foreground, in their stacking order";
        EXPECT_EQ(builds + 1, list.calls().size()) << form << ": the table is built once";
    }
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 116 Cannot find process handle for process nothing.exe",
                                        "3 RenderWindowManager: 116 Cannot find process handle for process "
                                        "SPARE_helper.exe"}),
              log.lines);
    {
        RenderWindowManager manager;
        manager.hideAllTopLevelProcess();
        b.reset();  // a recorded program exits: its windows are skipped
    }
    EXPECT_EQ("a1 a2 s1 s2", shown()) << "the manager's destruction shows the rest again";
    RenderWindowManager manager;
    // A closed window's handle may since name a window of another program.
    CallHook<decltype(&GetWindowThreadProcessId)> owner("user32.dll", "GetWindowThreadProcessId");
    owner.instead = [&](HWND window, DWORD* pid) {
        DWORD thread = owner.real(window, pid);
        if (pid && window == a->windows()[0])
            *pid = 0x7FFFFFF0;
        return thread;
    };
    manager.hideAllTopLevelProcess();
    EXPECT_EQ("a1 s1 s2", shown()) << "a1 is taken for another program's";
    ShowWindow(a->windows()[0], SW_HIDE);
    manager.restoreAllTopLevelProcess();
    EXPECT_EQ("a2 s1 s2", shown()) << "restore does not show a1 either";
}

TEST_F(Desktop, ProgramsThatDoNotRespondCannotHoldClearingAndEndUpAsAsked)
{
    HelperWindows hung(L"hung_helper.exe", L"h1 h2", L"hung");
    ASSERT_TRUE(hung.ready());
    LogCapture log(vela::LoggerPriority::FAILURE);
    SetEnvironmentVariableW(L"STAGEHAND_RESPONSE_BOUND", L"300");  // a rig's own bound, read by each call
    RenderWindowManager manager;
    DWORD start = GetTickCount();
    {
        CallHook<decltype(&GetForegroundWindow)> foreground("user32.dll", "GetForegroundWindow");
        foreground.instead = [&] { return hung.windows()[0]; };  // saved: restore gives it the foreground
        manager.hideAllTopLevelProcessExcept(array<vela::String>({"nothing.exe"}));
    }
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ("h1 h2", shown(&hung)) << "the hung program's windows hide once it responds";
    EXPECT_EQ(1u,
              log.count("3 stagehand.DesktopClearing: 413 2 windows of 1 program did not respond (hung_helper.exe); "
                        "they will hide when those programs respond again"));
    start = GetTickCount();
    manager.restoreAllTopLevelProcess();
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(2u, manager.lastClearing().unresponsive.size()) << "their hides never ran";
    {
        // A render window takes the foreground from a program that hung with it, without waiting.
        HelperWindows frozen(L"hung_helper.exe", L"f1", L"hung");
        for (int wait = 0; wait < 100 && GetForegroundWindow() != frozen.windows()[0]; ++wait)
            Sleep(10);
        ASSERT_EQ(frozen.windows()[0], GetForegroundWindow());
        start = GetTickCount();
        SharedWindow over = manager.createRenderWindow(param("over", RECT{100, 100, 300, 300}), kPrimary);
        EXPECT_LT(GetTickCount() - start, 1000u);
        EXPECT_EQ(over->getHWND(), GetForegroundWindow());
        frozen.send("pump again");
    }
    hung.send("pump again");
    for (int wait = 0; wait < 150 && shown() != "a1 a2 b1 s1 s2"; ++wait)
        Sleep(20);
    Sleep(200);  // the hung program's hide and then its show, in the order they were asked
    EXPECT_EQ("a1 a2 b1 s1 s2 h1 h2", shown(&hung));
}

// Each manager records what it hides, before it hides it, in a journal of its own: the
// windows with their owners, and the foreground window; its restore removes the journal.
TEST_F(Desktop, EachManagerJournalsWhatItHidesBeforeItHidesItUntilItRestores)
{
    std::vector<std::string> beforeHiding;
    CallHook<decltype(&FlushFileBuffers)> flush("kernel32.dll", "FlushFileBuffers");
    flush.instead = [&](HANDLE file) {
        beforeHiding.push_back(shown());
        return flush.real(file);
    };
    RenderWindowManager one, other;
    one.hideAllTopLevelProcessExcept(array<vela::String>({"spare_helper.exe", "helper.exe"}));
    ASSERT_TRUE(activate(spare->windows()[0]));
    other.minimizeTopLevelProcess("helper.exe");
    EXPECT_EQ((std::vector<std::string>{"a1 a2 b1 s1 s2", "a1 a2 s1 s2"}), beforeHiding) << "one write each, first";
    std::vector<std::string> names = journals.names();  // numbered in the order the managers were made
    ASSERT_EQ(2u, names.size());
    std::string otherText = journals.read(names[1]);
    EXPECT_NE(npos, journals.read(names[0]).find(entry(*b)));
    EXPECT_NE(npos, otherText.find(entry(*a))) << otherText;
    EXPECT_NE(npos, otherText.find("foreground " + std::to_string(reinterpret_cast<ULONG_PTR>(spare->windows()[0])) +
                                   " ")) << otherText;
    other.restoreAllTopLevelProcess();
    EXPECT_EQ("a1 a2 s1 s2", shown());
    EXPECT_EQ(std::vector<std::string>{names[0]}, journals.names());
}

// A program that returns from main with a render window and a manager's hidden windows
// alive, as a C program may, gives back what they hold as it ends: no restore is needed.
TEST_F(Desktop, AProgramThatEndsWithItsHoldsAliveGivesThemBackAsItEnds)
{
    auto saver = [] { return ChildProcess(L"helper.exe", L"saver").readLine(); };
    BOOL active = FALSE;  // read first: Wine takes a set only in a process that has read it
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    ChildProcess leaving(L"helper.exe", L"leave");
    ASSERT_TRUE(leaving.waitFor("ready"));
    EXPECT_EQ(std::make_pair(std::string(), std::string("off")), std::make_pair(shown(), saver()));
    EXPECT_EQ(2u, journals.names().size());
    leaving.send("end");
    leaving.readAll();
    for (int wait = 0; wait < 100 && shown() != "a1 a2 b1 s1 s2"; ++wait)
        Sleep(10);
    EXPECT_EQ(std::make_pair(std::string("a1 a2 b1 s1 s2"), std::string("on")), std::make_pair(shown(), saver()));
    EXPECT_EQ(std::vector<std::string>(), journals.names());
}

// A second copy of the library in this process journals under names of its own. No reader can
// hold a journal past its restore: one that does not share writing and deleting cannot open
// it, and one that does finds it emptied, and gone once it lets go.
TEST_F(Desktop, ACopyOfTheLibraryJournalsApartAndNoReaderKeepsAJournalPastItsRestore)
{
    RenderWindowManager manager;
    manager.minimizeTopLevelProcess("helper.exe");
    std::vector<std::string> names = journals.names();
    ASSERT_EQ(1u, names.size());
    wchar_t original[MAX_PATH];
    std::wstring copy = journals.path() + L"_copy.dll";
    GetModuleFileNameW(stagehandModule(), original, MAX_PATH);
    HMODULE second = CopyFileW(original, copy.c_str(), FALSE) ? LoadLibraryW(copy.c_str()) : nullptr;
    ASSERT_NE(nullptr, second);
    auto copied = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(second, name)); };
    auto create = reinterpret_cast<decltype(&stagehand_manager_create)>(copied("stagehand_manager_create"));
    auto destroy = reinterpret_cast<decltype(&stagehand_manager_destroy)>(copied("stagehand_manager_destroy"));
    auto hideAll = reinterpret_cast<decltype(&stagehand_hide_all)>(copied("stagehand_hide_all"));
    stagehand_manager* other = nullptr;
    ASSERT_EQ(STAGEHAND_OK, create(&other));
    ASSERT_EQ(STAGEHAND_OK, hideAll(other)) << "the copy shares this process's hold of the desktop";
    EXPECT_EQ(2u, journals.names().size());
    EXPECT_EQ(STAGEHAND_OK, destroy(other));
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(names, journals.names());
    std::wstring path = journals.file(names[0]);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                                nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    manager.restoreAllTopLevelProcess();
    EXPECT_EQ(0u, GetFileSize(reader, nullptr)) << "emptied under the reader";
    CloseHandle(reader);
    EXPECT_EQ(std::vector<std::string>(), journals.names());
    EXPECT_EQ(0u, stagehand::DesktopRecovery::find().journals.size());
}

// A process's first clearing gives back first what test programs that ended left hidden, and
// says so in one line: here a manager's journal copied under a writer that has ended, its
// window hidden again.
TEST_F(Desktop, AProcesssFirstClearingGivesBackWhatEndedTestProgramsLeftHidden)
{
    std::string text;
    {
        RenderWindowManager one;
        one.hideAllTopLevelProcessExcept(array<vela::String>({"spare_helper.exe", "helper.exe"}));
        text = journals.read(journals.names().at(0));
    }
    ShowWindow(b->windows()[0], SW_HIDE);
    std::string writer = text.substr(0, text.find('\n', text.find("writer")));
    journals.write("stagehand-journal-ended.txt", writer.substr(0, writer.rfind(' ')) + " 1" + text.substr(writer.size()));
    LogCapture log(vela::LoggerPriority::FAILURE);
    RenderWindowManager later;
    later.minimizeTopLevelProcess("spare_helper.exe");
    EXPECT_EQ("a1 a2 b1", shown()) << "b1 back before s1 and s2 hide";
    later.minimizeTopLevelProcess("spare_helper.exe");
    EXPECT_EQ((std::vector<std::string>{"3 stagehand.DesktopLock: 443 Test programs that ended left 1 window of 1 "
                                        "program hidden: they are given back before the desktop is taken"}),
              log.lines);
}

// Opening a process by its pid may be denied: the journal names its writer all the same, and
// a writer that cannot be opened is another user's process now, not a running writer.
TEST_F(Desktop, AWriterThatCannotBeOpenedIsNamedAllTheSameAndTakenForAnotherUsers)
{
    CallHook<decltype(&OpenProcess)> open("kernel32.dll", "OpenProcess");
    open.instead = [&](DWORD access, BOOL inherit, DWORD pid) {
        SetLastError(ERROR_ACCESS_DENIED);
        return pid == GetCurrentProcessId() ? nullptr : open.real(access, inherit, pid);
    };
    RenderWindowManager denied;
    denied.minimizeTopLevelProcess("spare_helper.exe");
    ASSERT_EQ(1u, journals.names().size());
    std::string named = "writer " + std::to_string(GetCurrentProcessId()) + " 1";
    EXPECT_NE(npos, journals.read(journals.names()[0]).find(named)) << "with its creation time, not 0";
    stagehand::DesktopRecovery::Report found = stagehand::DesktopRecovery::find();
    ASSERT_EQ(1u, found.journals.size());
    EXPECT_EQ(std::make_pair(false, found.journals[0].RESTORED),
              std::make_pair(found.journals[0].writerRunning, found.journals[0].outcome));
}

// Without a usable LOCALAPPDATA (this one relative) or TEMP, the journal goes to the known
// folder, not to a folder that depends on the current directory or to the drive's root.
TEST_F(Desktop, WithoutAUsableLocalAppDataOrTempTheJournalGoesToTheKnownFolder)
{
    wchar_t* local = nullptr;
    SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local);
    std::wstring known = std::wstring(local) + L"\\stagehand";
    CoTaskMemFree(local);
    SetEnvironmentVariableW(L"LOCALAPPDATA", L"journals");
    SetEnvironmentVariableW(L"TEMP", nullptr);
    {
        RenderWindowManager unset;
        unset.minimizeTopLevelProcess("spare_helper.exe");
        EXPECT_EQ(1u, JournalFolder::names(known).size());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"\\stagehand"));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"journals"));
    }
    EXPECT_EQ(0u, JournalFolder::names(known).size()) << "removed by the restore";
}

// A journal folder that is a link or another user's turns journaling off, in one line; hiding
// goes on. One that an elevated run of this user made is owned by Administrators: it is taken,
// and made this user's alone when others may use it.
TEST_F(Desktop, AJournalFolderThatIsALinkOrAnotherUsersTurnsJournalingOffAndHidingGoesOn)
{
    LogCapture log(vela::LoggerPriority::FAILURE);
    // S-1-5-32 and S-1-5-32-544 (Administrators), laid out as SIDs.
    static struct {
        BYTE revision, count;
        SID_IDENTIFIER_AUTHORITY authority;
        DWORD subAuthority[2];
    } other = {SID_REVISION, 1, SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID}},
      administrators = {SID_REVISION, 2, SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
    static PSID owner = nullptr;
    CallHook<decltype(&GetFileAttributesW)> attributes("kernel32.dll", "GetFileAttributesW");
    CallHook<decltype(&GetSecurityInfo)> security("advapi32.dll", "GetSecurityInfo");
    CallHook<decltype(&SetSecurityInfo)> tighten("advapi32.dll", "SetSecurityInfo");
    attributes.instead = [&](LPCWSTR path) { return attributes.real(path) | FILE_ATTRIBUTE_REPARSE_POINT; };
    security.instead = [&](HANDLE h, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID* found, PSID* group,
                           PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) {
        DWORD error = security.real(h, type, what, found, group, dacl, sacl, descriptor);
        *found = owner ? owner : *found;
        return error;
    };
    static std::vector<std::string> entries;  // of the last tightened list: "TYPE user" or "TYPE other"
    tighten.instead = [](HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL dacl, PACL) {
        BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        DWORD size = 0;
        HANDLE token = nullptr;
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
        GetTokenInformation(token, TokenUser, user, sizeof user, &size);
        CloseHandle(token);
        entries.clear();
        ACCESS_ALLOWED_ACE* ace = nullptr;
        for (WORD i = 0; dacl && i < dacl->AceCount && GetAce(dacl, i, reinterpret_cast<void**>(&ace)); ++i)
            entries.push_back(
                std::to_string(ace->Header.AceType) +
                (EqualSid(&ace->SidStart, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) ? " user" : " other"));
        return static_cast<DWORD>(ERROR_SUCCESS);
    };
    for (const char* why : {"it is a link or not a folder (error 0)", "it belongs to another user (error 0)", ""}) {
        log.lines.clear();
        RenderWindowManager unwritable;
        unwritable.minimizeTopLevelProcess("spare_helper.exe");
        unwritable.minimizeTopLevelProcess("spare_helper.exe");
        EXPECT_EQ("a1 a2 b1", shown()) << "hiding goes on";
        ASSERT_EQ(*why ? 1u : 0u, log.lines.size()) << why;
        if (*why) {
            EXPECT_EQ(0u, log.lines[0].find("3 stagehand.ClearingJournal: 411 Crash recovery is off: cannot write the "
                                            "desktop-clearing journal in ")) << log.lines[0];
            EXPECT_NE(npos, log.lines[0].find(why)) << log.lines[0];
        }
        attributes.instead = nullptr;
        owner = owner ? &administrators : &other;
    }
    ASSERT_FALSE(tighten.calls().empty()) << "Wine lets every user read a folder";
    EXPECT_EQ(static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION),
              std::get<2>(tighten.calls()[0]));
    EXPECT_EQ(std::vector<std::string>{"0 user"}, entries) << "one entry, which lets the user alone in";
}
