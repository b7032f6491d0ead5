#include <vela/String.h>
#include <vela/VelaValue.h>

#include <gtest/gtest.h>

using vela::String;

TEST(String, KeepsUtf8AsUcs2AndEveryUnitOfAGivenLength)
{
    String s("Größe \xE2\x82\xAC \xF0\x9F\x98\x80");  // Größe € and a surrogate pair
    EXPECT_EQ(10u, s.size());
    EXPECT_EQ(0x20AC, s.getUCS2Buffer()[6]);
    EXPECT_EQ(0, s.getUCS2Buffer()[10]);
    EXPECT_EQ("Größe \xE2\x82\xAC \xF0\x9F\x98\x80", s.toUtf8());

    const unsigned short units[] = {'a', 0, 'b', 0, 0};
    EXPECT_EQ(4u, String(units, 4).size());
    EXPECT_EQ(1u, String(units).size());
    EXPECT_EQ(0u, String(static_cast<const char*>(nullptr)).size());
    EXPECT_EQ(0u, String(static_cast<const unsigned short*>(nullptr), 5).size());

    String appended("ab");
    appended.append("cd").append(appended).append(static_cast<const char*>(nullptr));
    String copy = appended;
    copy.append("!");
    EXPECT_EQ("x: abcdabcd", ("x: " + appended).toUtf8());
    EXPECT_EQ("18446744073709551615", vela::VelaValue(~0ull).toString(vela::VelaValue::nilValue).toUtf8());
}

TEST(String, MalformedUtf8BecomesReplacementCharacters)
{
    for (const char* bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xFF", "\xF4\x90\x80\x80"}) {
        String s(bad);
        ASSERT_GE(s.size(), 1u) << bad;
        EXPECT_EQ(0xFFFD, s.getUCS2Buffer()[0]);
    }
    const unsigned short lone[] = {0xD800, 'a'};
    EXPECT_EQ("\xEF\xBF\xBD" "a", String(lone, 2).toUtf8());
}

TEST(String, CompareNoCaseIsOrdinalIgnoringCase)
{
    EXPECT_EQ(0, String::compareNoCase("\\\\.\\DISPLAY1", "\\\\.\\display1"));
    EXPECT_EQ(0, String::compareNoCase("größe", "GRÖßE"));
    EXPECT_NE(0, String::compareNoCase("straße", "STRASSE")) << "no linguistic folding";
    EXPECT_LT(String::compareNoCase("DISPLAY1", "display2"), 0);
    EXPECT_GT(String::compareNoCase("display10", "DISPLAY1"), 0);
    const unsigned short withNul[] = {'a', 0, 'b'};
    EXPECT_NE(0, String::compareNoCase(String(withNul, 3), "a"));
    EXPECT_NE(String("a"), String(withNul, 3));
}
