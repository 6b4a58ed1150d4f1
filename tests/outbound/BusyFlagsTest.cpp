#include "outbound/BusyFlags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "TestSupport.h"
#include "api/LibState.h"
#include "support/ChildProcess.h"
#include "sys/Semaphore.h"

namespace brnet {
namespace {

namespace fs = std::filesystem;
using test::BsoCase;
using test::ScopedMainAddress;
using test::TempDir;
using test::Tree;
using test::TreeEntries;
using test::WriteFile;

constexpr TBusyFlags kNormal = BusyFlagBit(bfNormal);
constexpr TBusyFlags kBink = BusyFlagBit(bfBink);
constexpr TBusyFlags kSem = BusyFlagBit(bfSemaphore);
const std::string kBsyNormal = "B8744C63.`01";  // 2:5020/1234
const std::string kCsyNormal = "B8744C63.'01";

TFidoAddr A(const char* text) {
  return TFidoAddr::CreateFromText(text, false);
}

class BusyFlags : public ::testing::Test {
 protected:
  void TearDown() override { FreeHeldSemaphores(); }

  TBusyFlagSetup Setup(TBusyFlags scan, TBusyFlags create) const {
    return {scan, create, flags, out};
  }

  TempDir tmp;
  ScopedMainAddress main{"2:5020/100"};
  const std::string out = tmp / "out/";
  const std::string flags = tmp / "flags/";
  const TFidoAddr node = A("2:5020/1234");
  const TFidoAddr point = A("2:5020/1234.5");
  // Semaphores are machine-wide: tests that raise them use a net of their
  // own process, so that runs in parallel never meet.
  const std::int16_t net = static_cast<std::int16_t>(1 + test::CurrentProcessId() % 30000);
  const TFidoAddr own = TFidoAddr::CreateFromNumbers(2, net, 1, 0);
  const TFidoAddr ownPoint = TFidoAddr::CreateFromNumbers(2, net, 1, 5);
};

using V = std::vector<std::string>;

// TEXT with its line ends visible, for messages.
std::string Shown(std::string_view text) {
  std::string out;
  for (char c : text)
    out += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
  return out;
}

TEST_F(BusyFlags, NothingToDoWithEmptySets) {
  WriteFile(tmp / "keep", "");
  fs::create_directory(out);
  WriteFile(out + "139c04d2.bsy", "");
  EXPECT_TRUE(LockNode(Setup(0, 0), &node, bkBsy));
  UnlockNode(Setup(0, 0), &node);
  EXPECT_EQ(Tree(tmp.Path()), TreeEntries({"keep", "out/", "out/139c04d2.bsy"}));
}

TEST_F(BusyFlags, ScannedBinkFlagsInEitherCaseBlock) {
  const auto setup = Setup(kBink, 0);
  EXPECT_TRUE(LockNode(setup, &node, bkBsy));
  EXPECT_FALSE(fs::exists(out + "139c04d2.bsy")) << "scan only creates nothing";
  fs::create_directories(out);
  for (const char* flag : {"139C04D2.CSY", "139c04d2.bsy", "139C04D2.Bsy", "139c04d2.csy"}) {
    WriteFile(out + flag, "");
    EXPECT_FALSE(LockNode(setup, &node, bkBsy)) << flag;
    EXPECT_TRUE(fs::exists(out + flag));
    fs::remove(out + flag);
  }
  EXPECT_TRUE(LockNode(setup, &node, bkBsy));
}

TEST_F(BusyFlags, TestReportsKindsBsyFirst) {
  fs::create_directories(out + "139C04D2.PNT");
  EXPECT_EQ(TestBusyFlag(&point, out, bfBink), bkNone);
  WriteFile(out + "139C04D2.PNT/00000005.CSY", "");
  EXPECT_EQ(TestBusyFlag(&point, out, bfBink), bkCsy) << "found through an upper-case directory";
  WriteFile(out + "139C04D2.PNT/00000005.bsy", "");
  EXPECT_EQ(TestBusyFlag(&point, out, bfBink), bkBsy);
  EXPECT_EQ(TestBusyFlag(&node, out, bfBink), bkNone) << "a point's flag is not its node's";

  fs::create_directories(flags);
  WriteFile(flags + "b8744c63.'xy", "");
  EXPECT_EQ(TestBusyFlag(&node, flags, bfNormal), bkCsy);
  WriteFile(flags + "B8744C63.`7Z", "");
  EXPECT_EQ(TestBusyFlag(&node, flags, bfNormal), bkBsy);
  EXPECT_EQ(TestBusyFlag(&node, flags, static_cast<TBusyFlagType>(7)), bkNone);
}

TEST_F(BusyFlags, ScanAndCreateBinkUsesTheExclusiveCreate) {
  const auto setup = Setup(kBink, kBink);
  ASSERT_TRUE(LockNode(setup, &node, bkBsy));
  EXPECT_EQ(Tree(out), V{BsoCase("139c04d2.bsy")}) << "on Linux lower case, as binkd reads it";
  EXPECT_EQ(test::ReadFile(out + BsoCase("139c04d2.bsy")), OwnFlagNote());
  EXPECT_FALSE(LockNode(setup, &node, bkBsy)) << "our own flag blocks a second lock";
  UnlockNode(setup, &node);
  EXPECT_EQ(Tree(out), V{}) << "the configured outbound directory stays, made by the lock or not";

  WriteFile(out + "139c04d2.csy", "4242\n");
  EXPECT_TRUE(LockNode(setup, &node, bkBsy)) << "pass 1 only creates: a CSY does not stop it";
  UnlockNode(setup, &node);
  EXPECT_EQ(Tree(out), V{"139c04d2.csy"}) << "unlock removes our BSY, never binkd's CSY";
  EXPECT_EQ(test::ReadFile(out + "139c04d2.csy"), "4242\n");
  fs::remove(out + "139c04d2.csy");

  // A flag spelled in upper case by another program counts as existing.
  fs::create_directories(out);
  WriteFile(out + "139C04D2.BSY", "");
  EXPECT_FALSE(LockNode(setup, &node, bkBsy));
  EXPECT_EQ(Tree(out), V{"139C04D2.BSY"});
}

// The spellings other programs write, among the flags and flow files of
// many other nodes: each blocks, stays, and leaves nothing of ours behind.
TEST_F(BusyFlags, OtherProgramsSpellingsBlockInACrowdedOutbound) {
  fs::create_directories(out);
  for (int i = 0; i < 300; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "0001%04x.%s", i, i % 10 == 0 ? "BSY" : "flo");
    WriteFile(out + name, "");
  }
  const V others = Tree(out);
  for (const char* flag : {"139c04d2.bsy", "139C04D2.BSY", "139C04D2.bsy", "139c04d2.BSY",
                           "139c04d2.Bsy", "139C04D2.Bsy"}) {
    WriteFile(out + flag, "");
    EXPECT_FALSE(LockNode(Setup(kBink, kBink), &node, bkBsy)) << flag;
    EXPECT_FALSE(LockNode(Setup(kBink, 0), &node, bkBsy)) << flag;
    EXPECT_EQ(TestBusyFlag(&node, out, bfBink), bkBsy) << flag;
    fs::remove(out + flag);
    EXPECT_EQ(Tree(out), others) << flag;
  }
  for (const char* flag : {"139c04d2.csy", "139C04D2.CSY", "139c04d2.Csy"}) {
    WriteFile(out + flag, "");
    EXPECT_FALSE(LockNode(Setup(kBink, 0), &node, bkBsy)) << flag;
    EXPECT_EQ(TestBusyFlag(&node, out, bfBink), bkCsy) << flag;
    fs::remove(out + flag);
  }
  fs::create_directories(out + "139C04D2.PNT");
  WriteFile(out + "139C04D2.PNT/00000005.Bsy", "");
  EXPECT_FALSE(LockNode(Setup(kBink, kBink), &point, bkBsy));
  EXPECT_EQ(TestBusyFlag(&point, out, bfBink), bkBsy);
  fs::remove_all(out + "139C04D2.PNT");
  EXPECT_EQ(Tree(out), others) << "our point directory went with our flag";
}

// Nothing found by one lookup is trusted by a later one: a flag that
// appears after the test and before the exclusive create, in our spelling
// or another, keeps the lock from being taken.
TEST_F(BusyFlags, FlagRaisedBetweenLookupsIsSeen) {
  fs::create_directories(out);
  fs::create_directories(flags);
  ASSERT_EQ(TestBusyFlag(&node, out, bfBink), bkNone);
  for (const std::string& flag : {BsoCase("139c04d2.bsy"), std::string("139C04D2.BSY")}) {
    WriteFile(out + flag, "theirs");
    EXPECT_FALSE(CreateBusyFlag(&node, out, bfBink, bkBsy)) << flag;
    EXPECT_EQ(Tree(out), V{flag});
    EXPECT_EQ(test::ReadFile(out + flag), "theirs");
    fs::remove(out + flag);
  }
  ASSERT_TRUE(LockNode(Setup(kNormal, kNormal), &node, bkBsy));
  UnlockNode(Setup(kNormal, kNormal), &node);
  WriteFile(flags + "b8744c63.`01", "");
  EXPECT_FALSE(LockNode(Setup(kNormal, kNormal), &node, bkBsy)) << "hash in lower case";
  EXPECT_EQ(Tree(flags), V{"b8744c63.`01"});
}

TEST_F(BusyFlags, UpperCaseDirectoryOfAnotherProgramCountsToo) {
  fs::create_directories(out + "139C04D2.PNT");
  WriteFile(out + "139C04D2.PNT/00000005.BSY", "");
  EXPECT_FALSE(LockNode(Setup(kBink, kBink), &point, bkBsy));
  EXPECT_EQ(Tree(out), TreeEntries({"139C04D2.PNT/", "139C04D2.PNT/00000005.BSY"}))
      << "our lower-case point directory is gone again";
}

TEST_F(BusyFlags, CreatedButNotScannedNeverBlocks) {
  const auto setup = Setup(0, kNormal);
  fs::create_directories(flags);
  WriteFile(flags + kBsyNormal, "theirs");
  EXPECT_TRUE(LockNode(setup, &node, bkBsy));
  EXPECT_EQ(Tree(flags), V{kBsyNormal});
  WriteFile(flags + kCsyNormal, "");
  UnlockNode(setup, &node);
  EXPECT_EQ(Tree(flags), (V{kCsyNormal, kBsyNormal})) << "flags of others are not ours to remove";
  EXPECT_EQ(test::ReadFile(flags + kBsyNormal), "theirs");
}

TEST_F(BusyFlags, PointFlagMakesAndRemovesItsDirectories) {
  const auto setup = Setup(0, kBink);
  ASSERT_TRUE(LockNode(setup, &point, bkBsy));
  EXPECT_EQ(Tree(out),
            TreeEntries({BsoCase("139c04d2.pnt/"), BsoCase("139c04d2.pnt/00000005.bsy")}));
  UnlockNode(setup, &point);
  EXPECT_EQ(Tree(out), V{}) << "the point directory goes, the configured outbound stays";

  // Other files keep their directories.
  fs::create_directories(out + "139c04d2.pnt");
  WriteFile(out + "139c04d2.pnt/00000005.flo", "/x\r\n");
  ASSERT_TRUE(LockNode(setup, &point, bkBsy));
  UnlockNode(setup, &point);
  EXPECT_EQ(Tree(out), TreeEntries({"139c04d2.pnt/", "139c04d2.pnt/00000005.flo"}));
}

TEST_F(BusyFlags, OtherZoneLivesBesideTheOutbound) {
  const TFidoAddr other = A("1:234/56");
  fs::create_directories(out);
  const auto setup = Setup(kBink, kBink);
  ASSERT_TRUE(LockNode(setup, &other, bkBsy));
  EXPECT_TRUE(fs::exists(tmp / "out.001/00ea0038.bsy"));
  UnlockNode(setup, &other);
  EXPECT_FALSE(fs::exists(tmp / "out.001"));
  EXPECT_TRUE(fs::exists(out)) << "the default zone is not touched";
}

TEST_F(BusyFlags, UndoRemovesOnlyWhatThisLockRaised) {
  fs::create_directories(out);
  // Pass 1: the normal flag is raised, then the Bink flag exists already.
  WriteFile(out + "139c04d2.bsy", "theirs");
  EXPECT_FALSE(LockNode(Setup(kNormal | kBink, kNormal | kBink), &node, bkBsy));
  EXPECT_EQ(Tree(flags), V{});
  EXPECT_EQ(Tree(out), V{"139c04d2.bsy"});
  fs::remove(out + "139c04d2.bsy");
  // Pass 2: the Bink flag is raised, then the scanned normal flag is found.
  fs::create_directories(flags);
  WriteFile(flags + kCsyNormal, "");
  WriteFile(out + "other.flo", "");
  EXPECT_FALSE(LockNode(Setup(kNormal | kBink, kBink), &node, bkBsy));
  EXPECT_EQ(Tree(out), V{"other.flo"});
  EXPECT_EQ(Tree(flags), V{kCsyNormal});
}

TEST_F(BusyFlags, SemaphoreFlagsInOneProcess) {
  const std::string name = SemaphoreName(own, bkBsy);
  ASSERT_FALSE(sys::NamedSemaphore::Present(name)) << "another process holds " << name;
  const auto both = Setup(kSem, kSem);
  ASSERT_TRUE(LockNode(both, &own, bkBsy));
  EXPECT_TRUE(sys::NamedSemaphore::Present(name));
  EXPECT_EQ(TestBusyFlag(&own, "", bfSemaphore), bkBsy) << "our own flag is seen like any";
  EXPECT_FALSE(LockNode(both, &own, bkBsy));
  EXPECT_FALSE(CreateBusyFlag(&own, "", bfSemaphore, bkCsy)) << "one per address, any kind";
  TFidoAddr withDomain = own;
  withDomain.Domain = "fidonet";
  EXPECT_FALSE(CreateBusyFlag(&withDomain, "", bfSemaphore, bkBsy)) << "domain plays no part";
  EXPECT_TRUE(LockNode(Setup(0, kSem), &own, bkBsy)) << "pass 3 ignores the refusal";
  ASSERT_NE(HeldSemaphores(), nullptr);
  EXPECT_EQ(HeldSemaphores()->Count(), 1u);
  UnlockNode(both, &own);
  EXPECT_FALSE(sys::NamedSemaphore::Present(name));

  ASSERT_TRUE(CreateBusyFlag(&ownPoint, "", bfSemaphore, bkCsy));
  EXPECT_EQ(TestBusyFlag(&ownPoint, "", bfSemaphore), bkCsy);
  RemoveBusyFlag(&own, "", bfSemaphore);
  EXPECT_EQ(TestBusyFlag(&ownPoint, "", bfSemaphore), bkCsy) << "only the matching address";
  {
    LibState state;  // its destruction is the library's unload sequence
  }
  SetMainAddressRef(&main.Addr());
  EXPECT_EQ(HeldSemaphores(), nullptr);
  EXPECT_EQ(TestBusyFlag(&ownPoint, "", bfSemaphore), bkNone) << "released at unload";
}

TEST_F(BusyFlags, KindsAndTypesOutsideTheTables) {
  EXPECT_TRUE(CreateBusyFlag(&node, out, bfBink, bkNone));
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(CreateBusyFlag(&node, out, static_cast<TBusyFlagType>(3), bkBsy));
  EXPECT_FALSE(CreateBusyFlag(&node, out, bfBink, static_cast<TBusyKind>(3)));
  EXPECT_NO_THROW(RemoveBusyFlag(&node, out, static_cast<TBusyFlagType>(9)));
}

TEST_F(BusyFlags, MissingAddressIsAnAssertionFailure) {
  try {
    LockNode(Setup(kBink, kBink), nullptr, bkBsy);
    FAIL() << "no error";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Assertion failure (Outbound, line ", 0), 0u) << e.what();
  }
  EXPECT_THROW(TestBusyFlag(nullptr, out, bfBink), EAssertionFailed);
  EXPECT_THROW(CreateBusyFlag(nullptr, out, bfBink, bkNone), EAssertionFailed);
  EXPECT_THROW(RemoveBusyFlag(nullptr, out, bfBink), EAssertionFailed);
  EXPECT_THROW(UnlockNode(Setup(0, 0), nullptr), EAssertionFailed);
}

TEST_F(BusyFlags, EmptyFlagsPathMeansTheCurrentDirectory) {
  bool created;
  TBusyKind seen;
  {
    test::CurrentDir here(tmp.Path());
    created = CreateBusyFlag(&node, "", bfNormal, bkBsy);
    seen = TestBusyFlag(&node, "", bfNormal);
  }
  EXPECT_TRUE(created);
  EXPECT_EQ(seen, bkBsy);
  EXPECT_TRUE(fs::exists(tmp / kBsyNormal));
}

// What a flag file of ours says, and what is never taken for ours.
TEST_F(BusyFlags, FlagFilesNameTheirProcessAndHost) {
  const std::string note = OwnFlagNote();
  EXPECT_EQ(note.substr(0, note.find('\n') + 1), std::to_string(test::CurrentProcessId()) + "\n")
      << "the first line as binkd writes it";
  const std::optional<TFlagOwner> owner = ParseFlagNote(note);
  ASSERT_TRUE(owner) << note;
  EXPECT_EQ(owner->Pid, static_cast<std::uint32_t>(test::CurrentProcessId()));
  EXPECT_FALSE(owner->Host.empty());
  EXPECT_EQ(note, std::to_string(owner->Pid) + "\nbrnet32 " + owner->Host + "\n");

  const std::optional<TFlagOwner> parsed = ParseFlagNote("4242\nbrnet32 fido.example.org\n");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->Pid, 4242u);
  EXPECT_EQ(parsed->Host, "fido.example.org");
  for (const char* other : {"", "4242\n", "4242", "4242\r\n", "4242\nbinkd fido\n",
                            "4242\nbrnet32 fido", "4242\nbrnet32 fido\nmore\n", "0\nbrnet32 fido\n",
                            "42x\nbrnet32 fido\n", "\nbrnet32 fido\n", " 42\nbrnet32 fido\n",
                            "99999999999\nbrnet32 fido\n", "4294967296\nbrnet32 fido\n"}) {
    EXPECT_FALSE(ParseFlagNote(other)) << Shown(other);
  }
  // An append note: where the flow file was and where the append ends; an
  // end before the start, or none, says nothing of the end.
  const struct {
    const char* note;
    std::int64_t start, end;
    const char* flow;
  } appends[] = {
      {"42\nbrnet32 fido\nappend 120 180 out/139c04d2.flo\n", 120, 180, "out/139c04d2.flo"},
      {"42\nbrnet32 fido\nappend 120 out/139c04d2.flo\n", 120, -1, "out/139c04d2.flo"},
      {"42\nbrnet32 fido\nappend 180 120 out/a b.flo\n", 180, -1, "120 out/a b.flo"},
  };
  for (const auto& a : appends) {
    const std::optional<TFlagOwner> append = ParseFlagNote(a.note);
    ASSERT_TRUE(append) << Shown(a.note);
    EXPECT_EQ(append->AppendStart, a.start) << Shown(a.note);
    EXPECT_EQ(append->AppendEnd, a.end) << Shown(a.note);
    EXPECT_EQ(append->AppendFlow, a.flow) << Shown(a.note);
  }

  ASSERT_TRUE(LockNode(Setup(kNormal | kBink, kNormal | kBink), &point, bkBsy));
  EXPECT_EQ(test::ReadFile(flags + NormalFlagName(point, "", bkBsy)), note);
  EXPECT_EQ(test::ReadFile(out + test::Native(BsoCase("139c04d2.pnt/00000005.bsy"))), note);
  UnlockNode(Setup(kNormal | kBink, kNormal | kBink), &point);
  EXPECT_EQ(Tree(flags), V{});
}

// Directories are removed only by the lock that made them, never the
// configured ones: a mailer's group and mode on them must survive.
TEST_F(BusyFlags, OnlyDirectoriesTheLockMadeAreRemoved) {
  const auto setup = Setup(kBink, kBink);
  fs::create_directories(tmp / "out.001");
  fs::create_directories(out + "139c04d2.pnt");
  const TFidoAddr other = A("1:234/56");
  ASSERT_TRUE(LockNode(setup, &other, bkBsy));
  ASSERT_TRUE(LockNode(setup, &point, bkBsy));
  UnlockNode(setup, &other);
  UnlockNode(setup, &point);
  EXPECT_EQ(Tree(tmp.Path()), TreeEntries({"out.001/", "out/", "out/139c04d2.pnt/"}))
      << "empty, but another program made them";

  // A lock undone because a semaphore is held elsewhere (here: by this
  // process) keeps the empty outbound.
  fs::remove_all(tmp / "out.001");
  fs::remove_all(out + "139c04d2.pnt");
  ASSERT_TRUE(CreateBusyFlag(&own, "", bfSemaphore, bkBsy));
  EXPECT_FALSE(LockNode(Setup(kBink | kSem, kBink | kSem), &own, bkBsy)) << "refused in pass 1";
  EXPECT_EQ(Tree(tmp.Path()), V{"out/"});
  EXPECT_FALSE(LockNode(Setup(kBink | kSem, kBink), &own, bkBsy)) << "refused in pass 2";
  EXPECT_EQ(Tree(tmp.Path()), V{"out/"});
  RemoveBusyFlag(&own, "", bfSemaphore);
}

// Unlock takes our flag only while it is still ours: somebody who took it
// for stale and raised a flag of theirs under the name keeps it.
TEST_F(BusyFlags, FlagReplacedByAnotherProgramStays) {
  const auto setup = Setup(kBink, kBink);
  ASSERT_TRUE(LockNode(setup, &point, bkBsy));
  const std::string flag = out + test::Native(BsoCase("139c04d2.pnt/00000005.bsy"));
  WriteFile(flag, "4242\n");
  UnlockNode(setup, &point);
  EXPECT_EQ(test::ReadFile(flag), "4242\n");
  EXPECT_EQ(Tree(out),
            TreeEntries({BsoCase("139c04d2.pnt/"), BsoCase("139c04d2.pnt/00000005.bsy")}))
      << "and the directory it lies in";
}

// ---- Between processes ----

// The busy helper program, talked to through its standard input and output.
class Helper {
 public:
  Helper(const std::string& out, const std::string& flags, TBusyFlags scan, TBusyFlags create,
         const std::string& addr)
      : child_(test::SiblingProgram("busy_helper"),
               {out, flags, std::to_string(scan), std::to_string(create), addr, "2:5020/100"},
               test::ChildProcess::Stdio::Pipes) {}

