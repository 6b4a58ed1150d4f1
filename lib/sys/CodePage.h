// Conversion of texts between the process's ANSI code page and the OEM code
// page in which netmail messages carry their texts.
//
// Both conversions keep the length of the text byte for byte; an empty text
// stays empty. Embedded NUL bytes are converted like any other byte, so a
// platform half must use a length-counted conversion (on Windows
// CharToOemBuffA/OemToCharBuffA rather than the NUL-terminated pair).
// POSIX has no ANSI/OEM pair: there both are the identity, so the bytes a
// caller gives (an attached file's path, for instance) reach the message
// file unchanged and a local tosser finds the file again.
#pragma once

#include <string>
#include <string_view>

namespace brnet::sys {

std::string AnsiToOemText(std::string_view text);
std::string OemToAnsiText(std::string_view text);

}  // namespace brnet::sys
