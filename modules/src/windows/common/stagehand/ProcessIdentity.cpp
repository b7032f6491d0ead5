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
    static volatile LONG64 s_created = 0;
    if (!s_created)
        InterlockedExchange64(&s_created, static_cast<LONG64>(creationTime(GetCurrentProcess())));
    JournalProcess self = {GetCurrentProcessId(), static_cast<std::uint64_t>(s_created)};
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

Liveness liveness(const JournalProcess& process)
{
    // The limited right only, which this user has on every process of its own: a process that
    // denies it is another user's, and so not the writer, which was this user's.
    ProcessHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.pid));
    if (!handle.get())
        return Liveness::ENDED;
    std::uint64_t created = creationTime(handle.get());
    DWORD code = 0;
    if (created != 0 && created != process.created)
        return Liveness::ENDED;
    if (created == 0 || !GetExitCodeProcess(handle.get(), &code))
        return Liveness::UNKNOWN;
    return code == STILL_ACTIVE ? Liveness::RUNNING : Liveness::ENDED;
}

}  // namespace stagehand
