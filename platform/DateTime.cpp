#include "platform/DateTime.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace platform {

namespace {

constexpr double SecondsPerDay = 86400.0;

// The local time zone's offset from UTC at a moment, in seconds; 0 when the C library
// cannot tell (a moment beyond its calendar).
int64_t LocalOffset(int64_t seconds) {
    if (seconds < std::numeric_limits<time_t>::min() ||
        seconds > std::numeric_limits<time_t>::max())
        return 0;
    const time_t t = static_cast<time_t>(seconds);
    std::tm local{};
    if (!::localtime_r(&t, &local))
        return 0;
    return local.tm_gmtoff;
}

// Days since 1970-01-01 to a proleptic Gregorian date (the days-from-civil inverse
// published by Howard Hinnant).
void CivilFromDays(int64_t days, int64_t& year, int& month, int& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

TDateTime UnixToDateTime(int64_t seconds) {
    // Whole days and the rest apart, so that large values keep their time of day.
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    return UnixEpochDateTime + static_cast<double>(days) +
           static_cast<double>(rest) / SecondsPerDay;
}

int64_t DateTimeToUnix(TDateTime value) {
    const double seconds = std::round((value - UnixEpochDateTime) * SecondsPerDay);
    // Beyond the range of the result (or not a number): the nearest end of the range.
    if (std::isnan(seconds))
        return 0;
    if (seconds >= 9.2e18)
        return std::numeric_limits<int64_t>::max();
    if (seconds <= -9.2e18)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(seconds);
}

TDateTime UnixToLocalDateTime(int64_t seconds) {
    const int64_t offset = LocalOffset(seconds);
    if ((offset > 0 && seconds > std::numeric_limits<int64_t>::max() - offset) ||
        (offset < 0 && seconds < std::numeric_limits<int64_t>::min() - offset))
        return UnixToDateTime(seconds);
    return UnixToDateTime(seconds + offset);
}

int64_t LocalDateTimeToUnix(TDateTime value) {
    const int64_t asUtc = DateTimeToUnix(value);
    // The offset of the moment itself, found in two steps for times near a change of
    // daylight saving time.
    int64_t offset = LocalOffset(asUtc);
    const int64_t guess = asUtc - offset;
    offset = LocalOffset(guess);
    if ((offset > 0 && asUtc < std::numeric_limits<int64_t>::min() + offset) ||
        (offset < 0 && asUtc > std::numeric_limits<int64_t>::max() + offset))
        return asUtc;
    return asUtc - offset;
}

TDateTime Now() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return UnixToLocalDateTime(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 / SecondsPerDay;
}

bool DecodeDateTime(TDateTime value, TDateTimeParts& parts) {
    if (!std::isfinite(value) || value < -693594.0 || value >= 2958466.0)
        return false;
    const double ms = std::round(value * SecondsPerDay * 1000.0);
    const auto totalMs = static_cast<int64_t>(ms);
    int64_t days = totalMs / 86400000;
    int64_t msOfDay = totalMs % 86400000;
    if (msOfDay < 0) {
        msOfDay += 86400000;
        --days;
    }
    CivilFromDays(days - static_cast<int64_t>(UnixEpochDateTime), parts.Year, parts.Month,
                  parts.Day);
    const int64_t secondOfDay = msOfDay / 1000;
    parts.Hour = static_cast<int>(secondOfDay / 3600);
    parts.Minute = static_cast<int>(secondOfDay / 60 % 60);
    parts.Second = static_cast<int>(secondOfDay % 60);
    return true;
}

// Day first and a 24-hour clock, whatever the host's locale: log lines then read the
// same on every machine. A value outside years 1 to 9999 (or not a number) has no
// text.
std::string DateTimeToString(TDateTime value) {
    TDateTimeParts t;
    if (!DecodeDateTime(value, t))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%04lld %02d:%02d:%02d", t.Day, t.Month,
                  static_cast<long long>(t.Year), t.Hour, t.Minute, t.Second);
    return text;
}

}  // namespace platform
