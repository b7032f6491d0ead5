#include <stagehand/RenderWindowManager.h>

#include "support/CallHook.h"
#include "support/FakeMonitors.h"
#include "support/LogCapture.h"
#include "support/ReleaseLedger.h"
#include "support/RenderParams.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using stagehand::RenderWindowManager;
using stagehand::SharedWindow;
using stagehand::WindowList;

namespace {

const char kPrimary[] = "\\\\.\\DISPLAY1";
const char kSecond[] = "\\\\.\\DISPLAY2";

std::vector<LONG> rectOf(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right, r.bottom};
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

bool topmostAndVisible(HWND window)
{
    return IsWindowVisible(window) && (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
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

TEST(RenderWindowManager, SingleWindowLandsExactlyOnItsRectangleOnTheSecondMonitorAndIsShared)
{
    SharedWindow held;
    {
        RenderWindowManager manager;
        held = manager.createRenderWindow(param("single", RECT{2000, 120, 2320, 360}), kSecond);
        ASSERT_TRUE(held->isInitialized());
        HWND window = held->getHWND();
        EXPECT_EQ((std::vector<LONG>{2000, 120, 2320, 360}), rectOf(window));
        EXPECT_EQ(kSecond, monitorOf(window));
        EXPECT_TRUE(topmostAndVisible(window));
        const WindowList& list = manager.getWindowsByAdapterID("\\\\.\\display2");
        ASSERT_EQ(1u, list.size());
        EXPECT_EQ(held.get(), list[0].get());
        EXPECT_EQ(0u, manager.getWindowsByAdapterID(kPrimary).size());

        // Inverted, empty and huge rectangles are used as they are, their extents clamped.
        const RECT odd[] = {{500, 400, 100, 100}, {0, 0, 0, 0}, {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                            {INT_MAX, INT_MAX, INT_MIN, INT_MIN}};
        for (const RECT& rect : odd) {
            SharedWindow w = manager.createRenderWindow(param("odd" + std::to_string(rect.left), rect), kPrimary);
            ASSERT_TRUE(w->isInitialized());
            std::vector<LONG> placed = rectOf(w->getHWND());
            EXPECT_GE(placed[2], placed[0]) << "Windows makes no window of negative size";
        }
    }
    ASSERT_TRUE(IsWindow(held->getHWND())) << "the caller still holds it";
    held->listenOnce();
    HWND window = held->getHWND();
    held.reset();
    EXPECT_FALSE(IsWindow(window));
}

TEST(RenderWindowManager, UnknownAdaptersAndWindowsThatCannotBeMadeAddNothing)
{
    ReleaseLedger ledger;
    LogCapture log(vela::LoggerPriority::FAILURE);
    RenderWindowManager manager;
    const WindowList* none = &manager.getWindowsByAdapterID("never asked");
    for (const char* id : {"\\\\.\\DISPLAY9", "", "\\\\.\\DISPLAY1 "}) {
        log.clear();
        EXPECT_EQ(nullptr, manager.createRenderWindow(param("lost"), id).get());
        EXPECT_FALSE(manager.createRenderWindow(params("lost", 2), id));
        EXPECT_FALSE(manager.createTiledRenderWindow(params("lost", 1), id, grid(1, 1)));
        std::string tail = std::string(" Adapter ID ") + id + " does not have a valid adapter";
        EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 240" + tail, "3 RenderWindowManager: 287" + tail,
                                            "3 RenderWindowManager: 287" + tail}),
                  log.lines());
        EXPECT_EQ(none, &manager.getWindowsByAdapterID(id)) << "no group was added";
    }
    EXPECT_EQ(0, ledger.acquired(ReleaseLedger::Window));

    log.clear();
    EXPECT_FALSE(manager.createRenderWindow(vela::Array<RenderWindowManager::WindowParam>(), kPrimary));
    SharedWindow live = manager.createRenderWindow(param("taken"), kPrimary);
    SharedWindow twin = manager.createRenderWindow(param("taken"), kPrimary);
    EXPECT_FALSE(twin->isInitialized()) << "returned without a window";
    vela::Array<RenderWindowManager::WindowParam> batch;
    for (const char* name : {"before", "taken", "after"})
        batch.append(param(name));
    EXPECT_TRUE(manager.createRenderWindow(batch, "\\\\.\\display1"));
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 280 Need at least one parameter in creationParam",
                                        "3 RenderWindowManager: 267 Unable to initialize window taken",
                                        "3 RenderWindowManager: 267 Unable to initialize window taken"}),
              log.lines());
    EXPECT_EQ((std::vector<std::string>{"taken", "before", "after"}), names(manager.getWindowsByAdapterID(kPrimary)));
}

