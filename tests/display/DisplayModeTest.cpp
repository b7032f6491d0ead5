// Display modes on the two-monitor display: the listing, holds and what becomes of the
// desktop while they live, refusals, and the recovery of modes that were not given back.
#include <stagehand/DesktopRecovery.h>
#include <stagehand/DisplayModeHold.h>
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/RenderWindowManager.h>

#include "display/RegistryModes.h"
#include "support/CallHook.h"
#include "support/HelperWindows.h"
#include "support/JournalFolder.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace stagehand;

namespace {

const char kFirst[] = "\\\\.\\DISPLAY1";
const char kSecond[] = "\\\\.\\DISPLAY2";

std::string text(const DisplayMode& mode)
{
    return displayModeText(mode).toUtf8();
}

// The adapter's mode and position as the system reports them: "1024x768@60 32bpp at 1920,0".
std::string shown(const char* adapter, DWORD which = ENUM_CURRENT_SETTINGS)
{
    DEVMODEA m = {};
    m.dmSize = sizeof m;
    EnumDisplaySettingsExA(adapter, which, &m, 0);
    return text({m.dmPelsWidth, m.dmPelsHeight, m.dmDisplayFrequency, m.dmBitsPerPel}) + " at " +
           std::to_string(m.dmPosition.x) + "," + std::to_string(m.dmPosition.y);
}

const DisplayModeHold::Status HELD = DisplayModeHold::HELD;

// The display-mode journals as a reader finds them: "WRITER ADAPTER MODE" each.
std::vector<std::string> journaled()
{
    std::vector<std::string> found;
    DesktopRecovery::Report report = DesktopRecovery::find();
    for (unsigned int i = 0; i < report.journals.size(); ++i) {
        const DesktopRecovery::JournalReport& entry = report.journals[i];
        if (entry.displayMode)
            found.push_back(std::to_string(entry.writerPid) + " " + entry.adapter.toUtf8() + " " + text(entry.mode));
    }
    return found;
}

}  // namespace

