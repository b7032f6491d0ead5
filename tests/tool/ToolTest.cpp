// stagehand.exe driven as a user drives it on the Wine desktop. (The demo checks itself.)
#include "display/RegistryModes.h"
#include "support/HelperWindows.h"
#include "support/JournalFolder.h"

#include <windows.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <memory>
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

// A file's text (its first 64 KiB; "" when there is none), and a file written anew.
static std::string readFile(const char* name)
{
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string text(1 << 16, '\0');
    DWORD read = 0;
    ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    return text.substr(0, read);
}

// The second monitor's rectangle. (Under Wine, a process goes on reading the display mode it
// last saw when another process changes it; the monitors' rectangles follow.)
static std::string secondMonitor()
{
    return monitorAt({1920, 0});
}

static void writeFile(const char* name, const std::string& text)
{
    HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

TEST(Tool, ListsTheMonitorsTheProcessesAndTheWindowsOfAProgram)
{
    const std::wstring named = L"\u00fcn\u00ef_\U0001F600_it's.exe";  // the helper, copied (build output)
    CopyFileW(besideTests(L"helper.exe").c_str(), besideTests(named).c_str(), FALSE);
    HelperWindows helper(named, L"first second hidden"), hung(L"hung_helper.exe", L"frozen", L"hung");
    ASSERT_TRUE(helper.ready());
    ASSERT_TRUE(hung.ready());
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
        EXPECT_EQ(second ? 1 : 3, window["showState"].get<int>()) << window;
        EXPECT_EQ(second ? "normal" : "maximized", window["state"]) << window;
    }
    nlohmann::ordered_json modes = nlohmann::ordered_json::parse(tool(L"modes --json"));
    ASSERT_EQ(2u, modes.size());
    EXPECT_EQ(0u, modes[1].dump().find(R"({"adapter":"\\\\.\\DISPLAY2","current":{"width":1280,"height":1024,)"
                                       R"("refresh":60,"bitsPerPixel":32},"modes":[{"width":640,)"));
    std::string table = tool(L"modes \\\\.\\display2");
    EXPECT_NE(npos, table.find("\\\\.\\DISPLAY2     1280x1024@60 32bpp   yes\r\n")) << table;
    table = tool(L"windows " + std::to_wstring(helper.pid()));
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
    for (const HelperWindows* helper : {&first, &second, &spare, &hung})
        ASSERT_TRUE(helper->ready());
    ASSERT_TRUE(activate(first.windows()[1]));
    ChildProcess clearer(L"stagehand.exe", L"run --spare SPARE_HELPER -- helper.exe windows test");
    for (int wait = 0; wait < 200 && !(first.noneVisible() && second.noneVisible()); ++wait)
        Sleep(20);
    ASSERT_EQ("four", shown({&first, &second, &spare}));
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
    EXPECT_EQ("", shown({&first})) << "a dry run changes nothing";
    EXPECT_EQ(before, journals.names());

    std::string report = tool(L"restore", 1);
    EXPECT_EQ("one two three four", shown({&first, &second, &spare})) << report;
    EXPECT_FALSE(IsWindowVisible(taken)) << "another process's";
    EXPECT_FALSE(IsWindowVisible(reused)) << "a later one's";
    std::vector<HWND> all = first.windows();
    all.push_back(second.windows()[0]);
    for (int wait = 0; wait < 100 && GetForegroundWindow() != first.windows()[1]; ++wait)
        Sleep(10);  // Wine settles activation in each program's own time
    EXPECT_EQ(first.windows()[1], GetForegroundWindow()) << "the foreground window that the journal recorded";
    EXPECT_EQ(0u, stacking(all).find("two")) << stacking(all) << ": the foreground window on top";
    EXPECT_NE(npos, report.find("skipped 2 windows that are gone or now another program's")) << report;
    std::wstring folder = journals.path();
    for (const auto& [name, text, why] : damaged)
        EXPECT_NE(npos, report.find("Refused the desktop-clearing journal " + std::string(folder.begin(), folder.end()) +
                                    "\\stagehand-journal-" + name + ".txt: " + why))
            << report;
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, journals.names()) << "the damaged are kept, renamed; the restored are gone";
    const std::wstring held = journals.file("stagehand-journal-1-1-2.txt");  // a dead writer's, held unshared
    journals.write("stagehand-journal-1-1-2.txt", "");
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string unopened = tool(L"restore", 1);
    EXPECT_NE(npos, unopened.find("it cannot be opened")) << unopened;
    EXPECT_NE(npos, unopened.find("Kept 1 journal, for the problem its row names.")) << unopened;
    CloseHandle(holder);
    DeleteFileW(held.c_str());
    CreateDirectoryW((folder + L"\\stagehand-journal-folder.txt").c_str(), nullptr);  // no journal, though named like one
    EXPECT_EQ("[]\r\n", tool(L"restore --json")) << "a second restore finds nothing, and exits 0";
    RemoveDirectoryW((folder + L"\\stagehand-journal-folder.txt").c_str());
    DestroyWindow(taken);
    DestroyWindow(reused);
}

