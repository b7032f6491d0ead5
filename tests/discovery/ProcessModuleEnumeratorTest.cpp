#include <stagehand/ProcessModuleEnumerator.h>

#include "support/ImportHook.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using stagehand::ProcessHandle;
using stagehand::ProcessModuleEnumerator;

namespace {

std::string executableBaseName()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path, n);
    std::wstring base = full.substr(full.find_last_of(L"\\/") + 1);
    return vela::String(reinterpret_cast<const unsigned short*>(base.c_str())).toUtf8();
}

bool handleIsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != 0;
}

bool hasName(const ProcessModuleEnumerator& e, const char* name)
{
    for (unsigned int i = 0; i < e.moduleNames().size(); ++i)
        if (vela::String::compareNoCase(e.moduleNames()[i], name) == 0)
            return true;
    return false;
}

// Counts the handles the foundation closes.
struct CloseCounter {
    static inline std::vector<HANDLE> closed;
    static inline decltype(&CloseHandle) real;
    static BOOL WINAPI call(HANDLE handle)
    {
        closed.push_back(handle);
        return real(handle);
    }
};

// Records the access asked of OpenProcess; can deny the first request.
struct OpenRecorder {
    static inline std::vector<DWORD> access;
    static inline bool denyFirst;
    static inline decltype(&OpenProcess) real;
    static HANDLE WINAPI call(DWORD rights, BOOL inherit, DWORD pid)
    {
        access.push_back(rights);
        if (denyFirst && access.size() == 1) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        return real(rights, inherit, pid);
    }
    static void reset(bool deny)
    {
        access.clear();
        denyFirst = deny;
    }
};

// A module listing that claims to fill a buffer of up to `fullUpTo` bytes, or fails.
struct ListingFake {
    static inline std::vector<DWORD> bufferBytes;
    static inline DWORD fullUpTo;
    static inline bool fail;
    static inline decltype(&K32EnumProcessModules) real;
    static BOOL WINAPI call(HANDLE process, HMODULE* modules, DWORD bytes, DWORD* needed)
    {
        bufferBytes.push_back(bytes);
        if (fail) {
            SetLastError(ERROR_PARTIAL_COPY);
            return FALSE;
        }
        BOOL done = real(process, modules, bytes, needed);
        if (bytes <= fullUpTo)
            *needed = bytes;
        return done;
    }
    static void reset(DWORD full, bool failing)
    {
        bufferBytes.clear();
        fullUpTo = full;
        fail = failing;
    }
};

// Fails to read the name of the second module asked for.
struct NameFake {
    static inline int calls;
    static inline decltype(&K32GetModuleBaseNameW) real;
    static DWORD WINAPI call(HANDLE process, HMODULE module, LPWSTR name, DWORD size)
    {
        if (++calls == 2) {
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
        return real(process, module, name, size);
    }
};

}  // namespace

TEST(ProcessModuleEnumerator, ListsTheOwnModulesExecutableFirst)
{
    ProcessModuleEnumerator modules;
    EXPECT_EQ(0u, modules.numModules());
    EXPECT_EQ(nullptr, modules.processHandle().get());

    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    ASSERT_GT(modules.numModules(), 3u);
    EXPECT_EQ(modules.numModules(), modules.modules().size());
    EXPECT_EQ(GetModuleHandleW(nullptr), modules.modules()[0]);
    ASSERT_EQ(modules.numModules(), modules.moduleNames().size());
    EXPECT_EQ(executableBaseName(), modules.moduleNames()[0].toUtf8());
    EXPECT_TRUE(hasName(modules, "stagehand.dll"));
    EXPECT_TRUE(hasName(modules, "vela.dll"));
}

TEST(ProcessModuleEnumerator, HandleIsSharedAndClosedOnceByTheLastHolder)
{
    ImportHook hook(GetModuleHandleW(L"vela.dll"), "kernel32.dll", "CloseHandle",
                    &CloseCounter::call, CloseCounter::real);
    CloseCounter::closed.clear();

    HANDLE process;
    {
        auto first = std::make_unique<ProcessModuleEnumerator>();
        ASSERT_TRUE(first->enumerate(GetCurrentProcessId()));
        ProcessHandle held = first->processHandle();
        process = held.get();
        ASSERT_TRUE(handleIsOpen(process));
        EXPECT_EQ(2u, held.useCount());

        ProcessModuleEnumerator copy(*first);
        ProcessModuleEnumerator assigned;
        assigned = copy;
        EXPECT_EQ(4u, held.useCount());
        first.reset();
        EXPECT_EQ(3u, held.useCount());
        EXPECT_TRUE(CloseCounter::closed.empty());
        EXPECT_TRUE(handleIsOpen(process));
    }
    EXPECT_EQ((std::vector<HANDLE>{process}), CloseCounter::closed);
    EXPECT_FALSE(handleIsOpen(process));
}

TEST(ProcessModuleEnumerator, ReopeningClosesThePreviousHandle)
{
    ImportHook hook(GetModuleHandleW(L"vela.dll"), "kernel32.dll", "CloseHandle",
                    &CloseCounter::call, CloseCounter::real);
    ProcessModuleEnumerator modules;
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    HANDLE first = modules.processHandle().get();
    CloseCounter::closed.clear();
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    EXPECT_EQ((std::vector<HANDLE>{first}), CloseCounter::closed);
}

