#include "sys/Path.h"

#include <unistd.h>

#include <gtest/gtest.h>

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

TEST(PathRules, CurrentDirectoryIsAbsolute) {
  std::string cwd = CurrentDirectory();
  ASSERT_FALSE(cwd.empty());
  EXPECT_TRUE(IsRootedPath(cwd) || NamesDrive(cwd));
  char buf[4096];
  ASSERT_NE(::getcwd(buf, sizeof buf), nullptr);
  EXPECT_EQ(cwd, buf);
}

}  // namespace
}  // namespace brnet::sys
