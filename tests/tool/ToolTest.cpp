// stagehand.exe driven as a user drives it, on the Wine desktop: its listings, the demo that
// tiles, hides and shows again, Escape, restoring what a killed test program hid, and bad
// input.
#include "support/HelperWindows.h"
#include "support/JournalFolder.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const size_t npos = std::string::npos;

// A copy of the suite's helper under another name beside the tests, for as long as it lives.
struct ProgramCopy {
    explicit ProgramCopy(const std::wstring& copy) : name(copy), path(besideTests(copy))
    {
        CopyFileW(besideTests(L"helper.exe").c_str(), path.c_str(), FALSE);
    }
    ~ProgramCopy() { DeleteFileW(path.c_str()); }
    static std::wstring besideTests(const std::wstring& name)
    {
        wchar_t self[MAX_PATH];
        std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
        return path.substr(0, path.find_last_of(L"\\") + 1) + name;
    }
    std::wstring name, path;
};

// The output of a run of the tool (standard output and error), which must exit with `code`.
std::string tool(const std::wstring& arguments, DWORD code = 0)
{
    ChildProcess run(L"stagehand.exe", arguments);
    std::string output = run.readAll();
    EXPECT_EQ(code, run.exitCode()) << output;
    return output;
}

// The rectangles of the demo's first `count` "tile N window H rect X,Y,R,B" lines;
// `window` is the last tile's window.
std::string tiles(ChildProcess& demo, int count, HWND& window)
{
    std::string rects;
    for (std::string line; count > 0 && !(line = demo.readLine()).empty();)
        if (line.compare(0, 5, "tile ") == 0) {
            --count;
            window = reinterpret_cast<HWND>(std::stoull(line.substr(line.find("window ") + 7)));
            rects += line.substr(line.find("rect ") + 5) + " ";
        }
    return rects;
}

}  // namespace

// A program of a non-ASCII name is found by that name; a window title that no JSON or table
// may break comes out whole; a program that has stopped responding holds up no listing.
TEST(Tool, ListsTheMonitorsTheProcessesAndTheWindowsOfAProgram)
{
    ProgramCopy named(L"\u00fcn\u00ef_\U0001F600_it's.exe");
    HelperWindows helper(named.name, L"first second"), hung(L"hung_helper.exe", L"frozen", L"hung");
    ASSERT_TRUE(helper.ready() && hung.ready());
    std::string monitors = tool(L"monitors --json");
    EXPECT_NE(npos, monitors.find(R"("adapter":"\\\\.\\DISPLAY1","monitor":{"left":0,"top":0,"right":1920,)"));
    EXPECT_NE(npos, monitors.find(R"("adapter":"\\\\.\\DISPLAY2","monitor":{"left":1920,)")) << monitors;
    std::string utf8Name = "\u00fcn\u00ef_\U0001F600_it's.exe";
    EXPECT_NE(npos, tool(L"processes --json").find("\"pid\":" + std::to_string(helper.pid()) + ",\"executable\":\"" +
                                                   utf8Name + "\",\"windows\":2}"));
    SetWindowTextW(helper.windows()[1], L"q\"b\\c\x01\n\u2028\U0001F600\xD800!");
    nlohmann::json windows = nlohmann::json::parse(tool(L"windows \"" + named.name + L"\" --json"));
    ASSERT_EQ(2u, windows.size());
    for (const nlohmann::json& window : windows) {
        bool second = window["handle"] == reinterpret_cast<ULONG_PTR>(helper.windows()[1]);
        EXPECT_EQ(second ? "q\"b\\c\x01\n\u2028\U0001F600\uFFFD!" : "first", window["title"]) << "an unpaired surrogate is U+FFFD";
        EXPECT_TRUE(window["showState"] == 1 && window["state"] == "normal");
    }
    std::string table = tool(L"windows " + std::to_wstring(helper.pid()));
    EXPECT_NE(npos, table.find("q\"b\\c\\u0001\\n\u2028")) << "control characters escaped: one row a window";
    EXPECT_NE(npos, tool(L"windows hung_helper.exe").find("frozen"));
}

