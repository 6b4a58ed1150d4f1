#include "sys/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TestSupport.h"

namespace brnet::sys {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using V = std::vector<std::string>;

TEST(MatchesMask, WildcardsAndCase) {
  EXPECT_TRUE(MatchesMask("139c04d2.HLO", "*.?lo"));
  EXPECT_FALSE(MatchesMask("139c04d2.lo", "*.?lo")) << "? is exactly one character";
  EXPECT_FALSE(MatchesMask("139c04d2.flow", "*.?lo"));
  EXPECT_TRUE(MatchesMask("B8744C63.`7Z", "b8744c63.`??"));
  EXPECT_FALSE(MatchesMask("B8744C63.'01", "B8744C63.`??"));
  EXPECT_TRUE(MatchesMask("aXbYb", "a*b"));
  EXPECT_FALSE(MatchesMask("aXbY", "a*b"));
  EXPECT_TRUE(MatchesMask("", "*"));
  // As on Windows, "*.*" also lists names without a dot.
  EXPECT_TRUE(MatchesMask("README", "*.*"));
  EXPECT_TRUE(MatchesMask("x", "x.*"));
  EXPECT_FALSE(MatchesMask("y", "x.*"));
}

V Names(const std::string& pattern, std::uint32_t filter) {
  V names;
  for (const SearchRec& rec : FindAllMatches(pattern, filter)) names.push_back(rec.Name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FileSearch, AttributesAndFilter) {
  TempDir tmp;
  WriteFile(tmp / "plain.flo", "12345");
  WriteFile(tmp / ".hidden.flo", "");
  WriteFile(tmp / "ro.flo", "");
  ::chmod((tmp / "ro.flo").c_str(), 0444);
  fs::create_directory(tmp / "dir.flo");
  EXPECT_EQ(Names(tmp / "*.flo", 0), (V{"plain.flo", "ro.flo"}));
  EXPECT_EQ(Names(tmp / "*.flo", faHidden), (V{".hidden.flo", "plain.flo", "ro.flo"}));
  EXPECT_EQ(Names(tmp / "*.FLO", faAnyFile), (V{".hidden.flo", "dir.flo", "plain.flo", "ro.flo"}));
  EXPECT_EQ(Names(tmp / "*", faDirectory), (V{"dir.flo", "plain.flo", "ro.flo"})) << "no . or ..";
  EXPECT_TRUE(Names(tmp / "none/*", faAnyFile).empty());

  auto plain = FindFirstMatch(tmp / "PLAIN.*", 0);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->Size, 5);
  FileTime t = 0;
  ASSERT_TRUE(LastWriteTime(tmp / "plain.flo", t));
  EXPECT_EQ(plain->Time, t);
  EXPECT_EQ(FileAttributes(tmp / "plain.flo"), 0);
  EXPECT_EQ(FileAttributes(tmp / "ro.flo"), faReadOnly);
  EXPECT_EQ(FileAttributes(tmp / ".hidden.flo"), faHidden);
  EXPECT_EQ(FileAttributes(tmp / "dir.flo/"), faDirectory);
  EXPECT_EQ(FileAttributes(tmp / "none"), -1);
  EXPECT_TRUE(SetReadOnly(tmp / "ro.flo", false));
  EXPECT_TRUE(SetReadOnly(tmp / "plain.flo", true));
  EXPECT_EQ(FileAttributes(tmp / "ro.flo"), 0);
  EXPECT_EQ(FileAttributes(tmp / "plain.flo"), faReadOnly);
}

TEST(FindPathsIgnoringCase, EverySpellingAtEveryLevel) {
  TempDir tmp;
  fs::create_directories(tmp / "out/139c04d2.pnt");
  fs::create_directories(tmp / "out/139C04D2.PNT");
  WriteFile(tmp / "out/139c04d2.pnt/00000005.bsy", "");
  WriteFile(tmp / "out/139C04D2.PNT/00000005.BSY", "");
  WriteFile(tmp / "out/139C04D2.PNT/00000006.BSY", "");
  WriteFile(tmp / "out/a*b", "");
  const std::string root = tmp.Path() + "/";
  auto found = FindPathsIgnoringCase(root, "OUT/139c04d2.pnt/00000005.Bsy");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found,
            (V{root + "out/139C04D2.PNT/00000005.BSY", root + "out/139c04d2.pnt/00000005.bsy"}));
  EXPECT_TRUE(FindPathsIgnoringCase(root, "out/139c04d2.pnt/00000007.bsy").empty());
  EXPECT_TRUE(FindPathsIgnoringCase(root, "out/139c04d2.pnt/00000005.bsy/x").empty());
  EXPECT_EQ(FindPathsIgnoringCase(root, "out/A*B"), V{root + "out/a*b"});
  EXPECT_TRUE(FindPathsIgnoringCase(root, "out/a?b").empty()) << "no wildcards here";
}

TEST(CopyNoReplace, KeepsTimeAndModeRefusesExisting) {
  TempDir tmp;
  WriteFile(tmp / "a", std::string(100000, 'q'));
  ::chmod((tmp / "a").c_str(), 0444);
  const timespec times[2] = {{1000, 0}, {1500000000, 42}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (tmp / "a").c_str(), times, 0), 0);
  EXPECT_EQ(CopyNoReplace(tmp / "a", tmp / "b"), 0);
  EXPECT_EQ(ReadFile(tmp / "b"), std::string(100000, 'q'));
  EXPECT_EQ(FileAttributes(tmp / "b"), faReadOnly);
  FileTime t = 0;
  ASSERT_TRUE(LastWriteTime(tmp / "b", t));
  EXPECT_EQ(t, FileTime{1500000000} * 1000000000 + 42);
  WriteFile(tmp / "c", "C");
  EXPECT_EQ(CopyNoReplace(tmp / "a", tmp / "c"), EEXIST);
  EXPECT_EQ(ReadFile(tmp / "c"), "C");
  EXPECT_EQ(CopyNoReplace(tmp / "none", tmp / "d"), ENOENT);
  EXPECT_FALSE(fs::exists(tmp / "d"));
}

}  // namespace
}  // namespace brnet::sys