TEST(DisplayMode, HoldsNestOnTheirAdapterAloneAndTheLastGivesTheFirstModeBack)
{
    JournalFolder journals;
    RegistryModes registry;
    const std::string first = shown(kFirst), stored = shown(kSecond, ENUM_REGISTRY_SETTINGS);
    ASSERT_EQ("1920x1080@60 32bpp at 0,0", first);
    ASSERT_EQ("1280x1024@60 32bpp at 1920,0", shown(kSecond));

    DisplayModeEnumerator listed;
    ASSERT_EQ(DisplayModeEnumerator::LISTED, listed.enumerate("\\\\.\\display2"));
    EXPECT_EQ(kSecond, listed.adapterId().toUtf8()) << "as its monitor spells it";
    EXPECT_EQ("1280x1024@60 32bpp", text(listed.current()));
    typedef std::tuple<DWORD, DWORD, DWORD, DWORD> Mode;
    std::set<Mode> raw;  // the system's list, sorted, each once
    DEVMODEA m = {};
    m.dmSize = sizeof m;
    for (DWORD i = 0; EnumDisplaySettingsExA(kSecond, i, &m, 0); ++i)
        raw.emplace(m.dmPelsWidth, m.dmPelsHeight, m.dmDisplayFrequency, m.dmBitsPerPel);
    std::vector<Mode> modes;
    for (unsigned int i = 0; i < listed.modes().size(); ++i)
        modes.emplace_back(listed.modes()[i].width, listed.modes()[i].height, listed.modes()[i].refresh,
                           listed.modes()[i].bitsPerPixel);
    EXPECT_EQ(std::vector<Mode>(raw.begin(), raw.end()), modes);

    RenderWindowManager manager;  // reads the monitors before the change
    DisplayModeHold outer, same, inner;
    ASSERT_EQ(HELD, outer.take(kSecond, {1024, 768, 0, 0}));
    EXPECT_EQ("1024x768@60 32bpp -> 1280x1024@60 32bpp", text(outer.mode()) + " -> " + text(outer.previous()));
    EXPECT_EQ("1024x768@60 32bpp at 1920,0", shown(kSecond));
    EXPECT_EQ(stored, shown(kSecond, ENUM_REGISTRY_SETTINGS)) << "never written to the registry";
    EXPECT_EQ(first, shown(kFirst));
    const std::vector<std::string> journal = {std::to_string(GetCurrentProcessId()) + " " + kSecond + " 1280x1024@60 32bpp"};
    EXPECT_EQ(journal, journaled());

    MonitorInfoEnumerator::Info monitor;
    ASSERT_TRUE(MonitorInfoEnumerator().getMonitorInfo(kSecond, monitor));
    EXPECT_EQ("1920,0,2944,768 1920,0,2944,768",
              rectText(monitor.monitorInfo.rcMonitor) + " " + rectText(monitor.monitorInfo.rcWork));
    vela::Array<RenderWindowManager::WindowParam> tiles;
    for (const char* name : {"mode tile 1", "mode tile 2"}) {
        RenderWindowManager::WindowParam tile;
        tile.windowName = name;
        tile.style = WS_POPUP;
        tiles.append(tile);
    }
    ASSERT_TRUE(manager.createTiledRenderWindow(tiles, kSecond, RenderWindowManager::TileParam{1, 2}));
    std::string placed;
    for (unsigned int i = 0; i < 2; ++i) {
        RECT r;
        GetWindowRect(manager.getWindowsByAdapterID(kSecond)[i]->getHWND(), &r);
        placed += rectText(r) + " ";
    }
    EXPECT_EQ("1920,0,2432,768 2432,0,2944,768 ", placed) << "tiled over the new work area";

    ASSERT_EQ(HELD, same.take(kSecond, {1024, 768, 60, 0}));
    ASSERT_EQ(HELD, inner.take(kSecond, {800, 600, 0, 0}));
    EXPECT_EQ("800x600@60 32bpp at 1920,0", shown(kSecond));
    EXPECT_TRUE(same.release());
    EXPECT_EQ("800x600@60 32bpp at 1920,0", shown(kSecond)) << "the latest hold alive keeps its mode";
    EXPECT_TRUE(inner.release());
    EXPECT_EQ("1024x768@60 32bpp at 1920,0", shown(kSecond)) << "the first hold's mode";
    EXPECT_EQ(journal, journaled());
    EXPECT_TRUE(outer.release());
    EXPECT_EQ("1280x1024@60 32bpp at 1920,0", shown(kSecond)) << "the mode the first hold found";
    EXPECT_TRUE(journaled().empty());
    EXPECT_EQ(first, shown(kFirst)) << "untouched throughout";

    // A narrower monitor moves the monitors to its right, which keep their modes, and takes
    // them back with its width.
    {
        DisplayModeHold narrow;
        ASSERT_EQ(HELD, narrow.take(kFirst, {1024, 768, 0, 0}));
        EXPECT_EQ("1280x1024@60 32bpp at 1024,0", shown(kSecond));
    }
    EXPECT_EQ(first, shown(kFirst));
    EXPECT_EQ("1280x1024@60 32bpp at 1920,0", shown(kSecond));
}

