#include "properties/platform/Clock.h"

#include <chrono>
#include <cstdio>

namespace fendrik::platform {
namespace {

using std::chrono::days;
using std::chrono::seconds;
using std::chrono::sys_days;
using std::chrono::sys_seconds;

// 0001-01-01 00:00:00 and 9999-12-31 23:59:59 in seconds since 1970.
constexpr int64_t kFirstSecond = -62135596800;
constexpr int64_t kLastSecond = 253402300799;

}  // namespace

std::optional<CivilTime> CivilTimeOf(int64_t count) {
  if (count < kFirstSecond || count > kLastSecond) return std::nullopt;
  const sys_seconds instant{seconds{count}};
  const sys_days day = std::chrono::floor<days>(instant);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss<seconds> clock{instant - day};
  return CivilTime{static_cast<int>(date.year()),          static_cast<int>(static_cast<unsigned>(date.month())),
                   static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(clock.hours().count()),
                   static_cast<int>(clock.minutes().count()),         static_cast<int>(clock.seconds().count())};
}

std::optional<CivilTime> LocalTimeOf(int64_t utcSeconds) {
  if (utcSeconds < kFirstSecond || utcSeconds > kLastSecond) return std::nullopt;
  return CivilTimeOf(utcSeconds + LocalOffsetSeconds(utcSeconds));
}

std::string DateTimeText(const CivilTime& time, std::string_view timeSeparator) {
  char date[16];
  char hour[4];
  char minute[4];
  char second[4];
  std::snprintf(date, sizeof date, "%04d.%02d.%02d ", time.year, time.month, time.day);
  std::snprintf(hour, sizeof hour, "%02d", time.hour);
  std::snprintf(minute, sizeof minute, "%02d", time.minute);
  std::snprintf(second, sizeof second, "%02d", time.second);
  std::string text = date;
  text.append(hour).append(timeSeparator).append(minute).append(timeSeparator).append(second);
  return text;
}

}  // namespace fendrik::platform
