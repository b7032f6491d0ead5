#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A program of the build, started from beside the test executable, with its standard input
// and its output (standard output and error together) on pipes. The destructor closes the
// input, which tells the suite's helper to exit, waits a little, then ends the process.
class ChildProcess {
public:
    ChildProcess(const std::wstring& program, const std::wstring& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    DWORD pid() const { return m_process.dwProcessId; }
    // Writes a line to the child's input.
    void send(const std::string& line);
    // The next line of output without its line end; empty at the end of the output.
    std::string readLine();
    // Reads lines up to this one; false when the output ends first.
    bool waitFor(const std::string& line);
    // The rest of the output, once the child has exited (20 seconds at most).
    std::string readAll();
    // The exit code, or STILL_ACTIVE.
    DWORD exitCode() const;
    // Ends the process at once, as a crash or a debugger's stop would, and waits for it.
    void kill();

private:
    bool fill();

    PROCESS_INFORMATION m_process;
    HANDLE m_input;
    HANDLE m_output;
    std::string m_pending;
};

// The suite's helper (helper.exe, or its copy spare_helper.exe) showing one visible
// top-level window per title (the titles separated by spaces) until the object goes. A
// hung helper pumps no message until it is sent a line; a slow one pumps once a second.
class HelperWindows : public ChildProcess {
public:
    HelperWindows(const std::wstring& program, const std::wstring& titles, const std::wstring& mode = L"windows");

    bool ready() const { return m_ready; }
    const std::vector<HWND>& windows() const { return m_windows; }
    bool allVisible() const { return visible() == m_windows.size() && !m_windows.empty(); }
    bool noneVisible() const { return visible() == 0; }

private:
    size_t visible() const;

    std::vector<HWND> m_windows;
    bool m_ready = false;
};

// Makes the window the foreground window, which its own thread does when it gets to it; true
// once it is. Asks again while Wine's desktop process, starting, takes the foreground itself.
bool activate(HWND window);

// The first of the windows in Z order, topmost first; null when none is shown.
HWND topmost(const std::vector<HWND>& windows);

// A window of the test process itself, of the system's STATIC class.
HWND probeWindow(DWORD style = WS_POPUP, HWND owner = nullptr);