// A program that has stopped responding cannot hold the demo; the report names it. Spared
// program and screenshot have non-ASCII names.
TEST(Tool, TheDemoTilesThePrimaryMonitorHidesOtherProgramsAndShowsThemAgain)
{
    JournalFolder journals;
    ProgramCopy named(L"\u00e9t\u00e9_\U0001F600.exe");
    HelperWindows bystander(L"helper.exe", L"bystander"), hung(L"hung_helper.exe", L"frozen", L"hung");
    HelperWindows spared(named.name, L"spared");
    ASSERT_TRUE(bystander.ready() && hung.ready() && spared.ready());
    wchar_t temp[MAX_PATH];
    std::wstring shot = std::wstring(temp, GetTempPathW(MAX_PATH, temp)) + L"stagehand_\U0001F600.png";
    ChildProcess demo(L"stagehand.exe", L"demo --seconds 3 --spare \"" + named.name + L"\" --screenshot \"" + shot + L"\"");
    HWND window = nullptr;
    // 2 rows and 3 columns, column by column, over the primary monitor's 1920 x 1080.
    EXPECT_EQ("0,0,640,540 0,540,640,1080 640,0,1280,540 640,540,1280,1080 1280,0,1920,540 1280,540,1920,1080 ",
              tiles(demo, 6, window));
    for (int wait = 0; wait < 100 && !bystander.noneVisible(); ++wait)
        Sleep(20);  // the demo hides the other programs once its windows are up
    EXPECT_TRUE(bystander.noneVisible() && spared.allVisible() && IsWindowVisible(window));
    std::string rest = demo.readAll();
    HANDLE png = CreateFileW(shot.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    char signature[8] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(png, signature, 8, &read, nullptr) && std::string(signature, 8) == "\x89PNG\r\n\x1a\n");
    CloseHandle(png);
    EXPECT_NE(npos, rest.find("ended by time is up")) << rest;
    EXPECT_NE(npos, rest.find("did not respond: 1 windows of hung_helper.exe")) << rest;
    EXPECT_EQ(npos, rest.find("116 ")) << "the demo spares itself by a name that exists";
    EXPECT_TRUE(bystander.allVisible());
}

TEST(Tool, EscapeInARenderWindowEndsTheDemoEarly)
{
    JournalFolder journals;
    ChildProcess demo(L"stagehand.exe", L"demo --seconds 60 --grid 1x2 --adapter \\\\.\\display2");
    HWND window = nullptr;
    EXPECT_EQ("1920,0,2560,1024 2560,0,3200,1024 ", tiles(demo, 2, window)) << "the second monitor's work area";
    DWORD start = GetTickCount();
    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_NE(npos, demo.readAll().find("ended by Escape"));
    EXPECT_LT(GetTickCount() - start, 20000u);
}

