// Render windows placed on the two screens of the X display or on a faked desktop, and the
// desktop cleared of real helper programs and shown again.
#include <stagehand/DesktopRecovery.h>
#include <stagehand/ProcessEnumerator.h>
#include <stagehand/RenderWindowManager.h>
#include <stagehand/WindowEnumerator.h>

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
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
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
// a primary monitor whose taskbar takes the bottom 40 rows, and a second monitor left of it.
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
            info->rcWork = primary ? RECT{0, 0, 1920, 1040} : info->rcMonitor;
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

// Pop-ups named as given, on a rectangle; `count` of them named prefix0, prefix1, ...
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

// The window's rectangle, then whether it is visible, topmost and on that monitor as the
// system sees it.
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
        EXPECT_TRUE(at[0] == 1920 && at[1] == 0 && at[4]) << at[0] << "," << at[1];
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
    EXPECT_EQ(-1366, rectOf(manager.getWindowsByAdapterID(kSecond)[0])[0]);
    EXPECT_EQ(10, rectOf(manager.createRenderWindow(param("unshifted", {10, 20, 330, 260}), kSecond))[0]);
}

TEST(RenderWindowManager, UnknownAdaptersAndWindowsThatCannotBeMadeAddNothingAndCopiesShareTheirGroups)
{
    ReleaseLedger ledger;
    LogCapture log(vela::LoggerPriority::FAILURE);
    RenderWindowManager manager;
    for (const char* id : {"\\\\.\\DISPLAY9", "", "\\\\.\\DISPLAY1 "}) {
        log.lines.clear();
        EXPECT_EQ(nullptr, manager.createRenderWindow(param("lost"), id).get());
        EXPECT_FALSE(manager.createRenderWindow(params("lost", 2), id));
        EXPECT_FALSE(manager.createTiledRenderWindow(params("lost", 1), id, Grid{1, 1}));
        std::string tail = std::string(" Adapter ID ") + id + " does not have a valid adapter";
        EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 240" + tail, "3 RenderWindowManager: 287" + tail,
                                            "3 RenderWindowManager: 287" + tail}),
                  log.lines);
        EXPECT_EQ(0u, manager.getWindowsByAdapterID(id).size()) << "no group was added";
    }
    EXPECT_EQ(0, ledger.acquired(ReleaseLedger::Window));

    log.lines.clear();
    EXPECT_FALSE(manager.createRenderWindow(vela::Array<RenderWindowManager::WindowParam>(), kPrimary));
    SharedWindow live = manager.createRenderWindow(param("taken"), kPrimary);
    EXPECT_FALSE(manager.createRenderWindow(param("taken"), kPrimary)->isInitialized()) << "returned without a window";
    EXPECT_TRUE(manager.createRenderWindow(array({param("before"), param("taken")}), "\\\\.\\display1"));
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 280 Need at least one parameter in creationParam",
                                        "3 RenderWindowManager: 267 Unable to initialize window taken",
                                        "3 RenderWindowManager: 267 Unable to initialize window taken"}),
              log.lines);
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
        LONG x = 640 * (i / 2), y = 520 * (i % 2);
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

// Three helper programs with visible windows: two of helper.exe and one spare_helper.exe.
// `first` and `second` are the two helper.exe in the order of the system's process list.
class Desktop : public testing::Test {
protected:
    void SetUp() override
    {
        a = std::make_unique<HelperWindows>(L"helper.exe", L"a1 a2");
        b = std::make_unique<HelperWindows>(L"helper.exe", L"b1");
        spare = std::make_unique<HelperWindows>(L"spare_helper.exe", L"s1 s2");
        ASSERT_TRUE(a->ready() && b->ready() && spare->ready());
        stagehand::ProcessEnumerator processes;
        ASSERT_TRUE(processes.enumerate());
        const DWORD* ids = processes.processIds().data();
        auto at = [&](DWORD pid) { return std::find(ids, ids + processes.numPids(), pid) - ids; };
        first = at(a->pid()) < at(b->pid()) ? a.get() : b.get();
        second = first == a.get() ? b.get() : a.get();
    }

    bool allVisible() const { return a->allVisible() && b->allVisible() && spare->allVisible(); }
    std::vector<HWND> windows() const
    {
        std::vector<HWND> all = a->windows();
        all.insert(all.end(), b->windows().begin(), b->windows().end());
        all.insert(all.end(), spare->windows().begin(), spare->windows().end());
        return all;
    }
    // The helpers' visible windows.
    std::vector<HWND> visible() const
    {
        std::vector<HWND> shown;
        for (HWND window : windows())
            if (IsWindowVisible(window))
                shown.push_back(window);
        return shown;
    }

