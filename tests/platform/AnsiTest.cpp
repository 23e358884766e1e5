#include "platform/Ansi.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace {

using platform::AnsiUpperMap;

// Every lower-case letter of the Windows-1252 code chart and its capital, checked
// against the chart letter by letter; every other byte has no case and stays.
TEST(Ansi, UpperMapFollowsTheWindows1252Chart) {
    std::map<int, int> lowerToUpper;
    for (int b = 'a'; b <= 'z'; ++b)
        lowerToUpper[b] = b - 0x20;
    lowerToUpper[0x9A] = 0x8A;  // s caron
    lowerToUpper[0x9C] = 0x8C;  // oe ligature
    lowerToUpper[0x9E] = 0x8E;  // z caron
    lowerToUpper[0xFF] = 0x9F;  // y diaeresis
    for (int b = 0xE0; b <= 0xFE; ++b) {
        if (b != 0xF7)
            lowerToUpper[b] = b - 0x20;  // a grave .. thorn, not the division sign
    }
    ASSERT_EQ(lowerToUpper.size(), 60u);
    for (int b = 0; b < 256; ++b) {
        const auto it = lowerToUpper.find(b);
        const int expected = it == lowerToUpper.end() ? b : it->second;
        EXPECT_EQ(AnsiUpperMap[b], expected) << "byte 0x" << std::hex << b;
    }
    // Letters without a capital in the code page stay as they are.
    for (int b : {0x83, 0xAA, 0xB5, 0xBA, 0xDF, 0xF7})
        EXPECT_EQ(AnsiUpperMap[b], b);
}

TEST(Ansi, UpperCaseAndCompareTextUseTheMap) {
    EXPECT_EQ(platform::AnsiUpperCase("w_Main\xE9t\xFF"
                                      "1"),
              "W_MAIN\xC9T\x9F"
              "1");
    EXPECT_EQ(platform::AnsiUpperCase(std::string_view("a\0b", 3)), std::string("A\0B", 3));
    EXPECT_TRUE(platform::AnsiSameText("d_\xE0la", "D_\xC0LA"));
    EXPECT_FALSE(
        platform::AnsiSameText("stra\xDF"
                               "e",
                               "STRASSE"));
    // Bytes compare unsigned: an accented capital sorts after 'Z'.
    const std::tuple<const char*, const char*, int> order[] = {
        {"abc", "ABD", -1}, {"abd", "ABC", 1}, {"ab", "ABC", -1},
        {"abc", "AB", 1},   {"", "", 0},       {"\xE9", "z", 1}};
    for (const auto& [a, b, sign] : order) {
        const int result = platform::AnsiCompareText(a, b);
        EXPECT_EQ((result > 0) - (result < 0), sign) << a << " " << b;
    }
}

}  // namespace
