// The POSIX half's semaphores: names bound as socket addresses, so their
// length and the process's descriptor limit are its own failure causes.
#include "sys/Semaphore.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace brnet::sys
