// Our rescan reads what binkd and crashmail leave in an outbound, and an
// attach into a flow file that binkd sent in part keeps binkd's marks.
#include <filesystem>

#include "Peers.h"
#include "outbound/Outbound.h"

namespace brnet::interop {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

using Rescan = Peers;

TEST_F(Rescan, ListsWhatBinkdAndCrashmailLeftAndAttachKeepsTheMarks) {
  // binkd sends one line of a flow file: B skips files named skip*.
  Variant("b-skip", "b", "skip all 0 skip*");
  ASSERT_TRUE(InitBink()) << LastError();
  const std::string sent = MakeFile("sent.bin");
  const std::string skipped = MakeFile("skip me.bin", 1500);
  ASSERT_TRUE(Attach("2:5020/1234", {sent}, BR_FLAVOR_NORMAL)) << LastError();
  ASSERT_TRUE(Attach("2:5020/1234", {skipped}, BR_FLAVOR_NORMAL, BR_OUTB_BINK, BR_SEND_KILL));
  Session("b-skip", "a");
  ASSERT_TRUE(Arrived("sent.bin"));
  const std::string flo = A("OUT/139c04d2.flo");
  // Done lines get a "~" in place of their first character.
  const std::string partly = "~" + sent.substr(1) + "\r\n^" + skipped + "\r\n";
  ASSERT_EQ(ReadFile(flo), partly);
  // binkd's side files: the node's hold after the skip, the last call's result.
  EXPECT_EQ(test::Tree(A("OUT")),
            (std::vector<std::string>{"139c04d2.flo", "139c04d2.hld", "139c04d2.try"}));

  // crashmail leaves a packet and a flow line for a point.
  ASSERT_TRUE(InitNetmail()) << LastError();
  ASSERT_TRUE(
      Attach("2:5020/1234.5", {MakeFile("point.zip", 700)}, BR_FLAVOR_NORMAL, BR_OUTB_ARCMAIL))
      << LastError();
  RunBounded({"crashmail", "SCAN", "SETTINGS", Root() + "/cfg/crashmail-a.prefs"}, 30);
  ASSERT_TRUE(fs::exists(A("OUT/139c04d2.pnt/00000005.flo")));

  {
    test::ScopedMainAddress main("2:5020/100");
    TOutbound outbound;
    outbound.SetBinkOutPath(A("OUT"));
    outbound.Rescan();
    ASSERT_EQ(outbound.NodeCount(), 2);
    const TOutbNode& node = outbound.GetNodes(0);
    EXPECT_EQ(node.Addr().ToString(), "2:5020/1234");
    ASSERT_EQ(node.Files().size(), 1u) << "a \"~\" line is done, .hld and .try are no mail";
    EXPECT_EQ(node.Files()[0].FullName, skipped);
    EXPECT_EQ(node.Files()[0].SendMode, smKillSent);
    EXPECT_EQ(node.Files()[0].Flavor, flNormal);
    EXPECT_EQ(node.Files()[0].Size, 1500);
    EXPECT_TRUE(node.Packets().empty());
    const TOutbNode& point = outbound.GetNodes(1);
    EXPECT_EQ(point.Addr().ToString(), "2:5020/1234.5");
    ASSERT_EQ(point.Files().size(), 1u);
    EXPECT_EQ(point.Files()[0].FullName, Root() + "/cm/a-pktdir/point.zip");
    EXPECT_EQ(point.Files()[0].SendMode, smKillSent);
    EXPECT_EQ(point.Files()[0].Size, 700);
    EXPECT_EQ(point.Packets(), std::vector<std::string>{"00000005.out"});
  }
  ASSERT_TRUE(InitBink()) << LastError();
  EXPECT_TRUE(br_.RescanOutbound()) << LastError();

  // A new attach goes after binkd's lines and leaves them as they are.
  const std::string late = MakeFile("late.bin");
  ASSERT_TRUE(Attach("2:5020/1234", {late}, BR_FLAVOR_NORMAL)) << LastError();
  EXPECT_EQ(ReadFile(flo), partly + late + "\r\n");
  Session("b", "a");
  Session("b-point", "a");
  EXPECT_TRUE(Arrived("skip me.bin"));
  EXPECT_TRUE(Arrived("late.bin"));
  EXPECT_TRUE(Arrived("point.zip"));
  EXPECT_FALSE(fs::exists(skipped));
  const std::string logA = ReadFile(A("binkd.log"));
  EXPECT_EQ(logA.find("sent: " + sent), logA.rfind("sent: " + sent)) << "the done line went again";
  EXPECT_EQ(FlowFiles(), std::vector<std::string>{});
  EXPECT_EQ(FlagsLeft(), std::vector<std::string>{});
}

}  // namespace
}  // namespace brnet::interop
