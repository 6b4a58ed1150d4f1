// Named semaphores on POSIX: a lock file per name, held with an open file
// description lock, in a directory that belongs to the user.
//
// The directory is the user's own (mode 0700 when this half makes it; one
// that another user owns, that others may write into, or that is a link is
// refused), so no other user can open, let alone lock, a name in it: as on
// Windows, where a name without a prefix belongs to the user's session, the
// programs of one user meet, and another user's programs can neither hold
// nor see the names. BRNET_SEMAPHORE_DIR names the directory; without it,
// root's is /run/brnet32 and another user's ~/.cache/brnet32 in the home the
// password database names (a place no other user can make first), or, for
// a user without a home of its own, /tmp/brnet32-UID; the same for every
// program of the user whatever its session.
//
// The lock (F_OFD_SETLK) is taken without waiting and fails when another
// description holds it; the kernel drops it when the holder closes the file,
// which also happens when the holder dies. A holder removes the name while
// it still holds the lock, and whoever locks a file checks afterwards that
// it still has a name (else it opens the name again), so a removed file
// never counts as held, and only a dead holder's file stays, until the next
// lock of the name removes it in turn. A presence test asks the kernel
// whether a lock could be taken (F_OFD_GETLK), which takes nothing.
#include "sys/Semaphore.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
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

