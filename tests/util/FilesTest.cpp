#include "util/Files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "TestSupport.h"
#include "support/ChildProcess.h"
#include "sys/FileSystem.h"

namespace brnet {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;
using test::MakeReadOnly;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(FileTests, AttributesAndEmptiness) {
  TempDir tmp;
  const std::string file = tmp / "f.bin";
  WriteFile(file, std::string(1234, 'x'));
  EXPECT_TRUE(DirectoryPresent(tmp.Path() + sys::PathDelim()));
  EXPECT_FALSE(DirectoryPresent(file));
  EXPECT_FALSE(DirectoryPresent(tmp / "none"));
  MakeReadOnly(file);
  EXPECT_TRUE(HasAllAttrs(file, sys::faReadOnly));
  EXPECT_FALSE(HasAllAttrs(file, sys::faReadOnly | sys::faHidden));
  EXPECT_FALSE(HasAllAttrs(tmp / "none", 0));

  const std::string dir = tmp / "d";
  fs::create_directories(dir + "/sub");
  EXPECT_TRUE(DirHoldsNoFiles(dir));  // subdirectories are not files
  WriteFile(dir + "/.hidden", "");
  EXPECT_FALSE(DirHoldsNoFiles(dir));  // hidden files are
  EXPECT_FALSE(DirHoldsNoFiles(file));
  EXPECT_FALSE(DirHoldsNoFiles(tmp / "none"));
}

TEST(Creating, DirectoriesAndExclusiveFiles) {
  TempDir tmp;
  fs::create_directory(tmp / "a");
  EXPECT_TRUE(MakeDirPath(tmp / "a/b/c"));
  EXPECT_TRUE(DirectoryPresent(tmp / "a/b/c"));
  EXPECT_TRUE(MakeDirPath(tmp / "a/b/c/"));  // all there already
  // A file in the way: the levels before it stay, the call fails.
  WriteFile(tmp / "a/b/file", "");
  EXPECT_FALSE(MakeDirPath(tmp / "a/b/file/x/y"));
  EXPECT_TRUE(DirectoryPresent(tmp / "a/b"));
  EXPECT_FALSE(CreateFileExclusive(tmp / "a/b/file/flag"));
  // Relative to the current directory.
  bool relative;
  {
    test::CurrentDir here(tmp.Path());
    relative = MakeDirPath(test::Native("r/s/../t"));
  }
  EXPECT_TRUE(relative);
  EXPECT_TRUE(DirectoryPresent(tmp / "r/t"));
  EXPECT_FALSE(DirectoryPresent(tmp / "r/s"));

  const std::string name = tmp / "x/y/flag";
  EXPECT_TRUE(CreateFileExclusive(name));
  EXPECT_EQ(ReadFile(name), "");
  WriteFile(name, "keep");
  EXPECT_FALSE(CreateFileExclusive(name));
  EXPECT_EQ(ReadFile(name), "keep");
}

TEST(Creating, RacingProcessesCreateOneFileExactlyOnce) {
  TempDir tmp;
  const std::string racer = test::SiblingProgram("files_helper");
  for (int round = 0; round < 20; ++round) {
    // Each racer also has to make the two directories above the file.
    const std::string name = tmp / ("r" + std::to_string(round) + "/p/flag");
    std::vector<std::unique_ptr<ChildProcess>> racers;
    for (int i = 0; i < 6; ++i) {
      racers.push_back(std::make_unique<ChildProcess>(
          racer, std::vector<std::string>{"create-exclusive", name}, ChildProcess::Stdio::Pipes));
    }
    // All are at the start line before any is let go, so that they race.
    for (auto& r : racers) ASSERT_EQ(r->ReadLine(), "ready");
    for (auto& r : racers) r->CloseStdin();
    int winners = 0;
    for (auto& r : racers) {
      const int rc = r->Wait();
      ASSERT_TRUE(rc == 0 || rc == 1) << "exit code " << rc;
      winners += rc == 0;
    }
    EXPECT_EQ(winners, 1) << "round " << round;
  }
}

}  // namespace
}  // namespace brnet
