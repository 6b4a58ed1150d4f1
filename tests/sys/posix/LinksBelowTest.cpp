// What the POSIX half does with symbolic links below a root, and how a copy
// behaves when its system calls fail: nothing is reached through a link,
// and a failed copy leaves no file, named or temporary.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "TestSupport.h"
#include "support/posix/SyscallFaults.h"
#include "sys/Error.h"
#include "sys/File.h"
#include "sys/FileSystem.h"

namespace brnet::sys {
namespace {

namespace fs = std::filesystem;
using test::Call;
using test::Fault;
using test::ReadFile;
using test::SyscallFaults;
using test::TempDir;
using test::WriteFile;

// The text of the refusal, or empty when OPEN did not raise one.
std::string Refusal(const std::function<void()>& open) {
  try {
    open();
  } catch (const EInOutError& e) {
    return e.what();
  }
  return {};
}

TEST(LinksBelow, OpenBelowRefusesLinksInsideButNotTheRoot) {
  TempDir tmp;
  fs::create_directories(tmp / "real/out/139c04d2.pnt");
  fs::create_directories(tmp / "elsewhere");
  WriteFile(tmp / "secret", "secret\n");
  fs::create_directory_symlink(tmp / "real/out", tmp / "out");  // the configured path
  fs::create_symlink(tmp / "secret", tmp / "real/out/139c04d2.flo");
  fs::create_symlink(tmp / "made", tmp / "real/out/139c04d2.clo");
  fs::create_directory_symlink(tmp / "elsewhere", tmp / "real/out/00010002.pnt");
  const std::string root = tmp / "out/";
  File file;
  for (const char* below : {"139c04d2.flo", "139c04d2.clo"}) {
    for (FileMode mode : {FileMode::kAppendOrCreate, FileMode::kAppend, FileMode::kCreateOrTruncate,
                          FileMode::kRead}) {
      EXPECT_EQ(Refusal([&] { file.OpenBelow(root, below, mode); }),
                SymbolicLinkRefusedText(root + below));
    }
    // Exclusive creation finds the name taken, as before.
    EXPECT_FALSE(file.OpenBelow(root, below, FileMode::kCreateExclusive));
  }
  EXPECT_EQ(Refusal([&] {
              file.OpenBelow(root, "00010002.pnt/00000005.flo", FileMode::kAppendOrCreate);
            }),
            SymbolicLinkRefusedText(root + "00010002.pnt"));
  EXPECT_EQ(ReadFile(tmp / "secret"), "secret\n");
  EXPECT_FALSE(fs::exists(tmp / "made"));
  EXPECT_TRUE(fs::is_empty(tmp / "elsewhere"));
  // Through the configured link, a real directory below is fine.
  ASSERT_TRUE(file.OpenBelow(root, "139c04d2.pnt/00000005.flo", FileMode::kAppendOrCreate));
  file.Write("x\r\n");
  file.Close();
  EXPECT_EQ(ReadFile(tmp / "real/out/139c04d2.pnt/00000005.flo"), "x\r\n");
}

TEST(LinksBelow, CopiesAndMovesNeverGoThroughALink) {
  TempDir tmp;
  fs::create_directories(tmp / "boxes");
  fs::create_directories(tmp / "elsewhere");
  fs::create_directory_symlink(tmp / "elsewhere", tmp / "boxes/024SS16I.00");
  WriteFile(tmp / "a.zip", "a");
  const std::string root = tmp / "boxes/";
  EXPECT_EQ(CopyNoReplace(tmp / "a.zip", root, "024SS16I.00/a.zip"), ELOOP);
  EXPECT_EQ(RenameNoReplace(tmp / "a.zip", root, "024SS16I.00/a.zip"), ELOOP);
  // A rewrite renamed over its file, and a removal, neither go through one.
  WriteFile(tmp / "elsewhere/x.flo", "x");
  WriteFile(tmp / "boxes/new.flo", "new");
  EXPECT_EQ(RenameReplacingBelow(root, "new.flo", "024SS16I.00/x.flo"), ELOOP);
  EXPECT_EQ(RemoveBelow(root, "024SS16I.00/x.flo"), ELOOP);
  EXPECT_EQ(ReadFile(tmp / "elsewhere/x.flo"), "x");
  fs::remove(tmp / "elsewhere/x.flo");
  EXPECT_TRUE(fs::is_empty(tmp / "elsewhere"));
  EXPECT_EQ(ReadFile(tmp / "a.zip"), "a");
  EXPECT_TRUE(IsSymbolicLink(tmp / "boxes/024SS16I.00/"));
  EXPECT_FALSE(IsSymbolicLink(tmp / "boxes"));
  // A link at the file's own name is a taken name.
  fs::create_directories(tmp / "boxes/box");
  fs::create_symlink(tmp / "elsewhere/x", tmp / "boxes/box/a.zip");
  EXPECT_EQ(CopyNoReplace(tmp / "a.zip", root, "box/a.zip"), EEXIST);
  EXPECT_EQ(RenameNoReplace(tmp / "a.zip", root, "box/a.zip"), EEXIST);
  EXPECT_FALSE(fs::exists(tmp / "elsewhere/x"));
}

class FailingCopy : public ::testing::TestWithParam<bool> {};

// Each call of a copy fails in turn, on a file system with unnamed files
// and on one without: the box is empty afterwards, and so is the root.
TEST_P(FailingCopy, LeavesNothingBehind) {
  const bool unnamed = GetParam();
  const std::string data(200000, 'c');
  std::vector<int> counts;
  {
    TempDir tmp;
    fs::create_directories(tmp / "boxes/box");
    WriteFile(tmp / "a.zip", data);
    SyscallFaults faults;
    faults.SetNoUnnamedFiles(!unnamed);
    ASSERT_EQ(CopyNoReplace(tmp / "a.zip", tmp / "boxes/", "box/a.zip"), 0);
    for (int c = 0; c < static_cast<int>(Call::kCount); ++c) {
      counts.push_back(faults.Count(static_cast<Call>(c)));
    }
  }
  int failed = 0;
  for (int c = 0; c < static_cast<int>(Call::kCount); ++c) {
    for (int nth = 1; nth <= counts[static_cast<std::size_t>(c)]; ++nth) {
      SCOPED_TRACE(std::string(test::CallName(static_cast<Call>(c))) + " #" + std::to_string(nth));
      TempDir tmp;
      fs::create_directories(tmp / "boxes/box");
      WriteFile(tmp / "a.zip", data);
      SyscallFaults faults;
      faults.SetNoUnnamedFiles(!unnamed);
      faults.Arm(static_cast<Call>(c), nth, ENOSPC);
      const int rc = CopyNoReplace(tmp / "a.zip", tmp / "boxes/", "box/a.zip");
      if (rc == 0) {
        EXPECT_TRUE(ReadFile(tmp / "boxes/box/a.zip") == data);
        EXPECT_EQ(test::Tree(tmp / "boxes"), (std::vector<std::string>{"box/", "box/a.zip"}));
      } else {
        ++failed;
        EXPECT_EQ(test::Tree(tmp / "boxes"), std::vector<std::string>{"box/"});
      }
    }
  }
  EXPECT_GT(failed, 0);
}

INSTANTIATE_TEST_SUITE_P(Copy, FailingCopy, ::testing::Bool(), [](const auto& info) {
  return std::string(info.param ? "UnnamedFile" : "TemporaryName");
});

// A flow line cut short and then refused: File itself writes on (the
// caller takes the line back), so the part written is exactly the count
// the system reported.
TEST(SyscallTable, ShortWritesAreCarriedOn) {
  TempDir tmp;
  SyscallFaults faults;
  faults.Arm(Call::kWrite, 1, 0, Fault::kShortWrite);
  File file(tmp / "f", FileMode::kAppendOrCreate);
  file.Write("0123456789");
  file.Close();
  EXPECT_TRUE(faults.Fired());
  EXPECT_EQ(faults.Count(Call::kWrite), 2);
  EXPECT_EQ(ReadFile(tmp / "f"), "0123456789");
  // The system's calls are back once the faults are gone.
  faults.Arm(Call::kWrite, 1, EIO);
  EXPECT_THROW(File(tmp / "f", FileMode::kAppend).Write("x"), EInOutError);
}

}  // namespace
}  // namespace brnet::sys
