#include <windows.h>

#include <string>

#include "sys/HostFs.h"

namespace brnet::sys::host {

bool PathExists(const std::string& path) {
  return !path.empty() && ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::string buffer(MAX_PATH, '\0');
  DWORD n =
      ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (n > buffer.size()) {
    buffer.resize(n);
    n = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  }
  if (n == 0 || n >= buffer.size()) return path;
  buffer.resize(n);
  return buffer;
}

// A volume without 8.3 names, or a path that does not exist, gives the
// long form back: the caller then passes what it has.
std::string ShortPathName(const std::string& path) {
  if (path.empty()) return path;
  std::string buffer(MAX_PATH, '\0');
  DWORD n = ::GetShortPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n > buffer.size()) {
    buffer.resize(n);
    n = ::GetShortPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  if (n == 0 || n >= buffer.size()) return path;
  buffer.resize(n);
  return buffer;
}

}  // namespace brnet::sys::host
