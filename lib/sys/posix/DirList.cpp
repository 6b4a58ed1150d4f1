#include "sys/DirList.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>

namespace brnet::sys {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// A symbolic link is no ordinary file: what it leads to may be anybody's,
// and the directory is shared.
bool IsRegularEntry(DIR* dir, const dirent& entry) {
  if (entry.d_type == DT_REG) return true;
  if (entry.d_type != DT_UNKNOWN) return false;
  struct stat st {};
  return ::fstatat(::dirfd(dir), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(st.st_mode);
}

}  // namespace

std::vector<std::string> ListPlainFileNames(const std::string& dir) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, DirCloser> handle(::opendir(dir.c_str()));
  if (!handle) return names;
  while (const dirent* entry = ::readdir(handle.get())) {
    if (entry->d_name[0] == '.') continue;  // hidden, and "." / ".."
    if (IsRegularEntry(handle.get(), *entry)) names.emplace_back(entry->d_name);
  }
  return names;
}

}  // namespace brnet::sys
