#include "Demo.h"

#include "CommandLine.h"
#include "Screenshot.h"
#include "Text.h"
#include "UsageError.h"

#include <stagehand/DesktopClearing.h>
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <stagehand/RenderWindowManager.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using stagehand::RenderWindowManager;

namespace {

const unsigned int kMaxGridSide = 16;

const unsigned int kMaxSeconds = 3600;

unsigned int number(const std::string& text, const std::string& what, unsigned int low, unsigned int high)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError(what + " must be a number, not '" + text + "'");
    unsigned long n = std::stoul(text);
    if (n < low || n > high)
        throw UsageError(what + " must be from " + std::to_string(low) + " to " + std::to_string(high));
    return static_cast<unsigned int>(n);
}

// The grid's rows and columns, from ROWSxCOLUMNS.
std::pair<unsigned int, unsigned int> gridOf(const std::string& grid)
{
    size_t x = grid.find_first_of("xX");
    if (x == std::string::npos)
        throw UsageError("--grid takes ROWSxCOLUMNS, such as 2x3, not '" + grid + "'");
    return {number(grid.substr(0, x), "the number of rows", 1, kMaxGridSide),
            number(grid.substr(x + 1), "the number of columns", 1, kMaxGridSide)};
}

// Fills a tile with its colour and writes its index and rectangle on it.
void paintTile(HWND window, unsigned int index)
{
    static const COLORREF colours[] = {RGB(200, 60, 50),  RGB(60, 150, 70), RGB(50, 90, 190), RGB(210, 160, 40),
                                       RGB(140, 70, 170), RGB(40, 160, 170), RGB(120, 120, 120), RGB(190, 90, 140)};
    HDC dc = GetDC(window);
    if (!dc)
        return;
    RECT client;
    GetClientRect(window, &client);
    HBRUSH brush = CreateSolidBrush(colours[index % (sizeof colours / sizeof colours[0])]);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    RECT placed;
    GetWindowRect(window, &placed);
    std::wstring label = L"tile " + std::to_wstring(index) + L"\n" + wide(rectText(placed));
    int height = (client.bottom - client.top) / 10;
    int byWidth = (client.right - client.left) / 14;
    HFONT font = CreateFontW(-(height < byWidth ? height : byWidth), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Arial");
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    // DrawText centres a single line only: measure the two, then centre the block.
    RECT text = client;
    DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &text, DT_CENTER | DT_CALCRECT);
    OffsetRect(&text, (client.right - text.right) / 2, (client.bottom - text.bottom) / 2);
    DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &text, DT_CENTER | DT_NOCLIP);
    SelectObject(dc, previous);
    DeleteObject(font);
    ReleaseDC(window, dc);
}

void paintAll(const stagehand::WindowList& tiles)
{
    for (unsigned int i = 0; i < tiles.size(); ++i)
        paintTile(tiles[i]->getHWND(), i);
}

}  // namespace

CLI::App* addDemoCommand(CLI::App& tool, DemoOptions& options)
{
    CLI::App* demo = tool.add_subcommand("demo", "tiles render windows over a monitor, hides the other programs' "
                                                 "windows, pumps until Escape, Alt+F4 or the time is up, then "
                                                 "restores the desktop");
    demo->add_option("--adapter", options.adapter, "the monitor's adapter id, as 'stagehand monitors' lists it "
                                                   "(default: the primary monitor)");
    demo->add_option("--grid", options.grid, "ROWSxCOLUMNS of render windows, each 1 to 16")->capture_default_str();
    demo->add_option("--spare", options.spare, "an executable name whose windows stay visible; repeatable")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(1)
        ->allow_extra_args(false)
        ->check(notEmpty("an executable name, such as notepad.exe"));
    demo->add_option("--seconds", options.seconds, "how long to run, 0 to 3600")
        ->capture_default_str()
        ->check(CLI::Range(0u, kMaxSeconds));
    demo->add_option("--screenshot", options.screenshot, "save the monitor as a PNG file while the tiles are up")
        ->check(notEmpty("a file name"));
    return demo;
}

