// The file utilities on Windows: a move onto the file's own name is one the
// system carries out (MoveFileA renames a file to its own name), so it is
// complete at once and never reaches the copy.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "addr/Utils.h"

namespace brnet {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(Win32Move, OntoItsOwnNameIsTheSystemsMove) {
  TempDir tmp;
  WriteFile(tmp / "src", "new");
  test::SetWriteTime(tmp / "src", 1200000000);
  test::MakeReadOnly(tmp / "src");
  sys::FileTime before = 0;
  ASSERT_TRUE(sys::LastWriteTime(tmp / "src", before));
  EXPECT_NO_THROW(MoveFileSafely(tmp / "src", tmp / "src"));
  EXPECT_NO_THROW(MoveFileSafely(tmp / "src", tmp / "SRC")) << "another spelling of it";
  EXPECT_EQ(ReadFile(tmp / "src"), "new");
  // The file as it was, attributes and time included.
  EXPECT_TRUE(HasAllAttrs(tmp / "src", sys::faReadOnly));
  sys::FileTime after = 0;
  ASSERT_TRUE(sys::LastWriteTime(tmp / "src", after));
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace brnet
