// Each call site of each system function stagehand.dll imports fails in turn while the road of
// tests/c/c_road.c runs. After each run: no undocumented exception, everything released once,
// desktop, screen saver and journals whole, the failure answered. Cases go to sweep-once.txt
// and sweep-on.txt, which package.failures_table checks docs/failures.md by:
//   FUNCTION@SITE in CALLER  injected=N  changed=yes|no  reported=N  answered=HOW  LOG LINE ...
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

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace {

// The first group of each match of `pattern` in `text`.
std::vector<std::string> matches(const std::string& text, const char* pattern)
{
    std::vector<std::string> all;
    std::regex expression(pattern);
    for (std::sregex_iterator match(text.begin(), text.end(), expression), end; match != end; ++match)
        all.push_back((*match)[1]);
    return all;
}

// What docs/failures.md says of the imports of stagehand.dll.
struct Docs {
    std::map<std::string, ImportSweep::Failure> failures;  // how each swept one fails
    std::map<std::string, std::set<std::string>> lines;    // the log prefixes ("MonitorInfo: 22 ") of its rows
    std::set<std::string> silent, offRoad;                 // "F in CALLER": a row with no log line names its sites
};

// A row that names "sweep: F" gives F its log lines; one with no log line names the sites that
// recover silently, "sweep: F in CALLER". The table of how each import fails gives a name in
// backticks its row's first number and "error N", or a throw, or no sweep ("—"); a DLL's name
// leaves its other imports unswept. The table of call sites off the road gives a reason each.
Docs readDocs(HMODULE module)
{
    std::ifstream file(STAGEHAND_SOURCE_DIR "/docs/failures.md");
    Docs docs;
    std::set<std::string> skipped;
    std::string section;
    for (std::string line; std::getline(file, line);) {
        section = line.compare(0, 3, "## ") == 0 ? line : section;
        std::vector<std::string> cells = matches(line, "\\| *([^|]*?) *(?=\\|)");
        std::vector<std::string> names = matches(cells.empty() ? "" : cells[0], "`([^`]+)`");
        if (line[0] != '|' || cells.size() < 3) {
        } else if (section == "## Call sites off the road" && !names.empty() && !cells[2].empty()) {
            for (const std::string& caller : matches(cells[1], "`([^`]+)`"))
                docs.offRoad.insert(names[0] + " in " + caller);
        } else if (section.find("each import") != std::string::npos) {
            ImportSweep::Failure failure = {
                static_cast<ULONG_PTR>(std::strtoll(cells[1].c_str(), nullptr, 0)),
                static_cast<DWORD>(std::strtoul(cells[1].c_str() + cells[1].find("error ") + 6, nullptr, 10)),
                cells[1].compare(0, 6, "throws") == 0};
            for (const std::string& name : names)
                cells[1] == "—" ? void(skipped.insert(name)) : void(docs.failures[name] = failure);
        } else {
            for (const std::string& sweep : matches(cells.back(), "sweep: ([A-Za-z0-9_]+( in [A-Za-z0-9_:]+)?)")) {
                std::string name = sweep.substr(0, sweep.find(' '));
                for (const std::string& prefix : matches(cells[1], "`[0-9] ([A-Za-z.]+: [0-9]+ )"))
                    docs.lines[name].insert(prefix);
                if (cells[1] == "—" && sweep != name)
                    docs.silent.insert(sweep);
            }
        }
    }
    EXPECT_FALSE(docs.failures.empty()) << "no table of how each import fails in docs/failures.md";
    forEachImport(module, [&](const char* dll, const char* function, void**) {
        std::string lower(dll);
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        if (!skipped.count(function) && !skipped.count(lower))
            docs.failures.emplace(function, ImportSweep::Failure{0, ERROR_ACCESS_DENIED, false});
    });
    return docs;
}

// The functions of `module` by address, from its file's symbol table, without their
// parameters and nameless namespaces: a call site is named by the function it is in.
std::map<ULONG_PTR, std::string> functionsOf(HMODULE module)
{
    char path[MAX_PATH];
    std::ifstream file(std::string(path, GetModuleFileNameA(module, path, MAX_PATH)), std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + *reinterpret_cast<const LONG*>(&image[0x3c]));
    const char* symbols = image.data() + nt->FileHeader.PointerToSymbolTable;
    const char* strings = symbols + IMAGE_SIZEOF_SYMBOL * nt->FileHeader.NumberOfSymbols;
    std::map<ULONG_PTR, std::string> functions = {{0, "?"}};
    const std::regex unwanted("\\(anonymous namespace\\)::|\\(.*");
    for (DWORD i = 0; nt->FileHeader.PointerToSymbolTable && i < nt->FileHeader.NumberOfSymbols; ++i) {
        auto* symbol = reinterpret_cast<const IMAGE_SYMBOL*>(symbols + IMAGE_SIZEOF_SYMBOL * i);
        std::string name = symbol->N.Name.Short ? std::string(reinterpret_cast<const char*>(symbol->N.ShortName), 8)
                                                : std::string(strings + symbol->N.Name.Long);
        std::unique_ptr<char, decltype(&std::free)> readable(
            abi::__cxa_demangle(name.c_str(), nullptr, nullptr, nullptr), &std::free);
        if (ISFCN(symbol->Type) && symbol->SectionNumber > 0)
            functions[IMAGE_FIRST_SECTION(nt)[symbol->SectionNumber - 1].VirtualAddress + symbol->Value] =
                std::regex_replace(readable ? readable.get() : name.c_str(), unwanted, "");
        i += symbol->NumberOfAuxSymbols;
    }
    return functions;
}

ImportSweep* s_sweep = nullptr;
bool s_refused = false;  // an operation refused while the armed call failed inside it

// Runs an operation of the road: its refusal answers a failure made inside it.
template <class Operation, class Refused>
auto answer(Operation operation, Refused refused)
{
    unsigned int before = s_sweep->injected();
    auto result = operation();
    s_refused |= refused(result) && s_sweep->injected() != before;
    return result;
}

// A journal kept for a later restore is a refusal too: `stagehand restore` exits 1 for it.
template <class T>
bool kept(T argument)
{
    if constexpr (std::is_same_v<T, stagehand_recovery*>)
        return argument && argument->journals_kept;
    return false;
}
// An entry point of the C interface, called through this program's own import table.
template <class Hook>
void watch(Hook* hook)
{
    hook->instead = [](auto... arguments) {
        return answer([&] { return Hook::real(arguments...); },
                      [&](stagehand_status status) { return status != STAGEHAND_OK || (kept(arguments) || ...); });
    };
}
#define WATCH(f) watch(new CallHook<decltype(&f), __COUNTER__>("stagehand.dll", #f, GetModuleHandleW(nullptr)))

const wchar_t* const kClasses[] = {L"road 0", L"road 1", L"road tile 1", L"road tile 2"};

// What a run saw by the test's own means, and how the library answered.
struct Outcome {
    std::vector<std::string> observed;
    unsigned int reported = 0;          // results other than success
    std::vector<std::string> failures;  // log lines of priority 3 or more, or of a failure
    const char* answered = "";
};

std::string yes(bool value)
{
    return value ? "yes" : "no";
}

std::vector<std::string> operator+(std::vector<std::string> first, const std::vector<std::string>& then)
{
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

class Sweep : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_journals = new JournalFolder();
        // The helpers answer at once: a failure that leaves a window as it was waits this long.
        SetEnvironmentVariableW(L"STAGEHAND_RESPONSE_BOUND", L"300");
        s_helper = new HelperWindows(L"helper.exe", L"cleared1 cleared2");
        s_spared = new HelperWindows(L"spare_helper.exe", L"spared");
        // Wine: the process's first window loads the display driver, which reads the screen
        // saver's setting again. Load it before the setting is measured.
        DestroyWindow(probeWindow());
        SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
        // Beneath the sweep's stubs, so that the stubs see the library's own return addresses.
        s_ledger = new ReleaseLedger();
        s_docs = readDocs(stagehandModule());
        s_sweep = new ImportSweep(stagehandModule(), s_docs.failures);
        WATCH(stagehand_monitors), WATCH(stagehand_process_ids), WATCH(stagehand_process_windows);
        WATCH(stagehand_manager_create), WATCH(stagehand_manager_destroy), WATCH(stagehand_window_create);
        WATCH(stagehand_window_tile), WATCH(stagehand_window_pump), WATCH(stagehand_window_aborted);
        WATCH(stagehand_hide_all_except), WATCH(stagehand_restore), WATCH(stagehand_restore_abandoned);
        WATCH(stagehand_display_modes), WATCH(stagehand_display_mode_hold), WATCH(stagehand_display_mode_release);
    }
    static void TearDownTestSuite()
    {
        delete s_spared;
        delete s_helper;
        delete s_journals;
    }

    void road(Outcome& run);
    Outcome check(const std::string& label, const std::string& site, const ImportSweep::Import* armed);
    // Every call site in turn, those that only failure paths reach found on the way.
    void sweep(ImportSweep::Mode mode, const wchar_t* file);

    static inline JournalFolder* s_journals;
    static inline HelperWindows *s_helper, *s_spared;
    static inline ReleaseLedger* s_ledger;
    static inline Docs s_docs;
    // The display-mode leg, which takes the desktop a few tenths of a second a change: walked
    // only by its own baseline and by the sites first seen on it.
    bool m_modes = false;
    std::set<ImportSweep::Site> m_legSites;
    Outcome m_baseline, m_legBaseline;
};

