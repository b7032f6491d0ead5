// The DLLs as a program meets them. This program does not link stagehand.dll.
#include <windows.h>

#include "support/CallHook.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// On a thread of its own, which must then end, with the DLL gone: a call made to fail keeps
// its message for the thread until the DLL is freed, also when the thread's block for it
// cannot be had.
TEST(EntryPoint, LoadsOnAThreadByNameAndUnloadsWithNothingLeftAndBothDllsCarryTheProjectVersion)
{
    HANDLE thread = CreateThread(nullptr, 0, [](void*) -> DWORD {
        HMODULE dll = LoadLibraryW(L"stagehand.dll");
        auto create = reinterpret_cast<int (*)(void*)>(GetProcAddress(dll, "stagehand_manager_create"));
        auto message = reinterpret_cast<int (*)(char*, uint32_t, uint32_t*)>(GetProcAddress(dll, "stagehand_last_error"));
        char text[64] = {};
        if (!create || !message)
            return 1;
        {
            CallHook<decltype(&HeapAlloc)> heap("kernel32.dll", "HeapAlloc", dll);
            heap.instead = [](HANDLE, DWORD, SIZE_T) -> LPVOID { return nullptr; };
            if (create(nullptr) != 1)  // STAGEHAND_NULL_ARGUMENT
                return 2;
            if (message(text, sizeof text, nullptr) != 0 ||
                std::string(text) != "stagehand_manager_create: manager is null")
                return 3;
            if (heap.calls().empty())
                return 5;
        }
        return FreeLibrary(dll) ? 0 : 4;
    }, nullptr, 0, nullptr);
    DWORD code = 9;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(0u, code) << "1: no DLL, 2: no status, 3: no message, 4: not freed, 5: no failed allocation";
    CloseHandle(thread);
    EXPECT_EQ(nullptr, GetModuleHandleW(L"stagehand.dll"));

    for (const wchar_t* dll : {L"vela.dll", L"stagehand.dll"}) {
        DWORD ignored = 0;
        std::vector<BYTE> info(GetFileVersionInfoSizeW(dll, &ignored));
        ASSERT_TRUE(GetFileVersionInfoW(dll, 0, static_cast<DWORD>(info.size()), info.data())) << dll;
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) << dll;
        DWORD high = MAKELONG(STAGEHAND_VERSION_MINOR, STAGEHAND_VERSION_MAJOR), low = STAGEHAND_VERSION_PATCH << 16;
        EXPECT_EQ(high, fixed->dwFileVersionMS) << dll;
        EXPECT_EQ(low, fixed->dwFileVersionLS) << dll;
    }
}
