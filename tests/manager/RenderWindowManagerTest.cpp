#include <stagehand/RenderWindowManager.h>

#include "support/FakeMonitors.h"
#include "support/ImportHook.h"
#include "support/LogCapture.h"
#include "support/ResourceCounter.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using stagehand::RenderWindowManager;
using stagehand::SharedWindow;
using stagehand::WindowList;
typedef RenderWindowManager::WindowParam WindowParam;
typedef RenderWindowManager::TileParam TileParam;

namespace {

const char kPrimary[] = "\\\\.\\DISPLAY1";
const char kSecond[] = "\\\\.\\DISPLAY2";

WindowParam param(const std::string& name, RECT rect = RECT{0, 0, 0, 0})
{
    WindowParam p;
    p.windowName = name.c_str();
    p.style = WS_POPUP;
    p.rect = rect;
    return p;
}

vela::Array<WindowParam> params(const std::string& prefix, unsigned int count)
{
    vela::Array<WindowParam> all;
    for (unsigned int i = 0; i < count; ++i)
        all.append(param(prefix + std::to_string(i)));
    return all;
}

TileParam grid(unsigned int rows, unsigned int columns)
{
    TileParam t;
    t.rows = rows;
    t.columns = columns;
    return t;
}

RECT windowRect(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

::testing::AssertionResult isRect(const RECT& expected, HWND window)
{
    RECT r = windowRect(window);
    if (r.left == expected.left && r.top == expected.top && r.right == expected.right && r.bottom == expected.bottom)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "window at (" << r.left << ", " << r.top << ", " << r.right << ", "
                                         << r.bottom << "), expected (" << expected.left << ", " << expected.top
                                         << ", " << expected.right << ", " << expected.bottom << ")";
}

std::vector<std::string> names(const WindowList& list)
{
    std::vector<std::string> all;
    for (unsigned int i = 0; i < list.size(); ++i)
        all.push_back(list[i]->windowName().toUtf8());
    return all;
}

// The device name of the monitor that holds most of the window, as the system sees it.
std::string monitorOf(HWND window)
{
    MONITORINFOEXW info = {};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONULL), &info);
    return vela::String(reinterpret_cast<const unsigned short*>(info.szDevice)).toUtf8();
}

// Position of a window in the Z order, topmost first.
int zIndex(HWND window)
{
    int i = 0;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT), ++i)
        if (w == window)
            return i;
    return -1;
}

// A desktop as a test rig has it: a primary monitor whose taskbar takes the bottom 40
// rows, and a second monitor left of it.
std::vector<FakeMonitors::Monitor> taskbarDesktop()
{
    return {
        {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, MONITORINFOF_PRIMARY, L"\\\\.\\DISPLAY1"},
        {{-1366, 100, 0, 868}, {-1366, 100, 0, 868}, 0, L"\\\\.\\DISPLAY2"},
    };
}

}  // namespace

TEST(WindowParam, DefaultsAndCopies)
{
    WindowParam p;
    EXPECT_EQ(0, p.rect.left | p.rect.top | p.rect.right | p.rect.bottom);
    EXPECT_EQ(0u, p.style);
    EXPECT_EQ(nullptr, p.parent);
    EXPECT_EQ(0u, p.windowName.size());

    p.windowName = "original";
    WindowParam copy(p);
    WindowParam assigned;
    assigned = p;
    assigned = assigned;
    copy.windowName = "changed";
    EXPECT_EQ("original", p.windowName.toUtf8());
    EXPECT_EQ("original", assigned.windowName.toUtf8());
    {
        WindowParam gone(p);
    }
    EXPECT_EQ("original", p.windowName.toUtf8());
}

