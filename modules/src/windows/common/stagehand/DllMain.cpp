#include <stagehand/DesktopClearing.h>
#include <stagehand/DisplayModeHold.h>
#include <stagehand/ScreenSaverHold.h>

#include "ThreadMessage.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        stagehand::ThreadMessage::attach();
        break;
    case DLL_THREAD_DETACH:
        stagehand::ThreadMessage::threadEnds();
        break;
    case DLL_PROCESS_DETACH:
        // A process that ends normally gives back what it still holds hidden, switched off or
        // changed.
        // Its other threads are gone and the loader lock is held: nothing is waited for.
        if (reserved) {
            stagehand::DesktopClearing::restoreAllAtExit();
            stagehand::ScreenSaverHold::releaseAllAtExit();
            stagehand::DisplayModeHold::releaseAllAtExit();
        } else {
            stagehand::ThreadMessage::detach();
        }
        break;
    }
    return TRUE;
}
