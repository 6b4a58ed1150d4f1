// Attaches meeting real faults: a process killed in the middle of a large
// box copy and of a long Bink attach, a small file system that fills up,
// and another, unprivileged user planting symbolic links in a shared
// outbound. Afterwards nothing under a name the mailer reads is partial, no
// flow line is torn, and a retry succeeds.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "log/FidoLog.h"
#include "outbound/Outbound.h"
#include "support/NobodyChild.h"
#include "support/posix/SyscallFaults.h"
#include "sys/posix/Syscalls.h"

namespace brnet {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TFidoAddr Addr(const char* text) {
  return TFidoAddr::CreateFromText(text, false);
}

// An outbound in DIR: "out", "boxes" and "netmail" inside it.
struct Outbound {
  explicit Outbound(const std::string& dir, bool flags = true) {
    for (const char* sub : {"out", "boxes", "netmail"}) fs::create_directories(dir + "/" + sub);
    outbound.SetBinkOutPath(dir + "/out");
    outbound.SetFileBoxesPath(dir + "/boxes");
    outbound.SetNetmailPath(dir + "/netmail");
    if (!flags) {
      outbound.SetBusyFlagsCreate(0);
      outbound.SetBusyFlagsScan(0);
    }
  }
  // The error text of a failed attach; empty on success.
  std::string Attach(const char* addr, const std::vector<std::string>& files, TOutbType type,
                     TOutbSendMode mode = smNone, TOutbFlavor flavor = flNormal) {
    const TFidoAddr node = Addr(addr);
    try {
      outbound.AttachFiles(&node, &files, flavor, type, mode);
    } catch (const Exception& e) {
      return e.what();
    }
    return {};
  }
  TOutbound outbound;
};

std::string Pattern(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + i / 4096) & 0xff);
  return data;
}

// ---- A process killed in the middle ----

// The child's side: the write end of a pipe it reports progress on, and
// how far it has got.
int progressFd = -1;
std::size_t progress = 0;
std::size_t reportAt = 0;

void ReportProgress(std::size_t step) {
  progress += step;
  if (reportAt != 0 && progress >= reportAt) {
    reportAt = 0;
    const char byte = 1;
    (void)!::write(progressFd, &byte, 1);
  }
}

// Copies in 1 MiB steps, a little slowly, reporting the bytes copied.
ssize_t PacedCopy(int in, off_t* inOffset, int out, off_t* outOffset, std::size_t count,
                  unsigned flags) {
  ::usleep(2000);
  const ssize_t n = sys::posix::SystemSyscalls().copy_file_range(
      in, inOffset, out, outOffset, std::min<std::size_t>(count, 1 << 20), flags);
  if (n > 0) ReportProgress(static_cast<std::size_t>(n));
  return n;
}

// Writes as usual, a little slowly, reporting each write.
ssize_t PacedWrite(int fd, const void* data, std::size_t count) {
  const ssize_t n = sys::posix::SystemSyscalls().write(fd, data, count);
  ReportProgress(1);
  if (reportAt == 0) ::usleep(50);
  return n;
}

// Runs WORK in a child process and kills it with SIGKILL once it has
// reported progress AT; true when the child was killed while working.
bool KillMidway(std::size_t at, const std::function<void()>& work) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    progressFd = fds[1];
    reportAt = at;
    work();
    ::_exit(0);
  }
  ::close(fds[1]);
  char byte = 0;
  const bool reported = ::read(fds[0], &byte, 1) == 1;
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(fds[0]);
  return reported && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

class KilledCopy : public ::testing::TestWithParam<bool> {};

