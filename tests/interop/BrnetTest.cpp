// brnet, reading node A's own binkd configuration, attaches from the shell:
// binkd delivers to B what it queued, to a node, a point and a file box.
#include <filesystem>

#include "Peers.h"

namespace brnet::interop {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using BrnetDelivery = Peers;

TEST_F(BrnetDelivery, AttachThroughTheBinkdConfiguration) {
  // Only A's configuration: no plug-in settings, no system binkd file.
  const std::map<std::string, std::string> env = {{"XDG_CONFIG_HOME", Root() + "/config"},
                                                  {"BRNET_BINKD_CFG", ""}};
  auto brnet = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {BRNET_PATH, "attach", "-q", "-c", Cfg("a")});
    return RunBounded(args, 30, env);
  };
  const std::string crash = MakeFile("brnet crash.zip");
  const std::string normal = MakeFile("brnet-normal.txt", 3000);
  RunResult r = brnet({"-f", "crash", "--kill-sent", "2:5020/1234", crash});
  ASSERT_EQ(r.status, 0) << r.out;
  r = brnet({"2:5020/1234", normal});
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string boxed = MakeFile("brnet boxed.bin");
  r = brnet({"-t", "box", "1234", boxed});
  ASSERT_EQ(r.status, 0) << r.out;
  Session("b", "a");
  EXPECT_TRUE(Arrived("brnet crash.zip"));
  EXPECT_TRUE(Arrived("brnet-normal.txt"));
  EXPECT_TRUE(Arrived("brnet boxed.bin"));
  EXPECT_FALSE(fs::exists(crash)) << "--kill-sent left the file";
  EXPECT_TRUE(fs::exists(normal));

  // A short address is the main address's point.
  const std::string point = MakeFile("brnet point.txt");
  r = brnet({"-f", "hold", "1234.5", point});
  ASSERT_EQ(r.status, 0) << r.out;
  PeerCallsUs("b-point");
  EXPECT_TRUE(Arrived("brnet point.txt")) << Logs();
  EXPECT_EQ(FlowFiles(), std::vector<std::string>{});
  EXPECT_EQ(FlagsLeft(), std::vector<std::string>{});
}

// A netmail attach carries its flavour: crashmail packs the crash one as
// crash mail, and the immediate one carries IMM for the tossers that read it.
TEST_F(BrnetDelivery, NetmailCrashAndImmediate) {
  const std::string netmail = Root() + "/cm/netmail";
  const std::string crash = MakeFile("crash.bin"), imm = MakeFile("imm.bin");
  for (const auto& [flavour, file] : {std::pair{"crash", crash}, std::pair{"immediate", imm}}) {
    const RunResult r = RunBounded({BRNET_PATH, "attach", "-m", "2:5020/100", "-t", "netmail", "-d",
                                    netmail, "-f", flavour, "2:5020/1234", file},
                                   30, {{"XDG_CONFIG_HOME", Root() + "/config"}});
    EXPECT_EQ(r.out, std::string("2:5020/1234 ") + flavour + " none " + file + "\n");
  }
  const StoredMsg first = ReadStoredMsg(netmail + "/2.msg");
  const StoredMsg second = ReadStoredMsg(netmail + "/3.msg");
  EXPECT_EQ(first.attr, 0x0193u);  // private, crash, file, kill/sent, local
  EXPECT_TRUE(second.HasKludge("FLAGS IMM"));
  RunBounded({"crashmail", "SCAN", "SETTINGS", Root() + "/cfg/crashmail-a.prefs"}, 30);
  EXPECT_TRUE(fs::exists(A("OUT/139c04d2.clo"))) << ReadFile(Root() + "/cm/crashmail-a.log");
  EXPECT_TRUE(fs::exists(A("OUT/139c04d2.cut")));
}

}  // namespace
}  // namespace brnet::interop
