#include "sys/Clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace brnet::sys {
namespace {

// The platform's local time agrees with the C library's, field by field
// (month from 1, full year). Retried when a second boundary falls between.
TEST(Clock, LocalNowMatchesTheCLibrary) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::time_t before = std::time(nullptr);
    const DateTime now = LocalNow();
    if (std::time(nullptr) != before) continue;
    const std::tm tm = *std::localtime(&before);
    EXPECT_EQ(now.year, tm.tm_year + 1900);
    EXPECT_EQ(now.month, tm.tm_mon + 1);
    EXPECT_EQ(now.day, tm.tm_mday);
    EXPECT_EQ(now.hour, tm.tm_hour);
    EXPECT_EQ(now.minute, tm.tm_min);
    EXPECT_EQ(now.second, tm.tm_sec);
    return;
  }
  FAIL() << "the clock never held still for a second";
}

}  // namespace
}  // namespace brnet::sys
