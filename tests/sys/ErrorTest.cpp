#include "sys/Error.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace brnet::sys {
namespace {

TEST(RunErrors, OperatingSystemCodesMapToRunTimeTexts) {
  test::TempDir dir;
  EXPECT_EQ(RunErrorText(ENOENT, dir / "missing.txt"), "File not found");
  EXPECT_EQ(RunErrorText(ENOENT, dir / "nodir/missing.txt"), "Path not found");
  EXPECT_EQ(RunErrorText(ENOTDIR), "Path not found");
  EXPECT_EQ(RunErrorText(EACCES), "File access denied");
  EXPECT_EQ(RunErrorText(EROFS), "File access denied");
  EXPECT_EQ(RunErrorText(ENOSPC), "Disk full");
  EXPECT_EQ(RunErrorText(EIO), "I/O error " + std::to_string(EIO))
      << "an unmapped code keeps its own number";
  EXPECT_EQ(RunErrorMessage(reReadBeyondEof), "Read beyond end of file");
}

TEST(RunErrors, ThrowLastErrorCarriesTheCode) {
  test::TempDir dir;
  errno = ENOENT;
  try {
    ThrowLastError(dir / "x");
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
    EXPECT_STREQ(e.what(), "File not found");
  }
}

TEST(Assertions, MessageNamesUnitAndLine) {
  try {
    BR_ASSERT(1 + 1 == 3, "Outbound");
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(std::string(e.what()), "Assertion failure (Outbound, line " +
                                         std::to_string(__LINE__ - 4) + ")");
  }
}

}  // namespace
}  // namespace brnet::sys
