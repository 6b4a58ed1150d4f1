// Busy flags between two users of one outbound: a flag that cannot be made
// for lack of permission is the system's error naming the file, never
// "busy"; only a flag that exists already means busy.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "outbound/BusyFlags.h"
#include "support/NobodyChild.h"
#include "sys/Error.h"
#include "sys/Process.h"
#include "sys/posix/Syscalls.h"

namespace brnet {
namespace {

namespace fs = std::filesystem;
using test::NobodyChild;
using test::ScopedMainAddress;
using test::TempDir;
using test::Tree;
using V = std::vector<std::string>;

constexpr TBusyFlags kNormal = BusyFlagBit(bfNormal);
constexpr TBusyFlags kBink = BusyFlagBit(bfBink);

// LockNode as the user nobody: "locked", "busy" or the error's text.
std::string LockAsNobody(const TBusyFlagSetup& setup, const TFidoAddr& addr) {
  NobodyChild child([&] {
    try {
      if (!LockNode(setup, &addr, bkBsy)) return std::string("busy");
      UnlockNode(setup, &addr);
      return std::string("locked");
    } catch (const EInOutError& e) {
      return std::string(e.what());
    }
  });
  return child.Result();
}

TEST(BusyFlagsOfTwoUsers, NoPermissionIsAnErrorNamingThePath) {
  if (!NobodyChild::Possible()) GTEST_SKIP() << "needs root to run a child as nobody";
  TempDir tmp;
  ScopedMainAddress main{"2:5020/100"};
  // The mailer's directories, owned by root and not writable for others.
  const std::string out = tmp / "out/", flags = tmp / "flags/";
  fs::create_directories(out);
  fs::create_directories(flags);
  ::chmod(tmp.Path().c_str(), 0755);
  ::chmod(out.c_str(), 0755);
  ::chmod(flags.c_str(), 0755);
  const TFidoAddr node = TFidoAddr::CreateFromText("2:5020/4321", false);
  const TFidoAddr point = TFidoAddr::CreateFromText("2:5020/4321.5", false);
  const TFidoAddr other = TFidoAddr::CreateFromText("1:234/56", false);

  EXPECT_EQ(LockAsNobody({kBink, kBink, flags, out}, node),
            "File access denied: " + out + "139c10e1.bsy");
  EXPECT_EQ(LockAsNobody({0, kBink, flags, out}, node),
            "File access denied: " + out + "139c10e1.bsy")
      << "also for a type that is only raised";
  EXPECT_EQ(LockAsNobody({kBink, kBink, flags, out}, point),
            "File access denied: " + out + "139c10e1.pnt");
  EXPECT_EQ(LockAsNobody({kBink, kBink, flags, out}, other),
            "File access denied: " + tmp / "out.001");
  EXPECT_EQ(LockAsNobody({kNormal, kNormal, flags, out}, node),
            "File access denied: " + flags + NormalFlagName(node, "", bkBsy));
  EXPECT_EQ(Tree(tmp.Path()), (V{"flags/", "out/"}));

  // A flag that is there is "busy" still, for either user; the Bink flag
  // raised before is gone again.
  ::chmod(flags.c_str(), 0777);
  test::WriteFile(out + "139c10e1.bsy", "4242\n");
  EXPECT_EQ(LockAsNobody({kBink, kBink, flags, out}, node), "busy");
  EXPECT_EQ(LockAsNobody({kNormal | kBink, kNormal | kBink, flags, out}, node), "busy");
  EXPECT_EQ(Tree(flags), V{}) << "the flag raised in the first step was taken back";
  EXPECT_EQ(LockAsNobody({kNormal | kBink, kNormal, flags, out}, node), "busy");
  EXPECT_EQ(Tree(flags), V{});
  fs::remove(out + "139c10e1.bsy");
  EXPECT_EQ(LockAsNobody({kNormal, kNormal, flags, out}, node), "locked");
}

// What the hook below puts under the flag's name just before the rename.
std::string gFlag, gLiveNote;

// A stale flag is read again once it is taken aside: when a live process
// removed it and raised its own between our reading and our renaming, what
// we renamed is that live flag, and it goes back under its name, never away
// (else two processes would hold the node at once).
TEST(StaleFlags, ALiveFlagRaisedDuringTheTakeStays) {
  TempDir tmp;
  const std::string out = tmp / "out/";
  fs::create_directories(out);
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string host = sys::HostName();
  gFlag = out + "139c04d2.bsy";
  gLiveNote = std::to_string(::getpid()) + "\nbrnet32 " + host + "\n";
  test::WriteFile(gFlag, std::to_string(dead) + "\nbrnet32 " + host + "\n");
  auto& table = sys::posix::Syscalls();
  table.renameat2 = [](int fd, const char* from, int td, const char* to, unsigned flags) {
    if (!gLiveNote.empty()) {
      fs::remove(gFlag);
      test::WriteFile(gFlag, gLiveNote);
    }
    gLiveNote.clear();
    return sys::posix::SystemSyscalls().renameat2(fd, from, td, to, flags);
  };
  const TFidoAddr node = TFidoAddr::CreateFromText("2:5020/1234", false);
  const bool locked = LockNode({kBink, kBink, "", out}, &node, bkBsy);
  table = sys::posix::SystemSyscalls();
  EXPECT_FALSE(locked);
  EXPECT_EQ(Tree(out), V{"139c04d2.bsy"});
  EXPECT_EQ(test::ReadFile(gFlag), std::to_string(::getpid()) + "\nbrnet32 " + host + "\n");
}

}  // namespace
}  // namespace brnet
