#include <windows.h>

#include <chrono>

#include "properties/platform/Clock.h"

namespace fendrik::platform {
namespace {

// FILETIME counts 100 ns from 1601-01-01; 11644473600 s lie before 1970.
constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSeconds1601To1970 = 11'644'473'600;

int64_t TicksOf(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// The fields as seconds of one clock, by calendar arithmetic (a local time
// early on 1601-01-01 lies before what a FILETIME can hold).
int64_t SecondsOf(const SYSTEMTIME& fields) {
  namespace chrono = std::chrono;
  const chrono::sys_days date{chrono::year{fields.wYear} / chrono::month{fields.wMonth} / chrono::day{fields.wDay}};
  return int64_t{date.time_since_epoch().count()} * 86400 + fields.wHour * 3600 + fields.wMinute * 60 + fields.wSecond;
}

}  // namespace

// SystemTimeToTzSpecificLocalTime takes the rules of the year in question
// (also before 1970, which localtime of the C library refuses) and works on
// SYSTEMTIME fields; the offset is the difference of the two.
int64_t LocalOffsetSeconds(int64_t utcSeconds) {
  const int64_t since1601 = utcSeconds + kSeconds1601To1970;
  if (since1601 < 0 || since1601 > INT64_MAX / kTicksPerSecond) return 0;
  const uint64_t ticks = static_cast<uint64_t>(since1601 * kTicksPerSecond);
  FILETIME utc{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utcFields{};
  SYSTEMTIME localFields{};
  if (!FileTimeToSystemTime(&utc, &utcFields) || !SystemTimeToTzSpecificLocalTime(nullptr, &utcFields, &localFields)) {
    // West of UTC the first hours of 1601 have a local time before 1601,
    // which the system does not give: the offset of the day after.
    return since1601 < 86400 ? LocalOffsetSeconds(utcSeconds + 86400) : 0;
  }
  return SecondsOf(localFields) - SecondsOf(utcFields);
}

double MillisecondsSinceProcessStart() {
  FILETIME created{};
  FILETIME exited{};
  FILETIME kernel{};
  FILETIME user{};
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  return static_cast<double>(TicksOf(now) - TicksOf(created)) / 10'000.0;
}

}  // namespace fendrik::platform
