// drop and reflavour killed (SIGKILL) right after each system call in
// turn, in a child process: every entry is afterwards queued exactly once
// (a dropped one at most once; a moved one at least once and at most
// twice), the lines binkd marked as sent are still there, every line of
// every flow file is whole, no flow file is left empty (binkd would take it
// for a poll), and a box file is in exactly one box; a file dropped before
// and a box that is a link are left alone. A failing step of a flow file's
// rewrite keeps the old file and names it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "msgbase/MsgBase.h"
#include "outbound/OutbEdit.h"
#include "support/posix/SyscallFaults.h"
#include "sys/posix/Syscalls.h"

namespace brnet {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// Kills this process right after the N-th system call of the table.
int callsLeft = 0;
void Counted() {
  if (--callsLeft == 0) ::kill(::getpid(), SIGKILL);
}
const sys::posix::SyscallTable& Real() {
  return sys::posix::SystemSyscalls();
}
void KillAfter(int n) {
  callsLeft = n;
  auto& t = sys::posix::Syscalls();
  t.open = [](const char* p, int f, mode_t m) {
    const int r = Real().open(p, f, m);
    return Counted(), r;
  };
  t.openat = [](int d, const char* p, int f, mode_t m) {
    const int r = Real().openat(d, p, f, m);
    return Counted(), r;
  };
  t.close = [](int fd) {
    const int r = Real().close(fd);
    return Counted(), r;
  };
  t.read = [](int fd, void* b, std::size_t n) {
    const ssize_t r = Real().read(fd, b, n);
    return Counted(), r;
  };
  t.write = [](int fd, const void* b, std::size_t n) {
    const ssize_t r = Real().write(fd, b, n);
    return Counted(), r;
  };
  t.ftruncate = [](int fd, off_t s) {
    const int r = Real().ftruncate(fd, s);
    return Counted(), r;
  };
  t.fsync = [](int fd) {
    const int r = Real().fsync(fd);
    return Counted(), r;
  };
  t.linkat = [](int a, const char* b, int c, const char* d, int e) {
    const int r = Real().linkat(a, b, c, d, e);
    return Counted(), r;
  };
  t.renameat2 = [](int a, const char* b, int c, const char* d, unsigned e) {
    const int r = Real().renameat2(a, b, c, d, e);
    return Counted(), r;
  };
  t.unlinkat = [](int d, const char* p, int f) {
    const int r = Real().unlinkat(d, p, f);
    return Counted(), r;
  };
  t.mkdirat = [](int d, const char* p, mode_t m) {
    const int r = Real().mkdirat(d, p, m);
    return Counted(), r;
  };
}

// The queue before: flow files of three flavours with a line binkd marked
// as sent and a blank one (nothing to binkd), and a file in the plain and
// one in the hold box.
const std::map<std::string, std::vector<std::string>> kFlow = {
    {"139c04d2.flo", {"~/done/sent.zip", "/q/a.zip", "^/q/b.zip", "/q/keep.txt"}},
    {"139c04d2.hlo", {"/q/h1.zip", " \t", "#/q/h2.zip"}},
    {"139c04d2.clo", {"/q/c1.zip"}},
};
const std::vector<std::string> kTaken = {"/q/a.zip", "^/q/b.zip", "/q/h1.zip", "#/q/h2.zip",
                                         "/q/c1.zip"};
const std::vector<std::string> kKept = {"~/done/sent.zip", "/q/keep.txt"};

struct Op {
  const char* name;
  bool move;  // reflavour: entries may be in two places, never in none
  void (*run)(const std::string& out, const std::string& boxes, TMsgBase& netmail);
};

const TFidoAddr kNode = TFidoAddr::CreateFromText("2:5020/1234", false);
bool Zip(const std::string& path) {
  return path.ends_with(".zip") || path.ends_with(".bin");
}

const std::vector<Op> kOps = {
    {"drop", false,
     [](const std::string& out, const std::string& boxes, TMsgBase& netmail) {
       DropFlowEntries(kNode, out, std::nullopt, Zip, false);
       DropBoxEntries(kNode, boxes, std::nullopt, Zip, false);
       DropNetmailEntries(kNode, netmail, std::nullopt, Zip, false);
     }},
    {"reflavour", true,
     [](const std::string& out, const std::string& boxes, TMsgBase& netmail) {
       // Crash entries stay; the box file moves from the hold box to the plain one.
       ReflavourFlowEntries(kNode, out, std::nullopt, flCrash, Zip, false);
       ReflavourBoxEntries(kNode, boxes, std::nullopt, flNormal, Zip, false);
       ReflavourNetmailEntries(kNode, netmail, std::nullopt, flCrash, Zip, false);
     }},
};

class EditKill : public ::testing::Test {
 protected:
  void SetUp() override {
    main_ = TFidoAddr::CreateFromText("2:5020/100", false);
    SetMainAddressRef(&main_);
  }
  void TearDown() override { SetMainAddressRef(nullptr); }

