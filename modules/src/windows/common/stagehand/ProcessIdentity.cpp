#include "ProcessIdentity.h"

#include <stagehand/ProcessModuleEnumerator.h>

namespace stagehand {

std::uint64_t creationTime(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

JournalProcess currentProcess()
{
    return processIdentity(GetCurrentProcessId());
}

JournalProcess processIdentity(DWORD pid)
{
    JournalProcess process = {0, 0};
    ProcessHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (handle.get()) {
        process.pid = pid;
        process.created = creationTime(handle.get());
    }
    return process;
}

JournalProcess windowOwner(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    JournalProcess none = {0, 0};
    return pid ? processIdentity(pid) : none;
}

bool isRunning(const JournalProcess& process)
{
    ProcessHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, process.pid));
    if (!handle.get())
        return GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to look at
    return creationTime(handle.get()) == process.created && WaitForSingleObject(handle.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace stagehand
