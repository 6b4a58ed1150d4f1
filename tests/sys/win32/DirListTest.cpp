// FindFirstFileA listing: only plain files, by their attributes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TestSupport.h"
#include "sys/DirList.h"

namespace brnet::sys {
namespace {

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Win32DirList, ListsPlainFilesByAttributes) {
  test::TempDir dir;
  for (const char* name : {"plain.msg", "readonly.msg", "hidden.msg", "system.msg"}) {
    test::WriteFile(dir / name, "x");
  }
  std::filesystem::create_directory(dir / "sub.msg");
  ASSERT_TRUE(::SetFileAttributesA((dir / "readonly.msg").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(::SetFileAttributesA((dir / "hidden.msg").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(::SetFileAttributesA((dir / "system.msg").c_str(), FILE_ATTRIBUTE_SYSTEM));

  const std::vector<std::string> expected{"plain.msg", "readonly.msg"};
  EXPECT_EQ(Sorted(ListPlainFileNames(dir.Path())), expected);
  EXPECT_EQ(Sorted(ListPlainFileNames(dir.Path() + "\\")), expected);
  EXPECT_TRUE(ListPlainFileNames(dir / "missing").empty());
  ::SetFileAttributesA((dir / "readonly.msg").c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace brnet::sys
