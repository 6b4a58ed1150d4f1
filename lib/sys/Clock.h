// Local wall-clock time, broken down. Formatting is the callers' business and
// never goes through the C locale.
#pragma once

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

}  // namespace brnet::sys
