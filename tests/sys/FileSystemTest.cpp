// The file-system layer through its portable surface, the same on both
// halves; tests/sys/posix/ and tests/sys/win32/ hold each half's own rules.
#include "sys/FileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TestSupport.h"
#include "sys/SearchNames.h"

namespace brnet::sys {
namespace {

namespace fs = std::filesystem;
using test::MakeReadOnly;
using test::Native;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using V = std::vector<std::string>;
using test::Names;

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

// Attribute bits without the archive bit, which Windows sets on new files.
int Attrs(const std::string& path) {
  const int attr = FileAttributes(path);
  return attr < 0 ? attr : attr & ~faArchive;
}

TEST(FileSearch, AttributesAndFilter) {
  TempDir tmp;
  WriteFile(tmp / "plain.flo", "12345");
  WriteFile(tmp / "ro.flo", "");
  MakeReadOnly(tmp / "ro.flo");
  WriteFile(tmp / "other.txt", "");
  fs::create_directory(tmp / "dir.flo");
  EXPECT_EQ(Names(tmp / "*.flo", 0), (V{"plain.flo", "ro.flo"}));
  EXPECT_EQ(Names(tmp / "*.FLO", faAnyFile), (V{"dir.flo", "plain.flo", "ro.flo"}));
  EXPECT_EQ(Names(tmp / "*", faDirectory), (V{"dir.flo", "other.txt", "plain.flo", "ro.flo"}))
      << "no . or ..";
  EXPECT_TRUE(Names(tmp / "none/*", faAnyFile).empty());

  auto plain = FindFirstMatch(tmp / "PLAIN.*", 0);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->Name, "plain.flo");
  EXPECT_EQ(plain->Size, 5);
  FileTime t = 0;
  ASSERT_TRUE(LastWriteTime(tmp / "plain.flo", t));
  EXPECT_EQ(plain->Time, t);
  EXPECT_EQ(Attrs(tmp / "plain.flo"), 0);
  EXPECT_EQ(Attrs(tmp / "ro.flo"), faReadOnly);
  EXPECT_EQ(Attrs(tmp / "dir.flo/"), faDirectory);
  EXPECT_EQ(FileAttributes(tmp / "none"), -1);
  EXPECT_TRUE(SetReadOnly(tmp / "ro.flo", false));
  EXPECT_TRUE(SetReadOnly(tmp / "plain.flo", true));
  EXPECT_EQ(Attrs(tmp / "ro.flo"), 0);
  EXPECT_EQ(Attrs(tmp / "plain.flo"), faReadOnly);
  EXPECT_FALSE(SetReadOnly(tmp / "none", true));
}

TEST(FindPathsIgnoringCase, TheSpellingOnDiskAtEveryLevel) {
  TempDir tmp;
  fs::create_directories(tmp / "out/139C04D2.PNT");
  WriteFile(tmp / "out/139C04D2.PNT/00000005.bsy", "");
  const std::string root = tmp.Path() + PathDelim();
  EXPECT_EQ(FindPathsIgnoringCase(root, Native("OUT/139c04d2.pnt/00000005.BSY")),
            V{root + Native("out/139C04D2.PNT/00000005.bsy")});
  EXPECT_EQ(FindPathsIgnoringCase(root, Native("out/139c04d2.pnt")),
            V{root + Native("out/139C04D2.PNT")});
  EXPECT_TRUE(FindPathsIgnoringCase(root, Native("out/139c04d2.pnt/00000007.bsy")).empty());
  EXPECT_TRUE(FindPathsIgnoringCase(root, Native("out/139c04d2.pnt/00000005.bsy/x")).empty())
      << "a file leads nowhere further";
  EXPECT_TRUE(FindPathsIgnoringCase(root, Native("out/139c04d2.*/00000005.bsy")).empty())
      << "no wildcards here";
}

TEST(UsualSpellings, AsGivenFirstThenEachPartInEachCase) {
  EXPECT_EQ(UsualSpellings("139c04d2.bsy"), (V{"139c04d2.bsy", "139c04d2.BSY", "139c04d2.Bsy",
                                               "139C04D2.bsy", "139C04D2.BSY", "139C04D2.Bsy"}));
  EXPECT_EQ(UsualSpellings("Out.00a"),
            (V{"Out.00a", "Out.00A", "out.00a", "out.00A", "OUT.00a", "OUT.00A"}));
  EXPECT_EQ(UsualSpellings("x"), (V{"x", "X"}));
  EXPECT_EQ(UsualSpellings(".svn"), (V{".svn", ".SVN", ".Svn"})) << "a leading dot is no extension";
  EXPECT_EQ(UsualSpellings("0000"), V{"0000"});
}

TEST(FindUsualSpellings, LooksEachNameUp) {
  TempDir tmp;
  fs::create_directories(tmp / "out/139C04D2.PNT");
  WriteFile(tmp / "out/139C04D2.PNT/00000005.Bsy", "");
  WriteFile(tmp / "out/139c04d2.clo", "");
  const std::string root = tmp.Path() + PathDelim();
  EXPECT_EQ(FindUsualSpellings(root, Native("out/139c04d2.pnt/00000005.bsy")).size(), 1u);
  EXPECT_EQ(FindUsualSpellings(root, Native("out/139c04d2.clo")),
            V{root + Native("out/139c04d2.clo")});
  EXPECT_TRUE(FindUsualSpellings(root, Native("out/139c04d2.clo"), 0).empty());
  EXPECT_TRUE(FindUsualSpellings(root, Native("out/139c04d2.pnt/00000007.bsy")).empty());
  EXPECT_TRUE(FindUsualSpellings(root, Native("out/139c04d2.clo/x")).empty())
      << "a file leads nowhere further";
  EXPECT_TRUE(FindUsualSpellings(root, Native("out/*.clo")).empty()) << "no wildcards";
  EXPECT_TRUE(FindUsualSpellings(root, "").empty());
  // A new entry is found by the next call: nothing is remembered.
  WriteFile(tmp / "out/139C04D2.HLO", "");
  EXPECT_EQ(FindUsualSpellings(root, Native("out/139c04d2.hlo")).size(), 1u);
}

TEST(EntryInfo, OneLookupReportsWhatASearchReports) {
  TempDir tmp;
  WriteFile(tmp / "plain.flo", "12345");
  fs::create_directory(tmp / "dir.flo");
  for (const char* name : {"plain.flo", "dir.flo"}) {
    const auto info = EntryInfo(tmp / name);
    const auto found = FindFirstMatch(tmp / name, faAnyFile);
    ASSERT_TRUE(info && found) << name;
    EXPECT_EQ(info->Name, name);
    EXPECT_EQ(info->Attr, found->Attr) << name;
    EXPECT_EQ(info->Size, found->Size) << name;
    EXPECT_EQ(info->Time, found->Time) << name;
  }
  EXPECT_EQ(EntryInfo(tmp / "plain.flo")->Size, 5);
  EXPECT_EQ(EntryInfo(tmp / "dir.flo")->Size, 0) << "a directory has no size";
  EXPECT_FALSE(EntryInfo(tmp / "none"));
  EXPECT_FALSE(EntryInfo(tmp / "*.flo")) << "a pattern names nothing";
  EXPECT_FALSE(EntryInfo(""));
}

TEST(ReadFileHead, OrdinaryFilesOnly) {
  TempDir tmp;
  WriteFile(tmp / "flag.bsy", "4242\nbrnet32 host\n");
  EXPECT_EQ(ReadFileHead(tmp / "flag.bsy", 512), "4242\nbrnet32 host\n");
  EXPECT_EQ(ReadFileHead(tmp / "flag.bsy", 4), "4242") << "at most MAXBYTES";
  WriteFile(tmp / "empty.bsy", "");
  EXPECT_EQ(ReadFileHead(tmp / "empty.bsy", 512), "");
  EXPECT_EQ(ReadFileHead(tmp / "missing.bsy", 512), std::nullopt);
  fs::create_directory(tmp / "dir.bsy");
  EXPECT_EQ(ReadFileHead(tmp / "dir.bsy", 512), std::nullopt);
}

TEST(CopyNoReplace, KeepsTimeAndAttributesRefusesExisting) {
  TempDir tmp;
  WriteFile(tmp / "a", std::string(100000, 'q'));
  test::SetWriteTime(tmp / "a", 1500000000);
  MakeReadOnly(tmp / "a");
  EXPECT_EQ(CopyNoReplace(tmp / "a", tmp / "b"), 0);
  EXPECT_EQ(ReadFile(tmp / "b"), std::string(100000, 'q'));
  EXPECT_EQ(Attrs(tmp / "b"), faReadOnly);
  FileTime t = 0;
  ASSERT_TRUE(LastWriteTime(tmp / "b", t));
  EXPECT_EQ(t, FileTime{1500000000} * 1000000000);
  WriteFile(tmp / "c", "C");
  const int exists = CopyNoReplace(tmp / "a", tmp / "c");
  EXPECT_TRUE(IsFileExistsError(exists)) << exists;
  EXPECT_EQ(ReadFile(tmp / "c"), "C");
  const int missing = CopyNoReplace(tmp / "none", tmp / "d");
  EXPECT_NE(missing, 0);
  EXPECT_FALSE(IsFileExistsError(missing)) << missing;
  EXPECT_FALSE(fs::exists(tmp / "d"));
}

// Below a root: the copy lands in the directory below, and whatever name it
// was written under first is gone afterwards, in the box and in the root.
TEST(CopyNoReplace, BelowARootLeavesOnlyTheWholeCopy) {
  TempDir tmp;
  fs::create_directories(tmp / "boxes/box");
  const std::string data(300000, 'z');
  WriteFile(tmp / "a.zip", data);
  const std::string root = tmp / "boxes/";
  EXPECT_EQ(CopyNoReplace(tmp / "a.zip", root, test::Native("box/a.zip")), 0);
  EXPECT_TRUE(ReadFile(tmp / "boxes/box/a.zip") == data);
  EXPECT_EQ(test::Tree(tmp / "boxes"), test::TreeEntries({"box/", "box/a.zip"}));
  const int exists = CopyNoReplace(tmp / "a.zip", root, test::Native("box/a.zip"));
  EXPECT_TRUE(IsFileExistsError(exists)) << exists;
  EXPECT_EQ(test::Tree(tmp / "boxes"), test::TreeEntries({"box/", "box/a.zip"}));
  // Moving below a root never replaces either.
  WriteFile(tmp / "b.zip", "b");
  EXPECT_EQ(RenameNoReplace(tmp / "b.zip", root, test::Native("box/b.zip")), 0);
  WriteFile(tmp / "b.zip", "second");
  EXPECT_TRUE(IsFileExistsError(RenameNoReplace(tmp / "b.zip", root, test::Native("box/b.zip"))));
  EXPECT_EQ(ReadFile(tmp / "boxes/box/b.zip"), "b");
  EXPECT_EQ(ReadFile(tmp / "b.zip"), "second");
}

}  // namespace
}  // namespace brnet::sys
