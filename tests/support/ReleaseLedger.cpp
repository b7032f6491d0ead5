#include "ReleaseLedger.h"

ReleaseLedger::ReleaseLedger()
    : m_createWindow(stagehandModule(), "user32.dll", "CreateWindowExW"),
      m_destroyWindow(stagehandModule(), "user32.dll", "DestroyWindow"),
      m_getDC(stagehandModule(), "user32.dll", "GetDC"),
      m_releaseDC(stagehandModule(), "user32.dll", "ReleaseDC"),
      m_registerClass(stagehandModule(), "user32.dll", "RegisterClassExW"),
      m_unregisterClass(stagehandModule(), "user32.dll", "UnregisterClassW"),
      m_openProcess(stagehandModule(), "kernel32.dll", "OpenProcess"),
      m_closeHandle(GetModuleHandleW(L"vela.dll"), "kernel32.dll", "CloseHandle")
{
    m_createWindow.instead = [this](DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y,
                                    int w, int h, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
        HWND window = m_createWindow.real(exStyle, className, title, style, x, y, w, h, parent, menu, instance, param);
        acquire(Window, window);
        return window;
    };
    m_destroyWindow.instead = [this](HWND window) {
        release(Window, window);
        return m_destroyWindow.real(window);
    };
    m_getDC.instead = [this](HWND window) {
        HDC dc = m_getDC.real(window);
        acquire(DeviceContext, dc);
        return dc;
    };
    m_releaseDC.instead = [this](HWND window, HDC dc) {
        release(DeviceContext, dc);
        return m_releaseDC.real(window, dc);
    };
    m_registerClass.instead = [this](const WNDCLASSEXW* c) {
        ATOM atom = m_registerClass.real(c);
        acquire(WindowClass, reinterpret_cast<void*>(static_cast<ULONG_PTR>(atom)), c->lpszClassName, c->hInstance);
        return atom;
    };
    m_unregisterClass.instead = [this](LPCWSTR name, HINSTANCE instance) {
        BOOL done = m_unregisterClass.real(name, instance);
        if (done)
            release(WindowClass, nullptr, name);
        return done;
    };
    m_openProcess.instead = [this](DWORD access, BOOL inherit, DWORD pid) {
        HANDLE process = m_openProcess.real(access, inherit, pid);
        acquire(ProcessHandle, process);
        return process;
    };
    m_closeHandle.instead = [this](HANDLE handle) {
        release(ProcessHandle, handle);
        return m_closeHandle.real(handle);
    };
}

void ReleaseLedger::acquire(Kind kind, const void* handle, const wchar_t* name, HINSTANCE instance)
{
    if (handle)
        m_entries.push_back({kind, reinterpret_cast<ULONG_PTR>(handle), name, instance, 0});
}

// Handle values come back once released: a release matches the latest acquisition of
// that value still held.
void ReleaseLedger::release(Kind kind, const void* handle, const wchar_t* name)
{
    for (auto e = m_entries.rbegin(); e != m_entries.rend(); ++e)
        if (e->kind == kind && e->releases == 0 &&
            (kind == WindowClass ? lstrcmpiW(e->name.c_str(), name) == 0
                                 : e->handle == reinterpret_cast<ULONG_PTR>(handle))) {
            ++e->releases;
            return;
        }
    ++m_strays;
}

int ReleaseLedger::acquired(Kind kind) const
{
    int n = 0;
    for (const Entry& e : m_entries)
        n += e.kind == kind ? 1 : 0;
    return n;
}

int ReleaseLedger::released(Kind kind) const
{
    int n = 0;
    for (const Entry& e : m_entries)
        n += e.kind == kind ? e.releases : 0;
    return n;
}

std::vector<ULONG_PTR> ReleaseLedger::held(Kind kind) const
{
    std::vector<ULONG_PTR> all;
    for (const Entry& e : m_entries)
        if (e.kind == kind && e.releases == 0)
            all.push_back(e.handle);
    return all;
}

bool ReleaseLedger::platformKnows(const Entry& e) const
{
    DWORD flags = 0;
    WNDCLASSEXW info = {sizeof info};
    switch (e.kind) {
    case Window:
        return IsWindow(reinterpret_cast<HWND>(e.handle));
    case WindowClass:
        return GetClassInfoExW(e.instance, e.name.c_str(), &info);
    case ProcessHandle:
        return GetHandleInformation(reinterpret_cast<HANDLE>(e.handle), &flags);
    default:
        return false;  // a released DC leaves nothing to ask about
    }
}

testing::AssertionResult ReleaseLedger::allReleased() const
{
    const char* kinds[] = {"window", "device context", "window class", "process handle"};
    std::string problems = m_strays ? std::to_string(m_strays) + " releases of what was not held; " : "";
    for (const Entry& e : m_entries) {
        bool exists = platformKnows(e);
        if (exists || (e.releases == 0 && e.kind != Window))
            problems += std::string(kinds[e.kind]) + " " + std::to_string(e.handle) +
                        (e.releases ? " still exists; " : " not released; ");
    }
    if (problems.empty())
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << problems;
}