// A 64 MiB copy into a box killed after 16 MiB: nothing under the final
// name (with unnamed files nothing at all; else at most a temporary name
// outside the box), and the retry copies the file whole.
TEST_P(KilledCopy, LeavesNoPartialFileInTheBox) {
  const bool unnamed = GetParam();
  TempDir tmp;
  const std::string source = tmp / "big.zip";
  const std::string data = Pattern(std::size_t{64} << 20);
  WriteFile(source, data);
  Outbound outbound(tmp.Path());
  const bool killed = KillMidway(std::size_t{16} << 20, [&] {
    sys::posix::Syscalls().copy_file_range = PacedCopy;
    if (!unnamed) {
      sys::posix::Syscalls().openat = [](int d, const char* p, int f, mode_t m) {
        if ((f & O_TMPFILE) == O_TMPFILE) {
          errno = EOPNOTSUPP;
          return -1;
        }
        return sys::posix::SystemSyscalls().openat(d, p, f, m);
      };
    }
    outbound.Attach("2:5020/1234", {source}, otFileBox);
  });
  ASSERT_TRUE(killed);
  const std::string target = tmp / "boxes/024SS16I.00/big.zip";
  std::printf("after kill -9 (%s): %lld bytes under the final name, entries beside the box:",
              unnamed ? "unnamed file" : "temporary name",
              fs::exists(target) ? static_cast<long long>(fs::file_size(target)) : 0LL);
  for (const auto& entry : fs::directory_iterator(tmp / "boxes")) {
    std::printf(" %s (%lld bytes)", entry.path().filename().c_str(),
                entry.is_regular_file() ? static_cast<long long>(entry.file_size()) : 0LL);
  }
  std::printf("\n");
  EXPECT_FALSE(fs::exists(target));
  // The copy is written before the node is locked, and the box made under
  // the lock: the box is not there yet, or empty.
  EXPECT_TRUE(!fs::exists(tmp / "boxes/024SS16I.00") || fs::is_empty(tmp / "boxes/024SS16I.00"));
  // The killed process's busy flag stays; the sysop (or a later attach)
  // deals with it. Here it is taken away to retry at once.
  fs::remove(tmp / "out/139c04d2.bsy");
  EXPECT_EQ(outbound.Attach("2:5020/1234", {source}, otFileBox), "");
  EXPECT_TRUE(ReadFile(target) == data) << "the retried copy is not whole";
}

INSTANTIATE_TEST_SUITE_P(Box, KilledCopy, ::testing::Bool(), [](const auto& info) {
  return std::string(info.param ? "UnnamedFile" : "TemporaryName");
});

// A Bink attach of 20,000 files killed after 5,000 lines: the flow file
// holds whole lines only, and a retry appends the list after them.
TEST(KilledBinkAttach, LeavesOnlyWholeLines) {
  TempDir tmp;
  Outbound outbound(tmp.Path(), false);
  std::vector<std::string> files;
  for (int i = 0; i < 20000; ++i) {
    files.push_back("/srv/fido/files/area" + std::to_string(i % 37) + "/file" + std::to_string(i) +
                    "-with-a-longer-name.zip");
  }
  const bool killed = KillMidway(5000, [&] {
    sys::posix::Syscalls().write = PacedWrite;
    outbound.Attach("2:5020/1234", files, otBink, smKillSent);
  });
  ASSERT_TRUE(killed);
  const std::string flow = tmp / "out/139c04d2.flo";
  const std::string text = ReadFile(flow);
  const std::vector<std::string> lines = test::SplitLines(text);
  std::printf("after kill -9: %zu bytes, %zu lines, last byte %s\n", text.size(), lines.size(),
              text.empty() ? "none" : (text.back() == '\n' ? "LF" : "not LF"));
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  ASSERT_GE(lines.size(), 5000u);
  ASSERT_LT(lines.size(), files.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i], "^" + files[i]) << "line " << i + 1;
  }
  EXPECT_EQ(outbound.Attach("2:5020/1234", files, otBink, smKillSent), "");
  const std::vector<std::string> after = test::SplitLines(ReadFile(flow));
  ASSERT_EQ(after.size(), lines.size() + files.size());
  EXPECT_EQ(after.back(), "^" + files.back());
}

// ---- A full file system ----

