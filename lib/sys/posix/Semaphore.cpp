// Named semaphores on Linux: a datagram socket bound to the name in the
// abstract Unix-socket namespace.
//
// That namespace is one for the whole machine and knows no owners, so the
// name is bound under the effective user id ("1000/T-MAIL_SEM_..."): as on
// Windows, where a name without a prefix belongs to the user's session,
// the programs of one user meet, and another user's semaphores, or two
// unrelated setups of two users, never keep each other out.
//
// Binding is atomic and fails with EADDRINUSE when the name is taken; the
// kernel drops the name when the socket is closed, which also happens when
// the holder dies. POSIX sem_open objects would outlive a crashed holder and
// leave its node busy for ever, so they do not fit. A presence test connects
// a datagram socket to the name, which succeeds only while it is bound and
// leaves nothing behind.
#include "sys/Semaphore.h"

#include <stddef.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace brnet::sys {
namespace {

// The abstract address for NAME: a leading NUL, then the user's scope and
// the name's bytes.
bool MakeAddress(const std::string& name, sockaddr_un& addr, socklen_t& length) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  const std::string scoped = std::to_string(::geteuid()) + "/" + name;
  if (name.empty() || scoped.size() > sizeof addr.sun_path - 1) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(addr.sun_path + 1, scoped.data(), scoped.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + scoped.size());
  return true;
}

}  // namespace

NamedSemaphore::CreateResult NamedSemaphore::Create(const std::string& name) {
  Close();
  sockaddr_un addr;
  socklen_t length;
  if (!MakeAddress(name, addr, length)) return CreateResult::Failed;
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return CreateResult::Failed;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0) {
    int err = errno;
    ::close(fd);
    errno = err;
    return err == EADDRINUSE ? CreateResult::Exists : CreateResult::Failed;
  }
  handle_ = fd;
  return CreateResult::Created;
}

void NamedSemaphore::Close() {
  if (!Held()) return;
  ::close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

bool NamedSemaphore::Present(const std::string& name) {
  sockaddr_un addr;
  socklen_t length;
  if (!MakeAddress(name, addr, length)) return false;
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length);
  int err = errno;
  ::close(fd);
  // A name bound by a socket of another type is taken all the same: creating
  // it would fail, so it counts as present.
  return rc == 0 || err == EPROTOTYPE;
}

}  // namespace brnet::sys
