// Times each operation of the library against the shortest raw Win32 sequence that does the
// same work, interleaved in one process, and prints a Markdown table: the median time of
// each, the median of the per-pair ratios library/raw, and their spread (10th to 90th
// percentile). Run by scripts/bench under Wine.
//
//   stagehand_bench            every operation
//   stagehand_bench --traced   only the operations that open trace scopes (for a run with
//                              VELA_LOG_PRIORITY=1)
#include <stagehand/DisplayModeHold.h>
#include <stagehand/Genericwindows.h>
#include <stagehand/MonitorInfoEnumerator.h>
#include <stagehand/ProcessEnumerator.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <stagehand/RenderWindowManager.h>
#include <stagehand/WindowEnumerator.h>
#include <vela/Array.h>

#include "support/HelperWindows.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

double now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * (values.size() - 1) + 0.5)];
}

// One timed step; `prepare` runs untimed before it.
struct Step {
    std::function<void()> run;
    std::function<void()> prepare;
};

// Times the two alternately, `samples` times each, starting with the other one each round.
void compare(const char* name, int samples, const Step& library, const Step& raw)
{
    std::vector<double> lib, base, ratios;
    for (int i = -2; i < samples; ++i) {  // two rounds to warm up
        double t[2];
        for (int k = 0; k < 2; ++k) {
            bool first = (k == 0) == (i % 2 == 0);
            const Step& step = first ? library : raw;
            if (step.prepare)
                step.prepare();
            double start = now();
            step.run();
            t[first ? 0 : 1] = now() - start;
        }
        if (i < 0)
            continue;
        lib.push_back(t[0]);
        base.push_back(t[1]);
        ratios.push_back(t[0] / (t[1] > 0 ? t[1] : 1e-3));
    }
    std::printf("| %s | %.1f | %.1f | %.3f | %.3f – %.3f |\n", name, percentile(lib, 0.5), percentile(base, 0.5),
                percentile(ratios, 0.5), percentile(ratios, 0.1), percentile(ratios, 0.9));
    std::fflush(stdout);
}

// ---- The raw ways

bool isVisibleWindowOf(HWND window, DWORD pid)
{
    if (!(GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE))
        return false;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner == pid;
}

struct RawWindows {
    DWORD pid;
    std::vector<HWND> windows;
    std::vector<WINDOWPLACEMENT> placements;
};

BOOL CALLBACK rawWindowProc(HWND window, LPARAM data)
{
    auto* raw = reinterpret_cast<RawWindows*>(data);
    if (isVisibleWindowOf(window, raw->pid)) {
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        GetWindowPlacement(window, &placement);
        raw->windows.push_back(window);
        raw->placements.push_back(placement);
    }
    return TRUE;
}

void rawModules(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    HMODULE modules[1024];
    DWORD bytes = 0;
    EnumProcessModules(process, modules, sizeof modules, &bytes);
    std::vector<std::wstring> names;
    for (DWORD i = 0; i < bytes / sizeof(HMODULE); ++i) {
        wchar_t name[MAX_PATH];
        DWORD n = GetModuleBaseNameW(process, modules[i], name, MAX_PATH);
        if (n)
            names.emplace_back(name, n);
    }
    CloseHandle(process);
}

BOOL CALLBACK rawMonitorProc(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    MONITORINFOEXW info = {};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    reinterpret_cast<std::vector<MONITORINFOEXW>*>(data)->push_back(info);
    return TRUE;
}

// The process table the shortest way: one EnumWindows pass for every visible top-level
// window, then the name of each process that has one.
BOOL CALLBACK rawTableProc(HWND window, LPARAM data)
{
    if (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        (*reinterpret_cast<std::map<DWORD, std::vector<HWND>>*>(data))[pid].push_back(window);
    }
    return TRUE;
}

