// The POSIX half's semaphores: names bound as socket addresses, so their
// length and the process's descriptor limit are its own failure causes.
#include "sys/Semaphore.h"

#include <stddef.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/NobodyChild.h"

namespace brnet::sys {
namespace {

TEST(PosixNamedSemaphore, FailuresAreNotReportedAsCreated) {
  const std::string name = "brnet-test-nofd-" + std::to_string(::getpid());
  NamedSemaphore tooLong;
  EXPECT_EQ(tooLong.Create(std::string(200, 'x')), NamedSemaphore::CreateResult::Failed)
      << "longer than a socket address holds";
  // Without a free descriptor.
  pid_t child = ::fork();
  if (child == 0) {
    rlimit none{0, 0};
    ::setrlimit(RLIMIT_NOFILE, &none);
    NamedSemaphore sem;
    ::_exit(sem.Create(name) == NamedSemaphore::CreateResult::Failed ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Binds NAME in the abstract namespace as it is, as a program that knows
// nothing of user scopes would; "bound" or the error.
// The socket stays open for the life of the calling process.
std::string BindBareName(const std::string& name) {
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0) return "bound";
  return std::strerror(errno);
}

// The names belong to the user: another user's semaphore of the same name,
// or a squatter on the bare name, keeps nobody out. (Another process of the
// same user does: SemaphoreProcesses.HeldByAnotherProcessAndGoneWhenItEnds.)
TEST(PosixNamedSemaphore, NamesAreScopedToTheUser) {
  if (!test::NobodyChild::Possible()) GTEST_SKIP() << "needs root to run a child as nobody";
  const std::string name = "T-MAIL_SEM_TEST" + std::to_string(::getpid()) + ".BSY";
  test::NobodyChild other([&] {
    static NamedSemaphore held;  // lives until the child ends
    const bool created = held.Create(name) == NamedSemaphore::CreateResult::Created;
    return std::string(created ? "created" : "refused") + " " + BindBareName(name);
  });
  ASSERT_EQ(other.Result(), "created bound");
  EXPECT_FALSE(NamedSemaphore::Present(name));
  NamedSemaphore mine;
  EXPECT_EQ(mine.Create(name), NamedSemaphore::CreateResult::Created);
}

}  // namespace
}  // namespace brnet::sys
