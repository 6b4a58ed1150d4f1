#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "sys/Error.h"
#include "sys/File.h"

namespace brnet::sys {

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void CreateEmptyFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) ThrowLastError(path);
  if (::close(fd) != 0) ThrowLastError(path);
}

namespace {
int Fd(std::intptr_t handle) { return static_cast<int>(handle); }
}  // namespace

AppendFile::AppendFile(const std::string& path, bool create) : path_(path), handle_(-1) {
  int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
  if (fd < 0) ThrowLastError(path);
  // An advisory write lock over the whole file, held until close: other
  // writers of this library wait, readers are not affected.
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  int rc;
  do {
    rc = ::fcntl(fd, F_SETLKW, &lock);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    int err = errno;
    ::close(fd);
    throw EInOutError(IoErrorText(err, path), err);
  }
  handle_ = fd;
}

AppendFile::~AppendFile() {
  if (handle_ >= 0) ::close(Fd(handle_));
}

std::int64_t AppendFile::Size() {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) ThrowLastError(path_);
  return st.st_size;
}

std::string AppendFile::ReadAt(std::int64_t offset, std::size_t count) {
  std::string data(count, '\0');
  std::size_t got = 0;
  while (got < count) {
    ssize_t n = ::pread(Fd(handle_), data.data() + got, count - got, offset + got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowLastError(path_);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  data.resize(got);
  return data;
}

void AppendFile::Truncate(std::int64_t size) {
  if (::ftruncate(Fd(handle_), size) != 0) ThrowLastError(path_);
}

void AppendFile::Append(std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(Fd(handle_), data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowLastError(path_);
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

void AppendFile::Close() {
  int fd = Fd(handle_);
  handle_ = -1;
  if (::close(fd) != 0) ThrowLastError(path_);
}

}  // namespace brnet::sys