// An XML file's attributes ("testcase@name") and texts ("system-err") by element, as XmlLite
// reads them; empty when the file is not well-formed.
static std::map<std::string, std::string> readXml(const std::string& text)
{
    auto create = reinterpret_cast<HRESULT(WINAPI*)(REFIID, void**, IMalloc*)>(
        GetProcAddress(LoadLibraryW(L"xmllite.dll"), "CreateXmlReader"));
    IXmlReader* reader = nullptr;
    if (!create || FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader), nullptr)))
        return {};
    IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(text.data()), static_cast<UINT>(text.size()));
    reader->SetInput(stream);
    auto got = [reader](HRESULT (STDMETHODCALLTYPE IXmlReader::*part)(const WCHAR**, UINT*)) {
        const WCHAR* value = L"";
        (reader->*part)(&value, nullptr);
        return std::string(value, value + lstrlenW(value));  // ASCII here
    };
    std::map<std::string, std::string> read;
    std::string element;
    XmlNodeType type;
    HRESULT more;
    while ((more = reader->Read(&type)) == S_OK) {
        if (type == XmlNodeType_Element)
            element = got(&IXmlReader::GetLocalName);
        for (HRESULT a = type == XmlNodeType_Element ? reader->MoveToFirstAttribute() : S_FALSE; a == S_OK;
             a = reader->MoveToNextAttribute())
            read[element + "@" + got(&IXmlReader::GetLocalName)] = got(&IXmlReader::GetValue);
        if (type == XmlNodeType_Text)
            read[element] += got(&IXmlReader::GetValue);
    }
    reader->Release();
    stream->Release();
    return FAILED(more) ? std::map<std::string, std::string>() : read;
}

// The whole desktop walk and the foreground window, once activation has settled on `expected`
// (Wine settles it in each program's own time).
static std::pair<std::string, HWND> desktop(const std::pair<std::string, HWND>& expected = {})
{
    auto now = [] { return std::make_pair(desktopWalk(), GetForegroundWindow()); };
    for (int wait = 0; wait < 100 && expected.second && now() != expected; ++wait)
        Sleep(10);
    return now();
}

// A console event as the console delivers one: a thread of the process's own at CtrlRoutine.
static void consoleEvent(DWORD pid, DWORD event)
{
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine"));
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, routine, reinterpret_cast<void*>(ULONG_PTR(event)), 0, nullptr);
    EXPECT_NE(nullptr, thread);
    CloseHandle(thread);
    CloseHandle(process);
}

