#include "util/Paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brnet {
namespace {

using sys::PathStyle;

TEST(Paths, SlashesInBothStyles) {
  const auto w = PathStyle::Windows;
  const auto p = PathStyle::Posix;
  EXPECT_EQ(WithTrailingSlash("C", w), "C:\\");
  EXPECT_EQ(WithTrailingSlash("c", w), "c:\\");
  EXPECT_EQ(WithTrailingSlash("C:", w), "C:");
  EXPECT_EQ(WithTrailingSlash("C:\\out", w), "C:\\out\\");
  EXPECT_EQ(WithTrailingSlash("1", w), "1\\");
  EXPECT_EQ(WithTrailingSlash("", w), "");
  EXPECT_EQ(DropTrailingSlash("C:\\out\\", w), "C:\\out");
  EXPECT_EQ(DropTrailingSlash("C:\\", w), "C:");
  EXPECT_EQ(DropTrailingSlash("C:\\out\\\\", w), "C:\\out\\");
  EXPECT_EQ(WithTrailingSlash("C", p), "C/");
  EXPECT_EQ(WithTrailingSlash("a:", p), "a:/");
  EXPECT_EQ(DropTrailingSlash("/fido/out/", p), "/fido/out");
  EXPECT_EQ(ExtractFileName("C:b.zip", w), "b.zip");
  EXPECT_EQ(ExtractFileName("/a/b:c", p), "b:c");
  EXPECT_EQ(ExtractFilePath("C:\\a\\b.zip", w), "C:\\a\\");
  EXPECT_EQ(ExtractFileExt("/a.d/b", p), "");
  EXPECT_EQ(ExtractFileExt("C:\\a\\b.tar.GZ", w), ".GZ");
}

TEST(Paths, ExpandResolvesDotsAgainstTheBase) {
  const auto p = PathStyle::Posix;
  const auto w = PathStyle::Windows;
  EXPECT_EQ(ExpandFileNameIn("a/../b/./c", "/home/x", p), "/home/x/b/c");
  EXPECT_EQ(ExpandFileNameIn("../../../..", "/home/x", p), "/");
  EXPECT_EQ(ExpandFileNameIn("/a//b/", "/home", p), "/a/b/");
  EXPECT_EQ(ExpandFileNameIn("..\\OUT", "C:\\FIDO\\BIN", w), "C:\\FIDO\\OUT");
  EXPECT_EQ(ExpandFileNameIn("\\OUT\\..\\X", "D:\\FIDO", w), "D:\\X");
  EXPECT_EQ(ExpandFileNameIn("\\\\srv\\share\\a\\..\\..\\b", "C:\\", w), "\\\\srv\\share\\b");
  EXPECT_EQ(ExpandFileNameIn("", "/home", p), "");
}

TEST(Paths, DirPathPrefixesFromTheRootDown) {
  using V = std::vector<std::string>;
  EXPECT_EQ(DirPathPrefixes("C:\\a\\b", PathStyle::Windows), (V{"C:\\", "C:\\a\\", "C:\\a\\b\\"}));
  EXPECT_EQ(DirPathPrefixes("/a/b/", PathStyle::Posix), (V{"/a/", "/a/b/"}));
  EXPECT_EQ(DirPathPrefixes("/", PathStyle::Posix), V{});
  // A network path: the share is one unit, relative to nothing.
  EXPECT_EQ(DirPathPrefixes("\\\\srv\\share\\in\\x", PathStyle::Windows),
            (V{"\\\\srv\\share\\", "\\\\srv\\share\\in\\", "\\\\srv\\share\\in\\x\\"}));
}

}  // namespace
}  // namespace brnet
