#include "ChildProcess.h"

namespace {

// Sets the variables for the duration of a CreateProcess and puts the old values back.
class EnvironmentOverride {
public:
    explicit EnvironmentOverride(const std::vector<std::pair<std::wstring, std::wstring>>& variables)
    {
        for (const auto& v : variables) {
            wchar_t old[1024];
            DWORD n = GetEnvironmentVariableW(v.first.c_str(), old, 1024);
            m_saved.push_back({v.first, n ? std::wstring(old, n) : std::wstring(), n != 0});
            SetEnvironmentVariableW(v.first.c_str(), v.second.c_str());
        }
    }
    ~EnvironmentOverride()
    {
        for (const Saved& s : m_saved)
            SetEnvironmentVariableW(s.name.c_str(), s.existed ? s.value.c_str() : nullptr);
    }

private:
    struct Saved {
        std::wstring name;
        std::wstring value;
        bool existed;
    };
    std::vector<Saved> m_saved;
};

}  // namespace

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments)
    : ChildProcess(program, arguments, Options())
{
}

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments, const Options& options)
    : m_process(), m_input(nullptr), m_output(nullptr)
{
    std::wstring path = binDirectory() + program;
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    if (options.redirect) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        CreatePipe(&childInput, &m_input, &inherit, 0);
        CreatePipe(&m_output, &childOutput, &inherit, 0);
        SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(m_output, HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput;
        startup.hStdOutput = childOutput;
        startup.hStdError = childOutput;
    }

    EnvironmentOverride environment(options.environment);
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, options.redirect, options.creationFlags,
                        nullptr, nullptr, &startup, &m_process))
        m_process = PROCESS_INFORMATION();
    if (childInput)
        CloseHandle(childInput);
    if (childOutput)
        CloseHandle(childOutput);
}

ChildProcess::~ChildProcess()
{
    closeInput();
    if (m_process.hProcess) {
        if (WaitForSingleObject(m_process.hProcess, 5000) != WAIT_OBJECT_0)
            TerminateProcess(m_process.hProcess, 1);
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
    }
    if (m_output)
        CloseHandle(m_output);
}

bool ChildProcess::fill(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
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
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(5);
    }
}

std::string ChildProcess::readLine(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        DWORD elapsed = GetTickCount() - start;
        if (!m_output || elapsed >= timeoutMs || !fill(timeoutMs - elapsed))
            return std::string();
    }
}

std::string ChildProcess::readAll(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (m_output) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs || !fill(timeoutMs - elapsed))
            break;
    }
    std::string all;
    all.swap(m_pending);
    return all;
}

void ChildProcess::writeLine(const std::string& line)
{
    if (!m_input)
        return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(m_input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void ChildProcess::closeInput()
{
    if (m_input) {
        CloseHandle(m_input);
        m_input = nullptr;
    }
}

DWORD ChildProcess::wait(DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (m_process.hProcess && WaitForSingleObject(m_process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}

std::wstring ChildProcess::binDirectory()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, n);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1);
}