void rawHideProgram(const wchar_t* name)
{
    DWORD ids[1024], bytes = 0;
    EnumProcesses(ids, sizeof ids, &bytes);
    std::map<DWORD, std::vector<HWND>> windows;
    EnumWindows(rawTableProc, reinterpret_cast<LPARAM>(&windows));
    for (DWORD i = 1; i < bytes / sizeof(DWORD); ++i) {
        auto found = windows.find(ids[i]);
        if (found == windows.end())
            continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        wchar_t exe[MAX_PATH] = {};
        GetModuleBaseNameW(process, nullptr, exe, MAX_PATH);
        CloseHandle(process);
        if (lstrcmpiW(exe, name) == 0) {
            for (HWND window : found->second)
                ShowWindow(window, SW_HIDE);
            return;
        }
    }
}

LRESULT CALLBACK rawWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// ---- The benchmarks

const DWORD kStyle = WS_POPUP | WS_VISIBLE;

void enumerators(bool traced)
{
    DWORD self = GetCurrentProcessId();
    HWND visible = CreateWindowExW(0, L"STATIC", L"bench", kStyle, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);

    stagehand::ProcessEnumerator processes;
    compare("`ProcessEnumerator::enumerate`", 300, {[&] { processes.enumerate(); }, nullptr}, {[] {
                DWORD ids[1024], bytes;
                EnumProcesses(ids, sizeof ids, &bytes);
            }, nullptr});
    if (!traced) {
        stagehand::ProcessModuleEnumerator modules;
        compare("`ProcessModuleEnumerator::enumerate` (own process)", 100, {[&] { modules.enumerate(self); }, nullptr},
                {[&] { rawModules(self); }, nullptr});
    }
    stagehand::WindowEnumerator windows;
    compare("`WindowEnumerator::enumerate` (own process)", 300, {[&] { windows.enumerate(self); }, nullptr}, {[&] {
                RawWindows raw{self, {}, {}};
                EnumWindows(rawWindowProc, reinterpret_cast<LPARAM>(&raw));
            }, nullptr});
    if (!traced) {
        stagehand::MonitorInfoEnumerator monitors;
        compare("`MonitorInfoEnumerator::refresh`", 300, {[&] { monitors.refresh(); }, nullptr}, {[] {
                    std::vector<MONITORINFOEXW> all;
                    EnumDisplayMonitors(nullptr, nullptr, rawMonitorProc, reinterpret_cast<LPARAM>(&all));
                }, nullptr});
    }
    DestroyWindow(visible);
}