TEST(ProcessModuleEnumerator, MissingProcessIsLoggedAndSharesANullHandle)
{
    ImportHook hook(stagehandModule(), "kernel32.dll", "OpenProcess", &OpenRecorder::call, OpenRecorder::real);
    OpenRecorder::reset(false);
    LogCapture log(vela::LoggerPriority::FAILURE);

    ProcessModuleEnumerator modules;
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    unsigned int listed = modules.numModules();
    OpenRecorder::reset(false);

    const DWORD missing = 0x7FFFFFF0;
    EXPECT_FALSE(modules.enumerate(missing));
    EXPECT_EQ(1u, OpenRecorder::access.size());
    ASSERT_EQ(1u, log.lines().size());
    EXPECT_EQ(0u, log.lines()[0].find("3 stagehand.ProcessModuleEnumerator: 72 OpenProcess failed on pid 2147483632! "
                                      "Is this a 64Bit OS? "));
    EXPECT_EQ(listed, modules.numModules()) << "a failed open keeps the earlier lists";

    ProcessHandle held = modules.processHandle();
    EXPECT_EQ(nullptr, held.get());
    EXPECT_TRUE(held.holdsResource());
    ProcessModuleEnumerator copy(modules);
    EXPECT_EQ(3u, held.useCount());
}

TEST(ProcessModuleEnumerator, DeniedAccessIsRetriedWithTheLimitedRight)
{
    ImportHook hook(stagehandModule(), "kernel32.dll", "OpenProcess", &OpenRecorder::call, OpenRecorder::real);
    OpenRecorder::reset(true);

    ProcessModuleEnumerator modules;
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    EXPECT_EQ((std::vector<DWORD>{0x410, 0x1010}), OpenRecorder::access);
    EXPECT_GT(modules.moduleNames().size(), 3u);
    EXPECT_EQ(executableBaseName(), modules.moduleNames()[0].toUtf8());
}

TEST(ProcessModuleEnumerator, FullBufferIsAskedAgainWithTwiceItsSize)
{
    ImportHook hook(stagehandModule(), "kernel32.dll", "K32EnumProcessModules", &ListingFake::call, ListingFake::real);
    ListingFake::reset(1024 * sizeof(HMODULE), false);

    ProcessModuleEnumerator modules;
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    EXPECT_EQ((std::vector<DWORD>{8192, 16384}), ListingFake::bufferBytes);
    EXPECT_LT(modules.numModules(), 100u) << "cut to what the last listing reported";
    EXPECT_EQ(GetModuleHandleW(nullptr), modules.modules()[0]);
}

TEST(ProcessModuleEnumerator, FailedListingIsLoggedAndListsNothing)
{
    ImportHook hook(stagehandModule(), "kernel32.dll", "K32EnumProcessModules", &ListingFake::call, ListingFake::real);
    LogCapture log(vela::LoggerPriority::FAILURE);

    ProcessModuleEnumerator modules;
    ListingFake::reset(0, false);
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    ListingFake::reset(0, true);
    EXPECT_TRUE(modules.enumerate(GetCurrentProcessId())) << "the process was opened";
    EXPECT_EQ(0u, modules.numModules());
    EXPECT_EQ(0u, modules.moduleNames().size());
    EXPECT_EQ((std::vector<std::string>{"3 stagehand.ProcessModuleEnumerator: 67 EnumProcessModules failed"}),
              log.lines());
}

TEST(ProcessModuleEnumerator, UnreadableNameIsLoggedAndLeftOut)
{
    ImportHook hook(stagehandModule(), "kernel32.dll", "K32GetModuleBaseNameW", &NameFake::call, NameFake::real);
    NameFake::calls = 0;
    LogCapture log(vela::LoggerPriority::DETAIL);

    ProcessModuleEnumerator modules;
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    EXPECT_EQ(modules.numModules() - 1, modules.moduleNames().size());
    EXPECT_EQ(1u, log.count("3 stagehand.ProcessModuleEnumerator: 61 GetModuleBaseName failed 5"));
    EXPECT_EQ(modules.moduleNames().size(), log.count("2 stagehand.ProcessModuleEnumerator: 57 Module name "));
    EXPECT_EQ(1u, log.count("57 Module name " + executableBaseName()));
}

TEST(ProcessModuleEnumerator, CopiesAreDeepAndIndependent)
{
    ProcessModuleEnumerator modules;
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    ProcessModuleEnumerator copy(modules);
    ProcessModuleEnumerator& alias = copy;
    copy = alias;
    EXPECT_EQ(modules.numModules(), copy.numModules());
    EXPECT_NE(modules.moduleNames().data(), copy.moduleNames().data());
    EXPECT_EQ(3u, copy.processHandle().useCount()) << "source, copy and the holder just handed out";

    EXPECT_FALSE(copy.enumerate(0x7FFFFFF0));
    EXPECT_NE(nullptr, modules.processHandle().get()) << "the source keeps its handle";
    EXPECT_EQ(executableBaseName(), modules.moduleNames()[0].toUtf8());
}
