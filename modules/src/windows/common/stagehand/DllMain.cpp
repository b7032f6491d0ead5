#include <windows.h>

// The library starts no threads, and its one piece of per-thread state (the C interface's
// message) is trivial storage that needs no cleanup, so it asks not to be told about threads.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}
