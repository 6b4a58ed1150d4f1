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

TEST(PathRules, SplitsAndJoinsNamesInBothStyles) {
  constexpr PathStyle W = PathStyle::Windows, P = PathStyle::Posix;
  EXPECT_TRUE(IsPathSeparator('/', W));
  EXPECT_TRUE(IsPathSeparator('\\', W));
  EXPECT_FALSE(IsPathSeparator('\\', P));
  EXPECT_FALSE(IsPathSeparator('\0', P));

  EXPECT_EQ(ParentDir("a/b/c", P), "a/b");
  EXPECT_EQ(ParentDir("/c", P), "/");
  EXPECT_EQ(ParentDir("c", P), ".");
  EXPECT_EQ(ParentDir("C:x", P), ".");
  EXPECT_EQ(ParentDir("C:\\a\\b", W), "C:\\a");
  EXPECT_EQ(ParentDir("C:\\b", W), "C:\\");
  EXPECT_EQ(ParentDir("C:/b", W), "C:/");
  EXPECT_EQ(ParentDir("\\b", W), "\\");
  EXPECT_EQ(ParentDir("C:b", W), "C:");
  EXPECT_EQ(ParentDir("a\\b/c", W), "a\\b");

  EXPECT_EQ(LastPathName("a/b/", P), "b");
  EXPECT_EQ(LastPathName("/", P), "");
  EXPECT_EQ(LastPathName("a\\b", P), "a\\b");
  EXPECT_EQ(LastPathName("a\\b\\", W), "b");
  EXPECT_EQ(LastPathName("x/y", W), "y");

  EXPECT_EQ(JoinPath("a", "b", P), "a/b");
  EXPECT_EQ(JoinPath("/", "b", P), "/b");
  EXPECT_EQ(JoinPath("", "b", P), "b");
  EXPECT_EQ(JoinPath("C:\\a", "b", W), "C:\\a\\b");
  EXPECT_EQ(JoinPath("C:/a/", "b", W), "C:/a/b");

  EXPECT_TRUE(IsRootDir("/", P));
  EXPECT_FALSE(IsRootDir("/a", P));
  EXPECT_FALSE(IsRootDir("C:\\", P));
  EXPECT_TRUE(IsRootDir("C:\\", W));
  EXPECT_TRUE(IsRootDir("c:/", W));
  EXPECT_TRUE(IsRootDir("\\", W));
  EXPECT_FALSE(IsRootDir("C:", W));
  EXPECT_FALSE(IsRootDir("C:\\a", W));
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
