#include <stagehand/ProcessModuleEnumerator.h>

#include "support/CallHook.h"
#include "support/LogCapture.h"
#include "support/ReleaseLedger.h"

#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using stagehand::ProcessHandle;
using stagehand::ProcessModuleEnumerator;

namespace {

std::string executableName()
{
    wchar_t path[MAX_PATH];
    std::wstring full(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    std::wstring base = full.substr(full.find_last_of(L"\\/") + 1);
    return vela::String(reinterpret_cast<const unsigned short*>(base.c_str())).toUtf8();
}

}  // namespace

TEST(ProcessModuleEnumerator, ListsTheOwnModulesExecutableFirstAndClosesEachHandleOnce)
{
    ReleaseLedger ledger;
    LogCapture log(vela::LoggerPriority::DETAIL);
    ProcessHandle held;
    {
        ProcessModuleEnumerator modules;
        EXPECT_EQ(nullptr, modules.processHandle().get());
        ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
        ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
        EXPECT_EQ(1u, ledger.held(ReleaseLedger::ProcessHandle).size()) << "reopening closed the first handle";
        ASSERT_GT(modules.numModules(), 3u);
        EXPECT_EQ(modules.numModules(), modules.modules().size());
        EXPECT_EQ(GetModuleHandleW(nullptr), modules.modules()[0]);
        ASSERT_EQ(modules.numModules(), modules.moduleNames().size());
        EXPECT_EQ(executableName(), modules.moduleNames()[0].toUtf8());
        EXPECT_EQ(2 * modules.numModules(), log.count("2 stagehand.ProcessModuleEnumerator: 57 Module name "));

        ProcessModuleEnumerator copy(modules);
        ProcessModuleEnumerator& alias = copy;
        copy = alias;
        held = copy.processHandle();
        EXPECT_EQ(3u, held.useCount()) << "source, copy and the holder handed out";
        EXPECT_NE(modules.moduleNames().data(), copy.moduleNames().data());
        EXPECT_FALSE(copy.enumerate(0x7FFFFFF0));
        EXPECT_EQ(2u, held.useCount());
        EXPECT_EQ(executableName(), modules.moduleNames()[0].toUtf8()) << "the source keeps its lists";
    }
    EXPECT_EQ(1u, held.useCount());
    EXPECT_EQ(1u, ledger.held(ReleaseLedger::ProcessHandle).size());
    held.reset();
    EXPECT_TRUE(ledger.allReleased());
}

TEST(ProcessModuleEnumerator, ADeniedOpenIsRetriedWithTheLimitedRightAndAMissingProcessLogged)
{
    CallHook<decltype(&OpenProcess)> open(stagehandModule(), "kernel32.dll", "OpenProcess");
    open.failCall(1, nullptr, ERROR_ACCESS_DENIED);
    ProcessModuleEnumerator modules;
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    ASSERT_EQ(2u, open.calls().size());
    EXPECT_EQ(0x410u, std::get<0>(open.calls()[0]));
    EXPECT_EQ(0x1010u, std::get<0>(open.calls()[1]));
    EXPECT_EQ(executableName(), modules.moduleNames()[0].toUtf8());

    LogCapture log(vela::LoggerPriority::FAILURE);
    unsigned int listed = modules.numModules();
    for (DWORD pid : {DWORD(0), DWORD(0x7FFFFFF0), DWORD(0xFFFFFFFF)}) {
        log.clear();
        EXPECT_FALSE(modules.enumerate(pid));
        ASSERT_EQ(1u, log.lines().size());
        EXPECT_EQ(0u, log.lines()[0].find("3 stagehand.ProcessModuleEnumerator: 72 OpenProcess failed on pid " +
                                          std::to_string(pid) + "! Is this a 64Bit OS? "));
        EXPECT_EQ(listed, modules.numModules()) << "a failed open keeps the earlier lists";
        ProcessHandle held = modules.processHandle();
        EXPECT_EQ(nullptr, held.get());
        EXPECT_TRUE(held.holdsResource());
    }
    EXPECT_EQ(5u, open.calls().size()) << "a missing process is asked once";
}

TEST(ProcessModuleEnumerator, ListingFailuresAreLoggedAndTheListsStayConsistent)
{
    CallHook<decltype(&K32EnumProcessModules)> list(stagehandModule(), "kernel32.dll", "K32EnumProcessModules");
    list.instead = [&](HANDLE process, HMODULE* modules, DWORD bytes, DWORD* needed) {
        BOOL done = list.real(process, modules, bytes, needed);
        if (bytes <= 8192)
            *needed = bytes;  // as if the buffer were full
        return done;
    };
    ProcessModuleEnumerator modules;
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    ASSERT_EQ(2u, list.calls().size());
    EXPECT_EQ(8192u, std::get<2>(list.calls()[0]));
    EXPECT_EQ(16384u, std::get<2>(list.calls()[1]));
    EXPECT_LT(modules.numModules(), 100u) << "cut to what the last listing reported";

    CallHook<decltype(&K32GetModuleBaseNameW)> name(stagehandModule(), "kernel32.dll", "K32GetModuleBaseNameW");
    name.failCall(2, 0, ERROR_ACCESS_DENIED);
    LogCapture log(vela::LoggerPriority::FAILURE);
    ASSERT_TRUE(modules.enumerate(GetCurrentProcessId()));
    EXPECT_EQ(modules.numModules() - 1, modules.moduleNames().size());
    EXPECT_EQ(executableName(), modules.moduleNames()[0].toUtf8());
    EXPECT_EQ((std::vector<std::string>{"3 stagehand.ProcessModuleEnumerator: 61 GetModuleBaseName failed 5"}),
              log.lines());

    log.clear();
    list.failCall(0, FALSE, ERROR_PARTIAL_COPY);
    EXPECT_TRUE(modules.enumerate(GetCurrentProcessId())) << "the process was opened";
    EXPECT_EQ(0u, modules.numModules());
    EXPECT_EQ(0u, modules.moduleNames().size());
    EXPECT_EQ((std::vector<std::string>{"3 stagehand.ProcessModuleEnumerator: 67 EnumProcessModules failed"}),
              log.lines());
}