    JournalFolder journals;
    std::unique_ptr<HelperWindows> a, b, spare;
    HelperWindows* first = nullptr;
    HelperWindows* second = nullptr;
};

}  // namespace

TEST_F(Desktop, ProgramsAreSparedByNameTheFirstOfANameOnlyAndWindowsByHandle)
{
    LogCapture log(vela::LoggerPriority::FAILURE);
    {
        RenderWindowManager manager;
        manager.hideAllTopLevelProcessExcept(array<vela::String>({"nothing.exe", "SPARE_HELPER.exe", "helper.exe"}));
        EXPECT_TRUE(spare->allVisible() && first->allVisible() && second->noneVisible());
        EXPECT_FALSE(IsIconic(second->windows()[0])) << "hidden, not minimised";
        EXPECT_EQ(std::vector<std::string>{"3 RenderWindowManager: 116 Cannot find process handle for process "
                                           "nothing.exe"},
                  log.lines);
        manager.restoreAllTopLevelProcess();
        EXPECT_TRUE(allVisible());

        HWND madeUp = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7ff00));
        manager.hideAllTopLevelProcessExcept(array({spare->windows()[0], HWND(), madeUp}));
        EXPECT_TRUE(IsWindowVisible(spare->windows()[0]) && !IsWindowVisible(spare->windows()[1]) && b->noneVisible());
        manager.restoreAllTopLevelProcess();
        manager.hideAllTopLevelProcessExcept(array<vela::String>({"spare_helper.exe"}), array({second->windows()[0]}));
        EXPECT_TRUE(spare->allVisible() && second->allVisible() && first->noneVisible());
    }
    EXPECT_TRUE(allVisible()) << "the manager's destruction shows everything again";
}

// Every form of clearing builds the table of a fresh manager, once, without the system's first
// process; the first form saves the foreground window, and restore gives it back, on top.
TEST_F(Desktop, EveryFormClearsAFreshManagerAndRestoreGivesTheForegroundBackOnTop)
{
    // The real list, with spare_helper moved to its head.
    CallHook<decltype(&K32EnumProcesses)> list("kernel32.dll", "K32EnumProcesses");
    list.instead = [&](DWORD* ids, DWORD bytes, DWORD* returned) {
        BOOL done = list.real(ids, bytes, returned);
        DWORD* end = ids + *returned / sizeof(DWORD);
        std::rotate(ids, std::find(ids, end, spare->pid()), std::min(end, std::find(ids, end, spare->pid()) + 1));
        return done;
    };
    HWND firstWindow = first->windows()[0], secondWindow = second->windows()[0];
    auto plus = [](std::vector<HWND> x, const std::vector<HWND>& y) {
        x.insert(x.end(), y.begin(), y.end());
        return x;
    };
    const struct {
        const char* form;
        std::function<void(RenderWindowManager&)> hide;
        std::vector<HWND> shown;  // the helpers' windows left visible
    } forms[] = {
        {"all", [](RenderWindowManager& m) { m.hideAllTopLevelProcess(); }, spare->windows()},
        {"all but a window", [&](RenderWindowManager& m) { m.hideAllTopLevelProcessExcept(array({firstWindow})); },
         plus({firstWindow}, spare->windows())},
        {"all but a program", [](RenderWindowManager& m) {
             m.hideAllTopLevelProcessExcept(array<vela::String>({"helper.exe", "spare_helper.exe"}));
         }, plus(first->windows(), spare->windows())},
        {"all but both", [&](RenderWindowManager& m) {
             m.hideAllTopLevelProcessExcept(array<vela::String>({"helper.exe"}), array({secondWindow}));
         }, plus(plus(first->windows(), {secondWindow}), spare->windows())},
        {"one program", [](RenderWindowManager& m) { m.minimizeTopLevelProcess("HELPER.exe"); },
         plus(second->windows(), spare->windows())},
    };
    LogCapture log(vela::LoggerPriority::FAILURE);
    const HWND foreground = a->windows()[1];
    ASSERT_TRUE(activate(foreground));
    for (const auto& form : forms) {
        RenderWindowManager manager;
        size_t builds = list.calls().size();
        form.hide(manager);
        std::vector<HWND> shown = visible();
        EXPECT_EQ(std::set<HWND>(form.shown.begin(), form.shown.end()), std::set<HWND>(shown.begin(), shown.end()))
            << form.form;
        ASSERT_TRUE(activate(spare->windows()[0]));
        manager.hideAllTopLevelProcess();  // the foreground saved by the first form stays
        EXPECT_TRUE(spare->allVisible()) << "index 0 of the system's list is never recorded";
        manager.restoreAllTopLevelProcess();
        // Wine settles activation asynchronously, in each program's own time.
        auto restored = [&] { return allVisible() && GetForegroundWindow() == foreground && topmost(windows()) == foreground; };
        for (int wait = 0; wait < 100 && !restored(); ++wait)
            Sleep(10);
        EXPECT_TRUE(restored()) << form.form;
        EXPECT_EQ(builds + 1, list.calls().size()) << form.form << ": the table is built once";
    }
    EXPECT_EQ(1u, log.count("116 Cannot find process handle for process spare_helper.exe"));

    RenderWindowManager manager;
    manager.hideAllTopLevelProcess();
    b.reset();  // a recorded program exits: its windows are skipped
    manager.restoreAllTopLevelProcess();
    EXPECT_TRUE(a->allVisible());
    // A closed window's handle may since name a window of another program.
    CallHook<decltype(&GetWindowThreadProcessId)> owner("user32.dll", "GetWindowThreadProcessId");
    owner.instead = [&](HWND window, DWORD* pid) {
        DWORD thread = owner.real(window, pid);
        if (pid && window == a->windows()[0])
            *pid = 0x7FFFFFF0;
        return thread;
    };
    manager.hideAllTopLevelProcess();
    EXPECT_TRUE(IsWindowVisible(a->windows()[0]) && !IsWindowVisible(a->windows()[1]));
    ShowWindow(a->windows()[0], SW_HIDE);
    manager.restoreAllTopLevelProcess();
    EXPECT_FALSE(IsWindowVisible(a->windows()[0])) << "restore does not show it either";
}

