// Process ids, their liveness and the host name, as busy flags record them.
#include "sys/Process.h"

#include <gtest/gtest.h>

#include <string>

#include "support/ChildProcess.h"

namespace brnet::sys {
namespace {

TEST(Process, AnotherProcessRunsUntilItIsKilled) {
  EXPECT_EQ(CurrentProcessId(), static_cast<std::uint32_t>(test::CurrentProcessId()));
  EXPECT_TRUE(ProcessRuns(CurrentProcessId()));
  EXPECT_FALSE(HostName().empty());

  test::ChildProcess child(test::SiblingProgram("sys_helper"), {"show-pid"},
                           test::ChildProcess::Stdio::Pipes);
  const std::string pid = child.ReadLine();
  EXPECT_EQ(child.ReadLine(), HostName()) << "the same machine, the same name";
  ASSERT_FALSE(pid.empty());
  ASSERT_EQ(pid.find_first_not_of("0123456789"), std::string::npos) << pid;
  const auto id = static_cast<std::uint32_t>(std::stoul(pid));
  EXPECT_NE(id, CurrentProcessId());
  EXPECT_TRUE(ProcessRuns(id));
  ASSERT_TRUE(child.Kill());
  EXPECT_FALSE(ProcessRuns(id)) << "gone after the kill";
}

}  // namespace
}  // namespace brnet::sys
