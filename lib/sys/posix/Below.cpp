#include "sys/posix/Below.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

// Whether root may follow the link at PATH (ST, from lstat): only a link of
// root's own, in a directory of root's that nobody else may write into (or
// a sticky one), where no other user could have put it or swap it.
bool RootMayFollow(const std::string& path, const struct stat& st) {
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : path.substr(0, slash);
  struct stat dirSt {};
  return st.st_uid == 0 && ::stat(dir.c_str(), &dirSt) == 0 && dirSt.st_uid == 0 &&
         ((dirSt.st_mode & 022) == 0 || (dirSt.st_mode & S_ISVTX) != 0);
}

}  // namespace

int OpenConfiguredDir(const std::string& root) {
  std::string path = root.empty() ? std::string(".") : root;
  // A trailing slash would follow the link whatever the flags say.
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const int fd = Syscalls().open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
  // A real directory is opened alike for everybody: only a link is judged.
  if (fd >= 0 || (errno != ELOOP && errno != ENOTDIR)) return fd;
  const int err = errno;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    errno = err;
    return -1;
  }
  if (::geteuid() == 0 && !RootMayFollow(path, st)) {
    errno = ELOOP;
    return -1;
  }
  return Syscalls().open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
}

ParentDir OpenParentBelow(const std::string& root, std::string_view below) {
  ParentDir parent;
  const std::string rootPath = root.empty() ? std::string(".") : root;
  parent.Dir = UniqueFd(OpenConfiguredDir(root));
  if (parent.Dir.Get() < 0 && errno == ELOOP) {
    throw EInOutError(SymbolicLinkRefusedText(rootPath) +
                          " (running as root, a configured directory that is a link is followed "
                          "only when root made it in a directory only root may write: configure "
                          "the directory it leads to)",
                      ELOOP);
  }
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