// A program that has stopped pumping its messages, or pumps them slowly, cannot hold the
// clearing: it returns within its bound with the others hidden, names the late ones once,
// and they hide, or show again, as soon as they respond.
TEST_F(Desktop, ProgramsThatDoNotRespondCannotHoldClearingAndEndUpAsAsked)
{
    HelperWindows hung(L"hung_helper.exe", L"h1 h2", L"hung"), slow(L"helper.exe", L"s1", L"slow");
    ASSERT_TRUE(hung.ready() && slow.ready());
    LogCapture log(vela::LoggerPriority::FAILURE);
    RenderWindowManager manager;
    DWORD start = GetTickCount();
    manager.hideAllTopLevelProcessExcept(array<vela::String>({"nothing.exe"}));
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_TRUE(a->noneVisible() && b->noneVisible() && spare->noneVisible() && hung.allVisible());
    std::string late = log.lines.back();
    // The slow program may get to its requests in time, or not.
    EXPECT_TRUE(late.find("3 RenderWindowManager: 413 ") == 0 && late.find(" did not respond (") != npos &&
                late.find("hung_helper.exe") != npos &&
                late.find("); they will hide when those programs respond again") != npos) << late;
    for (int wait = 0; wait < 150 && !slow.noneVisible(); ++wait)
        Sleep(20);
    EXPECT_TRUE(slow.noneVisible()) << "a slow program's windows hide when it gets to them";

    start = GetTickCount();
    manager.restoreAllTopLevelProcess();
    EXPECT_LT(GetTickCount() - start, 1000u);
    hung.send("pump again");
    for (int wait = 0; wait < 150 && !(allVisible() && slow.allVisible()); ++wait)
        Sleep(20);
    Sleep(200);  // the hung program's hide and then its show, in the order they were asked
    EXPECT_TRUE(allVisible() && slow.allVisible() && hung.allVisible());
}

