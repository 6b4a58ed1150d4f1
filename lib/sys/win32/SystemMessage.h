// The system's own text for a Win32 error code, shared by the library's and
// the plug-in side's Windows halves.
#pragma once

#include <string>

namespace brnet::sys {

// FormatMessageA's text for CODE with its line break cut off; empty when the
// system has none.
std::string SystemMessageText(unsigned long code);

}  // namespace brnet::sys
