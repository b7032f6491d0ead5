#include "ReleaseLedger.h"

namespace {

std::vector<ReleaseLedger::Entry> g_entries;
int g_strays;  // releases of something the ledger never saw acquired, or saw released

decltype(&CreateWindowExW) g_createWindow;
decltype(&DestroyWindow) g_destroyWindow;
decltype(&GetDC) g_getDC;
decltype(&ReleaseDC) g_releaseDC;
decltype(&RegisterClassExW) g_registerClass;
decltype(&UnregisterClassW) g_unregisterClass;
decltype(&OpenProcess) g_openProcess;
decltype(&CloseHandle) g_closeHandle;

ULONG_PTR value(const void* handle)
{
    return reinterpret_cast<ULONG_PTR>(handle);
}

HWND WINAPI createWindow(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y, int w, int h,
                         HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    HWND window = g_createWindow(exStyle, className, title, style, x, y, w, h, parent, menu, instance, param);
    if (window)
        ReleaseLedger::acquire({ReleaseLedger::Window, value(window), L"", nullptr, 0});
    return window;
}

BOOL WINAPI destroyWindow(HWND window)
{
    ReleaseLedger::release(ReleaseLedger::Window, value(window));
    return g_destroyWindow(window);
}

HDC WINAPI getDC(HWND window)
{
    HDC dc = g_getDC(window);
    if (dc)
        ReleaseLedger::acquire({ReleaseLedger::DeviceContext, value(dc), L"", nullptr, 0});
    return dc;
}

int WINAPI releaseDC(HWND window, HDC dc)
{
    ReleaseLedger::release(ReleaseLedger::DeviceContext, value(dc));
    return g_releaseDC(window, dc);
}

ATOM WINAPI registerClass(const WNDCLASSEXW* windowClass)
{
    ATOM atom = g_registerClass(windowClass);
    if (atom)
        ReleaseLedger::acquire(
            {ReleaseLedger::WindowClass, atom, windowClass->lpszClassName, windowClass->hInstance, 0});
    return atom;
}

BOOL WINAPI unregisterClass(LPCWSTR name, HINSTANCE instance)
{
    BOOL done = g_unregisterClass(name, instance);
    if (done)
        ReleaseLedger::release(ReleaseLedger::WindowClass, 0, name);
    return done;
}

HANDLE WINAPI openProcess(DWORD access, BOOL inherit, DWORD pid)
{
    HANDLE process = g_openProcess(access, inherit, pid);
    if (process)
        ReleaseLedger::acquire({ReleaseLedger::ProcessHandle, value(process), L"", nullptr, 0});
    return process;
}

BOOL WINAPI closeHandle(HANDLE handle)
{
    ReleaseLedger::release(ReleaseLedger::ProcessHandle, value(handle));
    return g_closeHandle(handle);
}

const char* kindName(ReleaseLedger::Kind kind)
{
    const char* names[] = {"window", "device context", "window class", "process handle"};
    return names[kind];
}

bool platformKnows(const ReleaseLedger::Entry& e)
{
    DWORD flags = 0;
    WNDCLASSEXW info = {sizeof info};
    switch (e.kind) {
    case ReleaseLedger::Window:
        return IsWindow(reinterpret_cast<HWND>(e.handle));
    case ReleaseLedger::WindowClass:
        return GetClassInfoExW(e.instance, e.name.c_str(), &info);
    case ReleaseLedger::ProcessHandle:
        return GetHandleInformation(reinterpret_cast<HANDLE>(e.handle), &flags);
    default:
        return false;  // a released DC leaves nothing to ask about
    }
}

}  // namespace

ReleaseLedger::ReleaseLedger()
{
    g_entries.clear();
    g_strays = 0;
    HMODULE stagehand = stagehandModule();
    auto hook = [&](HMODULE module, const char* dll, const char* name, auto replacement, auto& real) {
        m_hooks.push_back(std::make_unique<ImportHook>(module, dll, name, replacement, real));
    };
    hook(stagehand, "user32.dll", "CreateWindowExW", &createWindow, g_createWindow);
    hook(stagehand, "user32.dll", "DestroyWindow", &destroyWindow, g_destroyWindow);
    hook(stagehand, "user32.dll", "GetDC", &getDC, g_getDC);
    hook(stagehand, "user32.dll", "ReleaseDC", &releaseDC, g_releaseDC);
    hook(stagehand, "user32.dll", "RegisterClassExW", &registerClass, g_registerClass);
    hook(stagehand, "user32.dll", "UnregisterClassW", &unregisterClass, g_unregisterClass);
    hook(stagehand, "kernel32.dll", "OpenProcess", &openProcess, g_openProcess);
    hook(GetModuleHandleW(L"vela.dll"), "kernel32.dll", "CloseHandle", &closeHandle, g_closeHandle);
}

ReleaseLedger::~ReleaseLedger() = default;

void ReleaseLedger::acquire(const Entry& entry)
{
    g_entries.push_back(entry);
}

// Handle values come back once released, so a release matches the latest acquisition of
// that value still held.
void ReleaseLedger::release(Kind kind, ULONG_PTR handle, const std::wstring& name)
{
    for (auto e = g_entries.rbegin(); e != g_entries.rend(); ++e)
        if (e->kind == kind && e->releases == 0 &&
            (kind == WindowClass ? lstrcmpiW(e->name.c_str(), name.c_str()) == 0 : e->handle == handle)) {
            ++e->releases;
            return;
        }
    ++g_strays;
}

int ReleaseLedger::acquired(Kind kind) const
{
    int n = 0;
    for (const Entry& e : g_entries)
        n += e.kind == kind ? 1 : 0;
    return n;
}

int ReleaseLedger::released(Kind kind) const
{
    int n = 0;
    for (const Entry& e : g_entries)
        n += e.kind == kind ? e.releases : 0;
    return n;
}

std::vector<ULONG_PTR> ReleaseLedger::held(Kind kind) const
{
    std::vector<ULONG_PTR> all;
    for (const Entry& e : g_entries)
        if (e.kind == kind && e.releases == 0)
            all.push_back(e.handle);
    return all;
}

testing::AssertionResult ReleaseLedger::allReleased() const
{
    std::string problems;
    if (g_strays)
        problems += std::to_string(g_strays) + " releases of what was not held; ";
    for (const Entry& e : g_entries) {
        bool exists = platformKnows(e);
        if (e.releases == 0 && (exists || e.kind != Window))
            problems += std::string(kindName(e.kind)) + " " + std::to_string(e.handle) + " not released; ";
        else if (exists)
            problems += std::string(kindName(e.kind)) + " " + std::to_string(e.handle) + " still exists; ";
    }
    if (problems.empty())
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << problems;
}