void messagePump()
{
    stagehand::GenericWindows window(GetModuleHandleW(nullptr), nullptr, "bench pump", kStyle);
    HWND handle = window.getHWND();
    MSG msg;
    while (PeekMessageW(&msg, handle, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    compare("`listenOnce`, empty queue", 2000, {[&] { window.listenOnce(); }, nullptr}, {[&] {
                if (PeekMessageW(&msg, handle, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }, nullptr});
    auto post = [&] { PostMessageW(handle, WM_USER + 7, 0, 0); };
    compare("`listenOnce`, one pending message", 2000, {[&] { window.listenOnce(); }, post}, {[&] {
                if (PeekMessageW(&msg, handle, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }, post});
}

// A render window against the raw calls, twice: against a bare window, and against the same
// observable work a render window does (a class of its own with the default icon and cursor,
// the screen saver held off with its broadcasts and journal file, the device context, one
// move that shows it). The screen saver is on, as on a desktop.
void windowCreation()
{
    vela::Array<vela::String> ids;
    stagehand::MonitorInfoEnumerator().getAdapterId(ids);
    stagehand::RenderWindowManager::WindowParam param;
    param.style = kStyle;
    param.windowName = "bench window";
    param.rect = RECT{10, 10, 330, 250};
    HINSTANCE instance = GetModuleHandleW(nullptr);
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
    wchar_t temp[MAX_PATH];
    std::wstring journal = std::wstring(temp, GetTempPathW(MAX_PATH, temp)) + L"bench journal.txt";
    auto raw = [&](bool sameWork) {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = rawWindowProcedure;
        windowClass.hInstance = instance;
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        windowClass.lpszClassName = L"bench raw window";
        if (sameWork) {
            windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
            windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            BOOL active = FALSE;
            SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
            HANDLE file = CreateFileW(journal.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
            DWORD written = 0;
            WriteFile(file, "journal", 7, &written, nullptr);
            FlushFileBuffers(file);
            CloseHandle(file);
            SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDWININICHANGE);
        }
        RegisterClassExW(&windowClass);
        HWND window = CreateWindowExW(WS_EX_TOPMOST, L"bench raw window", L"bench raw window",
                                      sameWork ? WS_POPUP : kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                      CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
        HDC dc = sameWork ? GetDC(window) : nullptr;
        SetWindowPos(window, nullptr, 10, 10, 320, 240, SWP_SHOWWINDOW);
        if (sameWork)
            ReleaseDC(window, dc);
        DestroyWindow(window);
        if (sameWork) {
            SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
            DeleteFileW(journal.c_str());
        }
        UnregisterClassW(L"bench raw window", instance);
    };
    std::unique_ptr<stagehand::RenderWindowManager> manager;
    // Released when the manager, the window's last holder, goes.
    Step library = {[&] {
                        manager->createRenderWindow(param, ids[0]);
                        manager.reset();
                    }, [&] { manager = std::make_unique<stagehand::RenderWindowManager>(); }};
    compare("single `createRenderWindow` and release, against a bare window", 100, library, {[&] { raw(false); }, nullptr});
    compare("single `createRenderWindow` and release, against the same work", 100, library, {[&] { raw(true); }, nullptr});
}

void processTable(int programs)
{
    std::vector<std::unique_ptr<HelperWindows>> helpers;
    for (int i = 0; i < programs; ++i)
        helpers.push_back(std::make_unique<HelperWindows>(L"helper.exe", L"x y"));
    HelperWindows target(L"spare_helper.exe", L"target1 target2");
    auto showTarget = [&] {
        for (HWND window : target.windows())
            ShowWindow(window, SW_SHOW);
    };
    std::unique_ptr<stagehand::RenderWindowManager> manager;
    std::string name = "first desktop-clearing lookup, " + std::to_string(programs) +
                       (programs == 1 ? " helper program" : " helper programs");
    compare(name.c_str(), 20, {[&] { manager->minimizeTopLevelProcess("spare_helper.exe"); }, [&] {
                showTarget();
                manager = std::make_unique<stagehand::RenderWindowManager>();
            }}, {[&] { rawHideProgram(L"spare_helper.exe"); }, showTarget});
    manager.reset();
    showTarget();
}

// Hiding the helpers' windows, journal included, against ShowWindow on each of them with
// the same ownership check and nothing written. With `hung`, one more program that has
// stopped pumping its messages is on the desktop, which the raw way cannot be asked to hide.
void clearing(int programs, bool hung = false)
{
    std::vector<std::unique_ptr<HelperWindows>> helpers;
    for (int i = 0; i < programs; ++i)
        helpers.push_back(std::make_unique<HelperWindows>(L"helper.exe", L"x y"));
    std::unique_ptr<HelperWindows> frozen;
    if (hung)
        frozen = std::make_unique<HelperWindows>(L"hung_helper.exe", L"frozen", L"hung");
    HelperWindows spared(L"spare_helper.exe", L"spared");
    vela::Array<vela::String> keep;
    keep.append("spare_helper.exe");
    stagehand::RenderWindowManager manager;
    manager.hideAllTopLevelProcessExcept(keep);  // the table, and the look for abandoned journals
    manager.restoreAllTopLevelProcess();
    auto showAll = [&] {
        for (auto& helper : helpers)
            for (HWND window : helper->windows())
                ShowWindow(window, SW_SHOW);
    };
    std::string name = "hiding with its journal, " + std::to_string(programs) +
                       (programs == 1 ? " helper program" : " helper programs") + (hung ? " and 1 hung" : "");
    compare(name.c_str(), 30, {[&] { manager.hideAllTopLevelProcessExcept(keep); },
                               [&] { manager.restoreAllTopLevelProcess(); }}, {[&] {
                for (auto& helper : helpers)
                    for (HWND window : helper->windows()) {
                        DWORD owner = 0;
                        if (GetWindowThreadProcessId(window, &owner) && owner == helper->pid())
                            ShowWindow(window, SW_HIDE);
                    }
            }, showAll});
    manager.restoreAllTopLevelProcess();
}

// `stagehand run` of a program that ends at once, with two programs' windows to hide and show
// again (their places in the stacking order and the foreground included), against the same
// run with both programs spared.
void runs()
{
    HelperWindows one(L"helper.exe", L"r1 r2"), two(L"spare_helper.exe", L"r3");
    auto run = [](const wchar_t* arguments) { ChildProcess(L"stagehand.exe", arguments).readAll(); };
    compare("`stagehand run` of a program that ends at once, 2 programs' windows hidden, against both spared", 20,
            {[&] { run(L"run -- cmd /c exit 0"); }, nullptr},
            {[&] { run(L"run --spare helper.exe --spare spare_helper.exe -- cmd /c exit 0"); }, nullptr});
}

// A hold of the second monitor's mode and its release, journal included, against the raw pair
// of ChangeDisplaySettingsExW calls that set the same mode and give the first one back.
void displayModes()
{
    const wchar_t* adapter = L"\\\\.\\DISPLAY2";
    DEVMODEW held = {}, found = {};
    held.dmSize = found.dmSize = sizeof held;
    EnumDisplaySettingsExW(adapter, ENUM_CURRENT_SETTINGS, &found, 0);
    held = found;
    held.dmPelsWidth = 1024;
    held.dmPelsHeight = 768;
    for (DEVMODEW* mode : {&held, &found})
        mode->dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY | DM_BITSPERPEL;
    compare("`DisplayModeHold` take and release, 1024x768 on the second monitor", 20, {[] {
                stagehand::DisplayModeHold hold;
                hold.take("\\\\.\\DISPLAY2", {1024, 768, 0, 0});
            }, nullptr}, {[&] {
                ChangeDisplaySettingsExW(adapter, &held, nullptr, CDS_FULLSCREEN, nullptr);
                ChangeDisplaySettingsExW(adapter, &found, nullptr, CDS_FULLSCREEN, nullptr);
            }, nullptr});
}

template <class T>
void arrays(const char* name)
{
    const int n = 1000000;
    compare(name, 30, {[] {
                vela::Array<T> a;
                for (int i = 0; i < n; ++i)
                    a.append(static_cast<T>(i));
            }, nullptr}, {[] {
                std::vector<T> v;
                for (int i = 0; i < n; ++i)
                    v.push_back(static_cast<T>(i));
            }, nullptr});
}

}  // namespace

int main(int argc, char** argv)
{
    bool traced = argc > 1 && std::strcmp(argv[1], "--traced") == 0;
    std::printf("| operation | library µs | raw µs | ratio | spread |\n|---|---:|---:|---:|---|\n");
    enumerators(traced);
    messagePump();
    if (traced)
        return 0;
    windowCreation();
    for (int programs : {1, 8, 32})
        processTable(programs);
    for (int programs : {1, 32})
        clearing(programs);
    clearing(8, true);
    runs();
    displayModes();
    arrays<DWORD>("`Array<DWORD>::append` ×1,000,000 against `std::vector`");
    arrays<int>("`Array<int>::append` (exported by vela.dll) ×1,000,000 against `std::vector`");
    return 0;
}
