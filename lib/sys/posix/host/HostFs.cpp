#include <sys/stat.h>

#include "sys/HostFs.h"

namespace brnet::sys::host {

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string ShortPathName(const std::string& path) {
  return path;
}

}  // namespace brnet::sys::host
