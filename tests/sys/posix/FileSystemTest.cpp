// The POSIX half of the file-system layer: what a case-sensitive file system
// with file modes adds to the Windows rules, and errno values as the codes.
#include "sys/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "TestSupport.h"
#include "sys/File.h"
#include "support/posix/SyscallFaults.h"
#include "sys/SearchNames.h"
#include "sys/SpoolAccess.h"

namespace brnet::sys {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using V = std::vector<std::string>;
using test::Names;

TEST(PosixFileSystem, DotFilesAreHidden) {
  TempDir tmp;
  WriteFile(tmp / "plain.flo", "");
  WriteFile(tmp / ".hidden.flo", "");
  fs::create_directory(tmp / ".dir.flo");
  EXPECT_EQ(Names(tmp / "*.flo", 0), V{"plain.flo"});
  EXPECT_EQ(Names(tmp / "*.flo", faHidden), (V{".hidden.flo", "plain.flo"}));
  EXPECT_EQ(Names(tmp / "*.FLO", faAnyFile), (V{".dir.flo", ".hidden.flo", "plain.flo"}));
  EXPECT_EQ(FileAttributes(tmp / "plain.flo"), 0) << "no archive bit here";
  EXPECT_EQ(FileAttributes(tmp / ".hidden.flo"), faHidden);
  EXPECT_EQ(FileAttributes(tmp / ".dir.flo/"), faDirectory | faHidden);
}

TEST(PosixFileSystem, EverySpellingOfAPathIsFound) {
  TempDir tmp;
  fs::create_directories(tmp / "out/139c04d2.pnt");
  fs::create_directories(tmp / "out/139C04D2.PNT");
  WriteFile(tmp / "out/139c04d2.pnt/00000005.bsy", "");
  WriteFile(tmp / "out/139C04D2.PNT/00000005.BSY", "");
  WriteFile(tmp / "out/139C04D2.PNT/00000006.BSY", "");
  WriteFile(tmp / "out/a*b", "");
  const std::string root = tmp.Path() + "/";
  auto found = FindPathsIgnoringCase(root, "OUT/139c04d2.pnt/00000005.Bsy");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found,
            (V{root + "out/139C04D2.PNT/00000005.BSY", root + "out/139c04d2.pnt/00000005.bsy"}));
  EXPECT_EQ(FindPathsIgnoringCase(root, "out/A*B"), V{root + "out/a*b"}) << "* is a character";
  EXPECT_TRUE(FindPathsIgnoringCase(root, "out/a?b").empty()) << "no wildcards here";
}

TEST(PosixFileSystem, UsualSpellingsEachFoundOnce) {
  TempDir tmp;
  for (const char* dir : {"out/139c04d2.pnt", "out/139C04D2.PNT", "out/139C04d2.pnt"}) {
    fs::create_directories(tmp / dir);
    WriteFile(tmp / dir + "/00000005.bsy", "");
  }
  const std::string root = tmp.Path() + "/";
  const std::string below = "out/139c04d2.pnt/00000005.bsy";
  EXPECT_EQ(FindUsualSpellings(root, below),
            (V{root + "out/139c04d2.pnt/00000005.bsy", root + "out/139C04D2.PNT/00000005.bsy"}))
      << "as given first; mixed case inside the name is not looked for";
  EXPECT_EQ(FindUsualSpellings(root, below, 1), V{root + below});
  EXPECT_EQ(FindUsualSpellings(root, "out/139C04D2.PNT/00000005.bsy").front(),
            root + "out/139C04D2.PNT/00000005.bsy");
  EXPECT_TRUE(FindUsualSpellings(root, "out/./139c04d2.pnt/00000005.bsy").empty());

  // Two spellings that reach one entry, as on a case-insensitive file
  // system (here a hard link), count once.
  WriteFile(tmp / "out/a.bsy", "");
  ASSERT_EQ(::link((tmp / "out/a.bsy").c_str(), (tmp / "out/A.BSY").c_str()), 0);
  EXPECT_EQ(FindUsualSpellings(root, "out/a.Bsy"), V{root + "out/a.bsy"});
  // A symbolic link is an entry of its own, also when it leads nowhere.
  fs::create_symlink(tmp / "nowhere", tmp / "out/139C04D2.CSY");
  EXPECT_EQ(FindUsualSpellings(root, "out/139c04d2.csy"), V{root + "out/139C04D2.CSY"});
}