// A tmpfs of SIZE bytes mounted on a new directory, unmounted afterwards.
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& dir, const char* size) : dir_(dir) {
    fs::create_directories(dir);
    const std::string options = std::string("size=") + size;
    mounted_ = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted_) error_ = std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  const std::string& Error() const { return error_; }

  // Fills the file system up with the file FILLER.
  void Fill(const std::string& filler) {
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(512, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    while (::write(fd, "x", 1) > 0) {
    }
    ::close(fd);
  }

 private:
  std::string dir_;
  bool mounted_ = false;
  std::string error_;
};

TEST(FullDisk, AttachesLeaveWholeLinesFilesAndMessages) {
  TempDir tmp;
  SmallDisk disk(tmp / "disk", "512k");
  if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.Error();
  test::ScopedMainAddress main("2:5020/1");
  const std::string root = tmp / "disk";
  Outbound outbound(root);
  const std::string flow = root + "/out/139c04d2.flo";
  WriteFile(flow, "/old/first.zip\r\n");
  const std::string source = tmp / "big.zip";  // outside the small disk
  WriteFile(source, Pattern(200000));
  std::vector<std::string> files;
  for (int i = 0; i < 400; ++i) {
    files.push_back("/srv/fido/files/" + std::string(150, 'n') + std::to_string(i) + ".zip");
  }
  disk.Fill(root + "/filler");

  const std::string bink = outbound.Attach("2:5020/1234", files, otBink);
  const std::string text = ReadFile(flow);
  std::printf("flow file after ENOSPC: %zu bytes, ends in %s; error: %s\n", text.size(),
              !text.empty() && text.back() == '\n' ? "a line end" : "a torn line", bink.c_str());
  EXPECT_TRUE(bink.starts_with("Disk full: ")) << bink;
  EXPECT_NE(bink.find("139c04d2.flo"), std::string::npos) << bink;
  const std::vector<std::string> lines = test::SplitLines(text);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "/old/first.zip");
  EXPECT_EQ(text.back(), '\n');
  for (std::size_t i = 1; i < lines.size(); ++i) ASSERT_EQ(lines[i], files[i - 1]);

  const std::string box = outbound.Attach("2:5020/1234", {source}, otFileBox);
  EXPECT_FALSE(box.empty());
  EXPECT_FALSE(fs::exists(root + "/boxes/024SS16I.00/big.zip"));
  for (const auto& entry : fs::directory_iterator(root + "/boxes")) {
    EXPECT_TRUE(entry.is_directory()) << "left beside the boxes: " << entry.path();
  }

  const std::string netmail = outbound.Attach("2:5020/1234", {"/srv/x.zip"}, otArcMail);
  EXPECT_FALSE(netmail.empty());
  for (const auto& entry : fs::directory_iterator(root + "/netmail")) {
    const std::string msg = ReadFile(entry.path().string());
    if (entry.path().extension() == ".msg") {
      EXPECT_TRUE(!msg.empty() && msg.back() == '\0') << entry.path() << " is not whole";
    }
  }

  // Room again: the same attaches go through.
  fs::remove(root + "/filler");
  EXPECT_EQ(outbound.Attach("2:5020/1234", files, otBink), "");
  EXPECT_EQ(test::SplitLines(ReadFile(flow)).size(), lines.size() + files.size());
  EXPECT_EQ(outbound.Attach("2:5020/1234", {source}, otFileBox), "");
  EXPECT_TRUE(ReadFile(root + "/boxes/024SS16I.00/big.zip") == ReadFile(source));
}

// ---- A private source ----

