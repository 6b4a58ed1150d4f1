// POSIX systems have no pair of ANSI and OEM code pages: file names and texts
// are bytes in the locale's encoding (mostly UTF-8), and the Linux mailers and
// tossers write netmail texts unconverted. The conversion is therefore the
// identity; a table for one language would garble every other one.
#include "sys/CodePage.h"

namespace brnet::sys {

std::string AnsiToOem(std::string_view text) {
  return std::string(text);
}
std::string OemToAnsi(std::string_view text) {
  return std::string(text);
}

}  // namespace brnet::sys
