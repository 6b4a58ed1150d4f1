// ASCII text helpers: case folding, case-insensitive comparison and hex
// digits. FidoNet names (flow files, flags, boxes, kludges) are ASCII, and
// their case rules must not depend on the C locale, so nothing here calls
// <cctype>. Header-only so that the library, the plug-in side and the host
// share one definition without a link dependency.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brnet {

constexpr bool IsAsciiLower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool IsAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool IsAsciiLetter(char c) { return IsAsciiLower(c) || IsAsciiUpper(c); }

constexpr char ToAsciiUpper(char c) {
  return IsAsciiLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char ToAsciiLower(char c) {
  return IsAsciiUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ToAsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ToAsciiUpper(c);
  return out;
}
inline std::string ToAsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ToAsciiLower(c);
  return out;
}

// <0, 0 or >0 as A sorts before, with or after B, ignoring ASCII case.
constexpr int CompareAsciiNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(ToAsciiUpper(a[i]));
    const auto y = static_cast<unsigned char>(ToAsciiUpper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
constexpr bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareAsciiNoCase(a, b) == 0;
}

// Upper-case hex digit of the low four bits of V.
constexpr char HexDigit(unsigned v) { return "0123456789ABCDEF"[v & 0xF]; }
// Value of a hex digit of either case, or -1.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace brnet
