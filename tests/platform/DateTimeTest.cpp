#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>

namespace {

using namespace platform;

TEST(DateTime, UnixSecondsAndDateTimeValues) {
    EXPECT_EQ(UnixToDateTime(0), 25569.0);
    EXPECT_EQ(UnixToDateTime(86400 + 43200), 25570.5);
    EXPECT_EQ(UnixToDateTime(-86400 * 25569LL), 0.0);  // 1899-12-30
    EXPECT_EQ(UnixToDateTime(-1), 25569.0 - 1.0 / 86400);
    for (int64_t s : {0LL, 1LL, -1LL, 946728000LL, 4102444799LL, -2208988800LL}) {
        EXPECT_EQ(DateTimeToUnix(UnixToDateTime(s)), s) << s;
    }
    // Values beyond the range of either side neither crash nor wrap around.
    const int64_t big = std::numeric_limits<int64_t>::max();
    EXPECT_TRUE(std::isfinite(UnixToDateTime(big)));
    EXPECT_TRUE(std::isfinite(UnixToDateTime(std::numeric_limits<int64_t>::min())));
    EXPECT_EQ(DateTimeToUnix(1e300), big);
    EXPECT_EQ(DateTimeToUnix(-1e300), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(DateTimeToUnix(std::nan("")), 0);
    EXPECT_EQ(DateTimeToUnix(INFINITY), big);
}

TEST(DateTime, TextIsDayMonthYearAndTwentyFourHourTime) {
    EXPECT_EQ(DateTimeToString(0.0), "30/12/1899 00:00:00");
    EXPECT_EQ(DateTimeToString(36526.75), "01/01/2000 18:00:00");
    EXPECT_EQ(DateTimeToString(UnixToDateTime(951825845)), "29/02/2000 12:04:05");
    EXPECT_EQ(DateTimeToString(36526.0 + 10.0 / 24 - 1e-10), "01/01/2000 10:00:00");
    EXPECT_EQ(DateTimeToString(-1.25), "28/12/1899 18:00:00");  // values run on below zero
    EXPECT_EQ(DateTimeToString(2958465.99998), "31/12/9999 23:59:58");
    EXPECT_EQ(DateTimeToString(-693593.0), "01/01/0001 00:00:00");
    EXPECT_EQ(DateTimeToString(1e300), "");
    EXPECT_EQ(DateTimeToString(std::nan("")), "");
    EXPECT_EQ(DateTimeToString(-INFINITY), "");
}

// The local conversions under a fixed zone with daylight saving time.
TEST(DateTime, LocalTimeFollowsTheTimeZone) {
    const char* saved = std::getenv("TZ");
    const std::string savedText = saved ? saved : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    const int64_t winter = 946728000;  // 2000-01-01 12:00 UTC
    const int64_t summer = 962452800;  // 2000-07-01 12:00 UTC
    EXPECT_EQ(DateTimeToString(UnixToLocalDateTime(winter)), "01/01/2000 13:00:00");
    EXPECT_EQ(DateTimeToString(UnixToLocalDateTime(summer)), "01/07/2000 14:00:00");
    EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(winter)), winter);
    EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(summer)), summer);
    EXPECT_TRUE(std::isfinite(UnixToLocalDateTime(std::numeric_limits<int64_t>::max())));
    saved ? ::setenv("TZ", savedText.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();

    const double now = Now();
    EXPECT_NEAR(now, UnixToLocalDateTime(std::time(nullptr)), 2.0 / 86400);
}

}  // namespace
