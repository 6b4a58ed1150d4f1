// The file layer against the real file system: the same expectations hold
// for the POSIX and the Win32 half.
#include "sys/File.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "TestSupport.h"
#include "sys/Error.h"

namespace brnet::sys {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// The text of the EInOutError that ACTION raises, with a non-zero code.
std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EInOutError& e) {
    EXPECT_NE(e.ErrorCode(), 0);
    return e.what();
  }
  return "no error";
}

TEST(FileLayer, FailuresCarryTheRunTimeTexts) {
  TempDir dir;
  // The run-time words first, then the file.
  EXPECT_EQ(ErrorOf([&] { File f(dir / "missing.log", FileMode::kAppend); }),
            "File not found: " + dir / "missing.log");
  EXPECT_FALSE(FileExists(dir / "missing.log")) << "appending never creates the file";
  EXPECT_EQ(ErrorOf([&] { File f(dir / "nodir/x.log", FileMode::kAppend); }),
            "Path not found: " + dir / "nodir/x.log");
  EXPECT_EQ(ErrorOf([&] { CreateEmptyFile(dir / "nodir/x.log"); }),
            "Path not found: " + dir / "nodir/x.log");
  std::filesystem::create_directory(dir / "sub");
  EXPECT_EQ(ErrorOf([&] { CreateEmptyFile(dir / "sub"); }), "File access denied: " + dir / "sub");
  EXPECT_FALSE(FileExists(dir / "sub")) << "a directory is not a file";
}

TEST(FileLayer, CreateEmptyFileNeverTruncates) {
  TempDir dir;
  CreateEmptyFile(dir / "new.log");
  EXPECT_TRUE(FileExists(dir / "new.log"));
  EXPECT_EQ(ReadFile(dir / "new.log"), "");
  WriteFile(dir / "old.log", "kept");
  CreateEmptyFile(dir / "old.log");
  EXPECT_EQ(ReadFile(dir / "old.log"), "kept");
}

TEST(FileLayer, AppendReadAndTruncate) {
  TempDir dir;
  const std::string path = dir / "a.log";
  WriteFile(path, "hello world");
  {
    File f(path, FileMode::kAppend);
    EXPECT_EQ(f.Size(), 11);
    EXPECT_EQ(f.ReadAt(6, 100), "world") << "a read stops at the end";
    EXPECT_EQ(f.ReadAt(20, 5), "");
    f.Truncate(5);
    EXPECT_EQ(f.Size(), 5);
    f.Write("!\r\n");
    EXPECT_EQ(f.ReadAt(0, 100), "hello!\r\n");
    f.Write("more");
    f.Close();
  }
  EXPECT_EQ(ReadFile(path), "hello!\r\nmore");
  File again(path, FileMode::kAppend);
  again.Write("+");
  again.Close();
  EXPECT_EQ(ReadFile(path), "hello!\r\nmore+") << "writes go to the end, never over the start";
}

TEST(FileLayer, AppendOrCreateMakesAMissingFileAndKeepsAnExistingOne) {
  TempDir dir;
  const std::string path = dir / "n.flo";
  {
    File f(path, FileMode::kAppendOrCreate);
    EXPECT_EQ(f.Size(), 0);
    f.Write("a\r\n");
    f.Close();
  }
  File again(path, FileMode::kAppendOrCreate);
  again.Write("b\r\n");
  again.Close();
  EXPECT_EQ(ReadFile(path), "a\r\nb\r\n");
  EXPECT_EQ(ErrorOf([&] { File f(dir / "nodir/x.flo", FileMode::kAppendOrCreate); }),
            "Path not found: " + dir / "nodir/x.flo");
  // The throwing constructor reports a taken name like any other failure.
  EXPECT_NE(ErrorOf([&] { File f(path, FileMode::kCreateExclusive); }), "no error");
  EXPECT_EQ(ReadFile(path), "a\r\nb\r\n");
}

TEST(WholeFiles, ExclusiveCreationNeverTakesAnExistingName) {
  TempDir dir;
  File file;
  ASSERT_TRUE(file.Open(dir / "2.msg", FileMode::kCreateExclusive));
  file.Write("mine");
  file.Close();
  File again;
  EXPECT_FALSE(again.Open(dir / "2.msg", FileMode::kCreateExclusive));
  EXPECT_FALSE(again.IsOpen());
  EXPECT_EQ(ReadFile(dir / "2.msg"), "mine");
  std::filesystem::create_directory(dir / "3.msg");
  EXPECT_FALSE(again.Open(dir / "3.msg", FileMode::kCreateExclusive))
      << "a directory takes the name as well";
  EXPECT_EQ(ErrorOf([&] { again.Open(dir / "nodir/4.msg", FileMode::kCreateExclusive); }),
            "Path not found: " + dir / "nodir/4.msg");
}

TEST(WholeFiles, ReadTruncateAndRemove) {
  TempDir dir;
  const std::string path = dir / "5.msg";
  WriteFile(path, "0123456789");
  File file;
  file.Open(path, FileMode::kRead);
  char buf[8];
  EXPECT_EQ(file.Read(buf, 8), 8u);
  EXPECT_EQ(file.Read(buf, 8), 2u) << "fewer bytes only at the end";
  EXPECT_EQ(std::string(buf, 2), "89");
  file.Close();
  file.Open(path, FileMode::kCreateOrTruncate);
  file.Write("new");
  file.Close();
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_TRUE(File::Remove(path));
  EXPECT_FALSE(File::Remove(path));
  EXPECT_EQ(ErrorOf([&] { file.Open(path, FileMode::kRead); }), "File not found: " + path);
  std::filesystem::create_directory(dir / "d.msg");
  EXPECT_EQ(ErrorOf([&] { file.Open(dir / "d.msg", FileMode::kRead); }),
            "File access denied: " + dir / "d.msg");
  EXPECT_FALSE(file.IsOpen());
}

}  // namespace
}  // namespace brnet::sys

namespace brnet::sys {
namespace {

// Opening below a directory: the same modes as Open, the file found by
// ROOT followed by BELOW, and whether the call made it.
TEST(FilesBelow, OpenBelowCreatesAppendsAndTellsWhatItMade) {
  TempDir tmp;
  std::filesystem::create_directory(tmp / "box");
  const std::string root = tmp.Path() + PathDelim();
  const std::string below = test::Native("box/a.flo");
  File file;
  ASSERT_TRUE(file.OpenBelow(root, below, FileMode::kAppendOrCreate));
  EXPECT_TRUE(file.Created());
  file.Write("one\r\n");
  file.Close();
  ASSERT_TRUE(file.OpenBelow(root, below, FileMode::kAppendOrCreate));
  EXPECT_FALSE(file.Created());
  file.Write("two\r\n");
  file.Close();
  EXPECT_EQ(ReadFile(tmp / "box/a.flo"), "one\r\ntwo\r\n");
  // A taken name for exclusive creation is a false result, nothing more.
  EXPECT_FALSE(file.OpenBelow(root, below, FileMode::kCreateExclusive));
  EXPECT_EQ(ReadFile(tmp / "box/a.flo"), "one\r\ntwo\r\n");
  // A missing directory below is the system's error naming the path.
  try {
    file.OpenBelow(root, test::Native("none/a.flo"), FileMode::kAppendOrCreate);
    ADD_FAILURE() << "opened below a missing directory";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find(test::Native("none")), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace brnet::sys
