// The read and write loops of the POSIX half, shared by its file services.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "sys/posix/Syscalls.h"

namespace brnet::sys::posix {

// Writes all COUNT bytes to FD; 0, or the errno value of the failure (EIO
// when the system writes nothing without saying why).
inline int WriteAll(int fd, const char* data, std::size_t count) {
  while (count > 0) {
    const ssize_t n = Syscalls().write(fd, data, count);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    data += n;
    count -= static_cast<std::size_t>(n);
  }
  return 0;
}

// Reads until COUNT bytes are read or the file ends; -1 on failure (errno
// says why).
inline std::int64_t ReadFull(int fd, char* data, std::size_t count) {
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = Syscalls().read(fd, data + got, count - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(got);
}

}  // namespace brnet::sys::posix
