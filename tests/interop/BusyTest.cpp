// Busy flags both ways: binkd's sessions keep our attaches out, our lock
// keeps binkd away, and attaching while binkd sessions come and go loses
// nothing and delivers nothing twice.
#include <atomic>
#include <filesystem>
#include <thread>

#include "Peers.h"

namespace brnet::interop {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

using Busy = Peers;

const std::string kBusyText = "Node 2:5020/1234 is busy";

// Counts the lines of LOG that contain TEXT.
int CountLines(const std::string& log, const std::string& text) {
  int n = 0;
  for (std::size_t p = log.find(text); p != std::string::npos; p = log.find(text, p + 1)) ++n;
  return n;
}

// A binkd session that sends a big file slowly, so that it lasts seconds.
// While it runs, neither the library nor the plug-in may write anything for
// the node, and both say why; afterwards the attach goes through.
class SlowSession : public Busy {
 protected:
  void SetUp() override {
    Busy::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Variant("a-slow", "a", "limit-rate all 100k *");
    ASSERT_TRUE(InitBink()) << LastError();
    ConfigurePlugin("Bink", A("OUT"));
    big_ = MakeFile("big.bin", 300000);
    ASSERT_TRUE(Attach("2:5020/1234", {big_}, BR_FLAVOR_HOLD)) << LastError();
  }

  // With binkd in a session with 2:5020/1234 (its .bsy there): both roads
  // refuse, and nothing of theirs reaches the outbound.
  void RefusedWhileBinkdHoldsTheNode() {
    const std::string bsy = A("OUT/139c04d2.bsy");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(bsy); }, 10)) << "binkd raised no busy flag";
    const std::string hold = ReadFile(A("OUT/139c04d2.hlo"));
    const std::string viaLib = MakeFile("refused by library.bin");
    EXPECT_FALSE(Attach("2:5020/1234", {viaLib}, BR_FLAVOR_CRASH));
    EXPECT_EQ(LastError(), kBusyText);
    const std::string viaPlugin = MakeFile("refused by plugin.bin");
    const RunResult r = PluginAttach({viaPlugin}, "2:5020/1234", "Normal", true);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(kBusyText), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(viaPlugin)) << "a refused kill-sent attach must keep the file";
    // Still within binkd's session, so the refusals were its doing.
    EXPECT_TRUE(fs::exists(bsy)) << "the session ended too early to tell";
    // Neither a flow file of their flavours (Crash, Normal) nor a line.
    EXPECT_EQ(FlowFiles(), std::vector<std::string>{A("OUT/139c04d2.hlo")});
    EXPECT_EQ(ReadFile(A("OUT/139c04d2.hlo")), hold);
  }

  void AfterTheSession() {
    EXPECT_TRUE(Arrived("big.bin"));
    EXPECT_EQ(Inbound(), std::vector<std::string>{"big.bin"});
    EXPECT_EQ(FlagsLeft(), std::vector<std::string>{});
    const std::string later = MakeFile("later.bin");
    EXPECT_TRUE(Attach("2:5020/1234", {later}, BR_FLAVOR_NORMAL)) << LastError();
    Session("b", "a");
    EXPECT_TRUE(Arrived("later.bin"));
    EXPECT_EQ(FlagsLeft(), std::vector<std::string>{});
  }

  // A binkd answering with SERVER's configuration and one calling ADDRESS
  // with CALLER's, our attaches tried while the session lasts.
  void SlowCall(const std::string& server, const std::string& address, const std::string& caller) {
    auto answering = Serve(server);
    Child client({"binkd", "-p", "-q", "-P", address, Cfg(caller)}, 60,
                 LogTo(Root() + "/binkd-console.log"));
    RefusedWhileBinkdHoldsTheNode();
    EXPECT_TRUE(client.Wait(60));
    WaitSessionsOver(*answering);
    answering->Stop();
    AfterTheSession();
  }

  std::string big_;
};

// binkd calls the node (-P, since only hold mail waits).
TEST_F(SlowSession, OurCallKeepsAttachesOut) {
  SlowCall("b", "2:5020/1234", "a-slow");
}

// The node calls us and binkd answers, sending what we hold for it.
TEST_F(SlowSession, TheNodesCallKeepsAttachesOut) {
  SlowCall("a-slow", "2:5020/100", "b");
}