// Each manager journals what it hides, once per operation, before hiding; restoring removes
// only its own journal. An ended writer's journal is told of once; an unwritable folder
// turns journaling off with one line and hiding goes on.
TEST_F(Desktop, EachManagerJournalsWhatItHidesUntilItRestoresAndTellsOfAbandonedJournals)
{
    LogCapture log(vela::LoggerPriority::FAILURE);
    std::vector<bool> beforeHiding;
    CallHook<decltype(&FlushFileBuffers)> flush("kernel32.dll", "FlushFileBuffers");
    flush.instead = [&](HANDLE file) {
        beforeHiding.push_back((beforeHiding.empty() ? second : first)->allVisible());
        return flush.real(file);
    };
    auto entry = [](const HelperWindows* helper) {
        return "window " + std::to_string(reinterpret_cast<ULONG_PTR>(helper->windows()[0])) + " " +
               std::to_string(helper->pid()) + " ";
    };
    auto one = std::make_unique<RenderWindowManager>();
    RenderWindowManager other;
    one->hideAllTopLevelProcessExcept(array<vela::String>({"spare_helper.exe", "helper.exe"}));
    ASSERT_TRUE(activate(spare->windows()[0]));
    other.minimizeTopLevelProcess("helper.exe");
    EXPECT_EQ((std::vector<bool>{true, true}), beforeHiding) << "one write per operation, before it hides";
    std::vector<std::string> names = journals.names();  // numbered in the order the managers were made
    ASSERT_EQ(2u, names.size());
    std::string oneText = journals.read(names[0]);
    EXPECT_NE(std::string::npos, oneText.find(entry(second)));
    std::string otherText = journals.read(names[1]);
    std::string foreground = "foreground " + std::to_string(reinterpret_cast<ULONG_PTR>(spare->windows()[0])) + " ";
    EXPECT_TRUE(otherText.find(foreground) != std::string::npos &&
                otherText.find(entry(first)) != std::string::npos) << otherText;
    EXPECT_TRUE(first->noneVisible() && second->noneVisible() && spare->allVisible());

    // As if `one` had died: its journal under another name, its writer's creation time changed.
    std::string writer = oneText.substr(0, oneText.find('\n', oneText.find("writer")));
    journals.write("stagehand-journal-ended.txt",
                   writer.substr(0, writer.rfind(' ')) + " 1" + oneText.substr(writer.size()));
    other.restoreAllTopLevelProcess();
    EXPECT_TRUE(first->allVisible() && second->noneVisible());
    EXPECT_EQ((std::vector<std::string>{names[0], "stagehand-journal-ended.txt"}), journals.names());
    {
        RenderWindowManager later;
        later.minimizeTopLevelProcess("spare_helper.exe");
        later.minimizeTopLevelProcess("spare_helper.exe");
    }
    EXPECT_EQ(1u, log.count("3 RenderWindowManager: 412 " + std::to_string(second->windows().size()) +
                            " windows of 1 programs are still hidden by test programs that ended: run 'stagehand "
                            "restore' to show them again"));

    // Opening this process by its pid may be denied: the journal still names its writer, and a
    // writer that cannot be opened is another user's process now, not a running writer.
    {
        CallHook<decltype(&OpenProcess)> open("kernel32.dll", "OpenProcess");
        open.instead = [&](DWORD access, BOOL inherit, DWORD pid) {
            SetLastError(ERROR_ACCESS_DENIED);
            return pid == GetCurrentProcessId() ? nullptr : open.real(access, inherit, pid);
        };
        std::vector<std::string> before = journals.names();
        RenderWindowManager denied;
        denied.minimizeTopLevelProcess("spare_helper.exe");
        std::vector<std::string> after = journals.names();
        ASSERT_EQ(before.size() + 1, after.size());
        std::string name = *std::find_if(after.begin(), after.end(), [&](const std::string& n) {
            return std::find(before.begin(), before.end(), n) == before.end();
        });
        EXPECT_NE(npos, journals.read(name).find("writer " + std::to_string(GetCurrentProcessId()) + " 1"));
        stagehand::DesktopRecovery::Report found = stagehand::DesktopRecovery::find();
        auto entry = std::find_if(found.journals.data(), found.journals.data() + found.journals.size(),
                                  [&](const auto& j) { return j.path.toUtf8().find(name) != npos; });
        EXPECT_TRUE(!entry->writerRunning && entry->outcome == entry->RESTORED);
    }

    // Without a usable LOCALAPPDATA (this one relative) or TEMP, the journal goes to the known
    // folder, not to a folder that depends on the current directory or to the drive's root.
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
        EXPECT_TRUE(GetFileAttributesW(L"\\stagehand") == INVALID_FILE_ATTRIBUTES &&
                    GetFileAttributesW(L"journals") == INVALID_FILE_ATTRIBUTES);
    }
    EXPECT_EQ(0u, JournalFolder::names(known).size()) << "removed by the restore";

    // A folder that is not this user's own turns journaling off with one line; hiding goes on.
    static SID administrators = {SID_REVISION, 1, SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID}};
    CallHook<decltype(&GetFileAttributesW)> attributes("kernel32.dll", "GetFileAttributesW");
    CallHook<decltype(&GetSecurityInfo)> security("advapi32.dll", "GetSecurityInfo");
    journals.write("in-the-way", "");
    const struct {
        std::wstring base;
        std::function<void()> arrange;
        const char* why;
    } hostile[] = {
        {journals.file("in-the-way"), [] {}, "it cannot be made (error 3)"},
        {journals.path(), [&] {
             attributes.instead = [&](LPCWSTR path) { return attributes.real(path) | FILE_ATTRIBUTE_REPARSE_POINT; };
         }, "it is a link or not a folder (error 0)"},
        {journals.path(), [&] {
             attributes.instead = nullptr;
             security.instead = [&](HANDLE h, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID* owner, PSID* group,
                                    PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) {
                 DWORD error = security.real(h, type, what, owner, group, dacl, sacl, descriptor);
                 *owner = &administrators;
                 return error;
             };
         }, "it belongs to another user (error 0)"},
    };
    for (const auto& folder : hostile) {
        SetEnvironmentVariableW(L"LOCALAPPDATA", folder.base.c_str());
        folder.arrange();
        log.lines.clear();
        RenderWindowManager unwritable;
        unwritable.minimizeTopLevelProcess("spare_helper.exe");
        unwritable.minimizeTopLevelProcess("spare_helper.exe");
        EXPECT_TRUE(spare->noneVisible()) << "hiding goes on";
        ASSERT_EQ(1u, log.lines.size());
        EXPECT_TRUE(log.lines[0].find("3 stagehand.ClearingJournal: 411 Crash recovery is off: cannot write the "
                                      "desktop-clearing journal in ") == 0 &&
                    log.lines[0].find(folder.why) != npos) << log.lines[0];
    }
}

