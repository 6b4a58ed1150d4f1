// Named semaphores on POSIX: a lock file per name, held with an open file
// description lock, in a directory that belongs to the user.
//
// The directory is the user's own (mode 0700 when this half makes it; one
// that another user owns, that others may write into, or that is a link is
// refused), so no other user can open, let alone lock, a name in it: as on
// Windows, where a name without a prefix belongs to the user's session, the
// programs of one user meet, and another user's programs can neither hold
// nor see the names. BRNET_SEMAPHORE_DIR names the directory; without it,
// root's is /run/brnet32 and another user's /tmp/brnet32-UID, the same for
// every program of the user whatever its session.
//
// The lock (F_OFD_SETLK) is taken without waiting and fails when another
// description holds it; the kernel drops it when the holder closes the file,
// which also happens when the holder dies. The files stay: removing one
// would let a second holder lock a new file of the same name while the first
// still holds the old one. A presence test asks the kernel whether a lock
// could be taken (F_OFD_GETLK), which takes nothing.
#include "sys/Semaphore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "sys/posix/Syscalls.h"

namespace brnet::sys {
namespace {

std::string Place() {
  const char* dir = std::getenv("BRNET_SEMAPHORE_DIR");
  std::string place = dir != nullptr && *dir != '\0'
                          ? std::string(dir)
                          : (::geteuid() == 0 ? std::string("/run/brnet32")
                                              : "/tmp/brnet32-" + std::to_string(::geteuid()));
  while (place.size() > 1 && place.back() == '/') place.pop_back();
  return place;
}

// The user's semaphore directory, made when MAKE and missing, or -1 with
// errno set: EACCES for a directory that is not the user's alone.
int OpenPlace(bool make) {
  const std::string place = Place();
  if (make && posix::Syscalls().mkdirat(AT_FDCWD, place.c_str(), 0700) != 0 && errno != EEXIST) {
    return -1;
  }
  const int dir =
      posix::Syscalls().open(place.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
  if (dir < 0) return -1;
  struct stat st {};
  if (::fstat(dir, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 022) != 0) {
    posix::Syscalls().close(dir);
    errno = EACCES;
    return -1;
  }
  return dir;
}

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 255 || name == "." || name == ".." ||
      name.find('/') != std::string::npos) {
    errno = name.size() > 255 ? ENAMETOOLONG : EINVAL;
    return false;
  }
  return true;
}

struct flock WholeFileLock(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return lock;
}

}  // namespace

NamedSemaphore::CreateResult NamedSemaphore::Create(const std::string& name) {
  Close();
  if (!ValidName(name)) return CreateResult::Failed;
  const int dir = OpenPlace(true);
  if (dir < 0) return CreateResult::Failed;
  const int fd =
      posix::Syscalls().openat(dir, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  int err = errno;
  posix::Syscalls().close(dir);
  if (fd < 0) {
    errno = err;
    return CreateResult::Failed;
  }
  struct flock lock = WholeFileLock(F_WRLCK);
  if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    err = errno;
    posix::Syscalls().close(fd);
    errno = err;
    return err == EAGAIN || err == EACCES ? CreateResult::Exists : CreateResult::Failed;
  }
  handle_ = fd;
  return CreateResult::Created;
}

void NamedSemaphore::Close() {
  if (!Held()) return;
  posix::Syscalls().close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

bool NamedSemaphore::Present(const std::string& name) {
  if (!ValidName(name)) return false;
  const int dir = OpenPlace(false);
  if (dir < 0) return false;
  const int fd = posix::Syscalls().openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0);
  posix::Syscalls().close(dir);
  if (fd < 0) return false;
  struct flock lock = WholeFileLock(F_WRLCK);
  const bool held = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  posix::Syscalls().close(fd);
  return held;
}

std::string NamedSemaphore::PlaceOf(const std::string& name) {
  return Place() + "/" + name;
}

}  // namespace brnet::sys
