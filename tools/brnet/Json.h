// JSON text for brnet queue --json.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace brnet::cli {

// TEXT as a JSON string: quotes, backslashes and control characters
// escaped; other bytes as they are (paths are taken to be UTF-8).
inline std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
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
  }
  return out + "\"";
}

}  // namespace brnet::cli
