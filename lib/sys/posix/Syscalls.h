// The system calls through which the POSIX half changes files, gathered in
// one table. Every file service of the half calls them through Syscalls(),
// so that a test can replace an entry (a write that stops half way, an open
// refused, a full disk) and watch what the library leaves on disk. The
// table is internal to the library: never exported from the shared object.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <cstddef>

namespace brnet::sys::posix {

// What the library creates starts as read and write for all, directories
// searchable by all, less the umask, as binkd and every Unix tool make
// them; GiveToDirOwner (Owner.h) then gives it to the directory's owner and
// group with the rights they need, whatever the caller's umask.
inline constexpr mode_t kNewFileMode = 0666;
inline constexpr mode_t kNewDirMode = 0777;

struct SyscallTable {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*openat)(int dir, const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* buffer, std::size_t count);
  ssize_t (*write)(int fd, const void* data, std::size_t count);
  int (*ftruncate)(int fd, off_t size);
  int (*fsync)(int fd);
  ssize_t (*copy_file_range)(int in, off_t* inOffset, int out, off_t* outOffset, std::size_t count,
                             unsigned flags);
  int (*linkat)(int fromDir, const char* from, int toDir, const char* to, int flags);
  int (*renameat2)(int fromDir, const char* from, int toDir, const char* to, unsigned flags);
  int (*unlinkat)(int dir, const char* path, int flags);
  int (*mkdirat)(int dir, const char* path, mode_t mode);
  int (*fchown)(int fd, uid_t owner, gid_t group);
  int (*fchmod)(int fd, mode_t mode);
};

// The table in use; its entries start as the system's own calls.
__attribute__((visibility("hidden"))) SyscallTable& Syscalls();

// The system's own calls, to restore the table from.
__attribute__((visibility("hidden"))) const SyscallTable& SystemSyscalls();

}  // namespace brnet::sys::posix
