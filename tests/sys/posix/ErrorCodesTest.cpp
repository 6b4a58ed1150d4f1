// The POSIX half's mapping of errno values to the run-time texts.
#include <gtest/gtest.h>
#include <cerrno>

#include "TestSupport.h"
#include "sys/Error.h"

namespace brnet::sys {
namespace {

TEST(PosixErrorCodes, MapToRunTimeTexts) {
  test::TempDir dir;
  EXPECT_EQ(RunErrorText(ENOENT, dir / "missing.txt"), "File not found");
  EXPECT_EQ(RunErrorText(ENOENT, dir / "nodir/missing.txt"), "Path not found");
  EXPECT_EQ(RunErrorText(ENOTDIR), "Path not found");
  EXPECT_EQ(RunErrorText(EACCES), "File access denied");
  EXPECT_EQ(RunErrorText(EROFS), "File access denied");
  EXPECT_EQ(RunErrorText(ENOSPC), "Disk full");
  EXPECT_EQ(RunErrorText(EIO), "I/O error " + std::to_string(EIO))
      << "an unmapped code keeps its own number";
}

TEST(PosixErrorCodes, ThrowLastErrorCarriesErrno) {
  test::TempDir dir;
  errno = ENOENT;
  try {
    ThrowLastError(dir / "x");
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
    EXPECT_EQ(std::string(e.what()), "File not found: " + dir / "x");
  }
}

}  // namespace
}  // namespace brnet::sys
