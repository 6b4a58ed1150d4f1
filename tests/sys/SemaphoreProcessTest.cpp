// Named semaphores seen from two processes: the busy flags of two programs.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "support/ChildProcess.h"
#include "sys/File.h"
#include "sys/Semaphore.h"

namespace brnet::sys {
namespace {

using test::ChildProcess;
using test::SiblingProgram;

std::string UniqueName(const char* tag) {
  return std::string("brnet-test-") + tag + "-" + std::to_string(test::CurrentProcessId());
}

bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 400 && !FileExists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return FileExists(path);
}

TEST(SemaphoreProcesses, HeldByAnotherProcessAndGoneWhenItEnds) {
  test::TempDir dir;
  const std::string name = UniqueName("other");
  ChildProcess holder(SiblingProgram("sys_helper"),
                      {"hold-semaphore", name, dir / "ready", dir / "stop"});
  ASSERT_TRUE(WaitForFile(dir / "ready")) << "the other process did not take the semaphore";
  EXPECT_TRUE(NamedSemaphore::Present(name));
  NamedSemaphore mine;
  EXPECT_EQ(mine.Create(name), NamedSemaphore::CreateResult::Exists);
  EXPECT_FALSE(mine.Held());
  test::WriteFile(dir / "stop", "");
  EXPECT_EQ(holder.Wait(), 0);
  EXPECT_FALSE(NamedSemaphore::Present(name)) << "the semaphore outlived its holder";
  EXPECT_EQ(mine.Create(name), NamedSemaphore::CreateResult::Created);
}

TEST(SemaphoreProcesses, NotKeptAliveByAStartedProgram) {
  const std::string name = UniqueName("child");
  NamedSemaphore sem;
  ASSERT_EQ(sem.Create(name), NamedSemaphore::CreateResult::Created);
  ChildProcess sleeper(SiblingProgram("sys_helper"), {"sleep", "30000"});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // it is running now
  sem.Close();
  EXPECT_FALSE(NamedSemaphore::Present(name)) << "the started program inherited the semaphore";
  EXPECT_TRUE(sleeper.Kill()) << "it ended too early to tell";
}

TEST(SemaphoreProcesses, AKilledHolderFreesTheName) {
  test::TempDir dir;
  const std::string name = UniqueName("killed");
  ChildProcess holder(SiblingProgram("sys_helper"),
                      {"hold-semaphore", name, dir / "ready", dir / "stop"});
  ASSERT_TRUE(WaitForFile(dir / "ready")) << "the other process did not take the semaphore";
  EXPECT_TRUE(NamedSemaphore::Present(name));
  EXPECT_TRUE(holder.Kill());
  EXPECT_FALSE(NamedSemaphore::Present(name)) << "a crashed holder keeps the name taken";
  NamedSemaphore mine;
  EXPECT_EQ(mine.Create(name), NamedSemaphore::CreateResult::Created);
}

TEST(SemaphoreProcesses, BadNamesFail) {
  NamedSemaphore bad;
  EXPECT_EQ(bad.Create(""), NamedSemaphore::CreateResult::Failed);
  EXPECT_EQ(bad.Create(std::string(300, 'x')), NamedSemaphore::CreateResult::Failed);
  EXPECT_FALSE(bad.Held());
  EXPECT_FALSE(NamedSemaphore::Present(""));
}

}  // namespace
}  // namespace brnet::sys
