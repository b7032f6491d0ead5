#pragma once

#include <windows.h>

#include <string>

// A program of the build started by a test, with its standard input and its output
// (standard output and standard error together) on pipes. The destructor closes the
// input, which tells the test helpers to exit, waits a little, then ends the process.
class ChildProcess {
public:
    // program is looked up beside the test executable; `variable` ("NAME=value") is set
    // for the child only.
    ChildProcess(const std::wstring& program, const std::wstring& arguments, DWORD creationFlags = 0,
                 const std::wstring& variable = std::wstring());
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    DWORD pid() const { return m_process.dwProcessId; }
    // The next line of output without its line end; empty at the end of the output.
    std::string readLine();
    // The rest of the output, once the child has closed it.
    std::string readAll();
    void writeLine(const std::string& line);
    // The exit code, or STILL_ACTIVE after 20 seconds.
    DWORD wait();

private:
    bool fill();

    PROCESS_INFORMATION m_process;
    HANDLE m_input;
    HANDLE m_output;
    std::string m_pending;
};
