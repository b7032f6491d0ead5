#include "ProcessAccess.h"

#include "LogCodes.h"

#include <vela/ClassLogger.h>

#include <psapi.h>

#include <cwchar>

using vela::LoggerPriority;

namespace stagehand {

namespace {

// Opening a process for its modules is the module enumerator's step; its line keeps that logger.
vela::ClassLogger s_log("stagehand.ProcessModuleEnumerator");

const DWORD kFullAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
const DWORD kLimitedAccess = PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ;

}  // namespace

HANDLE openProcessForModules(DWORD pid)
{
    HANDLE process = OpenProcess(kFullAccess, FALSE, pid);
    DWORD error = GetLastError();
    if (!process && error == ERROR_ACCESS_DENIED) {
        process = OpenProcess(kLimitedAccess, FALSE, pid);
        error = GetLastError();
    }
    if (!process)
        s_log.log(LoggerPriority::FAILURE, logcode::kOpenProcessFails, "OpenProcess failed on pid ", pid,
                  "! Is this a 64Bit OS? ", error);
    return process;
}

vela::String executableName(HANDLE process)
{
    wchar_t name[MAX_PATH];
    DWORD length = process ? GetModuleBaseNameW(process, nullptr, name, MAX_PATH) : 0;
    if (process && length == 0) {
        // Without the right to read its modules (an elevated program's, say), its image's path
        // still names it.
        wchar_t path[MAX_PATH];
        DWORD size = MAX_PATH;
        if (QueryFullProcessImageNameW(process, 0, path, &size)) {
            const wchar_t* base = path + size;
            while (base > path && base[-1] != L'\\' && base[-1] != L'/')
                --base;
            length = static_cast<DWORD>(path + size - base);
            std::wmemcpy(name, base, length);
        }
    }
    return vela::String(reinterpret_cast<const unsigned short*>(name), length);
}

}  // namespace stagehand