  void Lay(const std::string& out, const std::string& boxes) {
    fs::remove_all(out);
    fs::remove_all(boxes);
    fs::create_directories(out);
    fs::create_directories(boxes + "024SS16I.00H");
    fs::create_directories(boxes + "024SS16I.00");
    for (const auto& [name, lines] : kFlow) {
      std::string text;
      for (const std::string& line : lines) text += line + "\r\n";
      WriteFile(out + name, text);
    }
    WriteFile(boxes + "024SS16I.00/x.bin", "x");
    WriteFile(boxes + "024SS16I.00H/y.bin", "y");
    // Dropped by an earlier run; and the long-form box a link to elsewhere.
    WriteFile(boxes + "024SS16I.00/.z.bin", "z");
    fs::remove_all(Elsewhere());
    fs::create_directories(Elsewhere());
    WriteFile(Elsewhere() + "w.bin", "w");
    fs::create_directory_symlink(Elsewhere(), LongBox(boxes));
    fs::remove_all(Netmail());
    fs::create_directories(Netmail());
    TMsgBase base;
    base.SetPathName(Netmail());
    base.Open();
    TMailMsg& msg = base.New();
    msg.FromAddr = main_;
    msg.ToAddr = kNode;
    msg.SetSubject("/q/m.zip");
    msg.Attributes = TMsgAttrs{maPrivate, maFileAttached, maLocal, maHold};
    base.Save();
  }
  std::string Netmail() const { return tmp_.Path() + "/netmail/"; }
  std::string Elsewhere() const { return tmp_.Path() + "/elsewhere/"; }
  static std::string LongBox(const std::string& boxes) {
    std::string box = FileBoxDirName(kNode, boxes, flNormal, true);
    while (box.ends_with('/')) box.pop_back();
    return box;
  }

  // The attach messages to the node, each read whole: hold, crash or other.
  std::map<std::string, int> Messages() {
    std::map<std::string, int> flavours;
    TMsgBase base;
    base.SetPathName(Netmail());
    base.Open();
    while (!base.AtEnd()) {
      const TMailMsg& msg = base.Next();
      EXPECT_EQ(msg.Subject(), "/q/m.zip");
      ++flavours[msg.Attributes.Contains(maHold)    ? "hold"
                 : msg.Attributes.Contains(maCrash) ? "crash"
                                                    : "other"];
    }
    return flavours;
  }

  // How often each line is queued; a line nobody wrote fails at once.
  std::map<std::string, int> Queued(const std::string& out) {
    std::map<std::string, int> count;
    for (const auto& e : fs::directory_iterator(out)) {
      const std::string name = e.path().filename().string();
      if (name.size() < 4 || name.substr(name.size() - 2) != "lo") continue;
      const std::string text = ReadFile(e.path().string());
      EXPECT_TRUE(text.ends_with("\r\n")) << name << " is empty or ends in a torn line";
      std::size_t start = 0;
      for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos;
           start = end + 2) {
        const std::string line = text.substr(start, end - start);
        if (line == " \t") continue;
        const bool known = std::count(kTaken.begin(), kTaken.end(), line) +
                                   std::count(kKept.begin(), kKept.end(), line) >
                               0 ||
                           line == alsoKnown_;
        EXPECT_TRUE(known) << "torn or strange line \"" << line << "\" in " << name;
        ++count[line];
      }
    }
    return count;
  }

  TFidoAddr main_;
  test::TempDir tmp_;
  std::string alsoKnown_;  // a line an edit may write besides those above
};

