// Attaching through the br functions, as a caller does, into real
// directories: the exact bytes, names and log lines each outbound type,
// flavour and mode produces, busy nodes, failures half-way, and several
// processes attaching to one node at once. The same tests run on Windows
// (under wine) against the Win32 calls.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "api/BrLib.h"
#include "msgbase/MailMsg.h"
#include "outbound/OutbNaming.h"
#include "support/ChildProcess.h"
#include "sys/Process.h"
#include "sys/Semaphore.h"

namespace {

using brnet::test::BrLib;
using brnet::test::BsoCase;
using brnet::test::ReadFile;
using brnet::test::TempDir;
using brnet::test::Tree;
using brnet::test::TreeEntries;
using brnet::test::Word;
using brnet::test::WriteFile;

constexpr uint8_t kBinkFlags = BR_BSY_BINK | BR_BSY_SEMAPHORE;

// Semaphore names are machine-wide and tests run in parallel: each test
// attaches to nodes of its own.
brAddrRec Node(uint16_t node, uint16_t point = 0, uint16_t zone = 2) {
  return brAddrRec{zone, 5020, node, point};
}

std::string Hex4(uint16_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04x", v);
  return buf;
}

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// The texts of a failed Win32 call as the library reports them: on Windows
// the system's code and message, on POSIX errno and strerror.
void ExpectSystemError(const std::string& error, int win32Code, int posixCode) {
  const std::string head =
      "Win32 Error.  Code: " + std::to_string(kWindows ? win32Code : posixCode) + ".\n";
  ASSERT_TRUE(error.starts_with(head)) << error;
  const std::string message = error.substr(head.size());
  EXPECT_FALSE(message.empty()) << error;
  EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << error;
}

// The short file-box name of 2:5020/NODE.
std::string ShortBox(uint16_t node) {
  return "024SS" + brnet::Base32Str(node, 3) + ".00";
}

bool SemaphoreHeld(const brAddrRec& a) {
  brnet::TFidoAddr addr = brnet::TFidoAddr::CreateFromNumbers(a.zone, a.net, a.node, a.point);
  return brnet::sys::NamedSemaphore::Present(brnet::SemaphoreName(addr, brnet::bkBsy));
}

std::vector<std::string> LogTexts(const std::string& log) {
  std::vector<std::string> texts;
  std::regex line(R"((.) \d\d \w{3} \d\d:\d\d:\d\d (.{4}) ([^\r]*)\r\n)");
  for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it) {
    texts.push_back((*it)[1].str() + " " + (*it)[3].str());
  }
  return texts;
}

class BrOutbound : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(br.Load());
    out = dir / "out";
    boxes = dir / "boxes";
    netmail = dir / "netmail";
    logName = dir / "brnet.log";
    ASSERT_TRUE(br.SetMainAddr("2:5020/100"));
  }
  void TearDown() override {
    if (br.lib.IsOpen()) br.Unload();
  }

  std::string File(const std::string& name, const std::string& data = "data") {
    std::string path = dir / name;
    WriteFile(path, data);
    return path;
  }

  bool Attach(const brAddrRec& addr, const std::vector<std::string>& files, uint8_t flavor,
              uint8_t type, uint8_t mode) {
    std::vector<const char*> ptrs;
    for (const auto& f : files) ptrs.push_back(f.c_str());
    return br.AttachFiles(brZoneNet(&addr), brNodePoint(&addr), ptrs.data(),
                          static_cast<int32_t>(ptrs.size()), flavor, type, mode);
  }

  void InitBink(uint8_t flags = kBinkFlags) {
    ASSERT_TRUE(br.InitOutbound(nullptr, out.c_str(), nullptr)) << br.Error();
    ASSERT_TRUE(br.SetOutboundBsy(nullptr, flags, flags));
  }

  BrLib br;
  TempDir dir;
  // A file of the outbound; NAME is spelled as on Linux (see BsoCase).
  std::string Out(const std::string& name) const {
    return out + brnet::sys::PathDelim() + brnet::test::Native(BsoCase(name));
  }

  std::string out, boxes, netmail, logName;
};

TEST_F(BrOutbound, BinkEveryFlavourAndMode) {
  ASSERT_TRUE(br.InitLog(logName.c_str(), "test"));
  InitBink();
  const char* ext[] = {"ilo", "clo", "dlo", "flo", "hlo"};
  const char* prefix[] = {"", "^", "#"};
  std::string a = File("a.zip"), b = File("b b.zip");
  std::vector<std::string> expectedLog = {"* Starting TEST"};
  uint16_t node = 1000;
  for (uint8_t flavor = 0; flavor < 5; ++flavor) {
    for (uint8_t mode = 0; mode < 3; ++mode, ++node) {
      ASSERT_TRUE(Attach(Node(node), {a, b}, flavor, BR_OUTB_BINK, mode)) << br.Error();
      const std::string flow = Out("139c" + Hex4(node) + "." + ext[flavor]);
      EXPECT_EQ(ReadFile(flow), prefix[mode] + a + "\r\n" + prefix[mode] + b + "\r\n") << flow;
      for (const auto& f : {a, b}) {
        expectedLog.push_back("+ Created Bink attach " + f + " to 2:5020/" + std::to_string(node));
      }
      EXPECT_FALSE(SemaphoreHeld(Node(node)));
    }
  }
  EXPECT_EQ(LogTexts(ReadFile(logName)), expectedLog);
  for (const auto& name : Tree(out))
    EXPECT_EQ(name.find(BsoCase(".bsy")), std::string::npos) << name;
}

