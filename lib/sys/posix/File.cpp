// POSIX half of the file type: one descriptor, errno turned into the
// run-time texts in one place.
#include "sys/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <cerrno>
#include <string>

#include "sys/Error.h"
#include "sys/posix/Below.h"
#include "sys/posix/FdIo.h"
#include "sys/posix/Owner.h"
#include "sys/posix/Syscalls.h"

namespace brnet::sys {

using posix::kNewFileMode;
using posix::Syscalls;
namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

[[noreturn]] void Fail(int err, const std::string& path) {
  throw EInOutError(IoErrorText(err, path), err);
}

// Closes FD and raises ERR for PATH.
[[noreturn]] void CloseAndFail(int fd, int err, const std::string& path) {
  Syscalls().close(fd);
  Fail(err, path);
}

int OpenFlags(FileMode mode) {
  switch (mode) {
    case FileMode::kRead:
      // Non-blocking, so that a FIFO put in place of a file cannot hang the
      // open; regular files ignore the flag.
      return O_RDONLY | O_NONBLOCK;
    // Non-blocking for the same reason: a FIFO is refused after the open.
    case FileMode::kAppend:
    case FileMode::kAppendUnlocked:
      return O_RDWR | O_APPEND | O_NONBLOCK;
    case FileMode::kAppendOrCreate:
      return O_RDWR | O_APPEND | O_NONBLOCK | O_CREAT;
    case FileMode::kUpdateOrCreate:
      return O_RDWR | O_NONBLOCK | O_CREAT;
    case FileMode::kCreateExclusive:
      return O_WRONLY | O_CREAT | O_EXCL;
    case FileMode::kCreateOrTruncate:
      return O_WRONLY | O_CREAT | O_TRUNC;
  }
  return O_RDONLY;
}

// How long an appending writer tries for the lock: other writers of ours
// hold it for one line; whoever holds it longer is treated as holding it
// for good.
constexpr long kLockTriesMs = 1000;

// Only ordinary files are read or appended to: a FIFO would swallow the
// lines (or stall the writer when full) and a device would take them, both
// with success reported.
std::int64_t CheckOrdinary(int fd, const std::string& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) CloseAndFail(fd, errno, path);
  if (!S_ISREG(st.st_mode)) CloseAndFail(fd, EACCES, path);
  return st.st_size;
}

// True when what keeps the lock of FD's file from us is a read lock: any
// user who may only read the file can hold one, and such a user writes
// nothing, so it is no writer to wait for.
bool OnlyReadLocked(int fd) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  return ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type == F_RDLCK;
}

// An advisory write lock over the whole file, held until close: other
// appending writers wait, readers are not affected. Only a writer's lock
// keeps us waiting, and never without limit (a user who may write the file
// may hold one): the lock is tried again, with growing pauses, for a second
// at most. A read lock, which any reader may take, is passed by: the file
// is then appended to without the lock, the node's busy flags keeping
// other writers of ours away.
void LockForAppend(int fd, const std::string& path) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  long waited = 0;
  for (long pause = 1;; pause = pause < 64 ? pause * 2 : pause) {
    if (::fcntl(fd, F_SETLK, &lock) == 0) return;
    if (errno == EINTR) continue;
    if ((errno == EAGAIN || errno == EACCES) && OnlyReadLocked(fd)) return;
    if (errno != EAGAIN && errno != EACCES) {
      // What cannot be locked may be no ordinary file: that is the error.
      const int err = errno;
      CheckOrdinary(fd, path);
      CloseAndFail(fd, err, path);
    }
    if (waited >= kLockTriesMs) break;
    const timespec delay{0, pause * 1000000};
    ::nanosleep(&delay, nullptr);
    waited += pause;
  }
  Syscalls().close(fd);
  throw EFileLocked("File locked by another process: " + path, EAGAIN);
}

bool Locking(FileMode mode) {
  return mode == FileMode::kAppend || mode == FileMode::kAppendOrCreate ||
         mode == FileMode::kUpdateOrCreate;
}

// What every open of MODE checks before the File takes FD. Returns the
// file's size when the append lock is held, else -1. The lock comes before
// the look: every appending writer takes it, so the size seen then stays
// until this one writes, and one look serves the check and the size.
std::int64_t CheckOpened(int fd, const std::string& path, FileMode mode) {
  if (Locking(mode)) {
    LockForAppend(fd, path);
    return CheckOrdinary(fd, path);
  }
  if (mode == FileMode::kRead || mode == FileMode::kAppendUnlocked) CheckOrdinary(fd, path);
  return -1;
}

// Opens NAME in DIR in MODE with the further flags EXTRA; CREATED tells
// whether this call made the file. A file for appending is opened as it is
// first, since it usually exists (a node with files waiting), and only a
// missing one is created, exclusively, so that the caller knows it made it;
// a file that appears or vanishes between the two tries is looked for once
// more.
int OpenMaybeCreating(int dir, const char* name, FileMode mode, int extra, bool& created) {
  created = false;
  const int flags = OpenFlags(mode) | extra | O_CLOEXEC;
  if (mode == FileMode::kAppendOrCreate || mode == FileMode::kUpdateOrCreate) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      int fd = Syscalls().openat(dir, name, flags & ~O_CREAT, 0);
      if (fd >= 0 || errno != ENOENT) return fd;
      fd = Syscalls().openat(dir, name, flags | O_EXCL, kNewFileMode);
      if (fd >= 0) {
        created = true;
        return fd;
      }
      if (errno != EEXIST) return -1;
    }
  }
  const int fd = Syscalls().openat(dir, name, flags, kNewFileMode);
  created = fd >= 0 && mode == FileMode::kCreateExclusive;
  return fd;
}

