// Local wall-clock time, broken down. Formatting is the callers' business and
// never goes through the C locale.
#pragma once

#include <cstdint>

namespace brnet::sys {

struct DateTime {
  int year;    // e.g. 2026
  int month;   // 1..12
  int day;     // 1..31
  int hour;    // 0..23
  int minute;  // 0..59
  int second;  // 0..59
};

DateTime LocalNow();

// Now, in nanoseconds since 1970-01-01 00:00 UTC (the file-time scale).
std::int64_t NowFileTime();

// Seconds east of UTC of local time at the moment UNIXSECONDS (daylight
// saving included).
std::int64_t UtcOffsetAt(std::int64_t unixSeconds);

}  // namespace brnet::sys
