// Each call site of each system function stagehand.dll imports fails in turn while the road
// of tests/c/c_road.c runs, with a subclassed window. After each run: no undocumented
// exception, everything released once, the desktop, screen saver and journal folder whole,
// and a changed outcome reported. Cases go to sweep-once.txt and sweep-on.txt, as
//   FUNCTION@SITE  injected=N  changed=yes|no  reported=N  LOG LINE  LOG LINE ...
// for the package.failures_table test to check docs/failures.md against.
#include <stagehand/DesktopRecovery.h>
#include <stagehand/Genericwindows.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <vela/Exception.h>

#include "c/c_road.h"
#include "support/CallHook.h"
#include "support/HelperWindows.h"
#include "support/ImportSweep.h"
#include "support/JournalFolder.h"
#include "support/LogCapture.h"
#include "support/ReleaseLedger.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <map>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

const ULONG_PTR kInvalidHandle = reinterpret_cast<ULONG_PTR>(INVALID_HANDLE_VALUE);

// The imports whose failure is not 0 with ERROR_ACCESS_DENIED.
const std::pair<const char*, ImportSweep::Failure> kFailures[] = {
    {"CreateFileW", {kInvalidHandle, ERROR_SHARING_VIOLATION, false}},
    {"FindFirstFileW", {kInvalidHandle, ERROR_ACCESS_DENIED, false}},
    {"FindNextFileW", {FALSE, ERROR_ACCESS_DENIED, false}},
    {"GetFileAttributesW", {INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED, false}},
    {"GetSecurityInfo", {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, false}},  // returns its error
    {"SHGetKnownFolderPath", {static_cast<ULONG_PTR>(E_FAIL), ERROR_ACCESS_DENIED, false}},
    {"WaitForSingleObject", {WAIT_FAILED, ERROR_INVALID_HANDLE, false}},
    {"WaitForMultipleObjects", {WAIT_FAILED, ERROR_INVALID_HANDLE, false}},
    {"ResumeThread", {static_cast<ULONG_PTR>(-1), ERROR_ACCESS_DENIED, false}},
    {"K32EnumProcessModules", {FALSE, ERROR_PARTIAL_COPY, false}},
    {"K32GetModuleBaseNameW", {0, ERROR_PARTIAL_COPY, false}},
    {"WriteFile", {FALSE, ERROR_DISK_FULL, false}},
    {"FlushFileBuffers", {FALSE, ERROR_DISK_FULL, false}},
    {"CreateWindowExW", {0, ERROR_NOT_ENOUGH_MEMORY, false}},
    {"RegisterClassExW", {0, ERROR_NOT_ENOUGH_MEMORY, false}},
    {"SetWindowPos", {FALSE, ERROR_INVALID_WINDOW_HANDLE, false}},
    {"malloc", {0, ERROR_NOT_ENOUGH_MEMORY, false}},
    {"calloc", {0, ERROR_NOT_ENOUGH_MEMORY, false}},
    {"realloc", {0, ERROR_NOT_ENOUGH_MEMORY, false}},
    {"_Znwy", {0, ERROR_NOT_ENOUGH_MEMORY, true}},  // operator new
};

// Imports that are not swept, by the reason why.
const std::pair<const char*, const char*> kNotSwept[] = {
    {"GetCurrentProcess GetCurrentProcessId GetCurrentThreadId GetLastError SetLastError GetTickCount GetTickCount64 "
     "Sleep GetErrorMode SetErrorMode GetLengthSid EndPaint", "it cannot fail"},
    {"EqualSid IsIconic IsWindow IsWindowVisible IsZoomed", "its FALSE is an answer"},
    {"GetForegroundWindow GetWindow SetFocus GetConsoleWindow", "null is an answer: none"},
    {"GetWindowThreadProcessId", "0 means the window is gone, which the library takes as it is"},
    {"GetWindowLongW GetWindowLongPtrW", "0 is also a value: a style, user data, an instance"},
    {"GetClassLongPtrW", "it reads the class of the window whose message it is handling, which exists"},
    {"PeekMessageW TranslateMessage", "its FALSE means nothing to take or translate"},
    {"DispatchMessageW DefWindowProcW ShowCursor ShowWindow", "its result is not a failure: the window's, a count, "
                                                               "the visibility before"},
    {"CloseHandle ReleaseDC LocalFree CoTaskMemFree PostQuitMessage", "a failed release leaves nothing to do or "
                                                                     "report; the release ledger proves each one"},
    {"DisableThreadLibraryCalls InitializeCriticalSection DeleteCriticalSection EnterCriticalSection "
     "LeaveCriticalSection TlsGetValue VirtualProtect VirtualQuery IsDBCSLeadByteEx MultiByteToWideChar "
     "WideCharToMultiByte", "the entry point's and the C runtime's, at load or unable to fail"},
};