// A second program of ours holds the node (the lock the attach takes,
// held until its stdin closes): binkd neither calls the node nor accepts
// its call; once the lock is gone, everything goes.
TEST_F(Busy, OurLockKeepsBinkdAway) {
  ASSERT_TRUE(InitBink()) << LastError();
  ASSERT_TRUE(Attach("2:5020/1234", {MakeFile("normal.bin")}, BR_FLAVOR_NORMAL)) << LastError();
  ASSERT_TRUE(Attach("2:5020/1234", {MakeFile("hold.bin")}, BR_FLAVOR_HOLD)) << LastError();
  auto queue = [&] {
    std::map<std::string, std::string> flows;
    for (const auto& f : FlowFiles()) flows[f] = ReadFile(f);
    return flows;
  };
  const auto queued = queue();

  Child::Io io = LogTo(Root() + "/helper.log");
  io.talk = true;
  const std::string flags = std::to_string(BR_BSY_BINK | BR_BSY_SEMAPHORE);
  Child helper(
      {BUSY_HELPER_PATH, A("OUT/"), Root() + "/flags/", flags, flags, "2:5020/1234", "2:5020/100"},
      120, io);
  ASSERT_EQ(helper.ReadLine(10), "locked");
  // binkd honours only the lower-case name on Linux.
  EXPECT_TRUE(fs::exists(A("OUT/139c04d2.bsy")));

  Session("b", "a");
  PeerCallsUs("b");
  EXPECT_TRUE(Inbound().empty());
  const std::string logA = ReadFile(A("binkd.log"));
  EXPECT_EQ(logA.find("call to 2:5020/1234@"), std::string::npos) << "binkd called a busy node";
  EXPECT_NE(logA.find("busy"), std::string::npos) << "the node's call was not refused as busy";
  // Our own attach is refused as well, by the helper's flag.
  EXPECT_FALSE(Attach("2:5020/1234", {MakeFile("meanwhile.bin")}, BR_FLAVOR_NORMAL));
  EXPECT_EQ(LastError(), kBusyText);

  helper.CloseInput();
  EXPECT_EQ(helper.ReadLine(10), "unlocked");
  EXPECT_TRUE(helper.Wait(10));
  EXPECT_EQ(queue(), queued);
  EXPECT_EQ(FlagsLeft(), std::vector<std::string>{});

  Session("b", "a");
  EXPECT_TRUE(Arrived("normal.bin"));
  EXPECT_TRUE(Arrived("hold.bin"));
  EXPECT_EQ(Inbound().size(), 2u);
  EXPECT_EQ(FlowFiles(), std::vector<std::string>{});
  EXPECT_EQ(FlagsLeft(), std::vector<std::string>{});
}

// Attaches, one after another, while two loops of binkd sessions run with
// the same node (A calling it, and it calling A): every attach either goes
// through or says the node is busy; afterwards every file that went through
// has arrived exactly once, and no refused file has.
TEST_F(Busy, AttachesWhileSessionsComeAndGo) {
  ASSERT_TRUE(InitBink()) << LastError();
  ConfigurePlugin("Bink", A("OUT"));
  auto serverA = Serve("a");
  auto serverB = Serve("b");
  std::atomic<bool> stop = false;
  std::atomic<int> calls = 0;
  auto loop = [&](const std::string& cfg, std::vector<std::string> args) {
    while (!stop) {
      Call(cfg, args);
      ++calls;
    }
  };
  std::thread weCall(loop, "a", std::vector<std::string>{});
  std::thread theyCall(loop, "b", std::vector<std::string>{"-P", "2:5020/100"});

  struct Attached {
    std::string name, path;
    int mode;
  };
  std::vector<Attached> accepted;
  std::vector<std::string> refused;
  const char* const plugFlavours[] = {"Hold", "Normal", "Direct"};
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; std::chrono::steady_clock::now() - start < std::chrono::seconds(12); ++i) {
    const std::string name = "c" + std::to_string(i) + (i % 2 ? " x.bin" : ".bin");
    const std::string path = MakeFile(name, 1000 + i);
    bool ok = false;
    int mode = i % 3;
    std::string why;
    if (i % 5 == 4) {  // every fifth through the plug-in
      mode = i % 2 ? BR_SEND_KILL : BR_SEND_NONE;
      const RunResult r =
          PluginAttach({path}, "2:5020/1234", plugFlavours[(i / 5) % 3], mode == BR_SEND_KILL);
      ok = r.status == 0;
      why = r.out;
    } else {
      ok = Attach("2:5020/1234", {path}, i % 5, BR_OUTB_BINK, mode);
      why = LastError();
    }
    if (ok) {
      accepted.push_back({name, path, mode});
    } else {
      EXPECT_NE(why.find(kBusyText), std::string::npos) << name << ": " << why;
      refused.push_back(name);
    }
    SleepSeconds(0.02);
  }
  stop = true;
  weCall.join();
  theyCall.join();

  // Whatever is still queued (hold mail too) goes on the calls that follow.
  for (int round = 0; round < 10 && !FlowFiles().empty(); ++round) {
    SleepSeconds(1.1);  // a refused call holds the node for a second
    Call("a", {"-P", "2:5020/1234"});
  }
  WaitSessionsOver(*serverA);
  WaitSessionsOver(*serverB);
  serverA->Stop();
  serverB->Stop();

  std::cout << "[ info     ] " << calls << " binkd calls; " << accepted.size()
            << " attaches went through, " << refused.size() << " were refused as busy\n";
  EXPECT_FALSE(accepted.empty());
  EXPECT_FALSE(refused.empty()) << "no attach met a session: the test proved nothing";
  std::vector<std::string> expected;
  for (const auto& a : accepted) {
    expected.push_back(a.name);
    EXPECT_TRUE(Arrived(a.name));
    if (a.mode == BR_SEND_KILL) {
      EXPECT_FALSE(fs::exists(a.path)) << a.name;
    } else if (a.mode == BR_SEND_TRUNC) {
      EXPECT_EQ(fs::file_size(a.path), 0u) << a.name;
    }
  }
  std::sort(expected.begin(), expected.end());
  // Exactly once: a second copy would be stored under another name.
  EXPECT_EQ(Inbound(), expected);
  const std::string logA = ReadFile(A("binkd.log"));
  for (const auto& a : accepted) {
    EXPECT_EQ(CountLines(logA, "sent: " + a.path + " ("), 1) << a.name;
  }
  for (const auto& name : refused) EXPECT_TRUE(fs::exists(A("files/" + name))) << name;
  EXPECT_EQ(FlagsLeft(), std::vector<std::string>{});
}

}  // namespace
}  // namespace brnet::interop
