#include "sys/Clock.h"

#include <chrono>
#include <ctime>

namespace brnet::sys {

DateTime LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::int64_t NowFileTime() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::int64_t UtcOffsetAt(std::int64_t unixSeconds) {
  std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  if (::localtime_r(&t, &tm) == nullptr) return 0;
  return tm.tm_gmtoff;
}

}  // namespace brnet::sys
