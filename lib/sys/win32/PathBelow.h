// Windows half: the path of an entry below a shared directory, checked for
// links on the way down.
#pragma once

#include <string>
#include <string_view>

#include "sys/FileSystem.h"

namespace brnet::sys::win32 {

// ROOT followed by the names of BELOW joined with "\". When one of BELOW's
// directories (not its last name) is a reparse point (a symbolic link or a
// junction), the result is empty and LINKED names that directory.
inline std::string PathBelow(const std::string& root, std::string_view below, std::string& linked) {
  std::string path = root;
  while (!below.empty()) {
    const std::size_t cut = below.find_first_of("\\/");
    const std::string_view part = below.substr(0, cut);
    below = cut == std::string_view::npos ? std::string_view{} : below.substr(cut + 1);
    if (part.empty()) continue;
    path += part;
    if (below.find_first_not_of("\\/") == std::string_view::npos) break;
    if (IsSymbolicLink(path)) {
      linked = path;
      return {};
    }
    path += '\\';
  }
  return path;
}

}  // namespace brnet::sys::win32