TEST(Tool, RunGivesAnyProgramAPreparedDesktopAndTheDesktopBackHoweverItEnds)
{
    JournalFolder journals;
    HelperWindows bystander(L"helper.exe", L"bystander"), spared(L"spare_helper.exe", L"spared");
    ASSERT_TRUE(bystander.ready());
    ASSERT_TRUE(spared.ready());
    const std::string verify = "helper.exe verify " + std::to_string(reinterpret_cast<ULONG_PTR>(bystander.windows()[0]));
    ASSERT_TRUE(activate(bystander.windows()[0]));
    const auto before = desktop();
    const std::string version = tool(L"--version");
    // Each row's message and status, and for `run` its outcome in the reports, which every
    // run row asks for: over files that stay as they were where the command line is refused,
    // as a screenshot stays where none is taken. A "!" row gets Ctrl+C once its program is up.
    const std::tuple<std::string, DWORD, std::string, const char*> rows[] = {
        {"demo --adapter \\\\.\\DISPLAY9", 2,
         "unknown adapter id '\\\\.\\DISPLAY9'; the adapter ids are: \\\\.\\DISPLAY1, \\\\.\\DISPLAY2", nullptr},
        {"demo --grid 0x3", 2, "the number of rows must be from 1 to 16", nullptr},
        {"demo --spare \"\"", 2, "--spare: needs an executable name", nullptr},
        {"demo --screenshot Z:\\no\\such\\folder.png", 2, "cannot write the screenshot Z:\\no\\such\\folder.png: ", nullptr},
        {"windows 99999999999", 2, "the pid '99999999999' is out of range", nullptr},
        {"windows 12345", 2, "no process has the pid 12345", nullptr},  // Wine's pids are multiples of 4
        {"modes \\\\.\\DISPLAY9", 2, "unknown adapter id '\\\\.\\DISPLAY9'; the adapter ids are: ", nullptr},
        {"dance", 2, "unknown command 'dance'", nullptr},
        {"", 2, "Usage: stagehand", nullptr},
        {"run", 125, "run needs a program", nullptr},
        {"run --timeout x -- helper.exe", 125, "--timeout: Value x not in range 1 to 604800", nullptr},
        {"run --timout 5 helper.exe", 125, "not expected: --timout", nullptr},
        {"run --screenshot run.png helper.exe", 125, "--screenshot needs --timeout", nullptr},
        {"run --mode 1024x768 helper.exe", 125, "--mode: '1024x768' is not ADAPTER=WIDTHxHEIGHT[@HZ]", nullptr},
        {"run --mode \\\\.\\DISPLAY2=1024x768 stagehand.exe monitors", 0, "\\\\.\\DISPLAY2     1920,0,2944,768 ", "exited"},
        {"run --mode \\\\.\\DISPLAY2=1000x700 helper.exe", 125,
         "was not run: \\\\.\\DISPLAY2 does not list 1000x700; the nearest listed modes are 1024x768@60,", "failed"},
        {"run --mode \\\\.\\DISPLAY9=1024x768 helper.exe", 125, "no monitor has the adapter id \\\\.\\DISPLAY9", "failed"},
        {"run --mode \\\\.\\DISPLAY2=1024x768 --mode \\\\.\\display2=800x600 helper.exe", 125,
         "was not run: two display modes for \\\\.\\display2", "failed"},
        {"run --spare notepad --spare Z:\\x\\SPARE_HELPER " + verify, 7,
         "--spare notepad matches no running program\r\nstagehand run: helper.exe exited with 7 after ", "exited"},
        {"run --timeout 2 --screenshot run.png -- helper.exe windows forever", 124, "was ended at its timeout of 2 s",
         "timedOut"},
        {"run --timeout 60 --screenshot run.png helper.exe crash -- helper.exe saver", 0xC0000005,
         "exited with 3221225477 (0xC0000005)", "exited"},
        {"run --screenshot Z:\\no\\such\\folder.png --timeout 5 -- helper.exe", 125,
         "was not run: cannot write the screenshot Z:\\no\\such\\folder.png: ", "failed"},
        {"run -- C:\\windows\\win.ini", 126, "could not be started: Bad EXE format for C:\\windows\\win.ini", "notStarted"},
        {"run no_such_program.exe", 127, "no_such_program.exe was not found", "notFound"},
        {"!run helper.exe windows forever", 130, "helper.exe was interrupted and ended after ", "interrupted"},
    };
    for (const auto& [row, code, says, outcome] : rows) {
        for (const char* file : {"run.json", "run.xml", "run.png"})
            writeFile(file, "old");
        std::string line = row.substr(row[0] == '!');
        if (line.compare(0, 3, "run") == 0)
            line.insert(3, " --report run.json --junit run.xml");
        ChildProcess run(L"stagehand.exe", std::wstring(line.begin(), line.end()));
        if (row[0] == '!' && run.waitFor("ready"))
            consoleEvent(run.pid(), CTRL_C_EVENT);
        std::string output = run.readAll();
        EXPECT_EQ(code, run.exitCode()) << row << ": " << output;
        EXPECT_NE(npos, output.find(says)) << row << ": " << output;
        EXPECT_EQ(before, desktop(before)) << row << ": every window shown in its place, and the foreground";
        EXPECT_EQ("1920,0,3200,1024", secondMonitor()) << row;
        bool shot = line.find("--timeout 2 ") != npos;
        EXPECT_EQ(shot ? "\x89PNG" : "old", readFile("run.png").substr(0, 4)) << row;
        if (!outcome) {
            EXPECT_EQ("oldold", readFile("run.json") + readFile("run.xml")) << row;
            continue;
        }
        nlohmann::json json = nlohmann::json::parse(readFile("run.json"));
        std::map<std::string, std::string> xml = readXml(readFile("run.xml"));
        bool exited = outcome == std::string("exited");
        std::string summary = json["summary"];
        EXPECT_EQ(outcome, json["outcome"]) << row;
        EXPECT_EQ(code, json["status"]) << row;
        EXPECT_EQ(exited ? nlohmann::json(code) : nlohmann::json(), json["exitCode"]) << row;
        EXPECT_EQ(version, "stagehand " + json["version"].get<std::string>() + "\r\n");
        EXPECT_NE(npos, output.find("stagehand run: " + summary + "\r\n")) << output;
        EXPECT_EQ(json["program"], xml["testcase@name"]) << row;
        EXPECT_EQ(!exited ? "01" : code ? "10" : "00", xml["testsuite@failures"] + xml["testsuite@errors"]) << row;
        if (!exited || code) {
            EXPECT_NE(npos,
                      xml[exited ? "failure@message" : "error@message"].find("(status " + std::to_string(code) + ")"))
                << row;
        }
        EXPECT_EQ(shot ? summary + "\n[[ATTACHMENT|" + json["screenshot"]["path"].get<std::string>() + "]]" : summary,
                  xml["system-err"]) << row;
        EXPECT_GE(json["seconds"].get<double>(), row[0] == '!' ? 2.0 : 0.0) << "the program's grace";
        EXPECT_EQ(line.find("--spare") == npos ? nlohmann::json::array() : nlohmann::json::parse(R"([
            {"name": "notepad", "matched": false, "programs": []},
            {"name": "Z:\\x\\SPARE_HELPER", "matched": true, "programs": ["spare_helper.exe"]}])"), json["spared"]);
        EXPECT_EQ(code == 0 && line.find("--mode") != npos ? nlohmann::json::parse(R"([{"adapter": "\\\\.\\DISPLAY2",
            "width": 1024, "height": 768, "refresh": 60, "bitsPerPixel": 32}])") : nlohmann::json::array(), json["modes"]);
    }
    EXPECT_TRUE(journals.names().empty());
    for (const char* file : {"run.json", "run.xml", "run.png"})
        DeleteFileA(file);

    // Killed, it takes its test with it and leaves no report half written; restore gives the
    // screen saver back once no render window holds it off.
    auto active = [] { return ChildProcess(L"helper.exe", L"saver").readLine() == "on"; };
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
    RegistryModes registry;
    ChildProcess run(L"stagehand.exe",
                     L"run --report run.json --mode \\\\.\\DISPLAY2=1024x768 helper.exe windows victim");
    HWND victim = nullptr;
    for (int wait = 0; wait < 200 && !(victim = FindWindowW(L"helper", L"victim")); ++wait)
        Sleep(20);
    ASSERT_NE(nullptr, victim);
    ASSERT_EQ("", shown({&bystander, &spared}));
    ASSERT_FALSE(active());
    EXPECT_EQ("1920,0,2944,768", secondMonitor());
    DWORD pid = 0;
    GetWindowThreadProcessId(victim, &pid);
    HANDLE test = OpenProcess(SYNCHRONIZE, FALSE, pid);
    run.kill();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(test, 5000)) << "the test goes with it";
    CloseHandle(test);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(("run.json." + std::to_string(run.pid()) + ".tmp").c_str()));
    {
        ChildProcess window(L"helper.exe", L"window");  // finds the screen saver off, and the run's journal: it was on
        ASSERT_TRUE(window.waitFor("ready"));
        std::string restored = tool(L"restore");
        EXPECT_NE(npos, restored.find("Gave back the display mode of 1 adapter.")) << restored;
        EXPECT_EQ("1920,0,3200,1024", secondMonitor());
        EXPECT_EQ("bystander spared", shown({&bystander, &spared}));
        EXPECT_FALSE(active()) << "a running window holds the saver off";
    }
    EXPECT_TRUE(active()) << "until it ends";
    EXPECT_EQ(std::vector<std::string>(), journals.names());

    // With no other holder, restore alone switches it back on, as a fresh process reads it.
    ChildProcess again(L"stagehand.exe", L"run helper.exe windows again");
    for (int wait = 0; wait < 200 && !FindWindowW(L"helper", L"again"); ++wait)
        Sleep(20);
    ASSERT_FALSE(active());
    again.kill();
    EXPECT_NE(npos, tool(L"restore").find("Switched the screen saver back on"));
    EXPECT_TRUE(active());
}

