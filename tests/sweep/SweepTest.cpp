// Each call site of each system function stagehand.dll imports fails in turn while the road
// of tests/c/c_road.c runs. After each run: no undocumented exception, everything released
// once, desktop, screen saver and journal folder whole, a changed outcome reported. Cases go
// to sweep-once.txt and sweep-on.txt, which package.failures_table checks docs/failures.md by:
//   FUNCTION@SITE  injected=N  changed=yes|no  reported=N  LOG LINE  LOG LINE ...
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

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace {

// docs/failures.md's table: a name in backticks fails with its row's first number and "error
// N", or throws, or is not swept ("—"); a DLL's name leaves its other imports unswept.
std::map<std::string, ImportSweep::Failure> failureTable(HMODULE module)
{
    std::ifstream docs(STAGEHAND_SOURCE_DIR "/docs/failures.md");
    std::map<std::string, ImportSweep::Failure> known;
    std::set<std::string> skipped;
    bool inTable = false;
    for (std::string line; std::getline(docs, line);) {
        if (line.compare(0, 3, "## ") == 0)
            inTable = line.find("each import") != std::string::npos;
        size_t split = line.find(" | ");
        if (!inTable || line.compare(0, 3, "| `") != 0 || split == std::string::npos)
            continue;
        std::string fails = line.substr(split + 3), error = fails.substr(fails.find("error ") + 6);
        ImportSweep::Failure failure = {static_cast<ULONG_PTR>(std::strtoll(fails.c_str(), nullptr, 0)),
                                        static_cast<DWORD>(std::strtoul(error.c_str(), nullptr, 10)),
                                        fails.compare(0, 6, "throws") == 0};
        for (size_t at = line.find('`'); at < split; at = line.find('`', line.find('`', at + 1) + 1)) {
            std::string name = line.substr(at + 1, line.find('`', at + 1) - at - 1);
            if (fails.compare(0, 3, "—") == 0)
                skipped.insert(name);
            else
                known[name] = failure;
        }
    }
    EXPECT_FALSE(known.empty()) << "no table of how each import fails in docs/failures.md";
    std::map<std::string, ImportSweep::Failure> table;
    forEachImport(module, [&](const char* dll, const char* function, void**) {
        std::string lower(dll);
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        if (known.count(function))
            table[function] = known[function];
        else if (!skipped.count(function) && !skipped.count(lower))
            table[function] = {0, ERROR_ACCESS_DENIED, false};
    });
    return table;
}

const wchar_t* const kClasses[] = {L"road 0", L"road 1", L"road tile 1", L"road tile 2"};

// What a run saw by the test's own means, and the failures the library reported.
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
    ASSERT_NE(nullptr, out) << "cannot write " << testing::PrintToString(besideTests(file));
    std::set<ImportSweep::Site> done;
    for (bool found = true; found;) {
        found = false;
        for (const ImportSweep::Site& site : std::set<ImportSweep::Site>(s_sweep->seen())) {
            if (!done.insert(site).second)
                continue;
            found = true;
            char label[160];
            std::snprintf(label, sizeof label, "%s@%llx", imports[site.first].function.c_str(),
                          static_cast<unsigned long long>(static_cast<BYTE*>(site.second) - base));
            s_sweep->arm(site, mode);
            Outcome run = check(label);
            std::fprintf(out, "%s\tinjected=%u\tchanged=%s\treported=%u", label, s_sweep->injected(),
                         yes(run.observed != m_baseline.observed).c_str(), run.reported);
            for (const std::string& line : run.failures)
                std::fprintf(out, "\t%s", line.c_str());
            std::fprintf(out, "\n");
        }
    }
    std::fclose(out);
    std::printf("%zu call sites of %zu imports failed in turn\n", done.size(), imports.size());
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
