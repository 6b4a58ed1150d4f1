#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "sys/HostFs.h"

namespace brnet::sys::host {

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::vector<char> cwd(4096);
  if (::getcwd(cwd.data(), cwd.size()) == nullptr) return path;
  std::string dir(cwd.data());
  if (dir.back() != '/') dir += '/';
  return dir + path;
}

std::string ShortPathName(const std::string& path) {
  return path;
}

}  // namespace brnet::sys::host
