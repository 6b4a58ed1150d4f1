// brnet managing node A's outbound beside binkd: each case runs brnet
// commands, lets A's binkd make the calls its queue asks for, and judges by
// what B logged and received; then brnet against a node binkd is in a
// session with, which every command must refuse without a change.
#include <algorithm>
#include <filesystem>

#include "Peers.h"

namespace brnet::interop {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

struct Cmd {
  std::vector<std::string> args;  // after "brnet"; "rm NAME" deletes A/files/NAME
  int status = 0;
};
struct Round {
  std::vector<Cmd> cmds;
  bool called;                      // B logged a session with A
  std::vector<std::string> sent;    // arrived in B's inbound
  std::vector<std::string> unsent;  // did not
};
struct Case {
  const char* name;
  std::vector<std::pair<std::string, std::string>> attach;  // file, flavour
  std::vector<Round> rounds;
  std::string request = {};  // a request file B must have received with this line
};

const std::vector<Case> kCases = {
    {"poll makes binkd call; a hold poll is refused",
     {},
     {{{{{"poll", "-f", "hold", "2:5020/1234"}, 2}}, false, {}, {}},
      {{{{"poll", "2:5020/1234"}}}, true, {}, {}}}},
    {"a request reaches the peer with its poll",
     {},
     {{{{{"request", "2:5020/1234", "FILES !pw", "NODELIST.*"}}}, true, {}, {}}},
     "FILES !pw"},
    {"a node held for an hour is not called, and is after unhold",
     {{"held.bin", "normal"}},
     {{{{{"hold", "2:5020/1234", "--for", "1h"}}}, false, {}, {"held.bin"}},
      {{{{"unhold", "2:5020/1234"}}}, true, {"held.bin"}, {}}}},
    {"dropped entries are not sent, the rest are",
     {{"keep.txt", "normal"},
      {"drop1.bin", "normal"},
      {"drop2.bin", "crash"},
      {"gone.bin", "normal"}},
     {{{{{"rm", "gone.bin"}},
        {{"drop", "2:5020/1234", "drop*"}},
        {{"drop", "2:5020/1234", "--missing"}},
        {{"drop", "2:5020/1234", "nothing-like-this"}, 1}},
       true,
       {"keep.txt"},
       {"drop1.bin", "drop2.bin", "gone.bin"}}}},
    {"hold becomes crash and is sent",
     {{"hold.bin", "hold"}},
     {{{}, false, {}, {"hold.bin"}},
      {{{{"reflavour", "2:5020/1234", "crash", "hold.*"}}}, true, {"hold.bin"}, {}}}},
};

class BrnetManages : public Peers {
 protected:
  RunResult Brnet(std::vector<std::string> args) {
    const std::map<std::string, std::string> env = {{"XDG_CONFIG_HOME", Root() + "/config"},
                                                    {"BRNET_BINKD_CFG", ""}};
    args.insert(args.begin() + 1, {"-c", Cfg("a")});
    args.insert(args.begin(), BRNET_PATH);
    return RunBounded(args, 30, env);
  }
  int SessionsOfB() const {
    const std::string log = ReadFile(B("binkd.log"));
    int n = 0;
    for (std::size_t p = log.find("done (from"); p != std::string::npos;
         p = log.find("done (from", p + 1)) {
      ++n;
    }
    return n;
  }
  // B answers; A's binkd -p calls only when its queue asks for it.
  void Round() {
    auto server = Serve("b");
    Call("a");
    WaitSessionsOver(*server);
    server->Stop();
  }
  // A/OUT's files and their contents, binkd's own passing flags aside.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(A("OUT"))) {
      const std::string ext = e.path().extension().string();
      if (e.is_regular_file() && ext != ".bsy" && ext != ".csy" && ext != ".try") {
        files[e.path().string()] = ReadFile(e.path().string());
      }
    }
    return files;
  }
};

