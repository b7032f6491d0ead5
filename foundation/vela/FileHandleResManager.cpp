#include <vela/FileHandleResManager.h>

#include <vela/LastErrorKeeper.h>

#include <windows.h>

namespace vela {

void FileHandleResManager::destroy(void* handle)
{
    if (!handle)
        return;
    LastErrorKeeper keep;
    CloseHandle(handle);
}

}  // namespace vela