int runDemo(const DemoOptions& options)
{
    // Everything is checked before the desktop changes.
    std::pair<unsigned int, unsigned int> grid = gridOf(options.grid);
    std::unique_ptr<OutputFile> screenshot;
    if (!options.screenshot.empty())
        screenshot = std::make_unique<OutputFile>(wide(options.screenshot), "screenshot");
    if (screenshot && !screenshot->ready())
        throw UsageError(screenshot->problem());
    stagehand::MonitorInfoEnumerator monitors;
    vela::Array<vela::String> ids;
    monitors.getAdapterId(ids);
    stagehand::MonitorInfoEnumerator::Info monitor;
    vela::String adapter(options.adapter.c_str());
    if (options.adapter.empty()) {
        for (unsigned int i = 0; i < ids.size() && adapter.empty(); ++i)
            if (monitors.getMonitorInfo(ids[i], monitor) && (monitor.monitorInfo.dwFlags & MONITORINFOF_PRIMARY))
                adapter = ids[i];
    }
    if (!monitors.getMonitorInfo(adapter, monitor))
        throw UsageError(unknownAdapter(adapter.toUtf8()));

    RenderWindowManager manager;
    vela::Array<RenderWindowManager::WindowParam> params;
    for (unsigned int i = 0; i < grid.first * grid.second; ++i) {
        RenderWindowManager::WindowParam param;
        param.windowName = ("stagehand demo " + std::to_string(i)).c_str();
        param.style = WS_POPUP | WS_VISIBLE;
        params.append(param);
    }
    RenderWindowManager::TileParam tiling = {grid.first, grid.second};
    if (!manager.createTiledRenderWindow(params, adapter, tiling)) {
        std::fprintf(stderr, "stagehand: the render windows could not be created\n");
        return 1;
    }
    const stagehand::WindowList& tiles = manager.getWindowsByAdapterID(adapter);
    std::printf("adapter %s, work area %s, grid %ux%u\n", adapter.toUtf8().c_str(),
                rectText(monitor.monitorInfo.rcWork).c_str(), grid.first, grid.second);
    for (unsigned int i = 0; i < tiles.size(); ++i) {
        RECT r;
        GetWindowRect(tiles[i]->getHWND(), &r);
        std::printf("tile %u window %llu rect %s\n", i,
                    static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(tiles[i]->getHWND())),
                    rectText(r).c_str());
    }
    std::fflush(stdout);
    paintAll(tiles);

    vela::Array<vela::String> keepNames;
    for (const std::string& name : options.spare)
        keepNames.append(name.c_str());
    keepNames.append(stagehand::executableName(GetCurrentProcessId()));
    vela::Array<HWND> keepWindows;
    for (unsigned int i = 0; i < tiles.size(); ++i)
        keepWindows.append(tiles[i]->getHWND());
    manager.hideAllTopLevelProcessExcept(keepNames, keepWindows);
    const stagehand::DesktopClearing::Outcome hidden = manager.lastClearing();
    if (!hidden.desktopHolder.empty()) {
        std::fprintf(stderr, "stagehand: the desktop is held by %s\n", hidden.desktopHolder.toUtf8().c_str());
        return 1;
    }
    // What the demo says it does, it checks: its tiles shown, on top, on their monitor.
    unsigned int notOnTop = 0;
    HMONITOR onMonitor = MonitorFromRect(&monitor.monitorInfo.rcMonitor, MONITOR_DEFAULTTONULL);
    for (unsigned int i = 0; i < tiles.size(); ++i) {
        HWND tile = tiles[i]->getHWND();
        bool onTop = IsWindowVisible(tile) && (GetWindowLongW(tile, GWL_EXSTYLE) & WS_EX_TOPMOST) &&
                     MonitorFromWindow(tile, MONITOR_DEFAULTTONULL) == onMonitor;
        notOnTop += onTop ? 0 : 1;
    }

    unsigned long long pumped = 0;
    bool shotFailed = false;
    const char* ending = "time is up";
    bool shot = !screenshot;
    DWORD start = GetTickCount();
    DWORD lastPaint = start;
    while (GetTickCount() - start < options.seconds * 1000u) {
        bool aborted = false;
        for (unsigned int i = 0; i < tiles.size(); ++i) {
            MSG pending;
            if (PeekMessageW(&pending, tiles[i]->getHWND(), 0, 0, PM_NOREMOVE))
                ++pumped;
            tiles[i]->listenOnce();
            aborted |= tiles[i]->isTestAborted();
        }
        if (aborted) {
            ending = "Escape";
            break;
        }
        if (GetTickCount() - lastPaint >= 100) {
            paintAll(tiles);
            lastPaint = GetTickCount();
            if (!shot) {
                shot = true;
                if (saveScreenshot(monitor.monitorInfo.rcMonitor, *screenshot))
                    std::printf("screenshot saved\n");
                else
                    shotFailed = true;
            }
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    manager.restoreAllTopLevelProcess();
    const stagehand::DesktopClearing::Outcome shown = manager.lastClearing();

    std::printf("created %s\n", count(tiles.size(), "render window").c_str());
    std::printf("hid %u of the %s of %s\n", hidden.windows - hidden.unresponsive.size(),
                count(hidden.windows, "window").c_str(), count(hidden.programs, "program").c_str());
    if (hidden.unresponsive.size() != 0) {
        std::string names;
        for (unsigned int i = 0; i < hidden.unresponsivePrograms.size(); ++i)
            names += (i ? ", " : "") + hidden.unresponsivePrograms[i].toUtf8();
        std::printf("did not respond: %s of %s; they hide when their programs respond again\n",
                    count(hidden.unresponsive.size(), "window").c_str(), names.c_str());
    }
    std::printf("pumped %llu messages\n", pumped);
    std::printf("ended by %s; %s\n", ending,
                shown.refused ? "windows that could not be asked to show again are hidden" : "the desktop is restored");
    if (notOnTop != 0)
        std::fprintf(stderr, "stagehand: %u of the render windows %s not shown on top of their monitor\n", notOnTop,
                     notOnTop == 1 ? "was" : "were");
    if (shown.refused != 0)
        std::fprintf(stderr, "stagehand: %s that the demo hid could not be asked to show again\n",
                     count(shown.refused, "window").c_str());
    if (notOnTop != 0 || shown.refused != 0)
        return 1;
    if (shotFailed) {
        std::fprintf(stderr, "stagehand: the screenshot could not be saved to the file given\n");
        return 1;
    }
    return 0;
}
