#include "sys/posix/Syscalls.h"

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brnet::sys::posix {
namespace {

// open and openat take their mode as a variadic argument; the table's
// entries have a fixed signature.
int SystemOpen(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

int SystemOpenAt(int dir, const char* path, int flags, mode_t mode) {
  return ::openat(dir, path, flags, mode);
}

ssize_t SystemCopyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, std::size_t count,
                            unsigned flags) {
  return ::copy_file_range(in, inOffset, out, outOffset, count, flags);
}

constexpr SyscallTable kSystem = {
    SystemOpen, SystemOpenAt,        ::close,  ::read,      ::write,    ::ftruncate,
    ::fsync,    SystemCopyFileRange, ::linkat, ::renameat2, ::unlinkat, ::mkdirat,
    ::fchown,   ::fchmod,
};

SyscallTable table = kSystem;

}  // namespace

SyscallTable& Syscalls() {
  return table;
}

const SyscallTable& SystemSyscalls() {
  return kSystem;
}

}  // namespace brnet::sys::posix
