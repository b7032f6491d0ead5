// The DLLs as a program meets them. This program does not link stagehand.dll, so the load
// below is the first, and the tool reads the log priority from its environment.
#include "support/HelperWindows.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

TEST(EntryPoint, LoadsAndUnloadsAndBothDllsCarryTheProjectVersion)
{
    ASSERT_EQ(nullptr, GetModuleHandleW(L"stagehand.dll"));
    HMODULE library = LoadLibraryW(L"stagehand.dll");
    EXPECT_TRUE(library && FreeLibrary(library)) << GetLastError();
    EXPECT_EQ(nullptr, GetModuleHandleW(L"stagehand.dll"));

    for (const wchar_t* dll : {L"vela.dll", L"stagehand.dll"}) {
        DWORD ignored = 0;
        std::vector<BYTE> info(GetFileVersionInfoSizeW(dll, &ignored));
        ASSERT_TRUE(GetFileVersionInfoW(dll, 0, static_cast<DWORD>(info.size()), info.data())) << dll;
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) << dll;
        EXPECT_EQ(static_cast<DWORD>(MAKELONG(STAGEHAND_VERSION_MINOR, STAGEHAND_VERSION_MAJOR)),
                  fixed->dwFileVersionMS);
        EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, STAGEHAND_VERSION_PATCH)), fixed->dwFileVersionLS);
    }
}

// VELA_LOG_PRIORITY is read once, when a process first logs: 1 to 5, anything else 3.
TEST(EntryPoint, LogPriorityComesFromTheEnvironment)
{
    for (const wchar_t* value : {L"1", L"2", L"0", L"x"}) {
        SetEnvironmentVariableW(L"VELA_LOG_PRIORITY", value);  // the child's environment
        ChildProcess tool(L"stagehand.exe", L"processes");
        SetEnvironmentVariableW(L"VELA_LOG_PRIORITY", nullptr);
        std::string output = tool.readAll();
        EXPECT_NE(std::string::npos, output.find("stagehand.exe")) << "the listing, whatever the priority";
        bool traced = output.find("1 stagehand.ProcessEnumerator: enter enumerate ") != std::string::npos &&
                      output.find("1 stagehand.ProcessEnumerator: leave enumerate") != std::string::npos;
        EXPECT_EQ(value[0] == L'1', traced) << "VELA_LOG_PRIORITY=" << value[0] << "\n" << output;
    }
}
