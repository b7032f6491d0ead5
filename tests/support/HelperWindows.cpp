#include "HelperWindows.h"

#include <algorithm>

std::wstring besideTests(const std::wstring& name)
{
    wchar_t self[MAX_PATH];
    std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments)
    : m_process(), m_input(nullptr), m_output(nullptr)
{
    std::wstring path = besideTests(program);
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    STARTUPINFOW startup = {sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    CreatePipe(&startup.hStdInput, &m_input, &inherit, 0);
    CreatePipe(&m_output, &startup.hStdOutput, &inherit, 0);
    startup.hStdError = startup.hStdOutput;
    SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_output, HANDLE_FLAG_INHERIT, 0);

    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &m_process))
        m_process = PROCESS_INFORMATION();
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
}

ChildProcess::~ChildProcess()
{
    CloseHandle(m_input);
    if (m_process.hProcess) {
        if (WaitForSingleObject(m_process.hProcess, 5000) != WAIT_OBJECT_0)
            TerminateProcess(m_process.hProcess, 1);
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
    }
    CloseHandle(m_output);
}

void ChildProcess::kill()
{
    TerminateProcess(m_process.hProcess, 9);
    WaitForSingleObject(m_process.hProcess, 5000);
}

void ChildProcess::send(const std::string& line)
{
    DWORD written = 0;
    std::string text = line + "\n";
    WriteFile(m_input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool ChildProcess::fill()
{
    char buffer[4096];
    DWORD read = 0;
    if (!ReadFile(m_output, buffer, sizeof buffer, &read, nullptr) || read == 0)
        return false;  // the child closed its end
    m_pending.append(buffer, read);
    return true;
}

std::string ChildProcess::readLine()
{
    size_t end;
    while ((end = m_pending.find('\n')) == std::string::npos)
        if (!fill())
            return std::string();
    std::string line = m_pending.substr(0, end > 0 && m_pending[end - 1] == '\r' ? end - 1 : end);
    m_pending.erase(0, end + 1);
    return line;
}

bool ChildProcess::waitFor(const std::string& line)
{
    for (std::string read = readLine(); read != line; read = readLine())
        if (read.empty() && m_pending.empty() && !fill())
            return false;
    return true;
}

// Drained while the child runs, lest it block on a full pipe; done when it exits, whoever else holds the pipe.
std::string ChildProcess::readAll()
{
    DWORD available = 0;
    for (int waited = 0; waited < 20000; waited += 10) {
        bool exited = WaitForSingleObject(m_process.hProcess, 10) != WAIT_TIMEOUT;
        while (PeekNamedPipe(m_output, nullptr, 0, nullptr, &available, nullptr) && available > 0 && fill()) {
        }
        if (exited)
            break;
    }
    return m_pending;
}

DWORD ChildProcess::exitCode() const
{
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}

HelperWindows::HelperWindows(const std::wstring& program, const std::wstring& titles, const std::wstring& mode)
    : ChildProcess(program, mode + L" " + titles)
{
    for (std::string line = readLine(); !line.empty() && !(m_ready = line == "ready"); line = readLine())
        if (line.compare(0, 5, "hwnd ") == 0)
            m_windows.push_back(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::stoull(line.substr(5)))));
}

size_t HelperWindows::visible() const
{
    return std::count_if(m_windows.begin(), m_windows.end(), [](HWND window) { return IsWindowVisible(window); });
}

std::string shown(std::initializer_list<const HelperWindows*> helpers)
{
    std::string titles;
    char title[64];
    for (const HelperWindows* helper : helpers)
        for (HWND window : helper ? helper->windows() : std::vector<HWND>())
            if (IsWindowVisible(window) && GetWindowTextA(window, title, sizeof title))
                titles += (titles.empty() ? "" : " ") + std::string(title);
    return titles;
}

std::string desktopWalk()
{
    std::string walk;
    char name[64];
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (!IsWindowVisible(w))
            continue;
        if (!GetWindowTextA(w, name, sizeof name))
            GetClassNameA(w, name, sizeof name);
        walk +=
            (walk.empty() ? "" : " ") + std::string(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST ? "^" : "") + name;
    }
    return walk;
}

std::string rectText(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

std::string monitorAt(POINT point)
{
    MONITORINFO info = {sizeof info};
    return GetMonitorInfoW(MonitorFromPoint(point, MONITOR_DEFAULTTONULL), &info) ? rectText(info.rcMonitor) : "";
}

HWND probeWindow()
{
    return CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr);
}

bool activate(HWND window)
{
    for (int wait = 0; wait < 100 && GetForegroundWindow() != window; ++wait) {
        if (wait % 10 == 0)
            SetForegroundWindow(window);
        Sleep(10);
    }
    return GetForegroundWindow() == window;
}

std::string stacking(const std::vector<HWND>& windows)
{
    std::string titles;
    char title[64];
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
        if (IsWindowVisible(w) && std::find(windows.begin(), windows.end(), w) != windows.end() &&
            GetWindowTextA(w, title, sizeof title))
            titles += (titles.empty() ? "" : " ") + std::string(title);
    return titles;
}