// The directory below the user's home (from the password database, not
// the environment, so that every program of the user finds the same one,
// a cron job's as well as a login shell's) where no other user can create
// anything first; empty when the home is missing or not the user's own.
std::string HomePlaceAfresh() {
  struct passwd pw {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(Euid(), &pw, buffer, sizeof buffer, &found) != 0 || found == nullptr ||
      pw.pw_dir == nullptr || pw.pw_dir[0] != '/') {
    return {};
  }
  const std::string home = pw.pw_dir;
  struct stat st {};
  // A home its group may write (the mailer's user, whose home is the
  // spool) is used: its group may write the spool anyway.
  if (::stat(home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != Euid() ||
      (st.st_mode & 002) != 0) {
    return {};
  }
  return (home == "/" ? std::string() : home) + "/.cache/brnet32";
}

// HomePlaceAfresh, asked once per user id (forgotten with it in a child).
bool gHomeKnown = false;
std::string gHome;

const std::string& HomePlace() {
  if (!gHomeKnown) {
    gHome = HomePlaceAfresh();
    gHomeKnown = true;
  }
  return gHome;
}

std::string Place() {
  const char* dir = std::getenv("BRNET_SEMAPHORE_DIR");
  std::string place;
  if (dir != nullptr && *dir != '\0') {
    place = dir;
  } else if (Euid() == 0) {
    place = "/run/brnet32";
  } else {
    // /tmp only for a user without a home of its own: any user may make
    // a name there first.
    place = HomePlace();
    if (place.empty()) place = "/tmp/brnet32-" + std::to_string(Euid());
  }
  while (place.size() > 1 && place.back() == '/') place.pop_back();
  return place;
}

// Whether the directory ST, which holds the semaphore directory, keeps
// other users from renaming that away and putting their own in its place:
// the user's or root's, and open to others' writing only when sticky. A
// directory the mailer's group may write (its user's home is the spool)
// holds none: ~/.cache is made the user's alone.
bool SafeParent(const struct stat& st) {
  return (st.st_uid == Euid() || st.st_uid == 0) &&
         ((st.st_mode & 022) == 0 || (st.st_mode & S_ISVTX) != 0);
}

// The user's semaphore directory, made when MAKE and missing, or -1 with
// errno set: EACCES for a directory that is not the user's alone.
int OpenPlaceAfresh(bool make) {
  const std::string place = Place();
  if (make && posix::Syscalls().mkdirat(AT_FDCWD, place.c_str(), 0700) != 0 && errno != EEXIST) {
    // ~/.cache may be missing yet: made as the user's alone, once.
    const std::string parent = place.substr(0, place.find_last_of('/'));
    if (errno != ENOENT || parent.empty() || place != HomePlace() ||
        posix::Syscalls().mkdirat(AT_FDCWD, parent.c_str(), 0700) != 0 ||
        (posix::Syscalls().mkdirat(AT_FDCWD, place.c_str(), 0700) != 0 && errno != EEXIST)) {
      return -1;
    }
  }
  // Opened through its parent, which must keep others from swapping it.
  const std::size_t slash = place.find_last_of('/');
  const std::string parentPath = slash == std::string::npos ? "."
                                 : slash == 0               ? "/"
                                                            : place.substr(0, slash);
  const int parent =
      posix::Syscalls().open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (parent < 0) return -1;
  struct stat st {};
  const bool safe = ::fstat(parent, &st) == 0 && SafeParent(st);
  const int dir =
      !safe ? -1
            : posix::Syscalls().openat(parent, place.c_str() + slash + 1,
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
  const int err = errno;
  posix::Syscalls().close(parent);
  errno = safe ? err : EACCES;
  if (dir < 0) return -1;
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

// Counts the forks this process came from, so that a semaphore knows
// whether it was created by this very process (no system call needed).
unsigned long gForks = 0;

void ForgetInChild() {
  ++gForks;
  gEuidKnown = false;
  gHomeKnown = false;
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

namespace {

// True when the file FD holds open still has a name: a holder removes its
// name on closing (and nobody renames one), so a file locked after that is
// no flag.
bool StillNamed(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && st.st_nlink > 0;
}

// Opens and locks NAME in the user's directory: the descriptor, or -1 with
// the result in RESULT. A lock file that its holder removed between our
// open and our lock is let go and the name opened again.
int OpenLocked(const std::string& name, NamedSemaphore::CreateResult& result) {
  result = NamedSemaphore::CreateResult::Failed;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int dir = OpenPlace(true);
    if (dir < 0) return -1;
    const int fd = posix::Syscalls().openat(dir, name.c_str(),
                                            O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != ENOENT) return -1;
    if (fd < 0) {
      ForgetPlace();  // the directory was removed: opened afresh
      continue;
    }
    struct flock lock = WholeFileLock(F_WRLCK);
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
      const int err = errno;
      posix::Syscalls().close(fd);
      errno = err;
      if (err == EAGAIN || err == EACCES) result = NamedSemaphore::CreateResult::Exists;
      return -1;
    }
    if (StillNamed(fd)) {
      result = NamedSemaphore::CreateResult::Created;
      return fd;
    }
    posix::Syscalls().close(fd);
  }
  errno = EAGAIN;
  return -1;
}

}  // namespace

NamedSemaphore::CreateResult NamedSemaphore::Create(const std::string& name) {
  Close();
  if (!ValidName(name)) return CreateResult::Failed;
  CreateResult result;
  const int fd = OpenLocked(name, result);
  if (fd < 0) return result;
  handle_ = fd;
  name_ = name;
  owner_ = gForks;
  return CreateResult::Created;
}

void NamedSemaphore::Close() {
  if (!Held()) return;
  // The name goes first, while the lock still holds: nobody can take the
  // file in between, and the directory keeps no file per node ever locked.
  // A forked child shares the lock with its parent: only the creator
  // removes the name.
  // Only a holder removes a name, and only its own, which nobody else can
  // hold meanwhile: the name is still this file's.
  const int fd = static_cast<int>(handle_);
  const int dir = owner_ == gForks ? OpenPlace(false) : -1;
  if (dir >= 0) posix::Syscalls().unlinkat(dir, name_.c_str(), 0);
  posix::Syscalls().close(fd);
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

namespace {

// Why PLACE cannot hold our semaphores, for the message; empty when it can.
// "belongs to NAME (uid N)" for the owner of ST.
std::string OwnerWords(const struct stat& st) {
  struct passwd pw {};
  struct passwd* found = nullptr;
  char buffer[4096];
  const bool known = ::getpwuid_r(st.st_uid, &pw, buffer, sizeof buffer, &found) == 0 && found;
  return "belongs to " + (known ? std::string(pw.pw_name) + " " : std::string("user ")) + "(uid " +
         std::to_string(st.st_uid) + ")";
}

// Why the directory holding PLACE lets others swap PLACE; empty when not.
std::string ParentProblem(const std::string& place) {
  const std::size_t slash = place.find_last_of('/');
  const std::string parent = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : place.substr(0, slash);
  struct stat st {};
  if (::stat(parent.c_str(), &st) != 0 || SafeParent(st)) return {};
  return " (the directory " + parent + ", which holds the semaphore directory " + place + ", " +
         (st.st_uid != Euid() && st.st_uid != 0 ? OwnerWords(st) + ", not to you or root"
                                                : std::string("may be written by others")) +
         ": set BRNET_SEMAPHORE_DIR to a directory of your own)";
}

std::string PlaceProblem(const std::string& place) {
  // Asked while an error is raised: the error's code stays.
  const int saved = errno;
  std::string why = ParentProblem(place);
  struct stat st {};
  if (!why.empty() || ::lstat(place.c_str(), &st) != 0) {
    errno = saved;
    return why;
  }
  if (S_ISLNK(st.st_mode)) {
    why = "is a symbolic link";
  } else if (st.st_uid != Euid()) {
    why = OwnerWords(st) + ", not to you";
  } else if ((st.st_mode & 022) != 0) {
    why = "may be written by others";
  }
  errno = saved;
  return why.empty() ? why
                     : " (the semaphore directory " + place + " " + why +
                           ": set BRNET_SEMAPHORE_DIR to a directory of your own)";
}

}  // namespace

std::string NamedSemaphore::PlaceOf(const std::string& name) {
  const std::string place = Place();
  return place + "/" + name + PlaceProblem(place);
}

}  // namespace brnet::sys