TEST(RenderWindowManager, SingleWindowLandsExactlyOnItsRectangleAndIsShared)
{
    SharedWindow held;
    {
        RenderWindowManager manager;
        RECT rect = {2000, 120, 2320, 360};  // virtual-screen coordinates, on the second monitor
        held = manager.createRenderWindow(param("single", rect), kSecond);
        ASSERT_NE(nullptr, held.get());
        ASSERT_TRUE(held->isInitialized());
        HWND window = held->getHWND();
        EXPECT_TRUE(isRect(rect, window));
        EXPECT_EQ(kSecond, monitorOf(window));
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);

        const WindowList& list = manager.getWindowsByAdapterID("\\\\.\\display2");
        ASSERT_EQ(1u, list.size());
        EXPECT_EQ(held.get(), list[0].get());
        EXPECT_EQ(0u, manager.getWindowsByAdapterID(kPrimary).size());
    }
    ASSERT_TRUE(IsWindow(held->getHWND())) << "the caller still holds it";
    held->setWindowTitle("still here");
    held->listenOnce();
    HWND window = held->getHWND();
    held.reset();
    EXPECT_FALSE(IsWindow(window));
}

TEST(RenderWindowManager, RectangleIsNotShiftedByTheMonitorOrigin)
{
    FakeMonitors fake(taskbarDesktop());
    RenderWindowManager manager;
    RECT rect = {10, 20, 330, 260};
    SharedWindow window = manager.createRenderWindow(param("unshifted", rect), kSecond);
    ASSERT_TRUE(window->isInitialized());
    EXPECT_TRUE(isRect(rect, window->getHWND()));
}

TEST(RenderWindowManager, UnknownAdapterCreatesNothing)
{
    LogCapture log(vela::LoggerPriority::FAILURE);
    ResourceCounter counter;
    RenderWindowManager manager;
    const WindowList* none = &manager.getWindowsByAdapterID("never asked");

    EXPECT_EQ(nullptr, manager.createRenderWindow(param("lost"), "\\\\.\\DISPLAY9").get());
    EXPECT_FALSE(manager.createRenderWindow(params("lost", 2), "\\\\.\\DISPLAY9"));
    EXPECT_FALSE(manager.createRenderWindow(vela::Array<WindowParam>(), "\\\\.\\DISPLAY9"));
    EXPECT_EQ((std::vector<std::string>{
                  "3 RenderWindowManager: 240 Adapter ID \\\\.\\DISPLAY9 does not have a valid adapter",
                  "3 RenderWindowManager: 287 Adapter ID \\\\.\\DISPLAY9 does not have a valid adapter",
                  "3 RenderWindowManager: 280 Need at least one parameter in creationParam"}),
              log.lines());
    EXPECT_EQ(none, &manager.getWindowsByAdapterID("\\\\.\\DISPLAY9")) << "no group was added";
    EXPECT_EQ(0, counter.counts().windowsCreated);
}

TEST(RenderWindowManager, OneAdapterInAnyLetterCaseFillsOneGroupInOrder)
{
    RenderWindowManager manager;
    ASSERT_TRUE(manager.createRenderWindow(params("w", 2), kPrimary));
    SharedWindow third = manager.createRenderWindow(param("w2"), "\\\\.\\display1");
    ASSERT_TRUE(third->isInitialized());
    EXPECT_EQ((std::vector<std::string>{"w0", "w1", "w2"}), names(manager.getWindowsByAdapterID("\\\\.\\DiSpLaY1")));
}

TEST(RenderWindowManager, WindowThatCannotBeInitializedIsLeftOut)
{
    RenderWindowManager manager;
    SharedWindow live = manager.createRenderWindow(param("taken"), kPrimary);
    ASSERT_TRUE(live->isInitialized());

    SharedWindow twin = manager.createRenderWindow(param("taken"), kPrimary);
    ASSERT_NE(nullptr, twin.get());
    EXPECT_FALSE(twin->isInitialized());
    EXPECT_EQ(1u, manager.getWindowsByAdapterID(kPrimary).size());

    LogCapture log(vela::LoggerPriority::FAILURE);
    vela::Array<WindowParam> batch;
    batch.append(param("before"));
    batch.append(param("taken"));
    batch.append(param("after"));
    EXPECT_TRUE(manager.createRenderWindow(batch, kPrimary));
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 267 Unable to initialize window taken"}), log.lines());
    EXPECT_EQ((std::vector<std::string>{"taken", "before", "after"}), names(manager.getWindowsByAdapterID(kPrimary)));
}