// A test program killed while it holds other programs' windows hidden: it cleared in steps
// while a reader held its journal open, and through a second copy of stagehand.dll. Beside
// its journals, one that names windows since taken by another process or by a later one
// with the recorded pid, damaged ones, and one it may be writing.
TEST(Tool, RestoreShowsWhatAKilledTestProgramHidAndRefusesDamagedJournals)
{
    JournalFolder journals;
    HelperWindows first(L"helper.exe", L"one two"), second(L"helper.exe", L"three");
    HelperWindows spare(L"spare_helper.exe", L"four");
    HelperWindows hung(L"hung_helper.exe", L"frozen", L"hung");  // holds up neither the clearing nor restore
    ASSERT_TRUE(first.ready() && second.ready() && spare.ready() && hung.ready() && activate(first.windows()[1]));
    ChildProcess clearer(L"helper.exe", L"clear");
    ASSERT_TRUE(clearer.waitFor("cleared"));
    ASSERT_TRUE(first.noneVisible() && second.noneVisible() && spare.allVisible());
    ASSERT_EQ(1u, journals.names().size());
    std::string journal = journals.names()[0];
    HelperWindows late(L"helper.exe", L"late");
    ASSERT_TRUE(late.ready());
    clearer.send("");  // a second copy of the library, whose table holds the later window
    ASSERT_TRUE(clearer.waitFor("cleared"));
    {
        HANDLE reader = CreateFileW(journals.file(journal).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
        clearer.send("");  // the manager hides more while a reader holds its journal
        ASSERT_TRUE(clearer.waitFor("cleared"));
        CloseHandle(reader);
    }
    ASSERT_TRUE(spare.noneVisible() && late.noneVisible());
    std::string written = journals.read(journals.names()[0]);
    std::string alive = journal.substr(0, journal.rfind('-')) + "-99.txt";  // the clearer's name, not yet written
    journals.write(alive, written.substr(0, 20));
    EXPECT_NE(npos, tool(L"restore --dry-run").find("writer running")) << "a live writer's journal is left alone";

    HWND taken = probeWindow(), reused = probeWindow();  // hidden, and this process's
    std::string dead = "writer " + std::to_string(clearer.pid()) + " 1\n";
    auto window = [](HWND handle, DWORD pid) {
        return "window " + std::to_string(reinterpret_cast<ULONG_PTR>(handle)) + " " + std::to_string(pid) + " 7\n";
    };
    journals.write("stagehand-journal-1-1-1.txt", "stagehand desktop journal 1\n" + dead + "foreground 0 0 0\n" +
                                                      window(taken, first.pid()) +
                                                      window(reused, GetCurrentProcessId()) + "end 2\n");
    const char* const damaged[] = {"cut", "version", "garbage", "huge"};
    journals.write("stagehand-journal-cut.txt", written.substr(0, written.size() / 2));
    journals.write("stagehand-journal-cut.txt.damaged", "");  // a damaged one of before
    journals.write("stagehand-journal-version.txt", "stagehand desktop journal 2\n" + dead + "end 0\n");
    journals.write("stagehand-journal-garbage.txt", "\x7f\x01garbage\n");
    journals.write("stagehand-journal-huge.txt", written, 1LL << 30);
    clearer.kill();

    std::vector<std::string> before = journals.names();
    std::string dry = tool(L"restore --dry-run --json", 1);
    EXPECT_NE(npos, dry.find("\"writerRunning\":false,\"outcome\":\"would restore\",\"shown\":5,\"programs\":4"))
        << dry;
    EXPECT_TRUE(first.noneVisible() && journals.names() == before) << "a dry run changes nothing";

    std::string report = tool(L"restore", 1);
    EXPECT_TRUE(first.allVisible() && second.allVisible() && spare.allVisible() && late.allVisible()) << report;
    EXPECT_FALSE(IsWindowVisible(taken) || IsWindowVisible(reused)) << "another process's, or a later one's";
    std::vector<HWND> all = first.windows();
    all.push_back(second.windows()[0]);
    for (int wait = 0; wait < 100 && GetForegroundWindow() != first.windows()[1]; ++wait)
        Sleep(10);  // Wine settles activation in each program's own time
    EXPECT_TRUE(GetForegroundWindow() == first.windows()[1] && topmost(all) == first.windows()[1])
        << "the foreground window that the journal recorded, on top";
    EXPECT_NE(npos, report.find("skipped 2 windows that are gone or now another program's")) << report;
    std::vector<std::string> kept = {"stagehand-journal-cut.txt.damaged"};
    std::wstring folder = journals.path();
    for (const char* name : damaged) {
        kept.push_back(std::string("stagehand-journal-") + name + ".txt.damaged" + (name[0] == 'c' ? "-2" : ""));
        EXPECT_NE(npos, report.find("Refused the desktop-clearing journal " + std::string(folder.begin(), folder.end()) +
                                    "\\stagehand-journal-" + name + ".txt: "))
            << report;
    }
    kept.push_back(alive + ".damaged");
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, journals.names()) << "the damaged are kept, renamed; the restored are gone";
    EXPECT_NE(npos, report.find("cut.txt: it is cut short or damaged")) << report;
    EXPECT_NE(npos, report.find("version.txt: its version is unknown")) << report;
    EXPECT_NE(npos, report.find("huge.txt: it is larger than 1 MiB")) << report;
    EXPECT_EQ("[]\r\n", tool(L"restore --json")) << "a second restore finds nothing, and exits 0";
    DestroyWindow(taken);
    DestroyWindow(reused);
}

// A render-window program killed while the screen saver was on leaves it off for the session;
// restore switches it on again, unless a running render window holds it off.
TEST(Tool, RestoreSwitchesTheScreenSaverBackOnUnlessARunningWindowHoldsIt)
{
    JournalFolder journals;
    auto active = [] { return ChildProcess(L"helper.exe", L"saver").readLine() == "on"; };
    auto holder = [] {
        auto window = std::make_unique<ChildProcess>(L"helper.exe", L"window");
        EXPECT_TRUE(window->waitFor("ready"));
        return window;
    };
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
    holder()->kill();
    EXPECT_FALSE(active()) << "left off";
    auto second = holder();  // finds it off, and the killed one's journal: it was on
    EXPECT_NE(npos, tool(L"restore").find("restored")) << "the killed one's journal goes";
    EXPECT_FALSE(active()) << "the running window holds it";
    second.reset();
    EXPECT_TRUE(active()) << "until it ends";
    holder()->kill();
    EXPECT_NE(npos, tool(L"restore").find("Switched the screen saver back on."));
    EXPECT_TRUE(active() && journals.names().empty());
}