TEST_F(BrOutbound, BinkAppendsInArrayOrderToExistingFlowFile) {
  InitBink();
  WriteFile(Out("139c0835.flo"), "~/already/sent\r\n/waiting\r\n");
  std::string a = File("a"), b = File("b");
  ASSERT_TRUE(Attach(Node(2101), {b, a, b}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(ReadFile(Out("139c0835.flo")),
            "~/already/sent\r\n/waiting\r\n" + b + "\r\n" + a + "\r\n" + b + "\r\n");
}

TEST_F(BrOutbound, BinkPointsOtherZonesAndZoneZero) {
  InitBink();
  std::string a = File("a");
  ASSERT_TRUE(Attach(Node(1234, 9), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE));
  ASSERT_TRUE(Attach(brAddrRec{1, 234, 56, 0}, {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, 0));
  ASSERT_TRUE(Attach(Node(2200, 0, 0), {a}, BR_FLAVOR_HOLD, BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(ReadFile(Out("139c04d2.pnt/00000009.clo")), a + "\r\n");
  EXPECT_EQ(ReadFile(out + brnet::test::Native(BsoCase(".001/00ea0038.flo"))), a + "\r\n");
  EXPECT_EQ(ReadFile(Out("139c0898.hlo")), a + "\r\n") << "zone 0 is the main zone";
}

TEST_F(BrOutbound, ZoneZeroWithoutMainAddressStaysZero) {
  ASSERT_TRUE(br.SetMainAddr(nullptr));
  ASSERT_TRUE(br.InitLog(logName.c_str(), "test"));
  InitBink(BR_BSY_SEMAPHORE);
  std::string a = File("a");
  ASSERT_TRUE(Attach(Node(2300, 0, 0), {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(ReadFile(Out("139c08fc.flo")), a + "\r\n");
  EXPECT_EQ(LogTexts(ReadFile(logName)).back(), "+ Created Bink attach " + a + " to 0:5020/2300");
}

TEST_F(BrOutbound, BusyNodeIsRefusedAndNothingWritten) {
  InitBink();
  // The mailer's flag as it spells it here (binkd on Linux: lower case), and
  // another program's in upper case.
  WriteFile(Out("139c0899.bsy"), "4242\n");
  WriteFile(out + brnet::sys::PathDelim() + "139C089A.CSY", "");
  std::string a = File("a");
  EXPECT_FALSE(Attach(Node(2201), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(br.Error(), "Node 2:5020/2201 is busy");
  // A CSY flag stops us when the Bink flag is scanned for but not raised by
  // us (raising it is the test where both are set).
  ASSERT_TRUE(br.SetOutboundBsy(nullptr, BR_BSY_SEMAPHORE, kBinkFlags));
  EXPECT_FALSE(Attach(Node(2202), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(br.Error(), "Node 2:5020/2202 is busy");
  std::vector<std::string> flags = {"139C089A.CSY", BsoCase("139c0899.bsy")};
  std::sort(flags.begin(), flags.end());
  EXPECT_EQ(Tree(out), flags);
  EXPECT_FALSE(SemaphoreHeld(Node(2201)));
}

// The flag of an attach that was killed names a process that is gone: the
// next attach takes it away and says so in the log. binkd's flag naming
// the same dead process blocks for ever: it is not ours to judge.
TEST_F(BrOutbound, FlagOfAKilledAttachIsRemovedAndLogged) {
  brnet::test::ChildProcess gone(brnet::test::SiblingProgram("api_helper"),
                                 {BRNET32_PATH, out, "2203", "1", "1"},
                                 brnet::test::ChildProcess::Stdio::Pipes);
  ASSERT_EQ(gone.ReadLine(), "ready");
  const std::string pid = std::to_string(gone.Pid());
  ASSERT_TRUE(gone.Kill());
  ASSERT_TRUE(br.InitLog(logName.c_str(), "test"));
  InitBink(BR_BSY_BINK);
  const std::string flag = Out("139c089b.bsy");
  const std::string a = File("a");
  WriteFile(flag, pid + "\n");
  EXPECT_FALSE(Attach(Node(2203), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(ReadFile(flag), pid + "\n");

  WriteFile(flag, pid + "\nbrnet32 " + brnet::sys::HostName() + "\n");
  ASSERT_TRUE(Attach(Node(2203), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE)) << br.Error();
  EXPECT_EQ(
      LogTexts(ReadFile(logName)),
      (std::vector<std::string>{"* Starting TEST",
                                "! Removed stale busy flag " + flag + " of process " + pid +
                                    " on " + brnet::sys::HostName() + ", which no longer runs",
                                "+ Created Bink attach " + a + " to 2:5020/2203"}));
  EXPECT_EQ(Tree(out), std::vector<std::string>{BsoCase("139c089b.clo")});
}

// A hub's outbound: entries of many other nodes around, and the node's own
// files written by other programs in upper case.
TEST_F(BrOutbound, OtherProgramsSpellingsInACrowdedOutbound) {
  InitBink();
  const std::string sep(1, brnet::sys::PathDelim());
  for (uint16_t i = 0; i < 200; ++i) WriteFile(Out("0001" + Hex4(i) + ".flo"), "/x\r\n");
  std::string a = File("a");
  const std::size_t others = Tree(out).size();

  // An upper-case flow file is appended to, never joined by a lower-case one.
  WriteFile(out + sep + "139C0C1C.CLO", "/old\r\n");
  ASSERT_TRUE(Attach(Node(3100), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE)) << br.Error();
  EXPECT_EQ(ReadFile(out + sep + "139C0C1C.CLO"), "/old\r\n" + a + "\r\n");
  // The same for a point, in an upper-case point directory; the directory
  // our flag needed is gone again.
  std::filesystem::create_directories(out + sep + "139C0C1D.PNT");
  WriteFile(out + sep + "139C0C1D.PNT" + sep + "0000000A.HLO", "");
  ASSERT_TRUE(Attach(Node(3101, 10), {a}, BR_FLAVOR_HOLD, BR_OUTB_BINK, BR_SEND_NONE))
      << br.Error();
  EXPECT_EQ(ReadFile(out + sep + "139C0C1D.PNT" + sep + "0000000A.HLO"), a + "\r\n");
  std::vector<std::string> tree = Tree(out);
  EXPECT_EQ(tree.size(), others + 3) << "nothing beside the two flow files";
  EXPECT_TRUE(std::binary_search(tree.begin(), tree.end(), "139C0C1D.PNT" + sep + "0000000A.HLO"));

  // Flags of another program in either case keep us out.
  for (const std::string& flag : {std::string("139C0C1E.BSY"), BsoCase("139c0c1e.bsy")}) {
    WriteFile(out + sep + flag, "");
    EXPECT_FALSE(Attach(Node(3102), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE)) << flag;
    EXPECT_EQ(br.Error(), "Node 2:5020/3102 is busy");
    EXPECT_TRUE(std::filesystem::exists(out + sep + flag));
    std::filesystem::remove(out + sep + flag);
  }
  EXPECT_EQ(Tree(out).size(), others + 3) << "nothing written for the busy node";

  // A flag raised between two attaches is seen by the second: nothing of
  // the first is remembered.
  ASSERT_TRUE(Attach(Node(3103), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE));
  WriteFile(out + sep + "139C0C1F.BSY", "");
  EXPECT_FALSE(Attach(Node(3103), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE));
  std::filesystem::remove(out + sep + "139C0C1F.BSY");
  ASSERT_TRUE(Attach(Node(3103), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(ReadFile(Out("139c0c1f.clo")), a + "\r\n" + a + "\r\n");
}

TEST_F(BrOutbound, NetmailAttachWritesOneMessagePerFile) {
  ASSERT_TRUE(br.InitLog(logName.c_str(), "test"));
  ASSERT_TRUE(br.InitOutbound(netmail.c_str(), nullptr, nullptr));
  ASSERT_TRUE(br.SetOutboundBsy(nullptr, BR_BSY_SEMAPHORE, BR_BSY_SEMAPHORE));
  std::string a = File("a.zip"), b = File("b.zip"), c = File("c.zip");
  ASSERT_TRUE(Attach(Node(2400), {a, b, c}, BR_FLAVOR_NORMAL, BR_OUTB_ARCMAIL, 0)) << br.Error();
  ASSERT_TRUE(Attach(Node(2400, 7), {a}, BR_FLAVOR_HOLD, BR_OUTB_ARCMAIL, BR_SEND_TRUNC));
  ASSERT_TRUE(Attach(Node(2400), {b}, BR_FLAVOR_DIRECT, BR_OUTB_ARCMAIL, BR_SEND_KILL));
  EXPECT_EQ(Tree(netmail),
            (std::vector<std::string>{"2.msg", "3.msg", "4.msg", "5.msg", "6.msg", "brnet32.ids"}));
  struct Want {
    const char* file;
    std::string subject;
    uint16_t attr;
    const char* flags;
  } wants[] = {{"2.msg", a, 0x0191, nullptr},
               {"3.msg", b, 0x0191, nullptr},
               {"4.msg", c, 0x0191, nullptr},
               {"5.msg", a, 0x0391,
                "\x01"
                "FLAGS TFS\r"},
               {"6.msg", b, 0x0191,
                "\x01"
                "FLAGS DIR KFS\r"}};
  for (const Want& w : wants) {
    const std::string bytes = ReadFile(netmail + "/" + w.file);
    ASSERT_GE(bytes.size(), 190u);
    const brnet::TMsgHeader h = brnet::TMsgHeader::Decode(bytes.substr(0, 190));
    EXPECT_EQ(h.FromName, "SysOp");
    EXPECT_EQ(h.ToName, "SysOp");
    EXPECT_EQ(h.Subject, w.subject);
    EXPECT_EQ(h.Attribute, w.attr) << w.file;
    EXPECT_EQ(h.OrigNode, 100);
    EXPECT_EQ(h.DestNet, 5020);
    EXPECT_NE(bytes.find("\x01"
                         "INTL 2:5020/2400 2:5020/100\r"),
              std::string::npos)
        << w.file;
    EXPECT_NE(bytes.find("\x01"
                         "PID Brennor Outbound\r"),
              std::string::npos)
        << w.file;
    if (w.flags) {
      EXPECT_NE(bytes.find(w.flags), std::string::npos) << w.file;
    } else {
      EXPECT_EQ(bytes.find("FLAGS"), std::string::npos) << w.file;
    }
  }
  EXPECT_NE(ReadFile(netmail + "/5.msg")
                .find("\x01"
                      "TOPT 7\r"),
            std::string::npos);
  const auto log = LogTexts(ReadFile(logName));
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[1], "+ Created netmail attach " + a + " to 2:5020/2400");
  EXPECT_EQ(log[4], "+ Created netmail attach " + a + " to 2:5020/2400.7");
}

TEST_F(BrOutbound, NetmailFailures) {
  std::string a = File("a");
  ASSERT_TRUE(br.InitOutbound(nullptr, nullptr, nullptr));
  EXPECT_FALSE(Attach(Node(2500), {a}, BR_FLAVOR_NORMAL, BR_OUTB_ARCMAIL, 0));
  EXPECT_EQ(br.Error(), "Invalid netmail path");
  ASSERT_TRUE(br.InitOutbound(netmail.c_str(), nullptr, nullptr));
  ASSERT_TRUE(br.SetMainAddr(nullptr));
  EXPECT_FALSE(Attach(Node(2500), {a}, BR_FLAVOR_NORMAL, BR_OUTB_ARCMAIL, 0));
  EXPECT_TRUE(
      std::regex_match(br.Error(), std::regex(R"(Assertion failure \(FidoAddr, line \d+\))")))
      << br.Error();
  ASSERT_TRUE(br.SetMainAddr("2:5020/100"));
  const std::string longPath = "/" + std::string(71, 'x');
  EXPECT_FALSE(Attach(Node(2500), {a, longPath}, BR_FLAVOR_NORMAL, BR_OUTB_ARCMAIL, 0));
  EXPECT_EQ(br.Error(),
            "Cannot attach " + longPath + ": a netmail subject holds at most 71 characters");
  EXPECT_EQ(Tree(netmail), std::vector<std::string>{}) << "a refused list writes no message";
  // A tosser would split the subject at the blank and send neither part.
  const std::string blank = File("my file.zip");
  EXPECT_FALSE(Attach(Node(2500), {blank}, BR_FLAVOR_NORMAL, BR_OUTB_ARCMAIL, 0));
  EXPECT_EQ(br.Error(),
            "Cannot attach " + blank + ": a netmail attach names its files separated by blanks");
  EXPECT_EQ(Tree(netmail), std::vector<std::string>{});
}

TEST_F(BrOutbound, FileBoxCopiesAndMoves) {
  ASSERT_TRUE(br.InitLog(logName.c_str(), "test"));
  ASSERT_TRUE(br.InitOutbound(nullptr, nullptr, boxes.c_str()));
  ASSERT_TRUE(br.SetOutboundBsy(nullptr, BR_BSY_SEMAPHORE, BR_BSY_SEMAPHORE));
  std::string a = File("a.zip", "first"), b = File("b.zip"), c = File("c.zip");
  namespace fs = std::filesystem;
  const fs::file_time_type old = fs::last_write_time(a) - std::chrono::hours(24 * 365 * 20);
  fs::last_write_time(a, old);
  ASSERT_TRUE(Attach(Node(2450), {a}, BR_FLAVOR_HOLD, BR_OUTB_FILEBOX, BR_SEND_NONE)) << br.Error();
  ASSERT_TRUE(Attach(Node(2450), {b}, BR_FLAVOR_CRASH, BR_OUTB_FILEBOX, BR_SEND_TRUNC));
  ASSERT_TRUE(Attach(Node(2450), {c}, BR_FLAVOR_NORMAL, BR_OUTB_LONGFILEBOX, BR_SEND_KILL));
  const std::string box = ShortBox(2450);
  EXPECT_EQ(Tree(boxes), TreeEntries({box + "/", box + "/b.zip", box + "H/", box + "H/a.zip",
                                      "2.5020.2450.0/", "2.5020.2450.0/c.zip"}));
  const std::string copyOfA =
      boxes + brnet::sys::PathDelim() + box + "H" + brnet::sys::PathDelim() + "a.zip";
  EXPECT_EQ(fs::last_write_time(copyOfA), fs::last_write_time(a))
      << "a copy keeps the source's date";
  EXPECT_LT(fs::last_write_time(copyOfA),
            fs::file_time_type::clock::now() - std::chrono::hours(24));
  EXPECT_TRUE(brnet::test::ReadFile(a) == "first") << "a copy leaves the source";
  EXPECT_FALSE(std::filesystem::exists(c)) << "kill-sent moves the file";
  // A second copy never replaces the file waiting in the box.
  WriteFile(a, "second");
  EXPECT_FALSE(Attach(Node(2450), {a}, BR_FLAVOR_HOLD, BR_OUTB_FILEBOX, BR_SEND_NONE));
  // CopyFileA refusing an existing target: ERROR_FILE_EXISTS; EEXIST on POSIX.
  ExpectSystemError(br.Error(), 80, 17);
  if (!kWindows) {
    EXPECT_EQ(br.Error(), "Win32 Error.  Code: 17.\nFile exists: " + copyOfA);
  }
  EXPECT_EQ(ReadFile(copyOfA), "first");
  // Nor does a second move.
  c = File("c.zip", "new");
  const std::string target = boxes + brnet::test::Native("/2.5020.2450.0/c.zip");
  EXPECT_FALSE(Attach(Node(2450), {c}, BR_FLAVOR_NORMAL, BR_OUTB_LONGFILEBOX, BR_SEND_KILL));
  EXPECT_EQ(br.Error(), "Error moving " + c + " to " + target);
  EXPECT_EQ(ReadFile(c), "new");
  EXPECT_EQ(ReadFile(target), "data");
  const auto log = LogTexts(ReadFile(logName));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[3], "+ Created filebox attach " + dir / "c.zip" + " to 2:5020/2450");
}

// A list is attached whole or not at all: the copies made before the file
// that failed go again, so the caller's retry sends nothing twice.
TEST_F(BrOutbound, FailureHalfWayTakesBackEarlierWorkAndRemovesFlags) {
  ASSERT_TRUE(br.InitOutbound(nullptr, out.c_str(), boxes.c_str()));
  ASSERT_TRUE(br.SetOutboundBsy(nullptr, kBinkFlags, kBinkFlags));
  std::vector<std::string> files = {File("1"), File("2"), dir / "missing", File("4"), File("5")};
  EXPECT_FALSE(Attach(Node(2600), files, BR_FLAVOR_NORMAL, BR_OUTB_FILEBOX, BR_SEND_NONE));
  // ERROR_FILE_NOT_FOUND and ENOENT are both 2.
  ExpectSystemError(br.Error(), 2, 2);
  if (!kWindows) {
    EXPECT_EQ(br.Error(), "Win32 Error.  Code: 2.\nNo such file or directory: " + files[2] +
                              " to " + boxes + "/" + ShortBox(2600) + "/missing");
  }
  const std::string box = ShortBox(2600);
  EXPECT_EQ(Tree(boxes), TreeEntries({box + "/"}));
  EXPECT_EQ(Tree(out), std::vector<std::string>{}) << "the bink flag and its directory are gone";
  EXPECT_FALSE(SemaphoreHeld(Node(2600)));
}

TEST_F(BrOutbound, FlowLineInjectionIsRefused) {
  InitBink();
  std::string a = File("a");
  const std::string bad[] = {a + "\n^" + dir / "victim",
                             a + "\r",
                             "^" + a,
                             "#" + a,
                             "~" + a,
                             "-" + a,
                             "!" + a,
                             "@" + a,
                             "$" + a};
  for (const std::string& path : bad) {
    EXPECT_FALSE(Attach(Node(2700), {a, path}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE));
    EXPECT_TRUE(br.Error().starts_with("Cannot attach ")) << br.Error();
  }
  // A refused list writes nothing at all: an empty flow file alone would
  // make the mailer call the node, and a retry would send the good file twice.
  EXPECT_EQ(Tree(out), std::vector<std::string>{}) << "no flow file, no flag";
}

TEST_F(BrOutbound, CallerRules) {
  std::string a = File("a");
  EXPECT_TRUE(br.InitOutbound(nullptr, nullptr, nullptr));
  EXPECT_TRUE(br.SetOutboundBsy(nullptr, 0, 0));
  const char* files[] = {a.c_str()};
  EXPECT_TRUE(br.AttachFiles(Word(65534, 1), Word(2, 3), files, 0, 9, 9, 9));
  EXPECT_TRUE(br.AttachFiles(Word(2, 5020), Word(1, 0), nullptr, 5, 0, 0, 0));
  EXPECT_FALSE(br.AttachFiles(Word(2, 5020), Word(1, 0), files, -3, 0, 0, 0));
  EXPECT_EQ(br.Error(), "Invalid file count -3");
  EXPECT_FALSE(br.AttachFiles(Word(2, 5020), Word(65534, 0), files, 1, 0, 0, 0));
  EXPECT_TRUE(
      std::regex_match(br.Error(), std::regex(R"(Assertion failure \(Outbound, line \d+\))")))
      << br.Error();
  EXPECT_FALSE(br.AttachFiles(Word(2, 5020), Word(1, 0), files, 1, 5, 0, 0));
  EXPECT_EQ(br.Error(), "Unknown flavour 5");
  EXPECT_TRUE(br.FreeOutbound());
  EXPECT_FALSE(br.AttachFiles(Word(2, 5020), Word(1, 0), files, 1, 0, 0, 0));
  EXPECT_EQ(br.Error(), "Outbound not initialized");
}

TEST_F(BrOutbound, ProgressLinesFollowTheLogThatExistedFirst) {
  std::string a = File("a");
  const std::string second = dir / "second.log";
  InitBink();  // no log yet: this outbound never logs
  ASSERT_TRUE(br.InitLog(logName.c_str(), "test"));
  ASSERT_TRUE(Attach(Node(2800), {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, 0));
  EXPECT_EQ(LogTexts(ReadFile(logName)).size(), 1u);
  InitBink();  // made after the log: connected
  ASSERT_TRUE(Attach(Node(2800), {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, 0));
  EXPECT_EQ(LogTexts(ReadFile(logName)).size(), 2u);
  ASSERT_TRUE(br.InitLog(second.c_str(), "next"));
  ASSERT_TRUE(Attach(Node(2800), {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, 0));
  EXPECT_EQ(LogTexts(ReadFile(second)).back(), "+ Created Bink attach " + a + " to 2:5020/2800");
  ASSERT_TRUE(br.FreeLog());
  EXPECT_TRUE(Attach(Node(2800), {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, 0)) << br.Error();
  EXPECT_EQ(LogTexts(ReadFile(second)).size(), 2u);
}

TEST_F(BrOutbound, RescanThroughTheLibrary) {
  EXPECT_FALSE(br.RescanOutbound());
  EXPECT_EQ(br.Error(), "Outbound not initialized");
  InitBink();
  std::string a = File("a");
  ASSERT_TRUE(Attach(Node(2900), {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, 0));
  EXPECT_TRUE(br.RescanOutbound()) << br.Error();
  ASSERT_TRUE(br.SetMainAddr(nullptr));
  EXPECT_FALSE(br.RescanOutbound());
  EXPECT_TRUE(br.Error().find("no main address") != std::string::npos) << br.Error();
}

// Several processes attach to one node at once, each call three files. Every
// call either succeeds whole or is refused as busy; the flow file holds the
// lines of exactly the successful calls, each call's lines together and in
// order; no flag is left.
TEST_F(BrOutbound, ConcurrentProcessesNeverMixOrLoseLines) {
  using brnet::test::ChildProcess;
  constexpr int kProcs = 4, kCalls = 25;
  const brAddrRec node = Node(3000);
  std::vector<std::unique_ptr<ChildProcess>> callers;
  for (int p = 0; p < kProcs; ++p) {
    callers.push_back(std::make_unique<ChildProcess>(
        brnet::test::SiblingProgram("api_helper"),
        std::vector<std::string>{BRNET32_PATH, out, std::to_string(node.node), std::to_string(p),
                                 std::to_string(kCalls)},
        ChildProcess::Stdio::Pipes));
  }
  // All have loaded the library before any starts, so that they contend.
  for (auto& caller : callers) ASSERT_EQ(caller->ReadLine(), "ready");
  for (auto& caller : callers) caller->CloseStdin();
  std::map<std::string, int> expected;  // "/pP/cC" of each successful call
  int busy = 0;
  for (int p = 0; p < kProcs; ++p) {
    int calls = 0;
    for (std::string line; (line = callers[p]->ReadLine()) != ChildProcess::kEndOfOutput;) {
      std::istringstream in(line);
      std::string what;
      int c = -1;
      in >> what >> c;
      ASSERT_TRUE(what == "ok" || what == "busy") << "process " << p << ": " << line;
      EXPECT_EQ(c, calls++) << "process " << p;
      if (what == "ok") expected["/p" + std::to_string(p) + "/c" + std::to_string(c)] = 0;
      busy += what == "busy";
    }
    EXPECT_EQ(calls, kCalls) << "process " << p;
    EXPECT_EQ(callers[p]->Wait(), 0) << "process " << p;
  }
  std::istringstream flow(ReadFile(Out("139c0bb8.clo")));
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(flow, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), expected.size() * 3) << busy << " calls were busy";
  for (std::size_t i = 0; i < lines.size(); i += 3) {
    const std::string call = lines[i].substr(0, lines[i].rfind('/'));
    ASSERT_TRUE(expected.count(call)) << lines[i];
    EXPECT_EQ(++expected[call], 1) << "call listed twice: " << call;
    for (int f = 0; f < 3; ++f) EXPECT_EQ(lines[i + f], call + "/f" + std::to_string(f) + "\r");
  }
  std::string flags;  // a flag left behind, with its holder's note
  for (const std::string& name : Tree(out)) {
    if (name != BsoCase("139c0bb8.clo")) flags += name + ": " + ReadFile(Out(name)) + "\n";
  }
  EXPECT_EQ(Tree(out), (std::vector<std::string>{BsoCase("139c0bb8.clo")})) << flags;
  EXPECT_FALSE(SemaphoreHeld(node));
  RecordProperty("busy_calls", busy);
}

// Eight processes save netmail attaches into one base at once, most of them
// within the same second: tossers and dupe checkers take equal MSGIDs from
// one address for one message, so every serial must differ.
TEST_F(BrOutbound, ConcurrentNetmailSavesGetDistinctMsgIds) {
  using brnet::test::ChildProcess;
  constexpr int kProcs = 8, kCalls = 6;
  std::vector<std::unique_ptr<ChildProcess>> callers;
  for (int p = 0; p < kProcs; ++p) {
    callers.push_back(std::make_unique<ChildProcess>(
        brnet::test::SiblingProgram("api_helper"),
        std::vector<std::string>{BRNET32_PATH, netmail, "3100", std::to_string(p),
                                 std::to_string(kCalls), "netmail"},
        ChildProcess::Stdio::Pipes));
  }
  for (auto& caller : callers) ASSERT_EQ(caller->ReadLine(), "ready");
  for (auto& caller : callers) caller->CloseStdin();
  for (int p = 0; p < kProcs; ++p) {
    for (std::string line; (line = callers[p]->ReadLine()) != ChildProcess::kEndOfOutput;) {
      EXPECT_TRUE(line.starts_with("ok ")) << "process " << p << ": " << line;
    }
    EXPECT_EQ(callers[p]->Wait(), 0) << "process " << p;
  }
  std::map<std::string, std::string> serials;  // serial -> message file
  for (const std::string& name : Tree(netmail)) {
    if (!name.ends_with(".msg")) continue;
    const std::string text = ReadFile(netmail + "/" + name);
    const std::string kludge = "\x01MSGID: 2:5020/100 ";
    const std::size_t at = text.find(kludge);
    ASSERT_NE(at, std::string::npos) << name;
    const std::string serial = text.substr(at + kludge.size(), 8);
    const auto [it, fresh] = serials.emplace(serial, name);
    EXPECT_TRUE(fresh) << "MSGID serial " << serial << " in " << it->second << " and " << name;
  }
  EXPECT_EQ(serials.size(), static_cast<std::size_t>(kProcs * kCalls));
}

// A list with one bad entry among good ones, for each outbound type: the
// call fails and writes nothing at all (no flow file, box, message or flag),
// so that the caller's retry sends no file twice.
TEST_F(BrOutbound, ARefusedListWritesNothing) {
  ASSERT_TRUE(br.InitOutbound(netmail.c_str(), out.c_str(), boxes.c_str()));
  ASSERT_TRUE(br.SetOutboundBsy(nullptr, kBinkFlags, kBinkFlags));
  const std::string a = File("a.zip"), b = File("b.zip");
  std::filesystem::create_directories(dir / "tree/sub");
  WriteFile(dir / "tree/sub/x", "x");
  struct Case {
    uint8_t type;
    std::string bad;
    std::string error;
  } cases[] = {
      {BR_OUTB_BINK, "", "Cannot attach entry 2: the file name is empty"},
      {BR_OUTB_BINK, a + "\n" + b,
       "Cannot attach " + a + "\\n" + b + ": the path contains a line break"},
      {BR_OUTB_ARCMAIL, "", "Cannot attach entry 2: the file name is empty"},
      {BR_OUTB_ARCMAIL, dir / "my file.zip",
       "Cannot attach " + dir / "my file.zip" +
           ": a netmail attach names its files separated by blanks"},
      {BR_OUTB_FILEBOX, dir / "tree", "Cannot attach " + dir / "tree" + ": it is a directory"},
      {BR_OUTB_LONGFILEBOX, "", "Cannot attach entry 2: the file name is empty"},
  };
  for (const Case& c : cases) {
    for (uint8_t mode : {BR_SEND_NONE, BR_SEND_KILL}) {
      EXPECT_FALSE(Attach(Node(3200), {a, c.bad, b}, BR_FLAVOR_CRASH, c.type, mode));
      EXPECT_EQ(br.Error(), c.error);
    }
  }
  // A NULL entry reads as an empty name.
  const char* withNull[] = {a.c_str(), nullptr};
  const brAddrRec node = Node(3200);
  EXPECT_FALSE(br.AttachFiles(brZoneNet(&node), brNodePoint(&node), withNull, 2, BR_FLAVOR_CRASH,
                              BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(br.Error(), "Cannot attach entry 2: the file name is empty");
  EXPECT_EQ(Tree(out), std::vector<std::string>{});
  EXPECT_EQ(Tree(boxes), std::vector<std::string>{});
  EXPECT_EQ(Tree(netmail), std::vector<std::string>{});
  EXPECT_TRUE(std::filesystem::exists(dir / "tree/sub/x")) << "no directory was moved";
  EXPECT_TRUE(std::filesystem::exists(a));
  EXPECT_FALSE(SemaphoreHeld(node));
}

TEST_F(BrOutbound, NegativeCountIsRefused) {
  InitBink();
  const std::string a = File("a.zip");
  const char* files[] = {a.c_str()};
  EXPECT_FALSE(br.AttachFiles(Word(2, 5020), Word(3210, 0), files, -1, BR_FLAVOR_CRASH,
                              BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(br.Error(), "Invalid file count -1");
  EXPECT_EQ(Tree(out), std::vector<std::string>{});
}

// An outbound type whose directory was never given writes nowhere: not at
// the file-system root, not in the current directory.
TEST_F(BrOutbound, TypeWithoutDirectoryIsRefused) {
  brnet::test::CurrentDir cwd(dir.Path());
  const std::string a = File("a.zip");
  ASSERT_TRUE(br.InitOutbound(nullptr, nullptr, nullptr));
  ASSERT_TRUE(br.SetOutboundBsy(nullptr, 0, 0));
  EXPECT_FALSE(Attach(Node(3220), {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(br.Error(), "Cannot attach: no Bink outbound directory is set");
  EXPECT_FALSE(Attach(Node(3220), {a}, BR_FLAVOR_NORMAL, BR_OUTB_FILEBOX, BR_SEND_KILL));
  EXPECT_EQ(br.Error(), "Cannot attach: no file-box directory is set");
  EXPECT_FALSE(Attach(Node(3220), {a}, BR_FLAVOR_NORMAL, BR_OUTB_LONGFILEBOX, BR_SEND_NONE));
  EXPECT_EQ(br.Error(), "Cannot attach: no file-box directory is set");
  EXPECT_FALSE(Attach(Node(3220), {a}, BR_FLAVOR_NORMAL, BR_OUTB_ARCMAIL, BR_SEND_NONE));
  EXPECT_EQ(br.Error(), "Invalid netmail path");
  EXPECT_EQ(Tree(dir.Path()), std::vector<std::string>{"a.zip"});
}

// 65535 in the record is a part not given: such a destination names no
// node that anybody typed (it became OUT.ffff/ffffffff.flo).
TEST_F(BrOutbound, DestinationWithoutZoneNetOrNodeIsRefused) {
  InitBink();
  const std::string a = File("a.zip");
  brAddrRec empty{};
  ASSERT_TRUE(br.ParseAddr("", &empty));
  EXPECT_FALSE(Attach(empty, {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(br.Error(),
            "Cannot attach to -1:-1/-1: the destination's zone, net and node must be given");
  EXPECT_FALSE(Attach(brAddrRec{2, 5020, 65535, 0}, {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, 0));
  EXPECT_FALSE(Attach(brAddrRec{2, 65535, 1, 0}, {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, 0));
  EXPECT_FALSE(Attach(brAddrRec{65535, 5020, 1, 0}, {a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, 0));
  EXPECT_EQ(Tree(dir.Path()), (std::vector<std::string>{"a.zip", "out/"}));
}

// A flow file written by a script or by hand may lack the line end after
// its last line: ours starts on a line of its own.
TEST_F(BrOutbound, UnterminatedFlowFileGetsALineEndFirst) {
  InitBink();
  const std::string a = File("a.zip");
  std::filesystem::create_directories(out);
  WriteFile(Out("139c0c80.flo"), "/files/nodelist.zip");
  WriteFile(Out("139c0c81.flo"), "/files/unix.zip\n");
  WriteFile(Out("139c0c82.flo"), "");
  for (uint16_t node : {3200, 3201, 3202}) {
    ASSERT_TRUE(Attach(Node(node), {a, a}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, BR_SEND_KILL));
  }
  const std::string ours = "^" + a + "\r\n^" + a + "\r\n";
  EXPECT_EQ(ReadFile(Out("139c0c80.flo")), "/files/nodelist.zip\r\n" + ours);
  EXPECT_EQ(ReadFile(Out("139c0c81.flo")), "/files/unix.zip\n" + ours);
  EXPECT_EQ(ReadFile(Out("139c0c82.flo")), ours);
}

// Point and zone directories come with the flow file, whatever busy flags
// are raised (a Bink flag used to be the only thing that made them).
TEST_F(BrOutbound, FlowFileGetsItsPointAndZoneDirectories) {
  const std::string a = File("a.zip");
  const std::string flags = dir / "flags";
  for (uint8_t set : {uint8_t{BR_BSY_NORMAL}, uint8_t{BR_BSY_SEMAPHORE}, uint8_t{0}}) {
    ASSERT_TRUE(br.InitOutbound(nullptr, out.c_str(), nullptr));
    ASSERT_TRUE(br.SetOutboundBsy(flags.c_str(), set, set));
    EXPECT_TRUE(Attach(Node(3230, 5), {a}, BR_FLAVOR_HOLD, BR_OUTB_BINK, 0)) << br.Error();
    EXPECT_TRUE(Attach(Node(3230, 0, 3), {a}, BR_FLAVOR_HOLD, BR_OUTB_BINK, 0)) << br.Error();
    EXPECT_TRUE(Attach(Node(3230, 6, 4), {a}, BR_FLAVOR_HOLD, BR_OUTB_BINK, 0)) << br.Error();
  }
  const std::string line = a + "\r\n";
  EXPECT_EQ(ReadFile(Out("139c0c9e.pnt/00000005.hlo")), line + line + line);
  EXPECT_EQ(ReadFile(dir / BsoCase("out.003/139c0c9e.hlo")), line + line + line);
  EXPECT_EQ(ReadFile(dir / BsoCase("out.004/139c0c9e.pnt/00000006.hlo")), line + line + line);
}

// A Bink outbound whose caller never chose busy flags takes the .bsy flags
// every BSO mailer honours; a choice of none stays none.
TEST_F(BrOutbound, BinkOutboundDefaultsToBinkFlags) {
  const std::string a = File("a.zip");
  ASSERT_TRUE(br.InitOutbound(nullptr, out.c_str(), nullptr));
  std::filesystem::create_directories(out);
  WriteFile(Out("139c0ca8.bsy"), "");  // the mailer is in a session with 2:5020/3240
  EXPECT_FALSE(Attach(Node(3240), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, 0));
  EXPECT_EQ(br.Error(), "Node 2:5020/3240 is busy");
  EXPECT_TRUE(Attach(Node(3241), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, 0)) << br.Error();
  EXPECT_EQ(Tree(out), (std::vector<std::string>{BsoCase("139c0ca8.bsy"), BsoCase("139c0ca9.clo")}))
      << "our own flag came and went";
  ASSERT_TRUE(br.SetOutboundBsy(nullptr, 0, 0));
  EXPECT_TRUE(Attach(Node(3240), {a}, BR_FLAVOR_CRASH, BR_OUTB_BINK, 0)) << "none was chosen";
}

}  // namespace