TEST(RenderWindowManager, ArrayFormStacksItsWindowsAtTheMonitorCorner)
{
    FakeMonitors fake(taskbarDesktop());
    RenderWindowManager manager;
    ASSERT_TRUE(manager.createRenderWindow(params("corner", 3), kSecond));
    const WindowList& list = manager.getWindowsByAdapterID(kSecond);
    ASSERT_EQ(3u, list.size());
    for (unsigned int i = 0; i < 3; ++i) {
        HWND window = list[i]->getHWND();
        RECT r = windowRect(window);
        EXPECT_EQ(-1366, r.left);
        EXPECT_EQ(100, r.top);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    }
    EXPECT_LT(zIndex(list[2]->getHWND()), zIndex(list[1]->getHWND())) << "the last one on top";
    EXPECT_LT(zIndex(list[1]->getHWND()), zIndex(list[0]->getHWND()));
}

TEST(RenderWindowManager, CopiesShareTheGroupsThatExistedWhenCopied)
{
    RenderWindowManager manager;
    ASSERT_TRUE(manager.createRenderWindow(params("shared", 1), kPrimary));
    {
        RenderWindowManager copy(manager);
        ASSERT_TRUE(copy.createRenderWindow(params("viaCopy", 1), kPrimary));
        ASSERT_TRUE(copy.createRenderWindow(params("copyOnly", 1), kSecond));
        EXPECT_EQ(0u, manager.getWindowsByAdapterID(kSecond).size());
    }
    EXPECT_EQ((std::vector<std::string>{"shared0", "viaCopy0"}), names(manager.getWindowsByAdapterID(kPrimary)));

    HWND window = manager.getWindowsByAdapterID(kPrimary)[0]->getHWND();
    RenderWindowManager& alias = manager;
    manager = alias;
    EXPECT_TRUE(IsWindow(window)) << "self-assignment destroys nothing";
    manager = RenderWindowManager();
    EXPECT_FALSE(IsWindow(window)) << "assignment lets go of the old groups";
}

TEST(Tiling, TaskbarDesktopIsTiledColumnByColumn)
{
    FakeMonitors fake(taskbarDesktop());
    RenderWindowManager manager;
    ASSERT_TRUE(manager.createTiledRenderWindow(params("tile", 6), kPrimary, grid(2, 3)));
    const WindowList& list = manager.getWindowsByAdapterID(kPrimary);
    ASSERT_EQ(6u, list.size());
    const POINT origins[] = {{0, 0}, {0, 520}, {640, 0}, {640, 520}, {1280, 0}, {1280, 520}};
    for (unsigned int i = 0; i < 6; ++i) {
        RECT expected = {origins[i].x, origins[i].y, origins[i].x + 640, origins[i].y + 520};
        EXPECT_TRUE(isRect(expected, list[i]->getHWND())) << i;
        EXPECT_LE(windowRect(list[i]->getHWND()).bottom, 1040) << "never into the taskbar";
        EXPECT_TRUE(IsWindowVisible(list[i]->getHWND()));
    }
}

namespace {
// The work area of the named monitor, as the system tells it.
BOOL CALLBACK findWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    auto* wanted = reinterpret_cast<std::pair<const wchar_t*, RECT>*>(data);
    MONITORINFOEXW info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info) && lstrcmpiW(info.szDevice, wanted->first) == 0)
        wanted->second = info.rcWork;
    return TRUE;
}
}  // namespace