TEST_F(BrnetManages, CommandsAgainstBinkd) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    for (const auto& [file, flavour] : c.attach) {
      const RunResult r = Brnet({"attach", "-q", "-f", flavour, "2:5020/1234", MakeFile(file)});
      ASSERT_EQ(r.status, 0) << r.out;
    }
    for (const struct Round& round : c.rounds) {
      for (const Cmd& cmd : round.cmds) {
        if (cmd.args[0] == "rm") {
          fs::remove(A("files/" + cmd.args[1]));
          continue;
        }
        const RunResult r = Brnet(cmd.args);
        EXPECT_EQ(r.status, cmd.status) << cmd.args[0] << ": " << r.out;
      }
      const int before = SessionsOfB();
      Round();
      EXPECT_EQ(SessionsOfB() > before, round.called) << Logs();
      for (const std::string& name : round.sent) EXPECT_TRUE(Arrived(name)) << Logs();
      for (const std::string& name : round.unsent) {
        EXPECT_FALSE(fs::exists(B("inb/" + name))) << name;
        // A dropped or held file itself stays where it was.
        if (name != "gone.bin") {
          EXPECT_TRUE(fs::exists(A("files/" + name))) << name;
        }
      }
    }
    if (!c.request.empty()) {
      std::string got;
      for (const std::string& name : Inbound()) {
        if (name.ends_with(".req")) got += ReadFile(B("inb/" + name));
      }
      EXPECT_NE(got.find(c.request + "\r\n"), std::string::npos) << "request received: " << got;
    }
    // Between cases: nothing left queued, B's inbound empty again.
    EXPECT_EQ(FlagsLeft(), std::vector<std::string>{});
    Brnet({"drop", "-q", "2:5020/1234"});
    for (const std::string& name : Inbound()) fs::remove(B("inb/" + name));
  }
}

TEST_F(BrnetManages, EveryCommandRefusesANodeInSession) {
  Variant("a-slow", "a", "limit-rate all 100k *");
  ASSERT_EQ(
      Brnet({"attach", "-q", "-f", "hold", "2:5020/1234", MakeFile("big.bin", 300000)}).status, 0);
  ASSERT_EQ(Brnet({"attach", "-q", "2:5020/1234.5", MakeFile("point.bin")}).status, 0);
  ASSERT_EQ(Brnet({"hold", "-q", "2:5020/1234", "--for", "1h"}).status, 0);
  const std::vector<std::vector<std::string>> commands = {
      {"poll", "2:5020/1234"}, {"request", "2:5020/1234", "FILES"},
      {"hold", "2:5020/1234"}, {"unhold", "2:5020/1234"},
      {"drop", "2:5020/1234"}, {"reflavour", "2:5020/1234", "crash"},
  };
  auto server = Serve("a-slow");
  Child client({"binkd", "-p", "-q", "-P", "2:5020/100", Cfg("b")}, 60,
               LogTo(Root() + "/binkd-console.log"));
  ASSERT_TRUE(WaitFor([&] { return fs::exists(A("OUT/139c04d2.bsy")); }, 10)) << Logs();
  const auto before = Snapshot();
  for (const auto& args : commands) {
    const RunResult r = Brnet(args);
    EXPECT_EQ(r.status, 1) << args[0] << ": " << r.out;
    EXPECT_NE(r.out.find(": node 2:5020/1234 is busy: " + A("OUT/139c04d2.bsy") + " (pid "),
              std::string::npos)
        << r.out;
  }
  EXPECT_TRUE(fs::exists(A("OUT/139c04d2.bsy"))) << "the session ended too early to tell";
  EXPECT_EQ(Snapshot(), before);
  // The point is another node: not busy.
  EXPECT_EQ(Brnet({"reflavour", "-q", "2:5020/1234.5", "crash"}).status, 0);
  EXPECT_TRUE(client.Wait(60));
  WaitSessionsOver(*server);
  EXPECT_TRUE(Arrived("big.bin"));
}

}  // namespace
}  // namespace brnet::interop