  std::string ReadLine() { return child_.ReadLine(); }
  // Ends its stdin: the helper unlocks and exits.
  std::string Release() {
    child_.CloseStdin();
    return ReadLine();
  }
  bool Kill() { return child_.Kill(); }

 private:
  test::ChildProcess child_;
};

TEST_F(BusyFlags, FlagsOfAnotherProcessBlockUntilItUnlocks) {
  const TBusyFlags all = kNormal | kBink | kSem;
  const std::string text = own.ToString();
  {
    Helper child(out, flags, all, all, text);
    ASSERT_EQ(child.ReadLine(), "locked");
    EXPECT_EQ(TestBusyFlag(&own, out, bfBink), bkBsy);
    EXPECT_EQ(TestBusyFlag(&own, flags, bfNormal), bkBsy);
    EXPECT_EQ(TestBusyFlag(&own, "", bfSemaphore), bkBsy);
    for (TBusyFlags type : {kNormal, kBink, kSem}) {
      EXPECT_FALSE(LockNode(Setup(type, type), &own, bkBsy)) << int(type);
      EXPECT_FALSE(LockNode(Setup(type, 0), &own, bkBsy)) << int(type);
    }
    EXPECT_TRUE(LockNode(Setup(all, all), &ownPoint, bkBsy)) << "its points stay free";
    UnlockNode(Setup(all, all), &ownPoint);
    EXPECT_EQ(child.Release(), "unlocked");
  }
  EXPECT_TRUE(LockNode(Setup(all, all), &own, bkBsy));
  {
    Helper child(out, flags, all, all, text);
    EXPECT_EQ(child.ReadLine(), "busy") << "and the other way round";
  }
  UnlockNode(Setup(all, all), &own);
  EXPECT_EQ(Tree(tmp.Path()), (V{"flags/", "out/"}));
}

TEST_F(BusyFlags, KilledHolderFreesItsSemaphoreButNotItsFiles) {
  const std::string text = ownPoint.ToString();
  Helper child(out, flags, kSem | kBink, kSem | kBink, text);
  ASSERT_EQ(child.ReadLine(), "locked");
  EXPECT_FALSE(LockNode(Setup(kSem, 0), &ownPoint, bkBsy));
  EXPECT_TRUE(child.Kill());
  EXPECT_TRUE(LockNode(Setup(kSem, kSem), &ownPoint, bkBsy)) << "a crash must not keep it busy";
  EXPECT_EQ(TestBusyFlag(&ownPoint, out, bfBink), bkBsy) << "a file flag survives a crash";
}

// A holder killed with its flags raised: the flags stay and block until
// the next lock finds that their process is gone; flags of other programs
// or of another host are never judged so.
TEST_F(BusyFlags, KilledHoldersFlagsAreRemovedByTheNextLock) {
  const TBusyFlags files = kNormal | kBink;
  const auto setup = Setup(files, files);
  std::vector<std::string> logged;
  const TBusyLogFn log = [&](char level, const std::string& text) {
    logged.push_back(std::string(1, level) + " " + text);
  };
  const std::string bsy = out + test::Native(BsoCase("139c04d2.pnt/00000005.bsy"));
  const std::string hashed = flags + NormalFlagName(point, "", bkBsy);
  Helper child(out, flags, files, files, point.ToString());
  ASSERT_EQ(child.ReadLine(), "locked");
  const std::string note = test::ReadFile(bsy);
  const std::optional<TFlagOwner> owner = ParseFlagNote(note);
  ASSERT_TRUE(owner) << Shown(note);
  EXPECT_FALSE(LockNode(setup, &point, bkBsy, log)) << "its holder runs";
  ASSERT_TRUE(child.Kill());

  const std::string dead = std::to_string(owner->Pid);
  for (const std::string& foreign : {dead + "\n", dead + "\nbrnet32 elsewhere.invalid\n"}) {
    WriteFile(bsy, foreign);
    EXPECT_FALSE(LockNode(Setup(kBink, kBink), &point, bkBsy, log)) << Shown(foreign);
    EXPECT_FALSE(LockNode(Setup(kBink, 0), &point, bkBsy, log)) << Shown(foreign);
    EXPECT_EQ(test::ReadFile(bsy), foreign);
  }
  EXPECT_EQ(logged, std::vector<std::string>{});

  WriteFile(bsy, note);
  ASSERT_TRUE(LockNode(setup, &point, bkBsy, log));
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[0], "! Removed stale busy flag " + hashed + " of process " + dead + " on " +
                           owner->Host + ", which no longer runs");
  EXPECT_EQ(logged[1].rfind("! Removed stale busy flag " + bsy + " of process " + dead, 0), 0u)
      << logged[1];
  EXPECT_EQ(test::ReadFile(bsy), OwnFlagNote());
  EXPECT_EQ(test::ReadFile(hashed), OwnFlagNote());
  UnlockNode(setup, &point);
  EXPECT_EQ(Tree(tmp.Path()), TreeEntries({"flags/", "out/", "out/" + BsoCase("139c04d2.pnt/")}))
      << "the point directory was the killed holder's making, not ours";

