// JSON text for brnet queue --json.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace brnet::cli {

// The length of the UTF-8 sequence at TEXT[POS] (shortest form, no
// surrogates, at most U+10FFFF); 0 when it is not one.
inline std::size_t Utf8Length(std::string_view text, std::size_t pos) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned c = at(pos);
  if (c < 0x80) return 1;
  std::size_t n;
  unsigned lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (pos + n > text.size()) return 0;
  if (at(pos + 1) < lo || at(pos + 1) > hi) return 0;
  for (std::size_t i = 2; i < n; ++i) {
    if ((at(pos + i) & 0xC0) != 0x80) return 0;
  }
  return n;
}

inline bool IsUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t n = Utf8Length(text, pos);
    if (n == 0) return false;
    pos += n;
  }
  return true;
}

// TEXT as a JSON string: quotes, backslashes and control characters
// escaped; a byte that is no part of valid UTF-8 becomes U+FFFD, so the
// result is always valid JSON (JsonField keeps the exact bytes beside it).
inline std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t pos = 0; pos < text.size();) {
    const char c = text[pos];
    const auto u = static_cast<unsigned char>(c);
    const std::size_t n = Utf8Length(text, pos);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++pos;
      continue;
    }
    if (n > 1) {
      out.append(text.substr(pos, n));
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
    pos += n;
  }
  return out + "\"";
}

// "KEY":TEXT, and when TEXT is not valid UTF-8 also "KEY_hex": its exact
// bytes in hexadecimal, for a script to open the file by.
inline std::string JsonField(const std::string& key, std::string_view text) {
  std::string out = "\"" + key + "\":" + JsonString(text);
  if (IsUtf8(text)) return out;
  static constexpr char kHex[] = "0123456789abcdef";
  out += ",\"" + key + "_hex\":\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    out += kHex[u >> 4];
    out += kHex[u & 15];
  }
  return out + "\"";
}

}  // namespace brnet::cli
