#include "sys/BinaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sys/Error.h"

namespace brnet::sys {
namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

[[noreturn]] void Fail(int err, const std::string& path) {
  throw EInOutError(IoErrorText(err, path), err);
}

}  // namespace

BinaryFile::~BinaryFile() {
  if (handle_ >= 0) ::close(Fd(handle_));
}

void BinaryFile::Adopt(std::intptr_t handle, const std::string& path) {
  if (handle_ >= 0) ::close(Fd(handle_));
  handle_ = handle;
  path_ = path;
}

void BinaryFile::OpenRead(const std::string& path) {
  // Non-blocking, so that a FIFO put in place of a message cannot hang the
  // open; regular files ignore the flag.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) ThrowLastError(path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    Fail(err, path);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    Fail(EACCES, path);
  }
  Adopt(fd, path);
}

bool BinaryFile::CreateExclusive(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (errno == EEXIST) return false;
    ThrowLastError(path);
  }
  Adopt(fd, path);
  return true;
}

void BinaryFile::CreateTruncate(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) ThrowLastError(path);
  Adopt(fd, path);
}

std::size_t BinaryFile::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<char*>(buffer);
  std::size_t got = 0;
  while (got < count) {
    ssize_t n = ::read(Fd(handle_), out + got, count - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowLastError(path_);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

void BinaryFile::Write(std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(Fd(handle_), data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowLastError(path_);
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

void BinaryFile::Close() {
  int fd = Fd(handle_);
  handle_ = -1;
  if (fd >= 0 && ::close(fd) != 0) ThrowLastError(path_);
}

bool BinaryFile::Remove(const std::string& path) {
  if (::unlink(path.c_str()) == 0) return true;
  if (errno == ENOENT) return false;
  ThrowLastError(path);
}

}  // namespace brnet::sys