  // A type only scanned: the stale flag goes all the same.
  WriteFile(out + "139c04d2.bsy", note);
  logged.clear();
  EXPECT_TRUE(LockNode(Setup(kBink, 0), &node, bkBsy, log));
  EXPECT_EQ(logged.size(), 1u);
  EXPECT_EQ(Tree(out), V{BsoCase("139c04d2.pnt/")});
  UnlockNode(Setup(kBink, 0), &node);

  // The dead holder's append: one that stopped short is cut back to where
  // it began; one that reached its end (its flag outlived a whole attach)
  // keeps every line, and so does the earlier form of the note.
  const std::string flow = out + "139c04d2.flo";
  struct Case {
    std::string append, before;
    std::size_t kept;
  };
  for (const Case& c : std::vector<Case>{{"append 4 16 139c04d2.flo\n", "old\nnew-li", 4},
                                         {"append 4 16 139c04d2.flo\n", "old\nnew-line-1\r\n", 16},
                                         {"append 4 139c04d2.flo\n", "old\nnew-li", 4}}) {
    WriteFile(flow, c.before);
    WriteFile(out + "139c04d2.bsy", note + c.append);
    ASSERT_TRUE(LockNode(Setup(kBink, kBink), &node, bkBsy, log)) << c.append;
    UnlockNode(Setup(kBink, kBink), &node);
    EXPECT_EQ(test::ReadFile(flow), c.before.substr(0, c.kept)) << c.append << Shown(c.before);
  }
}

TEST_F(BusyFlags, ForeignLowerCaseBsyBlocksEveryBinkLock) {
  // Written by binkd while it talks to the node: the lower-case name. On
  // Windows the library's own flag is upper case: the exclusive create has
  // to see the other spelling as the same file and leave it alone.
  fs::create_directories(out);
  WriteFile(out + "139c04d2.bsy", "4242\n");
  Helper scanning(out, flags, kBink, 0, "2:5020/1234");
  EXPECT_EQ(scanning.ReadLine(), "busy");
  Helper creating(out, flags, kBink, kBink, "2:5020/1234");
  EXPECT_EQ(creating.ReadLine(), "busy");
  EXPECT_EQ(test::ReadFile(out + "139c04d2.bsy"), "4242\n");
}

}  // namespace
}  // namespace brnet