// A copy in a box is the mailer's new file, whatever the source's mode:
// readable and writable for all less the umask. Made in the boxes'
// directory and linked or renamed into the box (with and without unnamed
// files), or, for a box on a file system of its own, copied there again.
TEST(PrivateSource, BoxCopyIsReadableByTheMailer) {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  bool mountFailed = false;
  for (const bool ownDisk : {false, true}) {
    for (const bool unnamed : {true, false}) {
      if (ownDisk && !unnamed) continue;  // needs unnamed files in the box's file system
      SCOPED_TRACE(std::string(ownDisk ? "box on its own file system" : "one file system") +
                   (unnamed ? ", unnamed files" : ", temporary names"));
      TempDir tmp;
      test::ScopedMainAddress main("2:5020/1");
      Outbound outbound(tmp.Path());
      const std::string box = tmp / "boxes/024SS16I.00";
      std::optional<SmallDisk> disk;
      if (ownDisk) {
        disk.emplace(box, "1m");
        if (!disk->Mounted()) {
          mountFailed = true;
          continue;
        }
      }
      const std::string source = tmp / "private.zip";
      WriteFile(source, Pattern(5000));
      fs::permissions(source, fs::perms::owner_read | fs::perms::owner_write);
      test::SyscallFaults faults;
      faults.SetNoUnnamedFiles(!unnamed);
      EXPECT_EQ(outbound.Attach("2:5020/1234", {source}, otFileBox), "");
      struct stat st {};
      ASSERT_EQ(::stat((box + "/private.zip").c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask);
      EXPECT_EQ(ReadFile(box + "/private.zip"), Pattern(5000));
      EXPECT_EQ(fs::status(source).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
  }
  if (mountFailed) GTEST_SKIP() << "cannot mount a tmpfs here: the own-disk rows did not run";
}

// ---- Links planted by another user ----

constexpr uid_t kNobody = 65534;

// Runs WORK as the unprivileged user nobody in a child process; true when
// it ran and returned.
bool AsNobody(const std::function<void()>& work) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
    work();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Plant(const std::string& target, const std::string& link) {
  if (::symlink(target.c_str(), link.c_str()) != 0) ::_exit(3);
}

class PlantedLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    // The outbound is shared: every user may write into it (as a group of
    // mailer users would); the sysop's own files are private.
    fs::permissions(tmp_.Path(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    root_ = tmp_ / "fido";
    outbound_ = std::make_unique<Outbound>(root_);
    for (const char* sub : {"fido", "fido/out", "fido/boxes", "fido/netmail"}) {
      fs::permissions(tmp_ / sub, fs::perms::all);
    }
    fs::create_directories(tmp_ / "private");
    secret_ = tmp_ / "private/secret";
    WriteFile(secret_, "the sysop's own file\n");
    fs::create_directories(tmp_ / "attacker");
    ASSERT_EQ(::chown((tmp_ / "attacker").c_str(), kNobody, kNobody), 0);
    source_ = tmp_ / "private/nodelist.zip";
    WriteFile(source_, "nodelist");
  }

  void ExpectRefused(const std::string& error, const std::string& link) {
    EXPECT_EQ(error, sys::SymbolicLinkRefusedText(link));
  }

  TempDir tmp_;
  std::string root_;
  std::unique_ptr<Outbound> outbound_;
  std::string secret_;
  std::string source_;
};

// Another user who may only read the shared files holds read locks on the
// flow file, the serial file and the log: nothing waits for them, and
// nothing fails for them. Both attaches and the log line are written.
TEST_F(PlantedLinks, ReadLocksOfAnotherUserStallNothing) {
  test::ScopedMainAddress main("2:5020/1");
  const std::string flo = root_ + "/out/139c04d2.flo", log = root_ + "/brnet.log";
  const std::string ids = root_ + "/netmail/brnet32.ids";
  WriteFile(flo, "/old.zip\r\n");
  WriteFile(ids, "00000001");
  WriteFile(log, "");
  for (const std::string& file : {flo, ids, log}) ::chmod(file.c_str(), 0644);
  outbound_->outbound.SetBusyFlagsCreate(BusyFlagBit(bfBink));
  outbound_->outbound.SetBusyFlagsScan(BusyFlagBit(bfBink));
  test::NobodyChild holder([&] {
    for (const std::string& file : {flo, ids, log}) {
      struct flock lock {};
      lock.l_type = F_RDLCK;
      const int fd = ::open(file.c_str(), O_RDONLY);
      if (fd < 0 || ::fcntl(fd, F_SETLK, &lock) != 0) return "cannot lock " + file;
    }
    return std::string("locked");
  });
  ASSERT_EQ(holder.Result(), "locked");
  EXPECT_EQ(outbound_->Attach("2:5020/1234", {source_}, otBink), "");
  EXPECT_FALSE(fs::exists(root_ + "/out/139c04d2.bsy"));
  EXPECT_EQ(outbound_->Attach("2:5020/1234", {source_}, otArcMail), "");
  EXPECT_NE(ReadFile(ids), "00000001") << "the serial was not taken";
  TLog writer;
  writer.SetFileName(log);
  writer.Log('+', "written without the lock");
  EXPECT_NE(ReadFile(log).find("written without the lock\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(flo), "/old.zip\r\n" + source_ + "\r\n");
}

// A serial file another user made first is not trusted: its serial would
// set (or rewind) ours.
TEST_F(PlantedLinks, AnotherUsersSerialFileIsIgnored) {
  test::ScopedMainAddress main("2:5020/1");
  const std::string ids = root_ + "/netmail/brnet32.ids";
  ASSERT_TRUE(AsNobody([&] {
    const int fd = ::open(ids.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0 || ::write(fd, "FFFFFFF0", 8) != 8) ::_exit(3);
  }));
  ::chmod(ids.c_str(), 0666);
  ASSERT_EQ(outbound_->Attach("2:5020/1234", {source_}, otArcMail), "");
  EXPECT_EQ(ReadFile(ids), "FFFFFFF0");
  for (const auto& entry : fs::directory_iterator(root_ + "/netmail")) {
    EXPECT_EQ(ReadFile(entry.path().string()).find(" FFFFFFF1\r"), std::string::npos);
  }
}

// A FIFO or a device planted under the flow file's name takes no line:
// the attach fails naming it, and a FIFO never stalls it.
TEST_F(PlantedLinks, OnlyOrdinaryFilesAreAppendedTo) {
  const std::string flo = root_ + "/out/139c04d2.flo", clo = root_ + "/out/139c04d2.clo";
  ASSERT_EQ(::mkfifo(flo.c_str(), 0666), 0);
  ASSERT_EQ(::mknod(clo.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);  // /dev/null's numbers
  EXPECT_EQ(outbound_->Attach("2:5020/1234", {source_}, otBink), "File access denied: " + flo);
  EXPECT_EQ(outbound_->Attach("2:5020/1234", {source_}, otBink, smNone, flCrash),
            "File access denied: " + clo);
}

TEST_F(PlantedLinks, FlowFileLinksAreRefused) {
  const std::string flo = root_ + "/out/139c04d2.flo";
  const std::string clo = root_ + "/out/139c04d2.clo";
  const std::string made = tmp_ / "private/made-by-link";
  ASSERT_TRUE(AsNobody([&] {
    Plant(secret_, flo);
    Plant(made, clo);
  }));
  ExpectRefused(outbound_->Attach("2:5020/1234", {source_}, otBink), flo);
  ExpectRefused(outbound_->Attach("2:5020/1234", {source_}, otBink, smNone, flCrash), clo);
  EXPECT_EQ(ReadFile(secret_), "the sysop's own file\n");
  EXPECT_FALSE(fs::exists(made)) << "a dangling link made its target";
  EXPECT_TRUE(fs::is_symlink(flo));
  // No flag of the refused attaches is left.
  EXPECT_FALSE(fs::exists(root_ + "/out/139c04d2.bsy"));
}

TEST_F(PlantedLinks, PointAndZoneDirectoryLinksAreRefused) {
  test::ScopedMainAddress main("2:5020/1");
  const std::string pnt = root_ + "/out/139c04d2.pnt";
  const std::string zone = root_ + "/out.003";
  ASSERT_TRUE(AsNobody([&] {
    Plant(tmp_ / "attacker", pnt);
    Plant(tmp_ / "attacker", zone);
  }));
  fs::permissions(root_, fs::perms::all);
  // Every file created meanwhile, to see that no busy flag went through a
  // link either (it would be gone again once the attach is refused).
  static std::vector<std::string> created;
  created.clear();
  sys::posix::Syscalls().open = [](const char* path, int flags, mode_t mode) {
    if ((flags & O_CREAT) != 0) created.push_back(path);
    return sys::posix::SystemSyscalls().open(path, flags, mode);
  };
  ExpectRefused(outbound_->Attach("2:5020/1234.5", {source_}, otBink), pnt);
  ExpectRefused(outbound_->Attach("3:5020/1234", {source_}, otBink), zone);
  ExpectRefused(outbound_->Attach("2:5020/1234.5", {source_}, otFileBox), pnt);
  sys::posix::Syscalls() = sys::posix::SystemSyscalls();
  EXPECT_TRUE(fs::is_empty(tmp_ / "attacker")) << "a flow file went through a link";
  for (const std::string& path : created) {
    EXPECT_TRUE(path.find(".pnt/") == std::string::npos &&
                path.find("out.003/") == std::string::npos)
        << "created through a link: " << path;
  }
}

TEST_F(PlantedLinks, BoxDirectoryLinksAreRefusedAndNothingMoves) {
  const std::string box = root_ + "/boxes/024SS16I.00";
  const std::string hold = root_ + "/boxes/024SS16I.00H";
  ASSERT_TRUE(AsNobody([&] {
    Plant(tmp_ / "attacker", box);
    Plant(tmp_ / "attacker/gone", hold);
  }));
  ExpectRefused(outbound_->Attach("2:5020/1234", {source_}, otFileBox), box);
  ExpectRefused(outbound_->Attach("2:5020/1234", {source_}, otFileBox, smKillSent), box);
  ExpectRefused(outbound_->Attach("2:5020/1234", {source_}, otFileBox, smNone, flHold), hold);
  EXPECT_TRUE(fs::is_empty(tmp_ / "attacker"));
  EXPECT_EQ(ReadFile(source_), "nodelist") << "the moved file left its place";
}

TEST_F(PlantedLinks, NetmailLinksAreNeverWrittenThrough) {
  test::ScopedMainAddress main("2:5020/1");
  const std::string msg = root_ + "/netmail/2.msg";
  WriteFile(root_ + "/netmail/1.msg", "");
  ASSERT_TRUE(AsNobody([&] { Plant(secret_, msg); }));
  // The message takes the next free number instead.
  EXPECT_EQ(outbound_->Attach("2:5020/1234", {source_}, otArcMail), "");
  EXPECT_TRUE(fs::exists(root_ + "/netmail/3.msg"));
  EXPECT_EQ(ReadFile(secret_), "the sysop's own file\n");
  // The serial file is written in place: a link there refuses the attach.
  const std::string ids = root_ + "/netmail/brnet32.ids";
  fs::remove(ids);
  ASSERT_TRUE(AsNobody([&] { Plant(secret_, ids); }));
  ExpectRefused(outbound_->Attach("2:5020/1234", {source_}, otArcMail), ids);
  EXPECT_EQ(ReadFile(secret_), "the sysop's own file\n");
}

// The configured directories themselves may be links, as sysops set them up.
TEST(ConfiguredLinks, AreFollowed) {
  TempDir tmp;
  for (const char* sub : {"real/out", "real/boxes"}) fs::create_directories(tmp / sub);
  fs::create_directory_symlink(tmp / "real/out", tmp / "out");
  fs::create_directory_symlink(tmp / "real/boxes", tmp / "boxes");
  TOutbound outbound;
  outbound.SetBinkOutPath(tmp / "out");
  outbound.SetFileBoxesPath(tmp / "boxes");
  WriteFile(tmp / "a.zip", "a");
  const TFidoAddr node = Addr("2:5020/1234");
  const std::vector<std::string> files = {tmp / "a.zip"};
  outbound.AttachFiles(&node, &files, flNormal, otBink, smNone);
  outbound.AttachFiles(&node, &files, flNormal, otFileBox, smNone);
  EXPECT_EQ(ReadFile(tmp / "real/out/139c04d2.flo"), files[0] + "\r\n");
  EXPECT_EQ(ReadFile(tmp / "real/boxes/024SS16I.00/a.zip"), "a");
}

}  // namespace
}  // namespace brnet
