#include "sys/Path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace brnet::sys {
namespace {

TEST(PathRules, DrivesExistOnlyOnWindows) {
  EXPECT_TRUE(NamesDrive("C:\\x", PathStyle::Windows));
  EXPECT_TRUE(NamesDrive("c:", PathStyle::Windows));
  EXPECT_FALSE(NamesDrive("C", PathStyle::Windows));
  EXPECT_FALSE(NamesDrive("C:/x", PathStyle::Posix));
  EXPECT_TRUE(IsRootedPath("\\x", PathStyle::Windows));
  EXPECT_FALSE(IsRootedPath("/x", PathStyle::Windows));
  EXPECT_TRUE(IsRootedPath("/x", PathStyle::Posix));
  EXPECT_FALSE(IsRootedPath("", PathStyle::Posix));
  EXPECT_EQ(PathDelim(PathStyle::Windows), '\\');
  EXPECT_EQ(PathDelim(PathStyle::Posix), '/');
}

TEST(PathRules, CurrentDirectoryIsAbsoluteAndFollowsChanges) {
  std::string cwd = CurrentDirectory();
  ASSERT_FALSE(cwd.empty());
  EXPECT_TRUE(IsRootedPath(cwd) || NamesDrive(cwd));
  EXPECT_EQ(cwd, std::filesystem::current_path().string());
  test::TempDir dir;
  {
    test::CurrentDir cd(dir.Path());
    EXPECT_EQ(CurrentDirectory(), dir.Path());
  }
  // A root keeps its separator ("/" or "C:\"); no other directory ends in one.
  const std::string root = std::filesystem::current_path().root_path().string();
  test::CurrentDir cd(root);
  EXPECT_EQ(CurrentDirectory(), root);
  EXPECT_EQ(CurrentDirectory().back(), PathDelim());
}

}  // namespace
}  // namespace brnet::sys