// Whole DLLs that are not swept, and why.
const std::pair<const char*, const char*> kNotSweptDlls[] = {
    {"vela.dll", "the library's own foundation: tested natively, its allocations failed there"},
    {"libstdc++-6.dll", "the C++ runtime: allocation is swept through operator new"},
    {"libgcc_s_seh-1.dll", "the C++ runtime's unwinding and thread-local storage"},
    {"msvcrt.dll", "the C runtime: allocation is swept through malloc, calloc and realloc; the rest cannot fail"},
};

bool swept(const char* dll, const std::string& function)
{
    for (const auto& entry : kNotSwept)
        if ((" " + std::string(entry.first) + " ").find(" " + function + " ") != std::string::npos)
            return false;
    for (const auto& entry : kNotSweptDlls)
        if (_stricmp(dll, entry.first) == 0)
            return false;
    return true;
}

// How each import of stagehand.dll fails when the sweep makes it fail. An import of a system
// DLL that the tables do not name fails as most Win32 calls do, with 0 (FALSE, NULL) and
// ERROR_ACCESS_DENIED, so that a new import joins the sweep by itself.
std::map<std::string, ImportSweep::Failure> failureTable(HMODULE module)
{
    const std::map<std::string, ImportSweep::Failure> known(std::begin(kFailures), std::end(kFailures));
    std::map<std::string, ImportSweep::Failure> table;
    forEachImport(module, [&](const char* dll, const char* function, void**) {
        auto failure = known.find(function);
        if (failure != known.end())
            table[function] = failure->second;
        else if (swept(dll, function))
            table[function] = {0, ERROR_ACCESS_DENIED, false};
    });
    return table;
}

const wchar_t* const kClasses[] = {L"road 0", L"road 1", L"road tile 1", L"road tile 2"};

// What one run of the road did: what the test saw by its own means, and how many failures
// the library reported by its results and its log lines.
struct Outcome {
    std::vector<std::string> observed;
    unsigned int reported = 0;
    std::vector<std::string> failures;
};

std::string yes(bool value)
{
    return value ? "yes" : "no";
}

class Sweep : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_journals = new JournalFolder();
        s_helper = new HelperWindows(L"helper.exe", L"cleared1 cleared2");
        s_spared = new HelperWindows(L"spare_helper.exe", L"spared");
        // Wine: the process's first window loads the display driver, which reads the screen
        // saver's setting again. Load it before the setting is measured.
        DestroyWindow(probeWindow());
        SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
        // Beneath the sweep's stubs, so that the stubs see the library's own return addresses.
        s_ledger = new ReleaseLedger();
        s_sweep = new ImportSweep(stagehandModule(), failureTable(stagehandModule()));
    }
    static void TearDownTestSuite()
    {
        delete s_spared;
        delete s_helper;
        delete s_journals;
    }

    void road(Outcome& run);
    // Runs the road and checks what must hold after every run.
    Outcome check(const std::string& label);
    // Every call site in turn, those that only failure paths reach found on the way.
    void sweep(ImportSweep::Mode mode, const wchar_t* file);

    static inline JournalFolder* s_journals;
    static inline HelperWindows *s_helper, *s_spared;
    static inline ReleaseLedger* s_ledger;
    static inline ImportSweep* s_sweep;
    Outcome m_baseline;
};

// The road in C, then what only the C++ interface offers: the modules of a process, and a
// window of another class subclassed, its cursor hidden and shown again.
void Sweep::road(Outcome& run)
{
    c_road_report walked = {};
    HWND cleared[2] = {s_helper->windows()[0], s_helper->windows()[1]};
    c_road_walk(s_helper->pid(), cleared, s_spared->windows()[0], &walked);
    run.observed.assign(walked.seen, walked.seen + walked.count);
    run.reported = walked.reported;
    auto report = [&](bool ok) { run.reported += ok ? 0 : 1; };

    stagehand::ProcessModuleEnumerator modules;
    report(modules.enumerate(GetCurrentProcessId()));
    run.observed.push_back("modules " + yes(modules.moduleNames().size() > 3 &&
                                            modules.moduleNames()[0].toUtf8() == "sweep_tests.exe"));
    HWND probe = probeWindow();
    LONG_PTR procedure = GetWindowLongPtrW(probe, GWLP_WNDPROC);
    {
        stagehand::GenericWindows owner;
        report(stagehand::subclassWindow(owner, probe));
        LONG_PTR routed = reinterpret_cast<LONG_PTR>(&stagehand::GenericWindows::messageHandler);
        run.observed.push_back("subclass routed " + yes(GetWindowLongPtrW(probe, GWLP_WNDPROC) == routed));
        owner.turnOffCursor();
        owner.turnOnCursor();
    }
    run.observed.push_back("subclass undone " + yes(GetWindowLongPtrW(probe, GWLP_WNDPROC) == procedure));
    DestroyWindow(probe);
}

