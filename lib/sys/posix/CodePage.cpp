#include "sys/CodePage.h"

namespace brnet::sys {

// The local 8-bit character set is taken to be the message's own: no change.
std::string AnsiToOemText(std::string_view text) {
  return std::string(text);
}

std::string OemToAnsiText(std::string_view text) {
  return std::string(text);
}

}  // namespace brnet::sys
