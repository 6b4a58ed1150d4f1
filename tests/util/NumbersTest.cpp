#include "util/Numbers.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "sys/Error.h"

namespace brnet {
namespace {

TEST(Numbers, HexAndIntegerConversions) {
  EXPECT_EQ(ToHex(255, 2), "FF");
  EXPECT_EQ(ToHex(255, 4), "00FF");
  EXPECT_EQ(ToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(ToHex(4096, 2), "1000");
  EXPECT_EQ(HexToIntOrZero("1f"), 31);
  EXPECT_EQ(HexToIntOrZero("FFFFFFFF"), -1);
  EXPECT_EQ(HexToIntOrZero("80000000"), INT32_MIN);
  EXPECT_EQ(HexToIntOrZero("-$10"), -16);
  for (const char* bad : {"", "1G", "1 F", " 1F", "100000000", "-1", "$", "1$"}) {
    EXPECT_EQ(HexToIntOrZero(bad), 0) << bad;
  }
  std::int32_t v = 0;
  EXPECT_TRUE(TryStrToInt("  -2147483648", v));
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_FALSE(TryStrToInt("2147483648", v));
  EXPECT_FALSE(TryStrToInt("42 ", v));
  try {
    StrToInt("5020x");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'5020x' is not a valid integer value");
  }
}

}  // namespace
}  // namespace brnet
