// Single-byte ANSI text and date-time values.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <map>
#include <tuple>

#include "platform/Ansi.h"
#include "platform/DateTime.h"

namespace {

using namespace platform;

// Every lower-case letter of the Windows-1252 code chart and its capital, checked
// against the chart letter by letter; every other byte (the micro sign, sharp s, the
// florin, the ordinal indicators...) has no case and stays.
TEST(Ansi, UpperMapFollowsTheWindows1252Chart) {
    std::map<int, int> upper{{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    for (int b = 'a'; b <= 'z'; ++b)
        upper[b] = b - 0x20;
    for (int b = 0xE0; b <= 0xFE; ++b) {
        if (b != 0xF7)  // the division sign
            upper[b] = b - 0x20;
    }
    ASSERT_EQ(upper.size(), 60u);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(AnsiUpperMap[b], upper.contains(b) ? upper[b] : b) << "byte 0x" << std::hex << b;
}

TEST(Ansi, UpperCaseAndCompareTextUseTheMap) {
    EXPECT_EQ(AnsiUpperCase(std::string("w_Main\xE9t\xFF\0a", 11)),
              std::string("W_MAIN\xC9T\x9F\0A", 11));
    EXPECT_TRUE(AnsiSameText("d_\xE0la", "D_\xC0LA"));
    // Bytes compare unsigned: an accented capital sorts after 'Z'.
    const std::tuple<const char*, const char*, int> order[] = {
        {"abc", "ABD", -1}, {"ab", "ABC", -1}, {"", "", 0}, {"\xE9", "z", 1}};
    for (const auto& [a, b, sign] : order) {
        const int result = AnsiCompareText(a, b);
        EXPECT_EQ((result > 0) - (result < 0), sign) << a << " " << b;
    }
}

TEST(DateTime, UnixSecondsAndTheirText) {
    EXPECT_EQ(UnixToDateTime(0), 25569.0);
    EXPECT_EQ(UnixToDateTime(86400 + 43200), 25570.5);
    EXPECT_EQ(UnixToDateTime(-86400 * 25569LL), 0.0);  // 1899-12-30
    EXPECT_EQ(UnixToDateTime(-1), 25569.0 - 1.0 / 86400);
    for (int64_t s : {-1LL, 4102444799LL, -2208988800LL})
        EXPECT_EQ(DateTimeToUnix(UnixToDateTime(s)), s) << s;
    // Values beyond the range of either side neither crash nor wrap around (seconds of
    // any size are the windows_path fuzz target's).
    const int64_t big = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(DateTimeToUnix(1e300), big);
    EXPECT_EQ(DateTimeToUnix(-1e300), -big - 1);
    EXPECT_EQ(DateTimeToUnix(std::nan("")), 0);

    // Day first and a 24-hour clock; values run on below zero; none outside years 1-9999.
    const std::pair<double, const char*> texts[] = {
        {0.0, "30/12/1899 00:00:00"},
        {UnixToDateTime(951825845), "29/02/2000 12:04:05"},
        {36526.0 + 10.0 / 24 - 1e-10, "01/01/2000 10:00:00"},
        {-1.25, "28/12/1899 18:00:00"},
        {2958465.99998, "31/12/9999 23:59:58"},
        {-693593.0, "01/01/0001 00:00:00"},
        {1e300, ""},
        {-INFINITY, ""}};
    for (const auto& [value, text] : texts)
        EXPECT_EQ(DateTimeToString(value), text) << value;
}

// The local conversion under a fixed zone with daylight saving time.
TEST(DateTime, LocalTimeFollowsTheTimeZone) {
    const char* saved = std::getenv("TZ");
    const std::string savedText = saved ? saved : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    EXPECT_EQ(DateTimeToString(UnixToLocalDateTime(946728000)), "01/01/2000 13:00:00");
    EXPECT_EQ(DateTimeToString(UnixToLocalDateTime(962452800)), "01/07/2000 14:00:00");
    for (int64_t s : {946728000LL, 962452800LL})
        EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(s)), s);
    EXPECT_TRUE(std::isfinite(UnixToLocalDateTime(std::numeric_limits<int64_t>::max())));
    saved ? ::setenv("TZ", savedText.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
    EXPECT_NEAR(Now(), UnixToLocalDateTime(std::time(nullptr)), 2.0 / 86400);
}

}  // namespace
