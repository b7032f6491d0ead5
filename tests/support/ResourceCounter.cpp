#include "ResourceCounter.h"

namespace {

ResourceCounter::Counts g_counts;

decltype(&CreateWindowExW) realCreateWindowExW;
decltype(&DestroyWindow) realDestroyWindow;
decltype(&GetDC) realGetDC;
decltype(&ReleaseDC) realReleaseDC;
decltype(&RegisterClassExW) realRegisterClassExW;
decltype(&UnregisterClassW) realUnregisterClassW;

HWND WINAPI countCreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y, int w,
                                 int h, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    HWND window = realCreateWindowExW(exStyle, className, title, style, x, y, w, h, parent, menu, instance, param);
    if (window) {
        ++g_counts.windowsCreated;
        g_counts.windows.push_back(window);
    }
    return window;
}

BOOL WINAPI countDestroyWindow(HWND window)
{
    BOOL done = realDestroyWindow(window);
    g_counts.windowsDestroyed += done ? 1 : 0;
    return done;
}

HDC WINAPI countGetDC(HWND window)
{
    HDC dc = realGetDC(window);
    g_counts.dcsTaken += dc ? 1 : 0;
    return dc;
}

int WINAPI countReleaseDC(HWND window, HDC dc)
{
    int done = realReleaseDC(window, dc);
    g_counts.dcsReleased += done ? 1 : 0;
    return done;
}

ATOM WINAPI countRegisterClassExW(const WNDCLASSEXW* windowClass)
{
    ATOM atom = realRegisterClassExW(windowClass);
    if (atom) {
        ++g_counts.classesRegistered;
        g_counts.classNames.push_back(windowClass->lpszClassName);
    }
    return atom;
}

BOOL WINAPI countUnregisterClassW(LPCWSTR className, HINSTANCE instance)
{
    BOOL done = realUnregisterClassW(className, instance);
    g_counts.classesUnregistered += done ? 1 : 0;
    return done;
}

template <class F>
void hook(std::vector<std::unique_ptr<ImportHook>>& hooks, const char* name, F replacement, F& real)
{
    hooks.push_back(std::make_unique<ImportHook>(stagehandModule(), "user32.dll", name, replacement, real));
}

}  // namespace

ResourceCounter::ResourceCounter()
{
    g_counts = Counts();
    hook(m_hooks, "CreateWindowExW", &countCreateWindowExW, realCreateWindowExW);
    hook(m_hooks, "DestroyWindow", &countDestroyWindow, realDestroyWindow);
    hook(m_hooks, "GetDC", &countGetDC, realGetDC);
    hook(m_hooks, "ReleaseDC", &countReleaseDC, realReleaseDC);
    hook(m_hooks, "RegisterClassExW", &countRegisterClassExW, realRegisterClassExW);
    hook(m_hooks, "UnregisterClassW", &countUnregisterClassW, realUnregisterClassW);
}

ResourceCounter::~ResourceCounter() = default;

const ResourceCounter::Counts& ResourceCounter::counts() const
{
    return g_counts;
}
