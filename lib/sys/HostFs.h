// File-system questions the plug-in asks.
#pragma once

#include <string>

namespace brnet::sys {

// True when PATH names anything that exists, a file or a directory. An
// empty PATH never exists.
bool PathExists(const std::string& path);

// The short (8.3) form of PATH where the platform keeps one; otherwise, and
// when it cannot be had, PATH itself. POSIX has no short names.
std::string ShortPathName(const std::string& path);

}  // namespace brnet::sys
