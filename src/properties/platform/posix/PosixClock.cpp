#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "properties/platform/Clock.h"

namespace fendrik::platform {

int64_t LocalOffsetSeconds(int64_t utcSeconds) {
  const time_t instant = static_cast<time_t>(utcSeconds);
  tm local{};
  if (::localtime_r(&instant, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

// From the process's own start time in /proc (in clock ticks since boot).
double MillisecondsSinceProcessStart() {
  std::FILE* stat = std::fopen("/proc/self/stat", "r");
  if (stat == nullptr) return -1;
  char buffer[1024];
  size_t length = std::fread(buffer, 1, sizeof buffer - 1, stat);
  std::fclose(stat);
  buffer[length] = '\0';
  // Field 22 is the start time; fields after the command name (which ends
  // with the last ')') are separated by blanks.
  const char* field = nullptr;
  for (size_t i = length; i > 0; --i)
    if (buffer[i - 1] == ')') {
      field = buffer + i;
      break;
    }
  if (field == nullptr) return -1;
  unsigned long long startTicks = 0;
  int index = 2;
  for (const char* p = field; *p != '\0'; ++p) {
    if (*p != ' ') continue;
    ++index;
    if (index == 22) {
      startTicks = std::strtoull(p + 1, nullptr, 10);
      break;
    }
  }
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
  return (now.tv_sec + now.tv_nsec / 1e9 - startTicks / ticksPerSecond) * 1000.0;
}

}  // namespace fendrik::platform
