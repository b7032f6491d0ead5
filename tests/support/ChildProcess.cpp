#include "ChildProcess.h"

namespace {

std::wstring binDirectory()
{
    wchar_t path[MAX_PATH];
    std::wstring directory(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return directory.substr(0, directory.find_last_of(L"\\/") + 1);
}

}  // namespace

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments, DWORD creationFlags,
                           const std::wstring& variable)
    : m_process(), m_input(nullptr), m_output(nullptr)
{
    std::wstring path = binDirectory() + program;
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    CreatePipe(&childInput, &m_input, &inherit, 0);
    CreatePipe(&m_output, &childOutput, &inherit, 0);
    SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_output, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = startup.hStdError = childOutput;

    // The child inherits this process's environment at creation; ours gets the old value back.
    std::wstring name = variable.substr(0, variable.find(L'='));
    wchar_t old[1024];
    DWORD oldLength = name.empty() ? 0 : GetEnvironmentVariableW(name.c_str(), old, 1024);
    if (!name.empty())
        SetEnvironmentVariableW(name.c_str(), variable.c_str() + name.size() + 1);
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, creationFlags, nullptr, nullptr,
                        &startup, &m_process))
        m_process = PROCESS_INFORMATION();
    if (!name.empty())
        SetEnvironmentVariableW(name.c_str(), oldLength ? old : nullptr);
    CloseHandle(childInput);
    CloseHandle(childOutput);
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

bool ChildProcess::fill(DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(5)) {
        DWORD available = 0;
        if (!PeekNamedPipe(m_output, nullptr, 0, nullptr, &available, nullptr))
            return false;  // the child closed its end
        if (available) {
            char buffer[4096];
            DWORD read = 0;
            if (!ReadFile(m_output, buffer, available < sizeof buffer ? available : sizeof buffer, &read, nullptr))
                return false;
            m_pending.append(buffer, read);
            return true;
        }
    }
    return false;
}

std::string ChildProcess::readLine()
{
    size_t end;
    while ((end = m_pending.find('\n')) == std::string::npos)
        if (!fill(10000))
            return std::string();
    std::string line = m_pending.substr(0, end);
    m_pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::string ChildProcess::readAll()
{
    while (fill(20000)) {
    }
    std::string all;
    all.swap(m_pending);
    return all;
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
    if (m_process.hProcess && WaitForSingleObject(m_process.hProcess, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}
