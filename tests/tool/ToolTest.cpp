// stagehand.exe driven as a user drives it on the Wine desktop. (The demo checks itself.)
#include "support/HelperWindows.h"
#include "support/JournalFolder.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

const size_t npos = std::string::npos;

// The output of a run of the tool (standard output and error), which must exit with `code`.
static std::string tool(const std::wstring& arguments, DWORD code = 0)
{
    ChildProcess run(L"stagehand.exe", arguments);
    std::string output = run.readAll();
    EXPECT_EQ(code, run.exitCode()) << output;
    return output;
}

// The first 4 KiB of a file, which is then deleted.
static std::string take(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    std::string text(4096, '\0');
    DWORD read = 0;
    ReadFile(file, &text[0], 4096, &read, nullptr);
    CloseHandle(file);
    return text.substr(0, read);
}

TEST(Tool, ListsTheMonitorsTheProcessesAndTheWindowsOfAProgram)
{
    const std::wstring named = L"\u00fcn\u00ef_\U0001F600_it's.exe";  // the helper, copied (build output)
    CopyFileW(besideTests(L"helper.exe").c_str(), besideTests(named).c_str(), FALSE);
    HelperWindows helper(named, L"first second hidden"), hung(L"hung_helper.exe", L"frozen", L"hung");
    ASSERT_TRUE(helper.ready() && hung.ready());
    ShowWindow(helper.windows()[0], SW_MAXIMIZE);
    ShowWindow(helper.windows()[2], SW_HIDE);
    std::string monitors = tool(L"monitors --json");
    EXPECT_NE(npos, monitors.find(R"("adapter":"\\\\.\\DISPLAY2","monitor":{"left":1920,"top":0,)")) << monitors;
    SetEnvironmentVariableW(L"VELA_LOG_PRIORITY", L"1");  // the tool's log priority, read when it first logs
    std::string processes = tool(L"processes --json");
    SetEnvironmentVariableW(L"VELA_LOG_PRIORITY", nullptr);
    EXPECT_NE(npos, processes.find("\"pid\":" + std::to_string(helper.pid()) + ",\"executable\":\"" +
                                   "\u00fcn\u00ef_\U0001F600_it's.exe\",\"windows\":2}"));
    EXPECT_NE(npos, processes.find("1 stagehand.ProcessEnumerator: enter enumerate ")) << "traced";
    SetWindowTextW(helper.windows()[1], L"q\"b\\c\x01\n\u2028\U0001F600\xD800!");
    nlohmann::json windows = nlohmann::json::parse(tool(L"windows \"" + named + L"\" --json"));
    ASSERT_EQ(2u, windows.size());
    for (const nlohmann::json& window : windows) {
        bool second = window["handle"] == reinterpret_cast<ULONG_PTR>(helper.windows()[1]);
        EXPECT_EQ(second ? "q\"b\\c\x01\n\u2028\U0001F600\uFFFD!" : "first", window["title"]) << "an unpaired surrogate is U+FFFD";
        EXPECT_TRUE(second ? window["showState"] == 1 && window["state"] == "normal"
                           : window["showState"] == 3 && window["state"] == "maximized") << window;
    }
    std::string table = tool(L"windows " + std::to_wstring(helper.pid()));
    EXPECT_NE(npos, table.find("q\"b\\c\\u0001\\n\u2028")) << "control characters escaped: one row a window";
    EXPECT_NE(npos, tool(L"windows hung_helper.exe").find("frozen"));
}

