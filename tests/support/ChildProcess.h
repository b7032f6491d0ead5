#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// A program of the build started by a test, with its standard input and its output
// (standard output and standard error together) on pipes. The destructor closes the
// input, which tells the test helpers to exit, waits a little, then ends the process.
class ChildProcess {
public:
    struct Options {
        std::vector<std::pair<std::wstring, std::wstring>> environment;  // set for the child only
        DWORD creationFlags = 0;
        bool redirect = true;  // false leaves the child its own console or none
    };

    // program is looked up beside the test executable; arguments are passed as written.
    ChildProcess(const std::wstring& program, const std::wstring& arguments);
    ChildProcess(const std::wstring& program, const std::wstring& arguments, const Options& options);
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_process.hProcess != nullptr; }
    DWORD pid() const { return m_process.dwProcessId; }
    HANDLE handle() const { return m_process.hProcess; }

    // The next line of output without its line end, or an empty string after the timeout.
    std::string readLine(DWORD timeoutMs = 10000);
    // Everything up to the end of the output.
    std::string readAll(DWORD timeoutMs = 20000);
    void writeLine(const std::string& line);
    void closeInput();
    // The exit code, or STILL_ACTIVE after the timeout.
    DWORD wait(DWORD timeoutMs = 20000);

    static std::wstring binDirectory();

private:
    bool fill(DWORD timeoutMs);

    PROCESS_INFORMATION m_process;
    HANDLE m_input;
    HANDLE m_output;
    std::string m_pending;
};
