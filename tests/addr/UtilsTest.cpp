#include "addr/Utils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "TestSupport.h"
#include "support/ChildProcess.h"

namespace brnet {
namespace {

namespace fs = std::filesystem;
using sys::PathStyle;
using test::ChildProcess;
using test::MakeReadOnly;
using test::ReadFile;
using test::SetWriteTime;
using test::TempDir;
using test::WriteFile;

const TCharSet kBlank = MakeCharSet(" ");

TEST(Words, CountAndPickRuns) {
  const std::string s = "  alpha  beta gamma   ";
  EXPECT_EQ(CountWords(s, kBlank), 3);
  EXPECT_EQ(CountWords("   ", kBlank), 0);
  EXPECT_EQ(CountWords("", kBlank), 0);
  EXPECT_EQ(WordStartPos(1, s, kBlank), 3u);
  EXPECT_EQ(WordStartPos(2, s, kBlank), 10u);
  EXPECT_EQ(GetWord(2, s, kBlank), "beta");
  EXPECT_EQ(GetWord(3, s, kBlank), "gamma");
  EXPECT_EQ(GetWord(5, s, kBlank), "");
  EXPECT_EQ(WordStartPos(5, s, kBlank), 0u);
  EXPECT_EQ(WordStartPos(0, s, kBlank), 0u);
  EXPECT_EQ(WordStartPos(-1, s, kBlank), 0u);
  // Several delimiters, and bytes above 127 as ordinary characters.
  const TCharSet seps = MakeCharSet("\\/");
  EXPECT_EQ(CountWords("C:\\a//\xE4x\\", seps), 3);
  EXPECT_EQ(GetWord(3, "C:\\a//\xE4x\\", seps), "\xE4x");
}

TEST(Fields, SplitOffField) {
  std::string s = "2.5020.1.0";
  EXPECT_EQ(SplitOffFieldSkip(s, '.'), "2");
  EXPECT_EQ(SplitOffFieldSkip(s, '.'), "5020");
  EXPECT_EQ(SplitOffFieldSkip(s, '.'), "1");
  EXPECT_EQ(s, "0");
  s = "ab ,  \tcd";
  EXPECT_EQ(SplitOffField(s, ','), "ab ");
  EXPECT_EQ(s, ",  \tcd");
  EXPECT_EQ(SplitOffFieldSkip(s, ','), "");
  EXPECT_EQ(s, "  \tcd");
  EXPECT_EQ(SplitOffField(s, ','), "  \tcd");
  EXPECT_EQ(s, "");
  // A blank separator goes with the leading blanks; the next field stays whole.
  s = "one  two three";
  EXPECT_EQ(SplitOffFieldSkip(s, ' '), "one");
  EXPECT_EQ(SplitOffFieldSkip(s, ' '), "two");
  EXPECT_EQ(s, "three");
}

TEST(Numbers, HexAndIntegerConversions) {
  EXPECT_EQ(ToHex(255, 2), "FF");
  EXPECT_EQ(ToHex(255, 4), "00FF");
  EXPECT_EQ(ToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(ToHex(4096, 2), "1000");
  EXPECT_EQ(HexToIntOrZero("1f"), 31);
  EXPECT_EQ(HexToIntOrZero("FFFFFFFF"), -1);
  EXPECT_EQ(HexToIntOrZero("80000000"), INT32_MIN);
  EXPECT_EQ(HexToIntOrZero("-$10"), -16);
  for (const char* bad : {"", "1G", "1 F", " 1F", "100000000", "-1", "$", "1$"}) {
    EXPECT_EQ(HexToIntOrZero(bad), 0) << bad;
  }
  std::int32_t v = 0;
  EXPECT_TRUE(TryStrToInt("  -2147483648", v));
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_FALSE(TryStrToInt("2147483648", v));
  EXPECT_FALSE(TryStrToInt("42 ", v));
  try {
    StrToInt("5020x");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'5020x' is not a valid integer value");
  }
}

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

TEST(FileTests, AttributesSizesAndEmptiness) {
  TempDir tmp;
  const std::string file = tmp / "f.bin";
  WriteFile(file, std::string(1234, 'x'));
  EXPECT_TRUE(DirectoryPresent(tmp.Path() + sys::PathDelim()));
  EXPECT_FALSE(DirectoryPresent(file));
  EXPECT_FALSE(DirectoryPresent(tmp / "none"));
  EXPECT_EQ(SizeOfFile(file), 1234);
  EXPECT_EQ(SizeOfFile(tmp / "none"), -1);
  EXPECT_EQ(SizeOfFile(tmp / "F.BIN"), 1234);  // searched like Windows, without case
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
  EXPECT_EQ(SizeOfFile(name), 0);
  WriteFile(name, "keep");
  EXPECT_FALSE(CreateFileExclusive(name));
  EXPECT_EQ(ReadFile(name), "keep");
}

TEST(Creating, RacingProcessesCreateOneFileExactlyOnce) {
  TempDir tmp;
  const std::string racer = test::SiblingProgram("utils_helper");
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

sys::FileTime MTime(const std::string& path) {
  sys::FileTime t = 0;
  EXPECT_TRUE(sys::LastWriteTime(path, t));
  return t;
}

std::string Pattern(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return data;
}

TEST(Copy, ExactCopyWithTheSourceDate) {
  TempDir tmp;
  for (std::size_t size : {std::size_t{0}, std::size_t{8191}, std::size_t{8192}, std::size_t{8193},
                           std::size_t{3 * 8192 + 5}}) {
    const std::string src = tmp / ("src" + std::to_string(size));
    const std::string dst = tmp / ("dst" + std::to_string(size));
    WriteFile(src, Pattern(size));
    SetWriteTime(src, 1000000000, 123456789);
    MakeReadOnly(src);
    CopyFileWithDate(src, dst);
    EXPECT_EQ(ReadFile(dst), Pattern(size)) << size;
    EXPECT_EQ(MTime(dst), MTime(src)) << size;
    EXPECT_FALSE(HasAllAttrs(dst, sys::faReadOnly)) << "attributes are not copied";
  }
}

TEST(Copy, DestinationsAndFailures) {
  TempDir tmp;
  WriteFile(tmp / "a.zip", "new");
  fs::create_directory(tmp / "box");
  CopyFileWithDate(tmp / "a.zip", tmp / "box");
  EXPECT_EQ(ReadFile(tmp / "box/a.zip"), "new");
  WriteFile(tmp / "old", "a much longer old content");
  CopyFileWithDate(tmp / "a.zip", tmp / "old");
  EXPECT_EQ(ReadFile(tmp / "old"), "new");

  const std::string missing = tmp / "missing";
  try {
    CopyFileWithDate(missing, tmp / "x");
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
  }
  EXPECT_THROW(CopyFileWithDate(tmp.Path(), tmp / "x"), EFOpenError);  // a directory
  const std::string target = tmp / "no/such/dir";
  try {
    CopyFileWithDate(tmp / "a.zip", target);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + target);
  }
  // A read-only destination is not replaced, even for root; nor is the
  // source itself, under its own name, through its directory or a hard link.
  MakeReadOnly(tmp / "old");
  fs::create_hard_link(tmp / "a.zip", tmp / "hard");
  for (const std::string& dest : {tmp / "old", tmp / "a.zip", tmp.Path(), tmp / "hard"}) {
    EXPECT_THROW(CopyFileWithDate(tmp / "a.zip", dest), EFCreateError) << dest;
  }
  EXPECT_EQ(ReadFile(tmp / "old"), "new");
  EXPECT_EQ(ReadFile(tmp / "a.zip"), "new");
}

TEST(Move, RenameOrCopyAndDelete) {
  TempDir tmp;
  WriteFile(tmp / "target", "t");
  EXPECT_NO_THROW(MoveFileSafely(tmp / "none", tmp / "target"));
  EXPECT_EQ(ReadFile(tmp / "target"), "t");

  // A rename keeps the file as it is.
  WriteFile(tmp / "a", "data");
  SetWriteTime(tmp / "a", 1200000000, 123456789);
  MakeReadOnly(tmp / "a");
  const auto before = MTime(tmp / "a");
  MoveFileSafely(tmp / "a", tmp / "b");
  EXPECT_FALSE(fs::exists(tmp / "a"));
  EXPECT_EQ(ReadFile(tmp / "b"), "data");
  EXPECT_TRUE(HasAllAttrs(tmp / "b", sys::faReadOnly));
  EXPECT_EQ(MTime(tmp / "b"), before);

  // Read-only onto an existing file: copied over it, source deleted.
  MoveFileSafely(tmp / "b", tmp / "target");
  EXPECT_FALSE(fs::exists(tmp / "b"));
  EXPECT_EQ(ReadFile(tmp / "target"), "data");
  EXPECT_FALSE(HasAllAttrs(tmp / "target", sys::faReadOnly));

  // Onto an existing directory: into it.
  fs::create_directory(tmp / "box");
  WriteFile(tmp / "box/other", "");
  MoveFileSafely(tmp / "target", tmp / "box");
  EXPECT_EQ(ReadFile(tmp / "box/target"), "data");
  EXPECT_FALSE(fs::exists(tmp / "target"));
}

TEST(Move, NeverReplacesSilently) {
  TempDir tmp;
  // A read-only target refuses the copy: both files stay as they were,
  // where a plain rename would have replaced the target.
  WriteFile(tmp / "src", "new");
  MakeReadOnly(tmp / "src");
  WriteFile(tmp / "dst", "old");
  MakeReadOnly(tmp / "dst");
  EXPECT_THROW(MoveFileSafely(tmp / "src", tmp / "dst"), EFCreateError);
  EXPECT_EQ(ReadFile(tmp / "dst"), "old");
  EXPECT_EQ(ReadFile(tmp / "src"), "new");
  EXPECT_TRUE(HasAllAttrs(tmp / "src", sys::faReadOnly)) << "source restored";
  // Onto itself through the directory it lies in: the system refuses the
  // move, and the copy must not truncate its own source. (Onto its own name
  // the platforms differ: see posix/ and win32/.)
  EXPECT_THROW(MoveFileSafely(tmp / "src", tmp.Path()), EFCreateError);
  EXPECT_EQ(ReadFile(tmp / "src"), "new");
}

}  // namespace
}  // namespace brnet
