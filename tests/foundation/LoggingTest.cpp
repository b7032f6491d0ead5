#include <vela/ClassLogger.h>
#include <vela/TraceLogger.h>

#include "support/ChildProcess.h"
#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

using vela::ClassLogger;
using vela::LoggerPriority;

TEST(Logging, GateOpensOnGlobalPriorityAndThreshold)
{
    LogCapture log(LoggerPriority::FAILURE);
    ClassLogger logger("test.gate");

    logger.log(LoggerPriority::DETAIL, "1 ", "below the global priority");
    EXPECT_EQ(nullptr, logger.logger()) << "a logger is made only once a message passes the global priority";

    logger.log(LoggerPriority::FAILURE, "2 ", "at the global priority ", 5ul);
    ASSERT_NE(nullptr, logger.logger());

    logger.logger()->setThreshold(LoggerPriority::FAILURE);
    logger.log(LoggerPriority::FAILURE, "3 ", "at the threshold");
    logger.log(LoggerPriority::SEVERE, "4 ", "above the threshold");
    logger.logger()->setThreshold(0);

    EXPECT_EQ((std::vector<std::string>{"3 test.gate: 2 at the global priority 5",
                                        "4 test.gate: 4 above the threshold"}),
              log.lines());
}

TEST(Logging, SilentPriorityWritesNothing)
{
    LogCapture log(LoggerPriority::SILENT);
    ClassLogger logger("test.silent");
    logger.log(LoggerPriority::SEVERE, "1 ", "never");
    vela::TraceLogger scope(logger.traceLogger(), "f", "file.cpp", 1);
    EXPECT_TRUE(log.lines().empty());
}

TEST(Logging, NumbersAndStringsAppendInOrder)
{
    LogCapture log(LoggerPriority::TRACE);
    ClassLogger logger("test.parts");
    logger.log(LoggerPriority::DETAIL, "57 ", "Module name ", vela::String("a.exe"), " ", 4294967295u, " ",
               18446744073709551615ull);
    EXPECT_EQ("2 test.parts: 57 Module name a.exe 4294967295 18446744073709551615", log.lines().at(0));
}

TEST(Logging, TraceScopeEndsOnEveryExitIncludingExceptions)
{
    LogCapture log(LoggerPriority::TRACE);
    ClassLogger logger("test.trace");
    auto throwing = [&] {
        vela::TraceLogger scope(logger.traceLogger(), "throwing", "dir/file.cpp", 42);
        throw std::runtime_error("out");
    };
    EXPECT_THROW(throwing(), std::runtime_error);
    EXPECT_EQ((std::vector<std::string>{"1 test.trace: enter throwing dir/file.cpp:42", "1 test.trace: leave throwing"}),
              log.lines());

    log.clear();
    LogCapture quieter(LoggerPriority::DETAIL);
    { vela::TraceLogger scope(logger.traceLogger(), "quiet", "f.cpp", 1); }
    EXPECT_TRUE(quieter.lines().empty()) << "trace scopes are silent above priority 1";
}

TEST(Logging, WritingKeepsTheLastErrorCode)
{
    LogCapture log(LoggerPriority::TRACE);
    ClassLogger logger("test.error");
    SetLastError(ERROR_ACCESS_DENIED);
    logger.log(LoggerPriority::FAILURE, "9 ", "failed ", static_cast<unsigned long>(GetLastError()));
    { vela::TraceLogger scope(logger.traceLogger(), "scope", "f.cpp", 1); }
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("3 test.error: 9 failed 5", log.lines().at(0));
}

TEST(Logging, DefaultSinkWritesOneLinePerRecordToStandardError)
{
    wchar_t directory[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    GetTempFileNameW(directory, L"vel", 0, path);
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, file);
    {
        LogCapture priority(LoggerPriority::FAILURE);
        vela::LogFactory::setSink(nullptr, nullptr);  // the default sink, inside the capture's restore
        ClassLogger logger("stagehand.Example");
        logger.log(LoggerPriority::FAILURE, "27 ", "EnumProcesses fails ", 5ul);
        logger.log(LoggerPriority::SEVERE, "28 ", "second");
    }
    SetStdHandle(STD_ERROR_HANDLE, standardError);

    char text[256] = {};
    DWORD read = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    EXPECT_STREQ("3 stagehand.Example: 27 EnumProcesses fails 5\n4 stagehand.Example: 28 second\n", text);
}

// The global priority comes from VELA_LOG_PRIORITY, read once when a process first logs.
TEST(Logging, PriorityComesFromTheEnvironment)
{
    struct Case {
        const wchar_t* value;
        bool traces;
    };
    for (const Case& c : {Case{L"1", true}, Case{L"2", false}, Case{L"0", false}, Case{L"x", false}}) {
        ChildProcess::Options options;
        options.environment = {{L"VELA_LOG_PRIORITY", c.value}};
        ChildProcess tool(L"stagehand.exe", L"processes", options);
        ASSERT_TRUE(tool.started());
        std::string output = tool.readAll();
        EXPECT_EQ(0u, tool.wait());
        bool traced = output.find("1 stagehand.ProcessEnumerator: enter enumerate ") != std::string::npos &&
                      output.find("1 stagehand.ProcessEnumerator: leave enumerate") != std::string::npos;
        EXPECT_EQ(c.traces, traced) << "VELA_LOG_PRIORITY=" << c.value << "\n" << output;
    }
}
