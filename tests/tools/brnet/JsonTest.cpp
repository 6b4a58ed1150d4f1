// JSON strings for any bytes: valid UTF-8 kept, every other byte U+FFFD
// with the exact bytes beside it in hexadecimal.
#include <gtest/gtest.h>

#include "Json.h"

namespace brnet::cli {
namespace {

TEST(JsonText, AnyBytesGiveValidJson) {
  const struct {
    std::string in, field;
  } cases[] = {
      {"plain", R"("p":"plain")"},
      {"q\"b\\n\n\x01", R"("p":"q\"b\\n\n\u0001")"},
      {"\x1b[2J\x7f", R"("p":"\u001b[2J\u007f")"},  // a terminal's escape, DEL
      {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\"p\":\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""},
      {"l\xe9", "\"p\":\"l\xef\xbf\xbd\",\"p_hex\":\"6ce9\""},
      {"\xc0\xaf", "\"p\":\"\xef\xbf\xbd\xef\xbf\xbd\",\"p_hex\":\"c0af\""},  // overlong
      {"\xed\xa0\x80", "\"p\":\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\",\"p_hex\":\"eda080\""},
      {"\xe2\x82", "\"p\":\"\xef\xbf\xbd\xef\xbf\xbd\",\"p_hex\":\"e282\""},  // cut short
  };
  for (const auto& c : cases) EXPECT_EQ(JsonField("p", c.in), c.field) << c.in;
}

}  // namespace
}  // namespace brnet::cli
