#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

// This test program does not link stagehand.dll, so the load below is the first.
TEST(EntryPoint, LoadsAndUnloads)
{
    ASSERT_EQ(nullptr, GetModuleHandleW(L"stagehand.dll"));
    HMODULE library = LoadLibraryW(L"stagehand.dll");
    ASSERT_NE(nullptr, library) << GetLastError();
    EXPECT_NE(nullptr, GetProcAddress(library, "_ZN9stagehand17ProcessEnumerator9enumerateEv"));
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_EQ(nullptr, GetModuleHandleW(L"stagehand.dll"));
}

// Both DLLs carry the project's version.
TEST(EntryPoint, DllsCarryTheProjectVersion)
{
    for (const wchar_t* dll : {L"vela.dll", L"stagehand.dll"}) {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(dll, &ignored);
        ASSERT_GT(size, 0u) << dll;
        std::vector<BYTE> info(size);
        ASSERT_TRUE(GetFileVersionInfoW(dll, 0, size, info.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(static_cast<DWORD>(MAKELONG(STAGEHAND_VERSION_MINOR, STAGEHAND_VERSION_MAJOR)),
                  fixed->dwFileVersionMS);
        EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, STAGEHAND_VERSION_PATCH)), fixed->dwFileVersionLS);
    }
}
