#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

// The path of a file beside the test executable.
std::wstring besideTests(const std::wstring& name);

// A program from beside the test executable, its input and its output (standard output and
// error) on pipes. The destructor closes the input, which ends the suite's helper, then waits.
class ChildProcess {
public:
    ChildProcess(const std::wstring& program, const std::wstring& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    DWORD pid() const { return m_process.dwProcessId; }
    void send(const std::string& line);
    // The next line of output without its line end; empty at the end of the output.
    std::string readLine();
    bool waitFor(const std::string& line);
    // The rest of the output, once the child has exited (20 seconds at most).
    std::string readAll();
    DWORD exitCode() const;
    void kill();

private:
    bool fill();

    PROCESS_INFORMATION m_process;
    HANDLE m_input;
    HANDLE m_output;
    std::string m_pending;
};

// The suite's helper (tests/helpers/helper.cpp) showing a window per title (separated by
// spaces) until the object goes.
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

// The titles of the helpers' visible windows, in order ("a1 a2 b1"): what a check names.
std::string shown(std::initializer_list<const HelperWindows*> helpers);

// True once the window is the foreground window; asks again while Wine's starting desktop
// process takes the foreground itself.
bool activate(HWND window);

// The titles of the windows that are shown, in Z order, topmost first ("a2 s1 a1").
std::string stacking(const std::vector<HWND>& windows);

// The whole desktop walk (GW_HWNDNEXT): every shown top-level window by its title, else its
// class, a topmost one marked "^" ("^b1 a2 s1 a1").
std::string desktopWalk();

// A rectangle as a check names it: "left,top,right,bottom".
std::string rectText(const RECT& r);

// The rectangle of the monitor at a point ("" where there is none).
std::string monitorAt(POINT point);

// A window of the test process itself, of the system's STATIC class.
HWND probeWindow();
