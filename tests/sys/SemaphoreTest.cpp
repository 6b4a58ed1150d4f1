#include "sys/Semaphore.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

namespace brnet::sys {
namespace {

// A name no other test run on this machine uses at the same time.
std::string UniqueName(const char* tag) {
  return std::string("brnet-test-") + tag + "-" + std::to_string(::getpid());
}

int WaitExit(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(NamedSemaphore, ExistsWhileHeld) {
  const std::string name = UniqueName("held");
  EXPECT_FALSE(NamedSemaphore::Present(name));
  EXPECT_FALSE(NamedSemaphore::Present(name)) << "a presence test creates nothing";
  {
    NamedSemaphore first;
    ASSERT_EQ(first.Create(name), NamedSemaphore::CreateResult::Created);
    EXPECT_TRUE(first.Held());
    EXPECT_TRUE(NamedSemaphore::Present(name));
    NamedSemaphore second;
    EXPECT_EQ(second.Create(name), NamedSemaphore::CreateResult::Exists);
    EXPECT_FALSE(second.Held());
    EXPECT_FALSE(NamedSemaphore::Present(name + "X"));
    first.Close();
    EXPECT_FALSE(first.Held());
    EXPECT_FALSE(NamedSemaphore::Present(name));
    EXPECT_EQ(second.Create(name), NamedSemaphore::CreateResult::Created);
  }
  EXPECT_FALSE(NamedSemaphore::Present(name)) << "destruction closes";
  NamedSemaphore bad;
  EXPECT_EQ(bad.Create(std::string(200, 'x')), NamedSemaphore::CreateResult::Failed);
  EXPECT_EQ(bad.Create(""), NamedSemaphore::CreateResult::Failed);
}

TEST(NamedSemaphore, NotKeptAliveByAStartedProgram) {
  const std::string name = UniqueName("exec");
  NamedSemaphore sem;
  ASSERT_EQ(sem.Create(name), NamedSemaphore::CreateResult::Created);
  pid_t child = ::fork();
  if (child == 0) {
    ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::usleep(100000);  // let the exec happen
  sem.Close();
  EXPECT_FALSE(NamedSemaphore::Present(name)) << "the program inherited the semaphore";
  ::kill(child, SIGKILL);
  WaitExit(child);
}

TEST(NamedSemaphore, FailureIsNotReportedAsCreated) {
  const std::string name = UniqueName("nofd");
  pid_t child = ::fork();
  if (child == 0) {
    rlimit none{0, 0};
    ::setrlimit(RLIMIT_NOFILE, &none);
    NamedSemaphore sem;
    ::_exit(sem.Create(name) == NamedSemaphore::CreateResult::Failed ? 0 : 1);
  }
  EXPECT_EQ(WaitExit(child), 0);
}

}  // namespace
}  // namespace brnet::sys
