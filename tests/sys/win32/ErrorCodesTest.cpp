// The Win32 half's mapping of GetLastError codes to the run-time texts.
#include <windows.h>

#include <gtest/gtest.h>

#include "sys/Error.h"

namespace brnet::sys {
namespace {

TEST(Win32ErrorCodes, MapToRunTimeTexts) {
  EXPECT_EQ(RunErrorText(ERROR_FILE_NOT_FOUND), "File not found");
  EXPECT_EQ(RunErrorText(ERROR_PATH_NOT_FOUND), "Path not found");
  EXPECT_EQ(RunErrorText(ERROR_INVALID_DRIVE), "Path not found");
  EXPECT_EQ(RunErrorText(ERROR_ACCESS_DENIED), "File access denied");
  EXPECT_EQ(RunErrorText(ERROR_SHARING_VIOLATION), "File access denied");
  EXPECT_EQ(RunErrorText(ERROR_DISK_FULL), "Disk full");
  EXPECT_EQ(RunErrorText(ERROR_HANDLE_DISK_FULL), "Disk full");
  EXPECT_EQ(RunErrorText(ERROR_HANDLE_EOF), "Read beyond end of file");
  // Windows' own numbers that collide with the portable ones mean other
  // things there: 100 is ERROR_TOO_MANY_SEMAPHORES, not end of file.
  EXPECT_EQ(RunErrorText(100), "I/O error 100");
  EXPECT_EQ(RunErrorText(ERROR_INVALID_NAME), "I/O error 123");
}

TEST(Win32ErrorCodes, ThrowLastErrorCarriesTheSystemCode) {
  ::SetLastError(ERROR_PATH_NOT_FOUND);
  try {
    ThrowLastError("C:\\nodir\\x");
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ERROR_PATH_NOT_FOUND);
    EXPECT_STREQ(e.what(), "Path not found: C:\\nodir\\x");
  }
}

}  // namespace
}  // namespace brnet::sys
