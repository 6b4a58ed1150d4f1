#include "sys/Error.h"

#include <gtest/gtest.h>

#include <string>

namespace brnet::sys {
namespace {

TEST(RunErrors, PortableNumbersHaveTheRunTimeTexts) {
  EXPECT_EQ(RunErrorMessage(reFileNotFound), "File not found");
  EXPECT_EQ(RunErrorMessage(rePathNotFound), "Path not found");
  EXPECT_EQ(RunErrorMessage(reAccessDenied), "File access denied");
  EXPECT_EQ(RunErrorMessage(reDiskFull), "Disk full");
  EXPECT_EQ(RunErrorMessage(reReadBeyondEof), "Read beyond end of file");
  EXPECT_EQ(RunErrorMessage(77), "I/O error 77");
}

TEST(Assertions, MessageNamesUnitAndLine) {
  try {
    BR_ASSERT(1 + 1 == 3, "Outbound");
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(std::string(e.what()),
              "Assertion failure (Outbound, line " + std::to_string(__LINE__ - 4) + ")");
  }
}

}  // namespace
}  // namespace brnet::sys
