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
    // Its own handle: opening itself by pid may be denied.
    JournalProcess self = {GetCurrentProcessId(), creationTime(GetCurrentProcess())};
    return self;
}

JournalProcess windowOwner(HWND window)
{
    JournalProcess owner = {0, 0};
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid) {
        ProcessHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        owner.pid = pid;
        owner.created = handle.get() ? creationTime(handle.get()) : 0;
    }
    return owner;
}

bool isRunning(const JournalProcess& process)
{
    // The limited right only, which this user has on every process of its own: a process
    // that denies it is another user's, and so not the writer, which was this user's.
    ProcessHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.pid));
    DWORD code = 0;
    return handle.get() && creationTime(handle.get()) == process.created && GetExitCodeProcess(handle.get(), &code) &&
           code == STILL_ACTIVE;
}

}  // namespace stagehand
