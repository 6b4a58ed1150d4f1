// Named semaphores within one process; tests/sys/SemaphoreProcessTest.cpp
// has them between processes.
#include "sys/Semaphore.h"

#include <gtest/gtest.h>

#include <string>

#include "support/ChildProcess.h"

namespace brnet::sys {
namespace {

// A name no other test run on this machine uses at the same time.
std::string UniqueName(const char* tag) {
  return std::string("brnet-test-") + tag + "-" + std::to_string(test::CurrentProcessId());
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
  EXPECT_EQ(bad.Create(""), NamedSemaphore::CreateResult::Failed);
}

}  // namespace
}  // namespace brnet::sys
