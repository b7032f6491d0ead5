#include <vela/String.h>
#include <vela/VelaValue.h>

#include <gtest/gtest.h>

using vela::String;

TEST(String, KeepsUtf8TextAsUcs2)
{
    String s("Größe \xE2\x82\xAC");  // Größe €
    EXPECT_EQ(7u, s.size());
    EXPECT_EQ(0x20AC, s.getUCS2Buffer()[6]);
    EXPECT_EQ(0, s.getUCS2Buffer()[7]);
    EXPECT_EQ("Größe \xE2\x82\xAC", s.toUtf8());
}

TEST(String, NullPointersMakeEmptyStrings)
{
    EXPECT_EQ(0u, String(static_cast<const char*>(nullptr)).size());
    EXPECT_EQ(0u, String(static_cast<const unsigned short*>(nullptr)).size());
    EXPECT_EQ(0u, String(static_cast<const unsigned short*>(nullptr), 5).size());
    String s;
    s.append(static_cast<const char*>(nullptr));
    EXPECT_EQ(0, s.getUCS2Buffer()[0]);
}

TEST(String, LengthConstructorKeepsEveryUnit)
{
    const unsigned short units[] = {'a', 0, 'b', 0, 0};
    String s(units, 4);
    EXPECT_EQ(4u, s.size());
    EXPECT_EQ('b', s.getUCS2Buffer()[2]);
    EXPECT_NE(String("a"), s);
    EXPECT_EQ(1u, String(units).size());
}

TEST(String, AppendAndConcatenate)
{
    String s("ab");
    s.append("cd").append(s);
    EXPECT_EQ("abcdabcd", s.toUtf8());
    EXPECT_EQ("x: abcdabcd", ("x: " + s).toUtf8());
    String copy = s;
    copy.append("!");
    EXPECT_EQ("abcdabcd", s.toUtf8());
}

TEST(String, CompareNoCaseIsOrdinalIgnoringCase)
{
    EXPECT_EQ(0, String::compareNoCase("\\\\.\\DISPLAY1", "\\\\.\\display1"));
    EXPECT_NE(0, String::compareNoCase("straße", "STRASSE"));  // ordinal: no linguistic folding
    EXPECT_EQ(0, String::compareNoCase("größe", "GRÖßE"));
    EXPECT_LT(String::compareNoCase("DISPLAY1", "display2"), 0);
    EXPECT_GT(String::compareNoCase("display10", "DISPLAY1"), 0);
    EXPECT_EQ(0, String::compareNoCase("", ""));
    const unsigned short withNul[] = {'a', 0, 'b'};
    EXPECT_NE(0, String::compareNoCase(String(withNul, 3), "a"));
}

TEST(String, NumbersHaveTheirDecimalText)
{
    EXPECT_EQ("0", vela::VelaValue(0u).toString(vela::VelaValue::nilValue).toUtf8());
    EXPECT_EQ("4294967295", vela::VelaValue(4294967295u).toString(vela::VelaValue::nilValue).toUtf8());
    EXPECT_EQ("18446744073709551615", vela::VelaValue(~0ull).toString(vela::VelaValue::nilValue).toUtf8());
}

TEST(String, MalformedUtf8BecomesReplacementCharacters)
{
    EXPECT_EQ(2u, String("\xF0\x9F\x98\x80").size()) << "a surrogate pair";
    EXPECT_EQ("\xF0\x9F\x98\x80", String("\xF0\x9F\x98\x80").toUtf8());
    const unsigned short replacement = 0xFFFD;
    for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xFF", "\xF4\x90\x80\x80"}) {
        String s(bad);
        ASSERT_GE(s.size(), 1u) << bad;
        EXPECT_EQ(replacement, s.getUCS2Buffer()[0]);
    }
    const unsigned short lone[] = {0xD800, 'a'};
    EXPECT_EQ("\xEF\xBF\xBD" "a", String(lone, 2).toUtf8());
}
