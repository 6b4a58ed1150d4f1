#include <windows.h>

#include <string>

#include "sys/Path.h"

namespace brnet::sys {

std::string CurrentDirectory() {
  // The directory may change size between the two calls; ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
    if (needed == 0) return {};
    std::string dir(needed, '\0');
    const DWORD got = ::GetCurrentDirectoryA(needed, dir.data());
    if (got == 0) return {};
    if (got < needed) {
      dir.resize(got);
      return dir;
    }
  }
  return {};
}

}  // namespace brnet::sys