// Beside a killed run's journals: one naming windows since taken by another process or by a
// later one with the recorded pid, damaged ones, and one the run may be writing.
TEST(Tool, RestoreShowsWhatAKilledTestProgramHidAndRefusesDamagedJournals)
{
    JournalFolder journals;
    HelperWindows first(L"helper.exe", L"one two"), second(L"helper.exe", L"three");
    HelperWindows spare(L"spare_helper.exe", L"four");
    HelperWindows hung(L"hung_helper.exe", L"frozen", L"hung");  // holds up neither the clearing nor restore
    ASSERT_TRUE(first.ready() && second.ready() && spare.ready() && hung.ready() && activate(first.windows()[1]));
    ChildProcess clearer(L"stagehand.exe", L"run --spare spare_helper.exe -- helper.exe windows test");
    for (int wait = 0; wait < 200 && !second.noneVisible(); ++wait)
        Sleep(20);
    ASSERT_TRUE(first.noneVisible() && second.noneVisible() && spare.allVisible());
    std::string journal = journals.names()[0];  // the desktop's, before the screen saver's
    std::string written = journals.read(journal);
    std::string alive = journal.substr(0, journal.rfind('-')) + "-99.txt";  // the run's name, not yet written
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
    const std::tuple<std::string, std::string, std::string> damaged[] = {
        {"cut", written.substr(0, written.size() / 2), "it is cut short or damaged"},
        {"version", "stagehand desktop journal 2\n" + dead + "end 0\n", "its version is unknown"},
        {"garbage", "\x7f\x01garbage\n", "it is not a desktop-clearing journal"},
        {"huge", written + std::string(1 << 20, '\n'), "it is larger than 1 MiB"}};
    std::vector<std::string> kept = {"stagehand-journal-cut.txt.damaged", alive + ".damaged"};
    for (const auto& [name, text, why] : damaged) {
        journals.write("stagehand-journal-" + name + ".txt", text);
        kept.push_back("stagehand-journal-" + name + ".txt.damaged" + (name == "cut" ? "-2" : ""));
    }
    journals.write("stagehand-journal-cut.txt.damaged", "");  // a damaged one of before
    clearer.kill();

    std::vector<std::string> before = journals.names();
    std::string dry = tool(L"restore --dry-run --json", 1);
    EXPECT_NE(npos, dry.find("\"writerRunning\":false,\"outcome\":\"would restore\",\"shown\":4,\"programs\":3"))
        << dry;
    EXPECT_TRUE(first.noneVisible() && journals.names() == before) << "a dry run changes nothing";

    std::string report = tool(L"restore", 1);
    EXPECT_TRUE(first.allVisible() && second.allVisible() && spare.allVisible()) << report;
    EXPECT_FALSE(IsWindowVisible(taken) || IsWindowVisible(reused)) << "another process's, or a later one's";
    std::vector<HWND> all = first.windows();
    all.push_back(second.windows()[0]);
    for (int wait = 0; wait < 100 && GetForegroundWindow() != first.windows()[1]; ++wait)
        Sleep(10);  // Wine settles activation in each program's own time
    EXPECT_TRUE(GetForegroundWindow() == first.windows()[1] && topmost(all) == first.windows()[1])
        << "the foreground window that the journal recorded, on top";
    EXPECT_NE(npos, report.find("skipped 2 windows that are gone or now another program's")) << report;
    std::wstring folder = journals.path();
    for (const auto& [name, text, why] : damaged)
        EXPECT_NE(npos, report.find("Refused the desktop-clearing journal " + std::string(folder.begin(), folder.end()) +
                                    "\\stagehand-journal-" + name + ".txt: " + why))
            << report;
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, journals.names()) << "the damaged are kept, renamed; the restored are gone";
    EXPECT_EQ("[]\r\n", tool(L"restore --json")) << "a second restore finds nothing, and exits 0";
    DestroyWindow(taken);
    DestroyWindow(reused);
}

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
    nlohmann::json json = nlohmann::json::parse(take(report));
    EXPECT_TRUE(json["status"] == 7 && json["ending"] == "exited" && json["hidden"]["windows"] >= 1) << json;

    DWORD start = GetTickCount();
    std::string ended = tool(L"run --timeout 2 --screenshot \"" + shot + L"\" -- helper.exe windows forever", 124);
    EXPECT_TRUE(GetTickCount() - start < 10000 && bystander.allVisible()) << ended;
    EXPECT_EQ(0u, take(shot).find("\x89PNG\r\n\x1a\n"));
    EXPECT_NE(npos, tool(L"run helper.exe crash", 0xC0000005).find("exited with 3221225477 (0xC0000005)"));
    EXPECT_TRUE(bystander.allVisible());

    // Bad input: one clear line and exit code 2; a command line that cannot run: 125 to 127.
    const std::tuple<const char*, DWORD, const char*> refused[] = {
        {"demo --adapter \\\\.\\DISPLAY9", 2,
         "unknown adapter id '\\\\.\\DISPLAY9'; the adapter ids are: \\\\.\\DISPLAY1, \\\\.\\DISPLAY2"},
        {"demo --grid 0x3", 2, "the number of rows must be from 1 to 16"},
        {"demo --spare \"\"", 2, "--spare: needs an executable name"},
        {"demo --screenshot Z:\\no\\such\\folder.png", 2, "cannot write the screenshot Z:\\no\\such\\folder.png: "},
        {"windows 99999999999", 2, "the pid '99999999999' is out of range"},
        {"windows 12345", 2, "no process has the pid 12345"},  // Wine's pids are multiples of 4
        {"dance", 2, "unknown command 'dance'"},
        {"", 2, "Usage: stagehand"},
        {"run", 125, ""},
        {"run --timeout x -- helper.exe", 125, ""},
        {"run --screenshot Z:\\no\\such\\folder.png -- helper.exe", 125, "cannot write the screenshot"},
        {"run -- C:\\windows\\win.ini", 126, ""},
        {"run -- no_such_program.exe", 127, ""},
    };
    for (const auto& [arguments, code, says] : refused) {
        std::string output = tool(std::wstring(arguments, arguments + strlen(arguments)), code);
        EXPECT_NE(npos, output.find(says)) << arguments << ": " << output;
    }
    EXPECT_TRUE(bystander.allVisible() && spared.allVisible()) << "nothing changed";
    EXPECT_TRUE(journals.names().empty());

    // Killed, it takes its test with it; restore gives the screen saver back once no render
    // window holds it off.
    auto active = [] { return ChildProcess(L"helper.exe", L"saver").readLine() == "on"; };
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
    ChildProcess run(L"stagehand.exe", L"run helper.exe windows victim");
    HWND victim = nullptr;
    for (int wait = 0; wait < 200 && !(victim = FindWindowW(L"helper", L"victim")); ++wait)
        Sleep(20);
    ASSERT_TRUE(victim && bystander.noneVisible() && spared.noneVisible() && !active());
    DWORD pid = 0;
    GetWindowThreadProcessId(victim, &pid);
    HANDLE test = OpenProcess(SYNCHRONIZE, FALSE, pid);
    run.kill();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(test, 5000)) << "the test goes with it";
    CloseHandle(test);
    {
        ChildProcess window(L"helper.exe", L"window");  // finds the screen saver off, and the run's journal: it was on
        ASSERT_TRUE(window.waitFor("ready"));
        EXPECT_NE(npos, tool(L"restore").find("restored"));
        EXPECT_TRUE(bystander.allVisible() && spared.allVisible() && !active()) << "a running window holds the saver off";
    }
    EXPECT_TRUE(active() && journals.names().empty()) << "until it ends";
}