TEST(PosixFileSystem, CopyKeepsNanosecondsAndReportsErrno) {
  TempDir tmp;
  WriteFile(tmp / "a", "payload");
  const timespec times[2] = {{1000, 0}, {1500000000, 42}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (tmp / "a").c_str(), times, 0), 0);
  ::chmod((tmp / "a").c_str(), 0444);
  EXPECT_EQ(CopyNoReplace(tmp / "a", tmp / "b"), 0);
  FileTime t = 0;
  ASSERT_TRUE(LastWriteTime(tmp / "b", t));
  EXPECT_EQ(t, FileTime{1500000000} * 1000000000 + 42);
  EXPECT_EQ(FileAttributes(tmp / "b"), faReadOnly);
  WriteFile(tmp / "c", "C");
  EXPECT_EQ(CopyNoReplace(tmp / "a", tmp / "c"), EEXIST);
  EXPECT_EQ(ReadFile(tmp / "c"), "C");
  EXPECT_EQ(CopyNoReplace(tmp / "none", tmp / "d"), ENOENT);
  EXPECT_FALSE(fs::exists(tmp / "d"));
}

// A copy where the file system has no unnamed files goes through a
// temporary name: each step failing (a full disk, data that never reached
// it, a refused rename) fails the copy with its error and leaves neither
// the temporary file nor the target; without a fault the copy is whole.
TEST(PosixFileSystem, CopyThroughATemporaryNameLeavesNothingOnFailure) {
  using test::Call;
  const std::vector<std::pair<Call, int>> failures = {{Call::kCopyFileRange, ENOSPC},
                                                      {Call::kFsync, EIO},
                                                      {Call::kClose, EIO},
                                                      {Call::kRenameAt2, EACCES},
                                                      {Call::kCount, 0}};
  for (const auto& [call, err] : failures) {
    SCOPED_TRACE(call == Call::kCount ? "no fault" : test::CallName(call));
    TempDir tmp;
    WriteFile(tmp / "a.zip", std::string(70000, 'a'));
    fs::create_directories(tmp / "root/box");
    test::SyscallFaults faults;
    faults.SetNoUnnamedFiles(true);
    if (call != Call::kCount) faults.FailAlways(call, err);
    EXPECT_EQ(CopyNoReplace(tmp / "a.zip", tmp / "root/", "box/a.zip"), err);
    const V left = call == Call::kCount ? V{"box/", "box/a.zip"} : V{"box/"};
    EXPECT_EQ(test::Tree(tmp / "root"), left);
  }
}

// A flag is read as the entry itself: a link planted under its name is
// not followed, and a FIFO cannot hang the reader.
TEST(PosixFileSystem, ReadFileHeadFollowsNoLinkAndSkipsFifos) {
  TempDir tmp;
  WriteFile(tmp / "target", "4242\nbrnet32 host\n");
  fs::create_symlink(tmp / "target", tmp / "link.bsy");
  EXPECT_EQ(ReadFileHead(tmp / "target", 64), "4242\nbrnet32 host\n");
  EXPECT_EQ(ReadFileHead(tmp / "link.bsy", 64), std::nullopt);
  ASSERT_EQ(::mkfifo((tmp / "fifo.bsy").c_str(), 0600), 0);
  EXPECT_EQ(ReadFileHead(tmp / "fifo.bsy", 64), std::nullopt);
}


