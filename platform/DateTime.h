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
// "dd/mm/yyyy hh:nn:ss": the short date, a blank, the long time.
std::string DateTimeToString(TDateTime value);

}  // namespace platform
