// File-system questions the plug-in asks.
#pragma once

#include <string>

// In a namespace of their own: the library's platform layer may well grow
// functions of the same names.
namespace brnet::sys::host {

// True when PATH names anything that exists, a file or a directory. An
// empty PATH never exists.
bool PathExists(const std::string& path);

// PATH made absolute against the process's current directory; PATH itself
// when it is empty or that cannot be done.
std::string AbsolutePath(const std::string& path);

// The short (8.3) form of PATH where the platform keeps one; otherwise, and
// when it cannot be had, PATH itself. POSIX has no short names.
std::string ShortPathName(const std::string& path);

}  // namespace brnet::sys::host
