#include "ChildProcess.h"

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments, DWORD creationFlags,
                           const std::wstring& variable)
    : m_process(), m_input(nullptr), m_output(nullptr)
{
    wchar_t self[MAX_PATH];
    std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + program;
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    STARTUPINFOW startup = {sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    CreatePipe(&startup.hStdInput, &m_input, &inherit, 0);
    CreatePipe(&m_output, &startup.hStdOutput, &inherit, 0);
    startup.hStdError = startup.hStdOutput;
    SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_output, HANDLE_FLAG_INHERIT, 0);

    // The child takes this process's environment as it is at creation.
    std::wstring name = variable.substr(0, variable.find(L'='));
    if (!name.empty())
        SetEnvironmentVariableW(name.c_str(), variable.c_str() + name.size() + 1);
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, creationFlags, nullptr, nullptr,
                        &startup, &m_process))
        m_process = PROCESS_INFORMATION();
    if (!name.empty())
        SetEnvironmentVariableW(name.c_str(), nullptr);
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

std::string ChildProcess::readAll()
{
    while (fill()) {
    }
    return m_pending;
}

void ChildProcess::writeLine(const std::string& line)
{
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(m_input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

DWORD ChildProcess::wait()
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(m_process.hProcess, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}
