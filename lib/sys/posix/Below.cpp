#include "sys/posix/Below.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "sys/Error.h"
#include "sys/FileSystem.h"
#include "sys/posix/Syscalls.h"

namespace brnet::sys::posix {

void UniqueFd::Reset() {
  if (fd_ >= 0) Syscalls().close(fd_);
  fd_ = -1;
}

bool IsLinkAt(int dir, const std::string& name) {
  struct stat st {};
  return ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

void ThrowLinkRefused(const std::string& path) {
  throw EInOutError(SymbolicLinkRefusedText(path), ELOOP);
}

ParentDir OpenParentBelow(const std::string& root, std::string_view below) {
  ParentDir parent;
  const std::string rootPath = root.empty() ? std::string(".") : root;
  parent.Dir = UniqueFd(Syscalls().open(rootPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
  if (parent.Dir.Get() < 0) ThrowLastError(rootPath);
  std::string path = root;
  while (!below.empty()) {
    const std::size_t cut = below.find('/');
    const std::string part(below.substr(0, cut));
    below = cut == std::string_view::npos ? std::string_view{} : below.substr(cut + 1);
    if (part.empty()) continue;
    // "." and ".." lead out of the path as written, perhaps out of ROOT:
    // a path below a shared directory takes neither.
    if (part == "." || part == "..") {
      throw EInOutError(IoErrorText(EINVAL, path + part) + " (\"" + part + "\" is no name)",
                        EINVAL);
    }
    if (below.find_first_not_of('/') == std::string_view::npos) {
      parent.Name = part;
      parent.Path = path + part;
      return parent;
    }
    path += part;
    const int fd = Syscalls().openat(parent.Dir.Get(), part.c_str(),
                                     O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0) {
      const int err = errno;
      if (IsLinkAt(parent.Dir.Get(), part)) ThrowLinkRefused(path);
      throw EInOutError(IoErrorText(err, path), err);
    }
    parent.Dir = UniqueFd(fd);
    path += '/';
  }
  throw EInOutError(IoErrorText(ENOENT, path), ENOENT);
}

}  // namespace brnet::sys::posix
