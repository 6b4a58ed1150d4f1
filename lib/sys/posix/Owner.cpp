#include "sys/posix/Owner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sys/posix/Below.h"
#include "sys/posix/Syscalls.h"

namespace brnet::sys::posix {
namespace {

// The mode the new entry ST gets in the directory DIRST. A file made with
// no write bit at all (a copy of a read-only file) stays read-only.
mode_t WantedMode(const struct stat& st, const struct stat& dirSt) {
  const bool isDir = S_ISDIR(st.st_mode);
  const bool readOnly = !isDir && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  const mode_t writes = readOnly ? 0 : S_IWUSR | S_IWGRP;
  mode_t want =
      (st.st_mode & 07777) | ((isDir ? S_IRWXU : S_IRUSR | S_IWUSR) & (writes | ~S_IWUSR));
  // A directory anybody may write into hands nothing on: what is made in
  // /tmp stays as private as the umask made it.
  if ((dirSt.st_mode & S_IWOTH) == 0) {
    want |= dirSt.st_mode & (isDir ? (S_ISGID | S_IRWXG) : (S_IRGRP | (S_IWGRP & writes)));
  }
  return want;
}

// The directory of the path NAME, opened as a path descriptor.
UniqueFd DirOfName(std::string name) {
  while (name.size() > 1 && name.back() == '/') name.pop_back();  // "box/" is "box"
  const std::size_t slash = name.find_last_of('/');
  const std::string dir =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
  return UniqueFd(Syscalls().open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
}

// The last component of the path NAME.
std::string BaseOf(std::string name) {
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  const std::size_t slash = name.find_last_of('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// Whether FD is the entry NAME in the directory PARENT: a directory of the
// path swapped meanwhile must not decide whose the entry becomes.
bool IsEntryOf(int fd, int parent, const std::string& name) {
  struct stat st {
  }, named{};
  return ::fstat(fd, &st) == 0 &&
         ::fstatat(parent, BaseOf(name).c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         st.st_dev == named.st_dev && st.st_ino == named.st_ino;
}

}  // namespace

int GiveToDirOwner(int fd, int dir) {
  struct stat st {
  }, dirSt{};
  if (::fstat(fd, &st) != 0 || ::fstat(dir, &dirSt) != 0) return errno;
  // Only an entry that is not the directory owner's already may need root.
  const bool root = st.st_uid != dirSt.st_uid && ::geteuid() == 0;
  const uid_t owner = root ? dirSt.st_uid : static_cast<uid_t>(-1);
  const gid_t group = st.st_gid != dirSt.st_gid ? dirSt.st_gid : static_cast<gid_t>(-1);
  if (owner != static_cast<uid_t>(-1) || group != static_cast<gid_t>(-1)) {
    // A user outside the directory's group keeps its own group; root must
    // succeed, else the mailer could not use what it made.
    if (Syscalls().fchown(fd, owner, group) != 0 && root) return errno;
    // Giving a file away clears its set-ID bits; the mode is set below.
    if (::fstat(fd, &st) != 0) return errno;
  }
  const mode_t want = WantedMode(st, dirSt);
  if (want != (st.st_mode & 07777)) Syscalls().fchmod(fd, want);
  return 0;
}

int GiveToDirOwner(int fd, int dir, const std::string& name) {
  if (dir != AT_FDCWD) return GiveToDirOwner(fd, dir);
  const UniqueFd parent = DirOfName(name);
  if (parent.Get() < 0) return errno;
  // Left as made when the path leads elsewhere now: never given away, nor
  // taken back by a name that may now mean another file.
  if (!IsEntryOf(fd, parent.Get(), name)) return 0;
  return GiveToDirOwner(fd, parent.Get());
}

int GiveMadeDirToDirOwner(int dir, const std::string& name, const std::string& model) {
  const UniqueFd made(
      Syscalls().openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
  if (made.Get() < 0) return errno;
  // Only a directory of this process's user is ours, just made.
  struct stat st {};
  if (::fstat(made.Get(), &st) != 0 || st.st_uid != ::geteuid()) return 0;
  if (!model.empty()) {
    const UniqueFd modelDir(Syscalls().open(model.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
    if (modelDir.Get() < 0) return errno;
    return GiveToDirOwner(made.Get(), modelDir.Get());
  }
  return GiveToDirOwner(made.Get(), dir, name);
}

}  // namespace brnet::sys::posix