// Whatever the layer makes in a directory is the directory owner's and
// group's, with the group rights the directory gives, whatever the umask:
// root gives it away. Every way of making a file or directory, each row a
// directory mode and a umask.
TEST(PosixFileSystem, WhatIsMadeBelongsToTheDirectorysOwnerAndGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files away";
  struct Row {
    mode_t dir, umask, file, subdir;
  };
  const Row rows[] = {
      {02775, 077, 0660, 02770}, {0755, 022, 0644, 0755}, {02770, 002, 0664, 02775}};
  constexpr uid_t kOwner = 65534;
  constexpr gid_t kGroup = 100;
  for (const Row& row : rows) {
    TempDir tmp;
    const std::string dir = tmp / "spool", source = tmp / "private.bin";
    WriteFile(source, "data");
    ::chmod(source.c_str(), 0600);
    fs::create_directory(dir);
    ASSERT_EQ(::chown(dir.c_str(), kOwner, kGroup), 0);
    ::chmod(dir.c_str(), row.dir);
    const mode_t saved = ::umask(row.umask);
    File appended;
    appended.OpenBelow(dir + "/", "node.flo", FileMode::kAppendOrCreate);
    appended.Close();
    CreateWholeFile(dir + "/", "node.bsy", "1\n");
    File(dir + "/excl.msg", FileMode::kCreateExclusive).Close();
    EXPECT_TRUE(MakeDir(dir + "/box/"));
    EXPECT_EQ(CopyNoReplace(source, dir + "/", "copy.bin"), 0);
    StagedCopy staged;
    EXPECT_EQ(staged.Stage(source, dir + "/", "box/staged.bin"), 0);
    EXPECT_EQ(staged.Publish(), 0);
    ::umask(saved);
    for (const char* name :
         {"node.flo", "node.bsy", "excl.msg", "copy.bin", "box/staged.bin", "box"}) {
      struct stat st {};
      ASSERT_EQ(::lstat((dir + "/" + name).c_str(), &st), 0) << name;
      EXPECT_EQ(st.st_uid, kOwner) << name;
      EXPECT_EQ(st.st_gid, kGroup) << name;
      const mode_t want = std::string(name) == "box" ? row.subdir : row.file;
      EXPECT_EQ(st.st_mode & 07777, want)
          << name << " in a " << std::oct << row.dir << " directory";
    }
  }
}


// What the spool's owner (the mailer's user) could not do with a file, by
// the modes of the file and its directory; root asks for another user.
TEST(PosixFileSystem, MailerCannotNamesTheUserAndWhatIsMissing) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to judge for another user";
  TempDir tmp;
  const std::string spool = tmp / "spool", mine = tmp / "mine", shared = tmp / "shared";
  for (const std::string& dir : {spool, mine, shared}) fs::create_directory(dir);
  ASSERT_EQ(::chown(spool.c_str(), 65534, 65534), 0);
  ::chmod(shared.c_str(), 01777);
  ::chmod(tmp.Path().c_str(), 0755);
  struct Row {
    std::string file;
    mode_t mode;
    MailerNeeds needs;
    std::string why;  // after "the mailer's user nobody" or as a whole
  } const rows[] = {
      {mine + "/open", 0644, MailerNeeds::kRead, ""},
      {mine + "/private", 0600, MailerNeeds::kRead, "the mailer's user nobody cannot read it"},
      {mine + "/ro", 0644, MailerNeeds::kReadTruncate,
       "truncate after sending, but the mailer's user nobody cannot write it, so could not "
       "truncate it"},
      {mine + "/kept", 0666, MailerNeeds::kReadDelete,
       "delete after sending, but the mailer's user nobody cannot write its directory " + mine +
           ", so could not delete it"},
      {shared + "/sticky", 0666, MailerNeeds::kReadDelete,
       "delete after sending, but its directory " + shared +
           " is sticky and the mailer's user nobody owns neither, so could not delete it"},
      {shared + "/any", 0666, MailerNeeds::kReadTruncate, ""},
  };
  for (const Row& row : rows) {
    WriteFile(row.file, "x");
    ::chmod(row.file.c_str(), row.mode);
    EXPECT_EQ(MailerCannot(spool, row.file, row.needs), row.why) << row.file;
  }
  EXPECT_EQ(CannotWriteIn(spool), "") << "root may write anywhere";
}

}  // namespace
}  // namespace brnet::sys
