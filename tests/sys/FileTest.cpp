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
  EXPECT_EQ(ErrorOf([&] { AppendFile f(dir / "missing.log"); }), "File not found");
  EXPECT_FALSE(FileExists(dir / "missing.log")) << "appending never creates the file";
  EXPECT_EQ(ErrorOf([&] { AppendFile f(dir / "nodir/x.log"); }), "Path not found");
  EXPECT_EQ(ErrorOf([&] { CreateEmptyFile(dir / "nodir/x.log"); }), "Path not found");
  std::filesystem::create_directory(dir / "sub");
  EXPECT_EQ(ErrorOf([&] { CreateEmptyFile(dir / "sub"); }), "File access denied");
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
    AppendFile f(path);
    EXPECT_EQ(f.Size(), 11);
    EXPECT_EQ(f.ReadAt(6, 100), "world") << "a read stops at the end";
    EXPECT_EQ(f.ReadAt(20, 5), "");
    f.Truncate(5);
    EXPECT_EQ(f.Size(), 5);
    f.Append("!\r\n");
    EXPECT_EQ(f.ReadAt(0, 100), "hello!\r\n");
    f.Append("more");
    f.Close();
  }
  EXPECT_EQ(ReadFile(path), "hello!\r\nmore");
  AppendFile again(path);
  again.Append("+");
  again.Close();
  EXPECT_EQ(ReadFile(path), "hello!\r\nmore+") << "writes go to the end, never over the start";
}

}  // namespace
}  // namespace brnet::sys
