// Building and taking apart *.MSG files byte by byte, independently of the
// library's own header code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "TestSupport.h"

namespace brnet::test {

inline std::uint16_t WordAt(const std::string& file, std::size_t ofs) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(file.at(ofs)) |
                                    (static_cast<unsigned char>(file.at(ofs + 1)) << 8));
}

// A 190-byte header: texts copied as given (no NUL added when they fill the
// field), the origin/destination net and node, and the attribute word.
struct RawHeader {
  std::string from = "From";
  std::string to = "To";
  std::string subject = "Subject";
  std::uint16_t origNet = 5020, origNode = 100, destNet = 5020, destNode = 1234;
  std::uint16_t attr = 0x0100;

  std::string Bytes() const {
    std::string h(190, '\0');
    h.replace(0, from.size(), from);
    h.replace(36, to.size(), to);
    h.replace(72, subject.size(), subject);
    h.replace(144, 19, "07 Dec 26  17:40:29");
    auto put = [&h](std::size_t ofs, std::uint16_t v) {
      h[ofs] = static_cast<char>(v & 0xFF);
      h[ofs + 1] = static_cast<char>(v >> 8);
    };
    put(166, destNode);
    put(168, origNode);
    put(172, origNet);
    put(174, destNet);
    put(186, attr);
    return h;
  }
};

}  // namespace brnet::test