TEST(RenderWindowManager, ArrayFormStacksItsWindowsAtTheMonitorCornerAndRectanglesAreNotShifted)
{
    RenderWindowManager real;
    ASSERT_TRUE(real.createRenderWindow(params("real", 1), kSecond));
    HWND corner = real.getWindowsByAdapterID(kSecond)[0]->getHWND();
    EXPECT_EQ(1920, rectOf(corner)[0]);
    EXPECT_EQ(kSecond, monitorOf(corner));

    FakeMonitors fake(taskbarDesktop());
    RenderWindowManager manager;  // reads the monitors when it is made
    ASSERT_TRUE(manager.createRenderWindow(params("corner", 3), kSecond));
    const WindowList& list = manager.getWindowsByAdapterID(kSecond);
    ASSERT_EQ(3u, list.size());
    for (unsigned int i = 0; i < 3; ++i) {
        std::vector<LONG> r = rectOf(list[i]->getHWND());
        EXPECT_EQ((std::vector<LONG>{-1366, 100}), std::vector<LONG>(r.begin(), r.begin() + 2)) << i;
        EXPECT_TRUE(topmostAndVisible(list[i]->getHWND()));
    }
    EXPECT_LT(zIndex(list[2]->getHWND()), zIndex(list[1]->getHWND())) << "the last one on top";
    EXPECT_LT(zIndex(list[1]->getHWND()), zIndex(list[0]->getHWND()));
    SharedWindow window = manager.createRenderWindow(param("unshifted", RECT{10, 20, 330, 260}), kSecond);
    EXPECT_EQ((std::vector<LONG>{10, 20, 330, 260}), rectOf(window->getHWND()));

    CallHook<decltype(&SetWindowPos)> move(stagehandModule(), "user32.dll", "SetWindowPos");
    move.failCall(1, FALSE, ERROR_ACCESS_DENIED);  // the move to the corner
    LogCapture log(vela::LoggerPriority::FAILURE);
    SharedWindow cornerless = manager.createRenderWindow(param("cornerless"), kPrimary);
    EXPECT_EQ(static_cast<UINT>(SWP_NOSIZE | SWP_SHOWWINDOW), std::get<6>(move.calls()[0]));
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 261 SetWindowPos failed 5"}), log.lines());
    ASSERT_EQ(1u, manager.getWindowsByAdapterID(kPrimary).size()) << "the window is kept";
    EXPECT_EQ(cornerless.get(), manager.getWindowsByAdapterID(kPrimary)[0].get());
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

TEST(Tiling, TilesGoColumnByColumnOverTheWorkAreaAndUnevenWidthsRoundDown)
{
    RenderWindowManager real;
    ASSERT_TRUE(real.createTiledRenderWindow(params("whole", 1), kSecond, grid(1, 1)));
    HWND whole = real.getWindowsByAdapterID(kSecond)[0]->getHWND();
    EXPECT_EQ((std::vector<LONG>{1920, 0, 3200, 1024}), rectOf(whole));
    EXPECT_EQ(kSecond, monitorOf(whole));

    FakeMonitors fake(taskbarDesktop());
    RenderWindowManager manager;
    ASSERT_TRUE(manager.createTiledRenderWindow(params("tile", 6), kPrimary, grid(2, 3)));
    const WindowList& tiles = manager.getWindowsByAdapterID(kPrimary);
    ASSERT_EQ(6u, tiles.size());
    const LONG origins[][2] = {{0, 0}, {0, 520}, {640, 0}, {640, 520}, {1280, 0}, {1280, 520}};
    for (unsigned int i = 0; i < 6; ++i) {
        const LONG* o = origins[i];
        EXPECT_EQ((std::vector<LONG>{o[0], o[1], o[0] + 640, o[1] + 520}), rectOf(tiles[i]->getHWND())) << i;
        EXPECT_TRUE(IsWindowVisible(tiles[i]->getHWND()));
    }
    // 1366 / 3 = 455: the rightmost pixel column stays free.
    ASSERT_TRUE(manager.createTiledRenderWindow(params("left", 3), kSecond, grid(1, 3)));
    const WindowList& left = manager.getWindowsByAdapterID(kSecond);
    EXPECT_EQ((std::vector<LONG>{-1366, 100, -911, 868}), rectOf(left[0]->getHWND()));
    EXPECT_EQ((std::vector<LONG>{-456, 100, -1, 868}), rectOf(left[2]->getHWND()));
}

TEST(Tiling, TilingAgainReplacesTheAdaptersWindowsAndRefusalsSayWhatSurvives)
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

    LogCapture log(vela::LoggerPriority::FAILURE);
    HWND current = manager.getWindowsByAdapterID(kPrimary)[0]->getHWND();
    // The last two grids have 32-bit products that wrap to 0 and to 2.
    for (const auto& g : {grid(0, 0), grid(2, 3), grid(3, 1), grid(0x80000000, 2), grid(0x80000001, 2)})
        EXPECT_FALSE(manager.createTiledRenderWindow(params("two", 2), kPrimary, g)) << g.rows << "x" << g.columns;
    EXPECT_EQ(5u, log.count("3 RenderWindowManager: 345 The number of windows must match the tiling dimension"));
    EXPECT_TRUE(IsWindow(current)) << "a count mismatch changes nothing";
    EXPECT_EQ(5u, log.lines().size());

    log.clear();
    EXPECT_FALSE(manager.createTiledRenderWindow(params("none", 0), kPrimary, grid(0, 4)));
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 280 Need at least one parameter in creationParam"}),
              log.lines());
    EXPECT_FALSE(IsWindow(current)) << "the adapter's windows are released first";

    log.clear();
    vela::Array<RenderWindowManager::WindowParam> batch = params("part", 1);
    batch.append(param("elsewhere"));  // a live window's class
    EXPECT_FALSE(manager.createTiledRenderWindow(batch, kPrimary, grid(1, 2)));
    EXPECT_EQ(1u, log.count("3 RenderWindowManager: 378 Not all requested windows can be created"));
    ASSERT_EQ(1u, manager.getWindowsByAdapterID(kPrimary).size());
    EXPECT_NE(960, rectOf(manager.getWindowsByAdapterID(kPrimary)[0]->getHWND())[2]) << "left untiled";

    log.clear();
    CallHook<decltype(&SetWindowPos)> move(stagehandModule(), "user32.dll", "SetWindowPos");
    move.failCall(5, FALSE, ERROR_ACCESS_DENIED);  // three corner moves, then the second tile
    ASSERT_TRUE(manager.createTiledRenderWindow(params("move", 3), kPrimary, grid(3, 1)));
    EXPECT_EQ((std::vector<std::string>{"3 RenderWindowManager: 396 SetWindowPos failed 5"}), log.lines());
    const WindowList& list = manager.getWindowsByAdapterID(kPrimary);
    EXPECT_EQ((std::vector<LONG>{0, 0, 1920, 360}), rectOf(list[0]->getHWND()));
    EXPECT_EQ((std::vector<LONG>{0, 720, 1920, 1080}), rectOf(list[2]->getHWND()));
}
