#include "DisplayRequest.h"

#include <windows.h>

// This module, as the linker names it.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace stagehand {

namespace {

// Signalled, it ends the thread that holds the display on; null while none does.
HANDLE s_stop = nullptr;
HANDLE s_thread = nullptr;

// The thread ends its request at once when told; it is waited for, since under Wine its end
// puts back the screen saver as it was when the request was made.
const DWORD kEndBound = 1000;

// The thread holds a reference to the library, taken for it before it starts, so that
// FreeLibrary cannot pull its code away; it owns the stop event, which it closes.
DWORD WINAPI keepDisplayOn(void* stop)
{
    SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED);
    // A wait that fails is not the end of the hold.
    while (WaitForSingleObject(stop, INFINITE) == WAIT_FAILED)
        Sleep(100);
    SetThreadExecutionState(ES_CONTINUOUS);
    CloseHandle(stop);
    FreeLibraryAndExitThread(reinterpret_cast<HMODULE>(&__ImageBase), 0);
}

}  // namespace

bool DisplayRequest::take()
{
    if (s_stop)
        return true;
    HMODULE self = nullptr;
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool pinned = stop && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                             reinterpret_cast<LPCWSTR>(&keepDisplayOn), &self);
    HANDLE thread = pinned ? CreateThread(nullptr, 0, &keepDisplayOn, stop, 0, nullptr) : nullptr;
    if (!thread) {
        DWORD error = GetLastError();
        if (pinned)
            FreeLibrary(self);
        if (stop)
            CloseHandle(stop);
        SetLastError(error);
        return false;
    }
    s_thread = thread;
    s_stop = stop;
    return true;
}

void DisplayRequest::release()
{
    if (!s_stop)
        return;
    SetEvent(s_stop);
    WaitForSingleObject(s_thread, kEndBound);
    CloseHandle(s_thread);
    s_stop = nullptr;
    s_thread = nullptr;
}

}  // namespace stagehand
