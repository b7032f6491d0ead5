#include <windows.h>

#include <gtest/gtest.h>

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