// The road in C, then what only the C++ interface offers: the modules of a process, and a
// window of another class subclassed, its cursor hidden and shown again.
void Sweep::road(Outcome& run)
{
    c_road_report walked = {};
    HWND cleared[2] = {s_helper->windows()[0], s_helper->windows()[1]};
    c_road_walk(s_helper->pid(), cleared, s_spared->windows()[0], &walked);
    if (m_modes)
        c_road_walk_modes("\\\\.\\DISPLAY2", &walked);
    run.observed.assign(walked.seen, walked.seen + walked.count);
    run.reported = walked.reported;
    auto report = [&](auto operation) { run.reported += answer(operation, [](bool ok) { return !ok; }) ? 0 : 1; };

    stagehand::ProcessModuleEnumerator modules;
    report([&] { return modules.enumerate(GetCurrentProcessId()); });
    run.observed.push_back("modules " + yes(modules.moduleNames().size() > 3 &&
                                            modules.moduleNames()[0].toUtf8() == "sweep_tests.exe"));
    HWND probe = probeWindow();
    LONG_PTR procedure = GetWindowLongPtrW(probe, GWLP_WNDPROC);
    {
        stagehand::GenericWindows owner;
        report([&] { return stagehand::subclassWindow(owner, probe); });
        LONG_PTR routed = reinterpret_cast<LONG_PTR>(&stagehand::GenericWindows::messageHandler);
        run.observed.push_back("subclass routed " + yes(GetWindowLongPtrW(probe, GWLP_WNDPROC) == routed));
        owner.turnOffCursor();
        owner.turnOnCursor();
    }
    run.observed.push_back("subclass undone " + yes(GetWindowLongPtrW(probe, GWLP_WNDPROC) == procedure));
    DestroyWindow(probe);
}

