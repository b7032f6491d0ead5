// The foundation's Windows side: text and logging.
#include <vela/ClassLogger.h>
#include <vela/String.h>
#include <vela/TraceLogger.h>

#include "support/LogCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

using vela::LoggerPriority;
using vela::String;

TEST(String, KeepsUtf8AsUcs2ReplacesMalformedSequencesAndComparesOrdinallyIgnoringCase)
{
    String s("Größe \xE2\x82\xAC \xF0\x9F\x98\x80");  // Größe € and a surrogate pair
    EXPECT_EQ(10u, s.size());
    EXPECT_EQ("Größe \xE2\x82\xAC \xF0\x9F\x98\x80", s.toUtf8());
    const unsigned short units[] = {'a', 0, 'b', 0, 0xD800};
    EXPECT_EQ(4u, String(units, 4).size()) << "every unit of a given length";
    EXPECT_EQ("\xEF\xBF\xBD", String(units + 4, 1).toUtf8()) << "a lone surrogate";
    for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xFF", "\xF4\x90\x80\x80"})
        EXPECT_EQ(0xFFFD, String(bad).getUCS2Buffer()[0]) << bad;
    EXPECT_EQ(0, String::compareNoCase("\\\\.\\DISPLAY1", "\\\\.\\display1"));
    EXPECT_EQ(0, String::compareNoCase("größe", "GRÖßE"));
    EXPECT_NE(0, String::compareNoCase("straße", "STRASSE")) << "no linguistic folding";
    EXPECT_NE(0, String::compareNoCase(String(units, 3), "a")) << "the units after a NUL count";
}

TEST(Logging, TheGateOpensOnGlobalPriorityAndThresholdScopesEndOnEveryExitAndTheLastErrorSurvives)
{
    LogCapture log(LoggerPriority::TRACE);
    vela::ClassLogger logger("test.gate");
    auto throwing = [&] {
        vela::TraceLogger scope(logger.traceLogger(), "throwing", "dir/file.cpp", 42);
        throw std::runtime_error("out");
    };
    EXPECT_THROW(throwing(), std::runtime_error);
    SetLastError(0xdeadbeef);
    logger.log(LoggerPriority::FAILURE, "9 ", "failed ", static_cast<unsigned long>(GetLastError()));
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    ASSERT_NE(nullptr, logger.logger());
    logger.logger()->setThreshold(LoggerPriority::FAILURE);
    logger.log(LoggerPriority::FAILURE, "3 ", "at the threshold");
    logger.log(LoggerPriority::SEVERE, "57 ", "parts ", String("a.exe"), " ", 4294967295u, " ",
               18446744073709551615ull);
    EXPECT_EQ((std::vector<std::string>{"1 test.gate: enter throwing dir/file.cpp:42", "1 test.gate: leave throwing",
                                        "3 test.gate: 9 failed 3735928559",
                                        "4 test.gate: 57 parts a.exe 4294967295 18446744073709551615"}),
              log.lines);
}