TEST_F(EditKill, EveryEntryInOnePlaceAfterAKillAtAnyStep) {
  const std::string out = tmp_.Path() + "/out/";
  const std::string boxes = tmp_.Path() + "/boxes/";
  for (const Op& op : kOps) {
    bool finished = false;
    for (int n = 1; !finished && n < 400; ++n) {
      SCOPED_TRACE(std::string(op.name) + " killed after system call " + std::to_string(n));
      Lay(out, boxes);
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        TMsgBase netmail;
        netmail.SetPathName(Netmail());
        netmail.Open();
        KillAfter(n);
        op.run(out, boxes, netmail);
        ::_exit(0);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      finished = WIFEXITED(status);
      ASSERT_TRUE(finished || (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL));
      if (finished) {
        ASSERT_EQ(WEXITSTATUS(status), 0);
      }

      const std::map<std::string, int> queued = Queued(out);
      auto times = [&](const std::string& line) {
        const auto it = queued.find(line);
        return it == queued.end() ? 0 : it->second;
      };
      for (const std::string& line : kKept) EXPECT_EQ(times(line), 1) << line;
      for (const std::string& line : kTaken) {
        const int t = times(line);
        // Crash entries are where they go already.
        const bool stays = op.move && line == "/q/c1.zip";
        const int least = stays || op.move ? 1 : 0;
        const int most = stays || !op.move || finished ? 1 : 2;
        EXPECT_TRUE(t >= least && t <= most) << line << " queued " << t << " times";
        if (finished && !op.move) {
          EXPECT_EQ(t, 0) << line;
        }
      }
      // Each box file in exactly one place: its box, the other box, or
      // (dropped) under a dot-name beside it.
      for (const char* name : {"x.bin", "y.bin"}) {
        int places = 0;
        for (const char* dir : {"024SS16I.00/", "024SS16I.00H/"}) {
          places += fs::exists(boxes + dir + name) + fs::exists(boxes + dir + "." + name);
        }
        EXPECT_EQ(places, 1) << name;
      }
      EXPECT_EQ(ReadFile(boxes + "024SS16I.00/.z.bin"), "z") << "a dropped file was taken again";
      EXPECT_EQ(test::Tree(Elsewhere()), std::vector<std::string>{"w.bin"}) << "through a link";
      // The message is whole, once, in its old or its new flavour; dropped,
      // it is gone only when the drop finished.
      const std::map<std::string, int> messages = Messages();
      int total = 0;
      for (const auto& [flavour, n] : messages) total += n;
      EXPECT_EQ(total, op.move ? 1 : (finished ? 0 : total <= 1 ? total : -1)) << "messages";
      if (finished && op.move) {
        EXPECT_EQ(messages.count("crash"), 1u);
      }
      if (finished) {
        EXPECT_TRUE(fs::exists(boxes + (op.move ? "024SS16I.00/y.bin" : "024SS16I.00/.x.bin")));
        // Nothing live left in it: the hold flow file is gone, not left blank.
        EXPECT_FALSE(fs::exists(out + "139c04d2.hlo"));
      }
    }
    EXPECT_TRUE(finished) << op.name << " did not finish within 400 system calls";
  }
}

// A step of a flow file's rewrite fails (the data never reached the disk,
// the disk is full, the rename is refused): the old flow file stays as it
// was, no temporary file is left, and the error names the file.
TEST_F(EditKill, AFailingRewriteKeepsTheOldFlowFile) {
  using test::Call;
  const std::string out = tmp_.Path() + "/out/";
  const std::string before = "~/done/sent.zip\r\n/q/a.zip\r\n/q/keep.txt\r\n";
  const std::vector<std::pair<const char*, void (*)(const std::string&)>> edits = {
      {"drop", [](const std::string& o) { DropFlowEntries(kNode, o, std::nullopt, Zip, false); }},
      {"reflavour",
       [](const std::string& o) {
         ReflavourFlowEntries(kNode, o, std::nullopt, flCrash, Zip, false);
       }},
  };
  const std::vector<std::pair<Call, int>> failures = {
      {Call::kFsync, EIO}, {Call::kWrite, ENOSPC}, {Call::kRenameAt2, EACCES}};
  for (const auto& [name, edit] : edits) {
    for (const auto& [call, err] : failures) {
      SCOPED_TRACE(std::string(name) + " with " + test::CallName(call) + " failing");
      fs::remove_all(out);
      fs::create_directories(out);
      WriteFile(out + "139c04d2.flo", before);
      std::string error;
      {
        test::SyscallFaults faults;
        faults.FailAlways(call, err);
        try {
          edit(out);
        } catch (const Exception& e) {
          error = e.what();
        }
        EXPECT_TRUE(faults.Fired());
      }
      EXPECT_NE(error.find(out), std::string::npos) << "error: " << error;
      EXPECT_NE(error.find("139c04d2."), std::string::npos) << "error: " << error;
      EXPECT_EQ(test::Tree(out), std::vector<std::string>{"139c04d2.flo"});
      EXPECT_EQ(ReadFile(out + "139c04d2.flo"), before);
    }
  }
}

