#include "ReleaseLedger.h"

#include <numeric>

ReleaseLedger::ReleaseLedger()
{
    m_createWindow.instead = [this](DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y,
                                    int w, int h, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
        return acquire(Window, m_createWindow.real(exStyle, className, title, style, x, y, w, h, parent, menu,
                                                   instance, param));
    };
    m_destroyWindow.instead = [this](HWND window) { return release(Window, window) && m_destroyWindow.real(window); };
    m_getDC.instead = [this](HWND window) { return acquire(DeviceContext, m_getDC.real(window)); };
    m_releaseDC.instead = [this](HWND window, HDC dc) {
        return release(DeviceContext, dc) && m_releaseDC.real(window, dc);
    };
    m_openProcess.instead = [this](DWORD access, BOOL inherit, DWORD pid) {
        HANDLE process = acquire(ProcessHandle, m_openProcess.real(access, inherit, pid));
        if (process)
            m_entries.back().pid = pid;
        return process;
    };
    m_closeHandle.instead = [this](HANDLE handle) {
        return release(ProcessHandle, handle) && m_closeHandle.real(handle);
    };
}

void ReleaseLedger::forget()
{
    for (const Entry& e : m_entries)
        if (e.kind == Window && e.releases == 0)
            DestroyWindow(reinterpret_cast<HWND>(e.handle));
    m_entries.clear();
    m_strays = 0;
}

int ReleaseLedger::count(Kind kind, bool releases) const
{
    return std::accumulate(m_entries.begin(), m_entries.end(), 0, [&](int n, const Entry& e) {
        return n + (e.kind == kind ? (releases ? e.releases : 1) : 0);
    });
}

// Handle values come back once released: a release matches the latest one still held.
bool ReleaseLedger::release(Kind kind, const void* handle)
{
    for (auto e = m_entries.rbegin(); e != m_entries.rend(); ++e)
        if (e->kind == kind && e->releases == 0 && e->handle == reinterpret_cast<ULONG_PTR>(handle)) {
            ++e->releases;
            return true;
        }
    ++m_strays;
    return true;
}

testing::AssertionResult ReleaseLedger::allReleased() const
{
    const char* kinds[] = {"window", "device context", "process handle"};
    std::string problems = m_strays ? std::to_string(m_strays) + " releases of what was not held; " : "";
    for (const Entry& e : m_entries) {
        DWORD flags = 0;
        // A process handle's value may since name another object: it exists if the same process.
        bool exists = e.kind == Window          ? IsWindow(reinterpret_cast<HWND>(e.handle))
                      : e.kind == ProcessHandle ? GetHandleInformation(reinterpret_cast<HANDLE>(e.handle), &flags) &&
                                                      GetProcessId(reinterpret_cast<HANDLE>(e.handle)) == e.pid
                                                : false;  // a released DC leaves nothing to ask about
        if (exists || (e.releases == 0 && e.kind != Window))
            problems += std::string(kinds[e.kind]) + " " + std::to_string(e.handle) +
                        (e.releases ? " still exists; " : " not released; ");
    }
    if (problems.empty())
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << problems;
}
