#include <windows.h>

// The library starts no threads and keeps no per-thread state, so it asks not to be
// told about threads at all.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}