// One run of the road with `armed` failing at `site`, and how the failure was answered: a
// refusal by the operation in progress; a later log line of priority 3 or more that names it
// by its error code or a prefix of its rows; a documented recovery that left the road as it was.
Outcome Sweep::check(const std::string& label, const std::string& site, const ImportSweep::Import* armed)
{
    Outcome run;
    {
        s_ledger->forget();
        LogCapture log(vela::LoggerPriority::TRACE);
        size_t failedAt = SIZE_MAX;  // the log's length when the armed call first failed
        s_sweep->failing = [&] { failedAt = std::min(failedAt, log.lines.size()); };
        s_refused = false;
        try {
            road(run);
        } catch (const vela::NullPointer&) {
            s_refused = ++run.reported;  // exhausted storage, documented: a refusal
        } catch (const std::bad_alloc&) {
            s_refused = ++run.reported;
        } catch (const std::exception& e) {
            ADD_FAILURE() << label << ": an exception the library does not document: " << e.what();
        }
        s_sweep->failing = nullptr;
        s_sweep->disarm();
        bool named = false;
        const std::set<std::string>& prefixes = s_docs.lines[armed ? armed->function : ""];
        std::regex code(armed ? "(error |fail(s|ed) )" + std::to_string(armed->failure.error) + "\\b" : "^$");
        for (size_t i = 0; i < log.lines.size(); ++i) {
            const std::string& line = log.lines[i];
            if (line[0] >= '3' || line.find("fail") != std::string::npos)
                run.failures.push_back(line);
            auto prefixed = [&](const std::string& p) { return line.compare(2, p.size(), p) == 0; };
            named |= i >= failedAt && line[0] >= '3' &&
                     (std::regex_search(line, code) || std::any_of(prefixes.begin(), prefixes.end(), prefixed));
        }
        bool same = run.observed == (m_modes ? m_legBaseline : m_baseline).observed;
        run.answered = !s_sweep->injected()                ? (s_docs.offRoad.count(site) ? "off the road" : "never")
                       : s_refused                         ? "result"
                       : named                             ? "log"
                       : same && s_docs.silent.count(site) ? "recovery"
                                                           : "no";
        // A window whose destruction failed outlives its object: the failure is all it can tell.
        EXPECT_TRUE(label.compare(0, 14, "DestroyWindow@") == 0 ? testing::AssertionSuccess() : s_ledger->allReleased())
            << label;
    }

    // What a later `stagehand restore` takes, then the desktop must be whole.
    stagehand::DesktopRecovery::restore(false, true);
    BOOL saver = FALSE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &saver, 0);
    std::vector<std::string> left = s_journals->names();
    EXPECT_EQ(std::make_tuple("cleared1 cleared2 spared", TRUE, std::vector<std::string>()),
              std::make_tuple(shown({s_helper, s_spared}), saver, left))
        << label << ": the desktop is not whole (windows shown, screen saver on, journals left)";
    // The second monitor beside the first, each in its own mode, else the registry's modes again.
    const std::string whole = "0,0,1920,1080 1920,0,3200,1024",
                      monitors = monitorAt({0, 0}) + " " + monitorAt({1920, 0});
    EXPECT_EQ(whole, monitors) << label << ": the display modes are not whole";
    if (monitors != whole)
        ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr);
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
    m_baseline = check("no failure", "", nullptr);
    ASSERT_EQ(0u, m_baseline.reported) << testing::PrintToString(m_baseline.failures);
    std::vector<std::string> expected(c_road_expected, c_road_expected + C_ROAD_SEEN);
    const std::vector<std::string> cxx = {"modules yes", "subclass routed yes", "subclass undone yes"};
    ASSERT_EQ(expected + cxx, m_baseline.observed) << "the road when nothing fails";
    auto walkTheLeg = [&](auto run) {
        std::map<ImportSweep::Site, ImportSweep::Site> before = s_sweep->seen();
        m_modes = true;
        run();
        m_modes = false;
        for (const auto& seen : s_sweep->seen())
            if (!before.count(seen.first))
                m_legSites.insert(seen.first);
    };
    walkTheLeg([&] { m_legBaseline = check("no failure, modes", "", nullptr); });
    expected.insert(expected.end(), c_road_modes_expected, c_road_modes_expected + C_ROAD_MODES_SEEN);
    ASSERT_EQ(expected + cxx, m_legBaseline.observed) << "the road and its leg when nothing fails";
    ULONG_PTR base = reinterpret_cast<ULONG_PTR>(stagehandModule());
    std::map<ULONG_PTR, std::string> functions = functionsOf(stagehandModule());
    // "F in CALLER", as every build has it, or "F@OFFSET in CALLER", as this one has it.
    auto name = [&](const ImportSweep::Site& site, bool offset) {
        ULONG_PTR at = reinterpret_cast<ULONG_PTR>(site.second) - base;
        char hex[32];
        std::snprintf(hex, sizeof hex, "@%llx", static_cast<unsigned long long>(at));
        return site == ImportSweep::kNone ? "nothing"
                                          : imports[site.first].function + (offset ? hex : "") + " in " +
                                                std::prev(functions.upper_bound(at - 1))->second;
    };
    std::FILE* out = _wfopen(besideTests(file).c_str(), L"w");
    ASSERT_NE(nullptr, out) << "cannot write " << testing::PrintToString(besideTests(file));
    std::set<ImportSweep::Site> done;
    for (bool found = true; found;) {
        found = false;
        for (const auto& [site, foundWhile] : std::map<ImportSweep::Site, ImportSweep::Site>(s_sweep->seen())) {
            if (!done.insert(site).second)
                continue;
            found = true;
            std::string label = name(site, true);
            s_sweep->arm(site, mode);
            Outcome run;
            if (m_legSites.count(site))
                walkTheLeg([&] { run = check(label, name(site, false), &imports[site.first]); });
            else
                run = check(label, name(site, false), &imports[site.first]);
            EXPECT_STRNE("never", run.answered) << label << ", found while " << name(foundWhile, true)
                                                << " failed: armed, not reached, not listed off the road";
            EXPECT_STRNE("no", run.answered) << label << ": a failure nothing answered; the road saw "
                                             << testing::PrintToString(run.observed) << ", the log "
                                             << testing::PrintToString(run.failures);
            std::fprintf(out, "%s\tinjected=%u\tchanged=%s\treported=%u\tanswered=%s", label.c_str(),
                         s_sweep->injected(),
                         yes(run.observed != (m_legSites.count(site) ? m_legBaseline : m_baseline).observed).c_str(),
                         run.reported,
                         run.answered);
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