TEST(Tiling, OneTileCoversTheWholeWorkAreaOfARealMonitor)
{
    std::pair<const wchar_t*, RECT> second(L"\\\\.\\DISPLAY2", RECT{});
    EnumDisplayMonitors(nullptr, nullptr, findWorkArea, reinterpret_cast<LPARAM>(&second));
    ASSERT_GT(second.second.right, 0);
    RenderWindowManager manager;
    ASSERT_TRUE(manager.createRenderWindow(params("corner", 1), kSecond));
    HWND corner = manager.getWindowsByAdapterID(kSecond)[0]->getHWND();
    EXPECT_EQ(second.second.left, windowRect(corner).left) << "the array form starts at the monitor's corner";
    EXPECT_EQ(kSecond, monitorOf(corner));
    ASSERT_TRUE(manager.createTiledRenderWindow(params("whole", 1), kSecond, grid(1, 1)));
    HWND tile = manager.getWindowsByAdapterID(kSecond)[0]->getHWND();
    EXPECT_TRUE(isRect(second.second, tile));
    EXPECT_EQ(kSecond, monitorOf(tile));
}

TEST(Tiling, NegativeCoordinatesAndUnevenWidths)
{
    FakeMonitors fake(taskbarDesktop());
    RenderWindowManager manager;
    ASSERT_TRUE(manager.createTiledRenderWindow(params("left", 3), kSecond, grid(1, 3)));
    const WindowList& list = manager.getWindowsByAdapterID(kSecond);
    // 1366 / 3 = 455: the rightmost pixel column stays free.
    EXPECT_TRUE(isRect(RECT{-1366, 100, -911, 868}, list[0]->getHWND()));
    EXPECT_TRUE(isRect(RECT{-911, 100, -456, 868}, list[1]->getHWND()));
    EXPECT_TRUE(isRect(RECT{-456, 100, -1, 868}, list[2]->getHWND()));
}

TEST(Tiling, TilingAgainReplacesTheAdaptersWindows)
{
    RenderWindowManager manager;
    ASSERT_TRUE(manager.createTiledRenderWindow(params("old", 2), kPrimary, grid(1, 2)));
    SharedWindow kept = manager.getWindowsByAdapterID(kPrimary)[0];
    HWND dropped = manager.getWindowsByAdapterID(kPrimary)[1]->getHWND();
    SharedWindow other = manager.createRenderWindow(param("elsewhere"), kSecond);

    ASSERT_TRUE(manager.createTiledRenderWindow(params("new", 2), "\\\\.\\display1", grid(2, 1)));
    EXPECT_EQ((std::vector<std::string>{"new0", "new1"}), names(manager.getWindowsByAdapterID(kPrimary)));
    EXPECT_FALSE(IsWindow(dropped));
    EXPECT_TRUE(IsWindow(kept->getHWND())) << "another holder keeps it";
    EXPECT_EQ(1u, manager.getWindowsByAdapterID(kSecond).size()) << "other adapters are not touched";
}

TEST(Tiling, RefusedRequestsAndWhatSurvivesThem)
{
    RenderWindowManager manager;
    ASSERT_TRUE(manager.createTiledRenderWindow(params("old", 2), kPrimary, grid(1, 2)));
    HWND old = manager.getWindowsByAdapterID(kPrimary)[0]->getHWND();
    LogCapture log(vela::LoggerPriority::FAILURE);

    EXPECT_FALSE(manager.createTiledRenderWindow(params("five", 5), kPrimary, grid(2, 3)));
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 345 The number of windows must match the tiling "
                                        "dimension"}),
              log.lines());
    EXPECT_TRUE(IsWindow(old)) << "a count mismatch changes nothing";

    log.clear();
    EXPECT_FALSE(manager.createTiledRenderWindow(vela::Array<WindowParam>(), kPrimary, grid(0, 4)));
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 280 Need at least one parameter in creationParam"}),
              log.lines());
    EXPECT_FALSE(IsWindow(old)) << "the adapter's windows are released first";
    EXPECT_EQ(0u, manager.getWindowsByAdapterID(kPrimary).size());
}

