#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

#include "sys/HostFs.h"

namespace brnet::sys::host {
namespace {

std::uint64_t WindowsTime(const timespec& ts) {
  return (static_cast<std::uint64_t>(ts.tv_sec) + 11644473600ULL) * 10000000ULL +
         static_cast<std::uint64_t>(ts.tv_nsec) / 100;
}

}  // namespace

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string ShortPathName(const std::string& path) {
  return path;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || ::access(path.c_str(), R_OK) != 0) return {};
  if (path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) == nullptr) return {};
  std::string rel = path;
  while (rel.rfind("./", 0) == 0) rel.erase(0, 2);
  return std::string(cwd) + "/" + rel;
}

std::string CanonicalPath(const std::string& path, std::string& why) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) {
    why = path + ": " + std::strerror(errno);
    return {};
  }
  return resolved;
}

EntryInfo StatEntry(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) return {};
  EntryInfo info;
  info.isDir = S_ISDIR(st.st_mode);
  info.readOnly = (st.st_mode & S_IWUSR) == 0;
  info.size = info.isDir ? 0 : static_cast<std::uint64_t>(st.st_size);
  info.created = WindowsTime(st.st_ctim);
  info.accessed = WindowsTime(st.st_atim);
  info.written = WindowsTime(st.st_mtim);
  info.links = static_cast<std::uint32_t>(st.st_nlink);
  return info;
}

bool ListNames(const std::string& dir, std::vector<std::string>& names, std::string& why) {
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), ::closedir);
  if (!d) {
    why = dir + ": " + std::strerror(errno);
    return false;
  }
  while (const dirent* e = ::readdir(d.get())) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return true;
}

bool MatchesWildcard(const char* pattern, const char* name) {
  return ::fnmatch(pattern, name, 0) == 0;
}

}  // namespace brnet::sys::host
