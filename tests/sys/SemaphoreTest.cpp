#include "sys/Semaphore.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(NamedSemaphore, KilledHolderFreesTheName) {
  const std::string name = UniqueName("killed");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  if (child == 0) {
    NamedSemaphore sem;
    char ok = sem.Create(name) == NamedSemaphore::CreateResult::Created ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(ok, 'y');
  EXPECT_TRUE(NamedSemaphore::Present(name)) << "visible to another process";
  NamedSemaphore mine;
  EXPECT_EQ(mine.Create(name), NamedSemaphore::CreateResult::Exists);
  ::kill(child, SIGKILL);
  EXPECT_EQ(WaitExit(child), 128 + SIGKILL);
  EXPECT_FALSE(NamedSemaphore::Present(name));
  EXPECT_EQ(mine.Create(name), NamedSemaphore::CreateResult::Created);
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

TEST(NamedSemaphore, RacingProcessesCreateOnce) {
  constexpr int kRounds = 10;
  constexpr int kRacers = 6;
  for (int round = 0; round < kRounds; ++round) {
    const std::string name = UniqueName("race") + "-" + std::to_string(round);
    int go[2], done[2], release[2];
    ASSERT_EQ(::pipe(go), 0);
    ASSERT_EQ(::pipe(done), 0);
    ASSERT_EQ(::pipe(release), 0);
    std::vector<pid_t> racers;
    for (int i = 0; i < kRacers; ++i) {
      pid_t pid = ::fork();
      if (pid == 0) {
        ::close(go[1]);
        ::close(done[0]);
        ::close(release[1]);
        char c;
        if (::read(go[0], &c, 1) != 0) ::_exit(3);
        NamedSemaphore sem;
        const bool won = sem.Create(name) == NamedSemaphore::CreateResult::Created;
        // Hold on until everybody has tried, or a late racer could win too.
        (void)!::write(done[1], "x", 1);
        if (::read(release[0], &c, 1) != 0) ::_exit(3);
        ::_exit(won ? 0 : 1);
      }
      racers.push_back(pid);
    }
    ::close(go[0]);
    ::close(done[1]);
    ::close(release[0]);
    ::close(go[1]);  // closing the only write end starts all racers at once
    char c;
    for (int i = 0; i < kRacers; ++i) ASSERT_EQ(::read(done[0], &c, 1), 1);
    ::close(done[0]);
    ::close(release[1]);
    int winners = 0;
    for (pid_t pid : racers) {
      int rc = WaitExit(pid);
      ASSERT_TRUE(rc == 0 || rc == 1) << rc;
      winners += rc == 0;
    }
    EXPECT_EQ(winners, 1) << "round " << round;
  }
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
