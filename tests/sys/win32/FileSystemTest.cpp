// The Win32 half of the file-system layer against the real calls: searches
// with attribute filters, copies and moves that never replace.
#include "sys/FileSystem.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TestSupport.h"
#include "sys/SearchNames.h"

namespace brnet::sys {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using V = std::vector<std::string>;
using test::Names;

void SetAttr(const std::string& path, DWORD attr) {
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), attr)) << path;
}

TEST(Win32FileSystem, SearchFiltersByAttributesAndLongNames) {
  TempDir tmp;
  WriteFile(tmp / "plain.flo", "12345");
  for (const char* name : {"hidden.flo", "system.flo", "ro.flo", "3.flox", "a.flo.bak"}) {
    WriteFile(tmp / name, "");
  }
  std::filesystem::create_directory(tmp / "dir.flo");
  SetAttr(tmp / "hidden.flo", FILE_ATTRIBUTE_HIDDEN);
  SetAttr(tmp / "system.flo", FILE_ATTRIBUTE_SYSTEM);
  SetAttr(tmp / "ro.flo", FILE_ATTRIBUTE_READONLY);

  // "3.flox" matches "*.flo" through its 8.3 name; the long name decides.
  EXPECT_EQ(Names(tmp / "*.flo", 0), (V{"plain.flo", "ro.flo"}));
  EXPECT_EQ(Names(tmp / "*.FLO", faHidden), (V{"hidden.flo", "plain.flo", "ro.flo"}));
  EXPECT_EQ(Names(tmp / "*.flo", faSysFile | faDirectory),
            (V{"dir.flo", "plain.flo", "ro.flo", "system.flo"}));
  EXPECT_TRUE(Names(tmp / "none\\*", faAnyFile).empty());

  auto plain = FindFirstMatch(tmp / "PLAIN.*", 0);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->Name, "plain.flo");
  EXPECT_EQ(plain->Size, 5);
  FileTime t = 0;
  ASSERT_TRUE(LastWriteTime(tmp / "plain.flo", t));
  EXPECT_EQ(plain->Time, t);
  EXPECT_EQ(FileAttributes(tmp / "ro.flo") & faReadOnly, faReadOnly);
  EXPECT_EQ(FileAttributes(tmp / "dir.flo") & faDirectory, faDirectory);
  EXPECT_EQ(FileAttributes(tmp / "none"), -1);
  EXPECT_TRUE(SetReadOnly(tmp / "ro.flo", false));
  EXPECT_EQ(FileAttributes(tmp / "ro.flo") & faReadOnly, 0);
}

TEST(Win32FileSystem, CopyAndMoveNeverReplace) {
  TempDir tmp;
  // A source with a known time and the read-only attribute.
  WriteFile(tmp / "a", "payload");
  test::SetWriteTime(tmp / "a", 1500000000);
  ASSERT_TRUE(SetReadOnly(tmp / "a", true));
  EXPECT_EQ(CopyNoReplace(tmp / "a", tmp / "b"), 0);
  EXPECT_EQ(ReadFile(tmp / "b"), "payload");
  EXPECT_EQ(FileAttributes(tmp / "b") & faReadOnly, faReadOnly);
  FileTime t = 0;
  ASSERT_TRUE(LastWriteTime(tmp / "b", t));
  EXPECT_EQ(t, FileTime{1500000000} * 1000000000);

  WriteFile(tmp / "c", "C");
  EXPECT_EQ(CopyNoReplace(tmp / "a", tmp / "c"), ERROR_FILE_EXISTS);
  EXPECT_EQ(ReadFile(tmp / "c"), "C");
  EXPECT_EQ(CopyNoReplace(tmp / "none", tmp / "d"), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(std::filesystem::exists(tmp / "d"));

  EXPECT_EQ(RenameNoReplace(tmp / "c", tmp / "b"), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(ReadFile(tmp / "c"), "C");
  EXPECT_EQ(ReadFile(tmp / "b"), "payload");
  EXPECT_EQ(RenameNoReplace(tmp / "c", tmp / "e"), 0);
  EXPECT_EQ(ReadFile(tmp / "e"), "C");
  EXPECT_FALSE(std::filesystem::exists(tmp / "c"));

  const std::string text = SystemErrorMessage(ERROR_FILE_EXISTS);
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '.');
  EXPECT_NE(text.back(), '\n');
  SetReadOnly(tmp / "a", false);
  SetReadOnly(tmp / "b", false);
}

TEST(Win32FileSystem, CreationRules) {
  TempDir tmp;
  EXPECT_TRUE(CreateNewFile(tmp / "flag"));
  EXPECT_FALSE(CreateNewFile(tmp / "flag")) << "exclusive creation";
  EXPECT_TRUE(MakeDir(tmp / "d"));
  EXPECT_FALSE(MakeDir(tmp / "d"));
  EXPECT_FALSE(RemoveFile(tmp / "d")) << "never a directory";
  WriteFile(tmp / "d/x", "");
  EXPECT_FALSE(RemoveEmptyDir(tmp / "d"));
  EXPECT_TRUE(RemoveFile(tmp / "d/x"));
  EXPECT_TRUE(RemoveEmptyDir(tmp / "d"));
}

}  // namespace
}  // namespace brnet::sys
