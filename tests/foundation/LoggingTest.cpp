#include <vela/ClassLogger.h>
#include <vela/TraceLogger.h>

#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

using vela::ClassLogger;
using vela::LoggerPriority;

TEST(Logging, GateOpensOnGlobalPriorityAndThresholdAndPartsAppendInOrder)
{
    LogCapture log(LoggerPriority::FAILURE);
    ClassLogger logger("test.gate");
    logger.log(LoggerPriority::DETAIL, "1 ", "below the global priority");
    EXPECT_EQ(nullptr, logger.logger()) << "a logger is made only once a message passes the global priority";
    logger.log(LoggerPriority::FAILURE, "57 ", "parts ", vela::String("a.exe"), " ", 4294967295u, " ", 5ul, " ",
               18446744073709551615ull);
    ASSERT_NE(nullptr, logger.logger());
    logger.logger()->setThreshold(LoggerPriority::FAILURE);
    logger.log(LoggerPriority::FAILURE, "3 ", "at the threshold");
    logger.log(LoggerPriority::SEVERE, "4 ", "above the threshold");
    logger.logger()->setThreshold(0);
    {
        LogCapture silent(LoggerPriority::SILENT);
        logger.log(LoggerPriority::SEVERE, "5 ", "never");
        vela::TraceLogger scope(logger.traceLogger(), "f", "file.cpp", 1);
        EXPECT_TRUE(silent.lines().empty());
    }
    EXPECT_EQ((std::vector<std::string>{"3 test.gate: 57 parts a.exe 4294967295 5 18446744073709551615",
                                        "4 test.gate: 4 above the threshold"}),
              log.lines());
}

TEST(Logging, TraceScopeEndsOnEveryExitAndWritingKeepsTheLastError)
{
    LogCapture log(LoggerPriority::TRACE);
    ClassLogger logger("test.trace");
    auto throwing = [&] {
        vela::TraceLogger scope(logger.traceLogger(), "throwing", "dir/file.cpp", 42);
        throw std::runtime_error("out");
    };
    EXPECT_THROW(throwing(), std::runtime_error);
    {
        vela::TraceLogger scope(logger.traceLogger(), "failing", "f.cpp", 7);
        SetLastError(0xdeadbeef);
        logger.log(LoggerPriority::FAILURE, "9 ", "failed ", static_cast<unsigned long>(GetLastError()));
    }
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    EXPECT_EQ((std::vector<std::string>{"1 test.trace: enter throwing dir/file.cpp:42", "1 test.trace: leave throwing",
                                        "1 test.trace: enter failing f.cpp:7", "3 test.trace: 9 failed 3735928559",
                                        "1 test.trace: leave failing"}),
              log.lines());
    LogCapture quieter(LoggerPriority::DETAIL);
    { vela::TraceLogger scope(logger.traceLogger(), "quiet", "f.cpp", 1); }
    EXPECT_TRUE(quieter.lines().empty()) << "trace scopes are silent above priority 1";
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
