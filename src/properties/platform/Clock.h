#pragma once

// Time as the program shows it: the calendar fields of an instant, in UTC or
// in the local time zone, for any instant from year 1 to 9999 (before 1970
// too, where the C library of Windows knows no time_t). The calendar
// arithmetic is the same on every system; only the local offset from UTC and
// the process's start time come from the system.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fendrik::platform {

// Seconds to add to the UTC instant `utcSeconds` (since 1970-01-01, negative
// before) for the local wall-clock time then, daylight saving included:
// 3600 for Central European winter time. 0 when the system cannot tell.
int64_t LocalOffsetSeconds(int64_t utcSeconds);

// Milliseconds since this process was started, as the system counts them;
// negative when it cannot tell.
double MillisecondsSinceProcessStart();

// The fields of a wall-clock time.
struct CivilTime {
  int year = 1970;
  int month = 1;   // 1 to 12
  int day = 1;     // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  constexpr bool operator==(const CivilTime&) const = default;
};

// The fields of `seconds` counted from 1970-01-01 00:00:00 of the same clock
// (UTC, or a local time already shifted); nothing outside the years 1 to 9999.
std::optional<CivilTime> CivilTimeOf(int64_t seconds);

// The local wall-clock time of the UTC instant `utcSeconds`.
std::optional<CivilTime> LocalTimeOf(int64_t utcSeconds);

// "yyyy.MM.dd hh:mm:ss", 24 hours, `timeSeparator` between hours, minutes
// and seconds.
std::string DateTimeText(const CivilTime& time, std::string_view timeSeparator = ":");

}  // namespace fendrik::platform
