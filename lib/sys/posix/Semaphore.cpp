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
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "sys/posix/Syscalls.h"

namespace brnet::sys {
namespace {

void ForgetInChild();

// The effective user id, asked once per process: the library is used by
// programs that run as one user (a sysop's shell, the file manager, a
// mailer's helper). A child forgets it at the fork, since children are
// where a program changes its user; a program that changed its user
// without one would find its next semaphore refused (the kept directory
// below is the other user's), never another user's semaphores held.
bool gEuidKnown = false;
uid_t gEuid = 0;

uid_t Euid() {
  if (!gEuidKnown) {
    static const int registered = ::pthread_atfork(nullptr, nullptr, ForgetInChild);
    (void)registered;
    gEuid = ::geteuid();
    gEuidKnown = true;
  }
  return gEuid;
}

std::string Place() {
  const char* dir = std::getenv("BRNET_SEMAPHORE_DIR");
  std::string place =
      dir != nullptr && *dir != '\0'
          ? std::string(dir)
          : (Euid() == 0 ? std::string("/run/brnet32") : "/tmp/brnet32-" + std::to_string(Euid()));
  while (place.size() > 1 && place.back() == '/') place.pop_back();
  return place;
}

// The user's semaphore directory, made when MAKE and missing, or -1 with
// errno set: EACCES for a directory that is not the user's alone.
int OpenPlaceAfresh(bool make) {
  const std::string place = Place();
  if (make && posix::Syscalls().mkdirat(AT_FDCWD, place.c_str(), 0700) != 0 && errno != EEXIST) {
    return -1;
  }
  const int dir =
      posix::Syscalls().open(place.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
  if (dir < 0) return -1;
  struct stat st {};
  if (::fstat(dir, &st) != 0 || st.st_uid != Euid() || (st.st_mode & 022) != 0) {
    posix::Syscalls().close(dir);
    errno = EACCES;
    return -1;
  }
  return dir;
}

// The directory, opened and checked once and kept open (close-on-exec) for
// the next locks of the process: only its owner, this user, can change its
// mode, and nobody but root its owner, so the check holds while it is open.
// Its path is compared on every use, so a changed BRNET_SEMAPHORE_DIR opens
// the new one. Were the directory removed and made again meanwhile (a
// cleaner of /tmp), the names created in the old one would meet nobody:
// creating a name in a removed directory fails (ENOENT), and then the path
// is opened afresh.
// Closed when the library is unloaded.
struct TPlace {
  std::string Path;
  int Dir = -1;

  void Forget() {
    if (Dir >= 0) posix::Syscalls().close(Dir);
    Dir = -1;
    Path.clear();
  }
  ~TPlace() { Forget(); }
};

TPlace gPlace;

// The kept directory for the current path, or -1 with errno set.
int OpenPlace(bool make) {
  const std::string path = Place();
  if (gPlace.Dir >= 0 && gPlace.Path == path) return gPlace.Dir;
  const int dir = OpenPlaceAfresh(make);
  if (dir < 0) return -1;
  gPlace.Forget();
  gPlace.Path = path;
  gPlace.Dir = dir;
  return dir;
}

// Forgets the kept directory, after a failure that may mean it was removed.
void ForgetPlace() {
  gPlace.Forget();
}

void ForgetInChild() {
  gEuidKnown = false;
  ForgetPlace();
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
  int fd = -1;
  for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
    const int dir = OpenPlace(true);
    if (dir < 0) return CreateResult::Failed;
    fd = posix::Syscalls().openat(dir, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                                  0600);
    if (fd < 0 && errno != ENOENT) return CreateResult::Failed;
    if (fd < 0) ForgetPlace();
  }
  if (fd < 0) {
    errno = ENOENT;
    return CreateResult::Failed;
  }
  int err = 0;
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