Outcome Sweep::check(const std::string& label)
{
    Outcome run;
    {
        s_ledger->forget();
        LogCapture log(vela::LoggerPriority::TRACE);
        try {
            road(run);
        } catch (const vela::NullPointer&) {
            ++run.reported;  // exhausted storage, documented
        } catch (const std::bad_alloc&) {
            ++run.reported;
        } catch (const std::exception& e) {
            ADD_FAILURE() << label << ": an exception the library does not document: " << e.what();
        }
        for (const std::string& line : log.lines)
            if (line[0] >= '3' || line.find("fail") != std::string::npos)
                run.failures.push_back(line);
        s_sweep->disarm();
        // A window whose destruction failed outlives its object: the failure is all it can tell.
        bool destroyFailed = label.compare(0, 14, "DestroyWindow@") == 0;
        EXPECT_TRUE(destroyFailed || s_ledger->allReleased()) << label;
    }
    bool changed = !m_baseline.observed.empty() && run.observed != m_baseline.observed;
    EXPECT_TRUE(!changed || run.reported != 0 || !run.failures.empty())
        << label << ": a failure reported as success: " << testing::PrintToString(run.observed);

    // What a later `stagehand restore` takes, then the desktop must be whole.
    stagehand::DesktopRecovery::restore(false, true);
    BOOL saver = FALSE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &saver, 0);
    std::vector<std::string> left = s_journals->names();
    EXPECT_TRUE(s_helper->allVisible() && s_spared->allVisible() && saver && left.empty())
        << label << ": the desktop is not whole: helper " << s_helper->allVisible() << ", screen saver " << saver
        << ", journals " << testing::PrintToString(left);
    for (HWND window : s_helper->windows())
        ShowWindow(window, SW_SHOW);
    s_ledger->forget();  // and a window that outlived its object, and its class
    for (const wchar_t* name : kClasses)
        UnregisterClassW(name, GetModuleHandleW(nullptr));
    for (const std::string& name : left)
        DeleteFileW(s_journals->file(name).c_str());
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
    return run;
}

void Sweep::sweep(ImportSweep::Mode mode, const wchar_t* file)
{
    const std::vector<ImportSweep::Import>& imports = s_sweep->imports();
    m_baseline = check("no failure");
    ASSERT_EQ(0u, m_baseline.reported) << testing::PrintToString(m_baseline.failures);
    std::vector<std::string> expected(c_road_expected, c_road_expected + C_ROAD_SEEN);
    expected.insert(expected.end(), {"modules yes", "subclass routed yes", "subclass undone yes"});
    ASSERT_EQ(expected, m_baseline.observed) << "the road when nothing fails";
    BYTE* base = reinterpret_cast<BYTE*>(stagehandModule());
    std::FILE* out = _wfopen(besideTests(file).c_str(), L"w");
    std::set<ImportSweep::Site> done;
    unsigned int runs = 0;
    for (bool found = true; found;) {
        found = false;
        std::map<ImportSweep::Site, unsigned int> seen = s_sweep->seen();
        for (const auto& entry : seen) {
            const ImportSweep::Site& site = entry.first;
            if (!done.insert(site).second)
                continue;
            found = true;
            char label[160];
            std::snprintf(label, sizeof label, "%s@%llx", imports[site.first].function.c_str(),
                          static_cast<unsigned long long>(static_cast<BYTE*>(site.second) - base));
            s_sweep->arm(site, mode);
            Outcome run = check(label);
            ++runs;
            std::fprintf(out, "%s\tinjected=%u\tchanged=%s\treported=%u", label, s_sweep->injected(),
                         yes(run.observed != m_baseline.observed).c_str(), run.reported);
            for (const std::string& line : run.failures)
                std::fprintf(out, "\t%s", line.c_str());
            std::fprintf(out, "\n");
        }
    }
    std::fclose(out);
    std::printf("%u runs over %zu call sites of %zu imports\n", runs, done.size(), imports.size());
}

}  // namespace

TEST_F(Sweep, EveryCallSiteFailingOnceLeavesTheDesktopWhole)
{
    sweep(ImportSweep::ONCE, L"sweep-once.txt");
}

TEST_F(Sweep, EveryCallSiteFailingFromItsFirstCallOnLeavesTheDesktopWhole)
{
    sweep(ImportSweep::FROM_THEN_ON, L"sweep-on.txt");
}