// move to another node killed after each system call in turn: every
// entry is queued for one node or for both, never for neither, and once the
// move has finished for the other node only; the packet, which the other
// node has one of already, and each box file are in exactly one place.
TEST_F(EditKill, MoveKeepsEveryEntryQueuedAfterAKillAtAnyStep) {
  const std::string out = tmp_.Path() + "/out/", boxes = tmp_.Path() + "/boxes/";
  const TFidoAddr other = TFidoAddr::CreateFromText("2:5020/1235", false);
  alsoKnown_ = "^" + out + "139c04d3-1.pkt";
  const TEntryFilter take = [](const std::string& p) { return Zip(p) || p.ends_with(".out"); };
  bool finished = false;
  for (int n = 1; !finished && n < 400; ++n) {
    SCOPED_TRACE("move killed after system call " + std::to_string(n));
    Lay(out, boxes);
    WriteFile(out + "139c04d2.out", "ours");
    WriteFile(out + "139c04d3.out", "theirs");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TMsgBase netmail;
      netmail.SetPathName(Netmail());
      netmail.Open();
      KillAfter(n);
      MoveBsoEntries(BinkBasePath(kNode, out), BinkBasePath(other, out), take, true, false);
      MoveBoxEntries(kNode, other, boxes, take, false);
      MoveNetmailEntries(kNode, other, netmail, take, false);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const std::map<std::string, int> queued = Queued(out);
    for (const std::string& line : kKept) EXPECT_EQ(queued.count(line) ? queued.at(line) : 0, 1);
    for (const std::string& line : kTaken) {
      const int t = queued.count(line) ? queued.at(line) : 0;
      EXPECT_TRUE(t >= 1 && t <= (finished ? 1 : 2)) << line << " queued " << t << " times";
    }
    const bool home = ReadFile(out + "139c04d2.out") == "ours";
    const bool beside = ReadFile(out + "139c04d3-1.pkt") == "ours";
    EXPECT_NE(home, beside) << "the packet is in one place";
    EXPECT_EQ(ReadFile(out + "139c04d3.out"), "theirs");
    // Beside the other's packet it is sent through its line, written first.
    if (beside) {
      EXPECT_EQ(queued.count(alsoKnown_) ? queued.at(alsoKnown_) : 0, 1);
    }
    for (const char* name : {"x.bin", "y.bin"}) {
      int places = 0;
      for (const TFidoAddr& node : {kNode, other}) {
        for (TOutbFlavor f : {flNormal, flHold}) {
          places += fs::exists(FileBoxDirName(node, boxes, f, false) + name);
        }
      }
      EXPECT_EQ(places, 1) << name;
    }
    EXPECT_EQ(Messages(), (std::map<std::string, int>{{"hold", 1}})) << "the message, whole";
    if (finished) continue;
    // Run again, the move leaves each entry once.
    MoveBsoEntries(BinkBasePath(kNode, out), BinkBasePath(other, out), take, true, false);
    for (const auto& [line, times] : Queued(out)) {
      EXPECT_EQ(times, 1) << line << " after a rerun";
    }
  }
  TMsgBase base;
  base.SetPathName(Netmail());
  base.Open();
  EXPECT_EQ(base.Next().ToAddr->ToString(), "2:5020/1235");
  EXPECT_TRUE(finished) << "move did not finish within 400 system calls";
  EXPECT_TRUE(fs::exists(FileBoxDirName(other, boxes, flHold, false) + "y.bin"));
}

}  // namespace
}  // namespace brnet