// One run holds the desktop at a time: a second waits for it, never hiding the first's window,
// or gives up naming the holder; a program the run started clears within its hold; and the
// run after one killed with the desktop gives back what that one left, then runs.
TEST(Tool, RunsTakeTheDesktopInTurnAndAfterAHolderThatDied)
{
    JournalFolder journals;
    HelperWindows bystanders(L"helper.exe", L"b1 b2");
    const std::wstring verify = L"helper.exe verify " + std::to_wstring(reinterpret_cast<ULONG_PTR>(bystanders.windows()[0]));
    ASSERT_TRUE(activate(bystanders.windows()[1]));
    const auto order = desktop();
    RegistryModes registry;
    auto holding = [](const wchar_t* title, const std::wstring& options = L"") {
        ChildProcess* run = new ChildProcess(L"stagehand.exe", L"run " + options + L"helper.exe windows " + title);
        for (int wait = 0; wait < 200 && !FindWindowW(L"helper", title); ++wait)
            Sleep(20);
        return std::unique_ptr<ChildProcess>(run);
    };
    std::unique_ptr<ChildProcess> first = holding(L"first");
    ChildProcess second(L"stagehand.exe", L"run --wait 30 " + verify), stopped(L"stagehand.exe", L"run " + verify);
    DWORD start = GetTickCount();
    std::string busy = tool(L"run --wait 1 " + verify, 125);
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_NE(npos, busy.find("was not run: the desktop is held by stagehand.exe (pid " + std::to_string(first->pid())))
        << busy;
    consoleEvent(stopped.pid(), CTRL_C_EVENT);  // Ctrl+C ends a wait for the desktop
    std::string interrupted = stopped.readAll();
    EXPECT_EQ(130u, stopped.exitCode()) << interrupted;
    EXPECT_NE(npos,
              interrupted.find("helper.exe was interrupted while it waited for the desktop, held by stagehand.exe"))
        << interrupted;
    EXPECT_EQ(STILL_ACTIVE, second.exitCode()) << "it waits";
    ChildProcess busyInC(L"helper.exe", L"nested");  // not the run's: it may not clear
    std::string said = busyInC.readAll();
    EXPECT_NE(npos, said.find("\nstagehand_hide_all: the desktop is held by stagehand.exe (pid " +
                              std::to_string(first->pid())))
        << said;
    EXPECT_EQ(14u, busyInC.exitCode()) << "STAGEHAND_DESKTOP_BUSY";
    EXPECT_TRUE(IsWindowVisible(FindWindowW(L"helper", L"first"))) << "and hides nothing of the holder's";
    const DWORD pid = first->pid();
    first.reset();  // its program ends at the end of its input: the run gives the desktop back
    std::string ran = second.readAll();
    EXPECT_EQ(7u, second.exitCode()) << "then it ran, with the bystanders hidden: " << ran;
    size_t waiting =
        ran.find("441 Waiting for the desktop, held by stagehand.exe (pid " + std::to_string(pid) + ") since ");
    EXPECT_NE(npos, waiting) << ran;
    EXPECT_EQ(npos, ran.find("441 ", waiting + 4)) << "said once: " << ran;
    EXPECT_EQ(0u, ChildProcess(L"stagehand.exe", L"run --wait 0 helper.exe nested").readAll().find(
                      "stagehand run: helper.exe exited with 0 "));
    EXPECT_EQ(order, desktop(order));

    std::unique_ptr<ChildProcess> killed = holding(L"killed", L"--mode \\\\.\\DISPLAY2=1024x768 ");
    ASSERT_TRUE(bystanders.noneVisible());
    killed->kill();
    std::string next = tool(L"run --wait 5 " + verify, 7);
    EXPECT_NE(npos, next.find("443 Test programs that ended left 2 windows of 1 program hidden, the screen saver off, "
                              "display modes changed: they are given back before the desktop is taken"))
        << next;
    EXPECT_EQ(order, desktop(order));
    EXPECT_EQ("1920,0,3200,1024", secondMonitor());
    EXPECT_EQ(std::vector<std::string>(), journals.names());
}
