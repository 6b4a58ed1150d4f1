#include <windows.h>

#include <ctime>

#include "sys/Clock.h"

namespace brnet::sys {

DateTime LocalNow() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::int64_t NowFileTime() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  const std::int64_t ticks =
      (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  constexpr std::int64_t kEpochDifference = 116444736000000000;  // 1601 to 1970, in 100 ns
  return (ticks - kEpochDifference) * 100;
}

std::int64_t UtcOffsetAt(std::int64_t unixSeconds) {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
  if (::localtime_s(&local, &t) != 0) return 0;
  // The local broken-down time read back as if it were UTC.
  return static_cast<std::int64_t>(::_mkgmtime(&local)) - unixSeconds;
}

}  // namespace brnet::sys