// A test program that stagehand runs sees the other programs hidden and itself shown, and its
// status comes back; one that hangs is ended at its timeout, after a screenshot; one that
// crashes ends without a dialog. The desktop comes back every time; a command line that
// cannot run changes nothing.
TEST(Tool, RunGivesAnyProgramAPreparedDesktopAndTheDesktopBackHoweverItEnds)
{
    JournalFolder journals;
    HelperWindows bystander(L"helper.exe", L"bystander"), spared(L"spare_helper.exe", L"spared");
    ASSERT_TRUE(bystander.ready() && spared.ready());
    wchar_t temp[MAX_PATH];
    std::wstring folder(temp, GetTempPathW(MAX_PATH, temp)), report = folder + L"run.json", shot = folder + L"run.png";
    std::wstring verify = L"helper.exe verify " + std::to_wstring(reinterpret_cast<ULONG_PTR>(bystander.windows()[0]));
    tool(L"run --spare spare_helper.exe --report \"" + report + L"\" " + verify, 7);
    EXPECT_TRUE(bystander.allVisible() && spared.allVisible());
    HANDLE file = CreateFileW(report.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    std::string text(4096, '\0');
    DWORD read = 0;
    ReadFile(file, &text[0], 4096, &read, nullptr);
    CloseHandle(file);
    nlohmann::json json = nlohmann::json::parse(text.substr(0, read));
    EXPECT_TRUE(json["status"] == 7 && json["ending"] == "exited" && json["hidden"]["windows"] >= 1) << text;

    DWORD start = GetTickCount();
    std::string ended = tool(L"run --timeout 2 --screenshot \"" + shot + L"\" -- helper.exe windows forever", 124);
    EXPECT_TRUE(GetTickCount() - start < 10000 && bystander.allVisible()) << ended;
    file = CreateFileW(shot.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    EXPECT_TRUE(ReadFile(file, &text[0], 8, &read, nullptr) && text.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0);
    CloseHandle(file);
    EXPECT_NE(npos, tool(L"run helper.exe crash", 0xC0000005).find("exited with 3221225477 (0xC0000005)"));
    EXPECT_TRUE(bystander.allVisible());

    const std::pair<const wchar_t*, DWORD> refused[] = {
        {L"run", 125}, {L"run \"\"", 125}, {L"run --timeout x -- helper.exe", 125},
        {L"run --screenshot Z:\\no\\such\\folder.png -- helper.exe", 125}, {L"run -- C:\\windows\\win.ini", 126},
        {L"run -- no_such_program.exe", 127}};
    for (const auto& command : refused) {
        tool(command.first, command.second);
        EXPECT_TRUE(bystander.allVisible());
    }
    EXPECT_TRUE(journals.names().empty());
}

// A killed `stagehand run` takes its test with it; `stagehand restore` gives back the windows
// and the screen saver.
TEST(Tool, AKilledRunTakesItsTestWithItAndRestoreGivesTheDesktopBack)
{
    JournalFolder journals;
    HelperWindows bystander(L"helper.exe", L"bystander");
    ASSERT_TRUE(bystander.ready());
    auto active = [] { return ChildProcess(L"helper.exe", L"saver").readLine() == "on"; };
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
    ChildProcess run(L"stagehand.exe", L"run helper.exe windows victim");
    HWND victim = nullptr;
    for (int wait = 0; wait < 200 && !(victim = FindWindowW(L"helper", L"victim")); ++wait)
        Sleep(20);
    ASSERT_TRUE(victim && bystander.noneVisible() && !active()) << (victim != nullptr) << bystander.noneVisible() << active();
    DWORD pid = 0;
    GetWindowThreadProcessId(victim, &pid);
    HANDLE test = OpenProcess(SYNCHRONIZE, FALSE, pid);
    run.kill();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(test, 5000)) << "the test goes with it";
    CloseHandle(test);
    EXPECT_TRUE(bystander.noneVisible() && !active());
    tool(L"restore");
    EXPECT_TRUE(bystander.allVisible() && active() && journals.names().empty());
}

TEST(Tool, BadInputGetsOneClearLineAndExitCode2)
{
    const char* const cases[][2] = {
        {"demo --adapter \\\\.\\DISPLAY9",
         "unknown adapter id '\\\\.\\DISPLAY9'; the adapter ids are: \\\\.\\DISPLAY1, \\\\.\\DISPLAY2"},
        {"demo --grid 0x3", "the number of rows must be from 1 to 16"},
        {"demo --seconds", "--seconds: 1 required"},
        {"demo --spare \"\"", "--spare: needs an executable name"},
        {"demo --screenshot \"\"", "--screenshot: needs a file name"},
        {"demo --screenshot Z:\\no\\such\\folder.png", "cannot write the screenshot Z:\\no\\such\\folder.png: "},
        {"windows 99999999999", "the pid '99999999999' is out of range"},
        {"windows 12345", "no process has the pid 12345"},  // Wine's pids are multiples of 4
        {"windows no-such-program.exe", "no process named no-such-program.exe"},
        {"dance", "unknown command 'dance'"},
        {"restore --now", "not expected: --now"},
        {"", "Usage: stagehand"},
    };
    for (const auto& c : cases) {
        std::string output = tool(std::wstring(c[0], c[0] + strlen(c[0])), 2);
        EXPECT_TRUE(output.find(c[1]) != npos && output.find("tile ") == npos) << c[0] << ": " << output;
    }
}