// The table holds what enumerating each process records: the processes that can be opened
// and show a window, in the system's order, each with its windows in EnumWindows order.
TEST_F(Desktop, TheTableRecordsWhatEnumeratingEveryProcessRecords)
{
    HelperWindows none(L"helper.exe", L"");  // a program that shows no window
    std::vector<HWND> expected;
    stagehand::ProcessEnumerator processes;
    ASSERT_TRUE(processes.enumerate());
    for (unsigned int i = 1; i < processes.numPids(); ++i) {
        stagehand::ProcessModuleEnumerator modules;
        stagehand::WindowEnumerator windows;
        if (modules.enumerate(processes.processIds()[i]) && modules.processHandle().get() &&
            windows.enumerate(processes.processIds()[i]))
            expected.insert(expected.end(), windows.windowHandles().data(),
                            windows.windowHandles().data() + windows.numWindows());
    }
    CallHook<decltype(&SetWindowPos)> show("user32.dll", "SetWindowPos");
    RenderWindowManager manager;
    manager.hideAllTopLevelProcessExcept(array<vela::String>({"spare_helper.exe"}));
    manager.restoreAllTopLevelProcess();
    std::vector<HWND> shown;
    for (const auto& call : show.calls())
        if (std::get<6>(call) & SWP_SHOWWINDOW)
            shown.push_back(std::get<0>(call));
    EXPECT_TRUE(expected == shown && allVisible()) << testing::PrintToString(shown);
}

// Rounds of render windows on both monitors and of clearing the helpers' desktop, through
// copies: every window, device context, class and process handle acquired is released
// exactly once. CTest runs a short count; STAGEHAND_SOAK_ROUNDS=150 runs a long one.
TEST_F(Desktop, SoakRoundsOfRenderWindowsAndClearingThroughCopiesLeakNothing)
{
    const char* rounds = std::getenv("STAGEHAND_SOAK_ROUNDS");
    const int count = rounds ? std::atoi(rounds) : 5;
    ReleaseLedger ledger;
    {
        RenderWindowManager windows;
        for (int round = 0; round < count; ++round) {
            std::string tag = "r" + std::to_string(round) + "_";
            // Each round replaces the windows of the round before on both adapters.
            ASSERT_TRUE(windows.createTiledRenderWindow(params(tag + "a", 4), kPrimary, Grid{2, 2}));
            ASSERT_TRUE(windows.createTiledRenderWindow(params(tag + "b", 3), kSecond, Grid{1, 3}));
            ASSERT_TRUE(windows.createRenderWindow(param(tag + "c", RECT{5, 5, 55, 55}), kSecond)->isInitialized());
            RenderWindowManager clearing;
            clearing.hideAllTopLevelProcessExcept(array<vela::String>({"spare_helper.exe"}));
            RenderWindowManager copy(clearing);
            clearing = RenderWindowManager();
            ASSERT_TRUE(a->noneVisible() && b->noneVisible() && spare->allVisible()) << "assignment restores nothing";
            if (round % 2)
                copy.restoreAllTopLevelProcess();  // else the destructor restores
        }
        ASSERT_TRUE(allVisible()) << "the copy kept the table";
    }
    EXPECT_EQ(8 * count, ledger.acquired(ReleaseLedger::Window));
    EXPECT_TRUE(ledger.allReleased());
}