TEST(DisplayMode, RefusalsChangeNothingAndModesThatAreNotGivenBackAreRecovered)
{
    JournalFolder journals;
    RegistryModes registry;
    LogCapture log(vela::LoggerPriority::FAILURE);
    const std::tuple<const char*, DisplayMode, DisplayModeHold::Status, std::string> refusals[] = {
        {kSecond, {1000, 700, 0, 0}, DisplayModeHold::NOT_LISTED,
         "\\\\.\\DISPLAY2 does not list 1000x700; the nearest listed modes are 1024x768@60, 1024x576@60, 960x540@60"},
        {kSecond, {1024, 768, 75, 16}, DisplayModeHold::NOT_LISTED,
         "\\\\.\\DISPLAY2 does not list 1024x768@75 16bpp; the nearest listed modes are 1024x768@60 16bpp, "},
        {"\\\\.\\DISPLAY9", {1024, 768, 0, 0}, DisplayModeHold::UNKNOWN_ADAPTER,
         "no monitor has the adapter id \\\\.\\DISPLAY9"}};
    for (const auto& [adapter, mode, status, why] : refusals) {
        vela::String checked;
        DisplayModeHold hold;
        EXPECT_EQ(status, DisplayModeHold::check(adapter, mode, checked));
        EXPECT_EQ(status, hold.take(adapter, mode));
        EXPECT_EQ(0u, hold.problem().toUtf8().find(why)) << hold.problem().toUtf8();
        EXPECT_EQ(checked.toUtf8(), hold.problem().toUtf8());
        EXPECT_EQ(1u, log.count("3 stagehand.DisplayModeHold: 453 Refused to hold " + text(mode) + " on " + adapter +
                                ": " + why));
    }
    EXPECT_EQ(3u, log.lines.size()) << "check() logs nothing";
    {
        CallHook<decltype(&EnumDisplaySettingsExW)> read("user32.dll", "EnumDisplaySettingsExW");
        for (DWORD unreadable : {ENUM_CURRENT_SETTINGS, DWORD(0)}) {  // the current mode, the list
            read.instead = [unreadable](LPCWSTR name, DWORD which, DEVMODEW* mode, DWORD flags) {
                SetLastError(ERROR_ACCESS_DENIED);
                return which != unreadable && decltype(read)::real(name, which, mode, flags);
            };
            DisplayModeHold hold;
            EXPECT_EQ(DisplayModeHold::UNREADABLE, hold.take(kSecond, {1024, 768, 0, 0}));
        }
    }
    EXPECT_EQ(1u, log.count("3 stagehand.DisplayModeEnumerator: 451 EnumDisplaySettingsExW cannot read the current "
                            "mode of \\\\.\\DISPLAY2 (error 5)"));
    EXPECT_EQ(1u, log.count("3 stagehand.DisplayModeEnumerator: 452 EnumDisplaySettingsExW lists no mode of "
                            "\\\\.\\DISPLAY2 (error 5)"));
    EXPECT_EQ(5u, log.lines.size()) << "one line each";

    // The system's refusal, taking and giving back.
    const std::string second = shown(kSecond);
    CallHook<decltype(&ChangeDisplaySettingsExW)> change("user32.dll", "ChangeDisplaySettingsExW");
    auto refuse = [](LPCWSTR, DEVMODEW*, HWND, DWORD, void*) { return LONG(DISP_CHANGE_FAILED); };
    change.instead = refuse;
    DisplayModeHold hold;
    EXPECT_EQ(DisplayModeHold::REFUSED, hold.take(kSecond, {1024, 768, 0, 0}));
    EXPECT_EQ("the system refused 1024x768@60 32bpp on \\\\.\\DISPLAY2: DISP_CHANGE_FAILED", hold.problem().toUtf8());
    EXPECT_EQ(1u, log.count("3 stagehand.DisplayModeHold: 454 ChangeDisplaySettingsExW refused 1024x768@60 32bpp on "
                            "\\\\.\\DISPLAY2: DISP_CHANGE_FAILED"));
    EXPECT_EQ(second, shown(kSecond)) << "nothing else is changed";
    EXPECT_TRUE(journals.names().empty());
    change.instead = nullptr;
    ASSERT_EQ(HELD, hold.take(kSecond, {1024, 768, 0, 0}));
    change.instead = refuse;
    EXPECT_FALSE(hold.release());
    change.instead = nullptr;
    EXPECT_EQ(DisplayModeHold::NOT_HELD, hold.status());
    EXPECT_EQ(1u, log.count("3 stagehand.DisplayModeHold: 455 The display mode 1280x1024@60 32bpp of \\\\.\\DISPLAY2 "
                            "cannot be given back (DISP_CHANGE_FAILED): 'stagehand restore' will, once this program "
                            "has ended"));
    ASSERT_EQ(1u, journals.names().size()) << "left for recovery";
    const std::string own = journals.names()[0];

    // Beside it, of writers that ended: a mode that cannot be set, an adapter that is gone, a
    // journal cut short, and one whose mode was given back.
    auto journal = [](const char* adapter, const char* mode) {
        return std::string("stagehand display-mode journal 1\nwriter 1 1\nadapter ") + adapter + "\nmode " + mode +
               "\nend\n";
    };
    const std::map<std::string, std::string> written = {
        {"stagehand-displaymode-1-1-1.txt", journal(kFirst, "1000 700 60 32")},
        {"stagehand-displaymode-1-1-2.txt", journal("\\\\.\\DISPLAY9", "640 480 60 32")},
        {"stagehand-displaymode-1-1-3.txt", journal(kFirst, "640 480 60 32").substr(0, 50)},
        {"stagehand-displaymode-1-1-4.txt", ""}};
    for (const auto& [name, text] : written)
        journals.write(name, text);
    DesktopRecovery::Report report = DesktopRecovery::restore(false, true);  // this running writer's too
    std::map<std::string, std::string> outcomes;
    for (unsigned int i = 0; i < report.journals.size(); ++i) {
        const DesktopRecovery::JournalReport& entry = report.journals[i];
        std::string path = entry.path.toUtf8();
        outcomes[path.substr(path.rfind('\\') + 1)] = std::to_string(entry.outcome) + " " + entry.adapter.toUtf8() +
                                                      " " + text(entry.mode) + (entry.modeSet ? " set" : "") + " " +
                                                      entry.problem.toUtf8();
    }
    EXPECT_EQ((std::map<std::string, std::string>{
                  {own, "0 \\\\.\\DISPLAY2 1280x1024@60 32bpp set "},
                  {"stagehand-displaymode-1-1-1.txt", "2 \\\\.\\DISPLAY1 1000x700@60 32bpp DISP_CHANGE_BADMODE"},
                  {"stagehand-displaymode-1-1-2.txt", "0 \\\\.\\DISPLAY9 640x480@60 32bpp its adapter is gone"},
                  {"stagehand-displaymode-1-1-3.txt", "2  0x0 it is cut short or damaged"},
                  {"stagehand-displaymode-1-1-4.txt", "0  0x0 "}}),
              outcomes);
    EXPECT_EQ((std::vector<unsigned int>{1, 1, 2}),
              (std::vector<unsigned int>{report.modesRestored, report.modesRefused, report.refused}));
    EXPECT_FALSE(report.complete());
    EXPECT_EQ(second, shown(kSecond));
    EXPECT_EQ((std::vector<std::string>{"stagehand-displaymode-1-1-1.txt", "stagehand-displaymode-1-1-3.txt.damaged"}),
              journals.names())
        << "a mode that cannot be set stays journaled, for another try";
    EXPECT_EQ(1u, log.count("3 stagehand.DesktopRecovery: 457 The display mode 1000x700@60 32bpp of \\\\.\\DISPLAY1 "
                            "cannot be given back: DISP_CHANGE_BADMODE"));
    EXPECT_EQ(1u, log.count("3 stagehand.DesktopRecovery: 456 Refused the display-mode journal "));

    // A program that ends with its hold alive gives the mode back as it ends.
    ChildProcess holder(L"helper.exe", L"hold \\\\.\\DISPLAY2 800 600");
    EXPECT_EQ("held 800x600", holder.readLine());
    holder.readAll();
    EXPECT_EQ(0u, holder.exitCode());
    EXPECT_EQ(second, shown(kSecond));
    EXPECT_EQ(2u, journals.names().size()) << "its journal removed";
}
