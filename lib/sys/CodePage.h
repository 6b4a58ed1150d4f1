// Conversion between the system's ANSI and OEM code pages, used for the texts
// of netmail messages. Every byte is converted on its own, so the length of a
// text never changes.
#pragma once

#include <string>
#include <string_view>

namespace brnet::sys {

std::string AnsiToOem(std::string_view text);
std::string OemToAnsi(std::string_view text);

}  // namespace brnet::sys
