#pragma once
// Date-time values as the program uses them: days since 1899-12-30 as a double, the
// fraction being the time of day.

#include <cstdint>
#include <string>

namespace platform {

using TDateTime = double;

// 1970-01-01 as a date-time value.
inline constexpr TDateTime UnixEpochDateTime = 25569.0;

// Unix seconds to a date-time value, without any time-zone shift (UTC stays UTC).
TDateTime UnixToDateTime(int64_t seconds);
// The inverse, rounded to the nearest second.
int64_t DateTimeToUnix(TDateTime value);
// Unix seconds to a date-time value in the local time zone (as file dates are shown).
TDateTime UnixToLocalDateTime(int64_t seconds);
// The inverse: a local date-time value to Unix seconds, rounded to the nearest second.
int64_t LocalDateTimeToUnix(TDateTime value);
// The current local date and time.
TDateTime Now();
// A date-time value taken apart (proleptic Gregorian calendar), to the second.
struct TDateTimeParts {
    int64_t Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
};
// Rounds to the millisecond, then truncates to the second (so 10:00:00 held as
// 9:59:59.9999999 reads 10:00:00). False for a value outside years 1 to 9999 or not a
// number.
bool DecodeDateTime(TDateTime value, TDateTimeParts& parts);

// "dd/mm/yyyy hh:nn:ss": the short date, a blank, the long time.
std::string DateTimeToString(TDateTime value);

}  // namespace platform
