#include "util/Numbers.h"

#include "sys/Error.h"
#include "util/Ascii.h"

namespace brnet {

std::string ToHex(std::int32_t value, int digits) {
  std::uint32_t v = static_cast<std::uint32_t>(value);
  std::string out;
  do {
    out.insert(out.begin(), HexDigit(v));
    v >>= 4;
  } while (v != 0);
  if (static_cast<int>(out.size()) < digits) out.insert(0, digits - out.size(), '0');
  return out;
}

bool TryStrToInt(std::string_view s, std::int32_t& value) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  bool hex = false;
  if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == s.size()) return false;
  std::uint64_t v = 0;
  for (; i < s.size(); ++i) {
    int digit = hex ? HexDigitValue(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
    if (digit < 0) return false;
    v = v * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    if (v > (hex ? 0xFFFFFFFFull : 0x80000000ull)) return false;
  }
  if (hex) {
    // 32 bits of pattern: 80000000 and above read as negative numbers.
    std::uint32_t bits = static_cast<std::uint32_t>(v);
    value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
    return true;
  }
  if (!negative && v > 0x7FFFFFFF) return false;
  value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(v)
                                             : static_cast<std::int64_t>(v));
  return true;
}

std::int32_t StrToInt(std::string_view s) {
  std::int32_t value = 0;
  if (!TryStrToInt(s, value)) {
    throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
  }
  return value;
}

std::int32_t HexToIntOrZero(std::string_view s) {
  std::int32_t value = 0;
  bool ok = s.find('$') != std::string_view::npos ? TryStrToInt(s, value)
                                                  : TryStrToInt(std::string("$").append(s), value);
  return ok ? value : 0;
}

}  // namespace brnet