TEST(Tiling, MissingWindowsLeaveTheOthersUntiled)
{
    RenderWindowManager manager;
    SharedWindow live = manager.createRenderWindow(param("busy"), kSecond);
    vela::Array<WindowParam> batch = params("part", 1);
    batch.append(param("busy"));
    LogCapture log(vela::LoggerPriority::FAILURE);
    EXPECT_FALSE(manager.createTiledRenderWindow(batch, kPrimary, grid(1, 2)));
    EXPECT_EQ(1u, log.count("3 RenderWindowManager: 378 Not all requested windows can be created"));
    const WindowList& list = manager.getWindowsByAdapterID(kPrimary);
    ASSERT_EQ(1u, list.size());
    RECT r = windowRect(list[0]->getHWND());
    EXPECT_EQ(0, r.left);
    EXPECT_NE(960, r.right - r.left) << "left where it was created, not on its tile";
}

namespace {
int g_tileMoves;
decltype(&SetWindowPos) g_realSetWindowPos;
// Fails the second tile move.
BOOL WINAPI failSecondTile(HWND window, HWND after, int x, int y, int cx, int cy, UINT flags)
{
    if (flags == (SWP_NOZORDER | SWP_SHOWWINDOW) && ++g_tileMoves == 2) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return g_realSetWindowPos(window, after, x, y, cx, cy, flags);
}
}  // namespace

TEST(Tiling, FailedMoveIsLoggedAndTheRestArePlaced)
{
    FakeMonitors fake(taskbarDesktop());
    ImportHook hook(stagehandModule(), "user32.dll", "SetWindowPos", &failSecondTile, g_realSetWindowPos);
    g_tileMoves = 0;
    LogCapture log(vela::LoggerPriority::FAILURE);

    RenderWindowManager manager;
    ASSERT_TRUE(manager.createTiledRenderWindow(params("move", 3), kPrimary, grid(3, 1)));
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 396 SetWindowPos failed 5"}), log.lines());
    const WindowList& list = manager.getWindowsByAdapterID(kPrimary);
    EXPECT_TRUE(isRect(RECT{0, 0, 1920, 346}, list[0]->getHWND()));
    EXPECT_TRUE(isRect(RECT{0, 692, 1920, 1038}, list[2]->getHWND()));
}

TEST(Tiling, NothingLeaksOverTwentyRoundsOnBothMonitors)
{
    ResourceCounter counter;
    {
        RenderWindowManager manager;
        for (int round = 0; round < 20; ++round) {
            std::string tag = "r" + std::to_string(round) + "_";
            ASSERT_TRUE(manager.createTiledRenderWindow(params(tag + "a", 4), kPrimary, grid(2, 2)));
            ASSERT_TRUE(manager.createTiledRenderWindow(params(tag + "b", 3), kSecond, grid(1, 3)));
            SharedWindow single = manager.createRenderWindow(param(tag + "c", RECT{5, 5, 55, 55}), kSecond);
            ASSERT_TRUE(single->isInitialized());
        }
    }
    const ResourceCounter::Counts& c = counter.counts();
    EXPECT_EQ(20 * 8, c.windowsCreated);
    EXPECT_EQ(c.windowsCreated, c.windowsDestroyed);
    EXPECT_EQ(c.windowsCreated, c.dcsTaken);
    EXPECT_EQ(c.dcsTaken, c.dcsReleased);
    EXPECT_EQ(c.windowsCreated, c.classesRegistered);
    EXPECT_EQ(c.classesRegistered, c.classesUnregistered);
    for (HWND window : c.windows)
        EXPECT_FALSE(IsWindow(window));
    for (const std::wstring& name : c.classNames) {
        WNDCLASSEXW info = {sizeof info};
        EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), name.c_str(), &info));
    }
}