// OpenMaybeCreating, and a file it made is given to the directory's owner
// (Owner.h); one that cannot be is taken back, and the open fails.
int OpenAt(int dir, const char* name, FileMode mode, int extra, bool& created) {
  const int fd = OpenMaybeCreating(dir, name, mode, extra, created);
  if (fd < 0 || !created) return fd;
  if (const int err = posix::GiveToDirOwner(fd, dir, name); err != 0) {
    Syscalls().unlinkat(dir, name, 0);
    Syscalls().close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void CreateEmptyFile(const std::string& path) {
  bool created = false;
  int fd = OpenAt(AT_FDCWD, path.c_str(), FileMode::kCreateExclusive, 0, created);
  // Only an existing entry is left as it is (a directory still fails).
  if (fd < 0 && errno == EEXIST) {
    fd = Syscalls().open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, kNewFileMode);
  }
  if (fd < 0) ThrowLastError(path);
  if (Syscalls().close(fd) != 0) ThrowLastError(path);
}

File::File(const std::string& path, FileMode mode) {
  if (!Open(path, mode)) Fail(EEXIST, path);
}

File::~File() {
  if (IsOpen()) Syscalls().close(Fd(handle_));
}

void File::Adopt(std::intptr_t handle, const std::string& path, FileMode mode) {
  if (IsOpen()) Syscalls().close(Fd(handle_));
  handle_ = handle;
  path_ = path;
  mode_ = mode;
  knownSize_ = -1;
}

bool File::Open(const std::string& path, FileMode mode) {
  bool created = false;
  const int fd = OpenAt(AT_FDCWD, path.c_str(), mode, 0, created);
  if (fd < 0) {
    if (mode == FileMode::kCreateExclusive && errno == EEXIST) return false;
    ThrowLastError(path);
  }
  const std::int64_t size = CheckOpened(fd, path, mode);
  Adopt(fd, path, mode);
  knownSize_ = size;
  created_ = created;
  return true;
}

bool File::OpenBelow(const std::string& root, std::string_view below, FileMode mode) {
  const posix::ParentDir parent = posix::OpenParentBelow(root, below);
  bool created = false;
  const int fd = OpenAt(parent.Dir.Get(), parent.Name.c_str(), mode, O_NOFOLLOW, created);
  if (fd < 0) {
    const int err = errno;
    if (mode == FileMode::kCreateExclusive && err == EEXIST) return false;
    if (err == ELOOP && posix::IsLinkAt(parent.Dir.Get(), parent.Name)) {
      posix::ThrowLinkRefused(parent.Path);
    }
    Fail(err, parent.Path);
  }
  const std::int64_t size = CheckOpened(fd, parent.Path, mode);
  Adopt(fd, parent.Path, mode);
  knownSize_ = size;
  created_ = created;
  return true;
}

bool File::OwnerTrusted() {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) ThrowLastError(path_);
  if (st.st_uid == ::geteuid()) return true;
  const std::size_t slash = path_.find_last_of('/');
  const std::string dir =
      slash == std::string::npos ? std::string(".") : path_.substr(0, slash + 1);
  struct stat dirSt {};
  return ::stat(dir.c_str(), &dirSt) == 0 && dirSt.st_uid == st.st_uid;
}

std::int64_t File::Size() {
  if (knownSize_ >= 0) return knownSize_;
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) ThrowLastError(path_);
  return st.st_size;
}

std::size_t File::Read(void* buffer, std::size_t count) {
  const std::int64_t got = posix::ReadFull(Fd(handle_), static_cast<char*>(buffer), count);
  if (got < 0) ThrowLastError(path_);
  return static_cast<std::size_t>(got);
}

std::string File::ReadAt(std::int64_t offset, std::size_t count) {
  std::string data(count, '\0');
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(Fd(handle_), data.data() + got, count - got,
                              offset + static_cast<std::int64_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowLastError(path_);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  data.resize(got);
  return data;
}

void File::Write(std::string_view data) {
  knownSize_ = -1;
  const int err = posix::WriteAll(Fd(handle_), data.data(), data.size());
  if (err != 0) Fail(err, path_);
}

void File::Truncate(std::int64_t size) {
  knownSize_ = -1;
  if (Syscalls().ftruncate(Fd(handle_), size) != 0) ThrowLastError(path_);
}

void File::Sync() {
  if (Syscalls().fsync(Fd(handle_)) != 0) ThrowLastError(path_);
}

void File::Close() {
  const int fd = Fd(handle_);
  handle_ = kNoHandle;
  if (fd >= 0 && Syscalls().close(fd) != 0) ThrowLastError(path_);
}

bool File::Remove(const std::string& path) {
  if (Syscalls().unlinkat(AT_FDCWD, path.c_str(), 0) == 0) return true;
  if (errno == ENOENT) return false;
  ThrowLastError(path);
}

}  // namespace brnet::sys
