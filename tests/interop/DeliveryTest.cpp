// What the library and the plug-in attach, binkd delivers: every flavour,
// the after-sending marks, points and other zones, names with blanks, both
// file-box forms, and netmail attaches that crashmail exports and tosses.
#include <algorithm>
#include <filesystem>
#include <map>
#include <tuple>

#include "Peers.h"

namespace brnet::interop {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

using Delivery = Peers;

// What binkd did with the source after sending it with MODE: kept it,
// deleted it ("^") or truncated it ("#").
::testing::AssertionResult SourceAfterSending(const std::string& path, int mode, std::size_t size) {
  std::error_code ec;
  const bool exists = fs::exists(path);
  const auto now = exists ? fs::file_size(path, ec) : 0;
  const bool ok = mode == BR_SEND_KILL    ? !exists
                  : mode == BR_SEND_TRUNC ? exists && now == 0
                                          : exists && now == size;
  if (ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << path << " after sending with mode " << mode << ": "
                                       << (exists ? std::to_string(now) + " bytes" : "gone");
}

const char* const kModeNames[] = {"keep", "kill", "trunc"};
const char* const kFlavourNames[] = {"imm", "crash", "direct", "normal", "hold"};

// --- Bink outbound ---------------------------------------------------------------

// Hold waits until B calls; the four other flavours make binkd call. Each
// with each after-sending mode; every name but one has a blank in it.
TEST_F(Delivery, EveryFlavourAndModeThroughTheLibrary) {
  ASSERT_TRUE(InitBink()) << LastError();
  std::vector<std::tuple<std::string, std::string, int>> hold;  // name, path, mode
  for (int mode = BR_SEND_NONE; mode <= BR_SEND_TRUNC; ++mode) {
    const std::string name = std::string("hold ") + kModeNames[mode] + ".bin";
    hold.emplace_back(name, MakeFile(name), mode);
    ASSERT_TRUE(
        Attach("2:5020/1234", {std::get<1>(hold.back())}, BR_FLAVOR_HOLD, BR_OUTB_BINK, mode))
        << LastError();
  }
  Session("b", "a");
  EXPECT_TRUE(Inbound().empty()) << "binkd called for hold mail";
  PeerCallsUs("b");
  for (const auto& [name, path, mode] : hold) {
    EXPECT_TRUE(Arrived(name));
    EXPECT_TRUE(SourceAfterSending(path, mode, 1000));
  }

  std::vector<std::tuple<std::string, std::string, int>> sent;
  for (int flavour = BR_FLAVOR_IMM; flavour <= BR_FLAVOR_NORMAL; ++flavour) {
    for (int mode = BR_SEND_NONE; mode <= BR_SEND_TRUNC; ++mode) {
      const std::string name = std::string(kFlavourNames[flavour]) +
                               (flavour == BR_FLAVOR_NORMAL && mode == BR_SEND_NONE ? "-" : " ") +
                               kModeNames[mode] + ".bin";
      sent.emplace_back(name, MakeFile(name, 500 + flavour * 10 + mode), mode);
    }
  }
  // One call per flavour and mode, so that each makes its own flow lines.
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const auto& [name, path, mode] = sent[i];
    ASSERT_TRUE(Attach("2:5020/1234", {path}, static_cast<int>(i / 3), BR_OUTB_BINK, mode))
        << LastError();
  }
  Session("b", "a");
  std::vector<std::string> expected;
  for (const auto& [name, path, mode] : hold) expected.push_back(name);
  for (const auto& [name, path, mode] : sent) {
    expected.push_back(name);
    EXPECT_TRUE(Arrived(name));
    EXPECT_TRUE(SourceAfterSending(path, mode, made_[name].size()));
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Inbound(), expected);
  EXPECT_EQ(FlowFiles(), std::vector<std::string>{});
  EXPECT_EQ(FlagsLeft(), std::vector<std::string>{});
}

// A point lives in a .pnt directory and another zone in OUT.001; binkd finds
// them only under lower-case hexadecimal names. Each peer presents only the
// address the file was queued for.
TEST_F(Delivery, PointAndOtherZoneThroughTheLibrary) {
  ASSERT_TRUE(InitBink()) << LastError();
  const std::string point = MakeFile("for the point.zip");
  ASSERT_TRUE(Attach("2:5020/1234.5", {point}, BR_FLAVOR_NORMAL)) << LastError();
  Session("b-point", "a");
  EXPECT_EQ(Inbound(), std::vector<std::string>{"for the point.zip"});
  EXPECT_TRUE(Arrived("for the point.zip"));

  const std::string zone = MakeFile("zone one.zip");
  ASSERT_TRUE(Attach("1:234/56", {zone}, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_KILL))
      << LastError();
  Session("b-zone1", "a");
  EXPECT_TRUE(Arrived("zone one.zip"));
  EXPECT_FALSE(fs::exists(zone));
  EXPECT_EQ(FlowFiles(), std::vector<std::string>{});
  EXPECT_EQ(FlagsLeft(), std::vector<std::string>{});
}

// A flow file written by a script, its last line without a line end: our
// line used to be glued to it, binkd found no such file, dropped the flow
// file and neither file went. Both arrive now.
TEST_F(Delivery, FlowFileWithoutFinalLineEndThroughTheLibrary) {
  ASSERT_TRUE(InitBink()) << LastError();
  const std::string scripted = MakeFile("nodelist.zip");
  fs::create_directories(A("OUT"));
  test::WriteFile(A("OUT/139c04d2.flo"), scripted);
  const std::string ours = MakeFile("readme.txt");
  ASSERT_TRUE(Attach("2:5020/1234", {ours}, BR_FLAVOR_NORMAL)) << LastError();
  Session("b", "a");
  EXPECT_TRUE(Arrived("nodelist.zip")) << Logs();
  EXPECT_TRUE(Arrived("readme.txt")) << Logs();
  EXPECT_EQ(FlowFiles(), std::vector<std::string>{});
}

// The main road: the plug-in in its host, configured for a Bink outbound.
TEST_F(Delivery, BinkOutboundThroughThePlugin) {
  ConfigurePlugin("Bink", A("OUT"));
  const std::string hold = MakeFile("held by plugin.txt");
  RunResult r = PluginAttach({hold}, "2:5020/1234", "Hold");
  ASSERT_EQ(r.status, 0) << r.out;
  Session("b", "a");
  EXPECT_TRUE(Inbound().empty()) << "binkd called for hold mail";
  PeerCallsUs("b");
  EXPECT_TRUE(Arrived("held by plugin.txt"));

  const std::string normal = MakeFile("normal one.txt");
  const std::string other = MakeFile("normal-two.txt");
  const std::string direct = MakeFile("direct and delete.txt");
  ASSERT_EQ(PluginAttach({normal, other}, "2:5020/1234", "Normal").status, 0);
  ASSERT_EQ(PluginAttach({direct}, "2:5020/1234", "Direct", true).status, 0);
  Session("b", "a");
  for (const char* name : {"normal one.txt", "normal-two.txt", "direct and delete.txt"}) {
    EXPECT_TRUE(Arrived(name));
  }
  EXPECT_TRUE(fs::exists(normal) && fs::exists(other));
  EXPECT_FALSE(fs::exists(direct)) << "\"Delete after sending\" left the file";

  // The plug-in resolves a short destination against the main address.
  const std::string point = MakeFile("to point.txt");
  ASSERT_EQ(PluginAttach({point}, "1234.5", "Normal").status, 0);
  Session("b-point", "a");
  EXPECT_TRUE(Arrived("to point.txt"));
  const std::string zone = MakeFile("to zone 1.txt");
  ASSERT_EQ(PluginAttach({zone}, "1:234/56", "Direct").status, 0);
  Session("b-zone1", "a");
  EXPECT_TRUE(Arrived("to zone 1.txt"));
  EXPECT_EQ(Inbound().size(), 6u);
  EXPECT_EQ(FlowFiles(), std::vector<std::string>{});
  EXPECT_EQ(FlagsLeft(), std::vector<std::string>{});
}

// --- file boxes ----------------------------------------------------------------

// Short (024SS16I.00) and long (2.5020.1234.0) boxes, plain and Hold (H at
// the end): binkd's filebox sends the Hold ones only when B calls (or when
// it calls B for other mail), the plain ones when it calls, and empties each
// box.
TEST_F(Delivery, BothBoxFormsPlainAndHoldThroughTheLibrary) {
  ASSERT_TRUE(InitBoxes()) << LastError();
  const std::string shortHold = MakeFile("short hold.bin");
  const std::string longHold = MakeFile("long hold.bin");
  ASSERT_TRUE(Attach("2:5020/1234", {shortHold}, BR_FLAVOR_HOLD, BR_OUTB_FILEBOX)) << LastError();
  ASSERT_TRUE(Attach("2:5020/1234", {longHold}, BR_FLAVOR_HOLD, BR_OUTB_LONGFILEBOX, BR_SEND_TRUNC))
      << LastError();
  Session("b", "a");
  EXPECT_TRUE(Inbound().empty()) << "binkd called for hold boxes";
  EXPECT_FALSE(fs::is_empty(A("BOXES/024SS16I.00H")));
  PeerCallsUs("b");
  EXPECT_TRUE(Arrived("short hold.bin"));
  EXPECT_TRUE(Arrived("long hold.bin"));
  EXPECT_TRUE(fs::is_empty(A("BOXES/024SS16I.00H")));
  EXPECT_TRUE(fs::is_empty(A("BOXES/2.5020.1234.0.H")));

  const std::string shortPlain = MakeFile("short plain.bin");
  const std::string longMoved = MakeFile("long moved.bin");
  ASSERT_TRUE(Attach("2:5020/1234", {shortPlain}, BR_FLAVOR_NORMAL, BR_OUTB_FILEBOX))
      << LastError();
  ASSERT_TRUE(
      Attach("2:5020/1234", {longMoved}, BR_FLAVOR_CRASH, BR_OUTB_LONGFILEBOX, BR_SEND_KILL))
      << LastError();
  EXPECT_FALSE(fs::exists(longMoved)) << "a kill-sent attach moves the file into the box";
  Session("b", "a");
  EXPECT_TRUE(Arrived("short plain.bin"));
  EXPECT_TRUE(Arrived("long moved.bin"));
  EXPECT_TRUE(fs::is_empty(A("BOXES/024SS16I.00")));
  EXPECT_TRUE(fs::is_empty(A("BOXES/2.5020.1234.0")));
  // Only the copies in the boxes went; the files attached by copy stay.
  for (const auto& path : {shortPlain, shortHold, longHold}) {
    EXPECT_EQ(fs::file_size(path), 1000u) << path;
  }
  EXPECT_EQ(Inbound().size(), 4u);
}

TEST_F(Delivery, BothBoxFormsPlainAndHoldThroughThePlugin) {
  const std::vector<std::pair<std::string, std::string>> boxes = {{"File", "short"},
                                                                  {"Long", "long"}};
  for (const auto& [type, tag] : boxes) {
    ConfigurePlugin(type, A("BOXES"));
    const std::string hold = MakeFile(tag + " held via plugin.bin");
    ASSERT_EQ(PluginAttach({hold}, "2:5020/1234", "Hold", true).status, 0);
    EXPECT_FALSE(fs::exists(hold)) << "moved into the box";
  }
  Session("b", "a");
  EXPECT_TRUE(Inbound().empty()) << "binkd called for hold boxes";
  PeerCallsUs("b");
  EXPECT_TRUE(Arrived("short held via plugin.bin"));
  EXPECT_TRUE(Arrived("long held via plugin.bin"));

  for (const auto& [type, tag] : boxes) {
    ConfigurePlugin(type, A("BOXES"));
    ASSERT_EQ(PluginAttach({MakeFile(tag + " via plugin.bin")}, "2:5020/1234", "Normal").status, 0);
  }
  Session("b", "a");
  EXPECT_TRUE(Arrived("short via plugin.bin"));
  EXPECT_TRUE(Arrived("long via plugin.bin"));
  for (const char* box : {"024SS16I.00", "024SS16I.00H", "2.5020.1234.0", "2.5020.1234.0.H"}) {
    EXPECT_TRUE(fs::is_empty(A(std::string("BOXES/") + box))) << box;
  }
  EXPECT_EQ(Inbound().size(), 4u);
}

// --- netmail attaches --------------------------------------------------------------

// A netmail attach written by the library (and one by the plug-in) for a
// point: crashmail SCAN exports it as a packet plus a flow line, binkd
// delivers both, and crashmail TOSS on the point makes it a *.msg again.
TEST_F(Delivery, NetmailAttachExportedByCrashmailAndTossedBackOnThePeer) {
  ASSERT_TRUE(InitNetmail()) << LastError();
  const std::string report = MakeFile("report.zip", 3000);
  ASSERT_TRUE(Attach("2:5020/1234.5", {report}, BR_FLAVOR_NORMAL, BR_OUTB_ARCMAIL, BR_SEND_KILL))
      << LastError();
  ConfigurePlugin("Netmail", Root() + "/cm/netmail");
  const std::string notes = MakeFile("notes.txt", 800);
  ASSERT_EQ(PluginAttach({notes}, "2:5020/1234.5", "Normal").status, 0);
  // crashmail reads the subject as file names separated by blanks: such a
  // path is refused rather than attached and never sent.
  const RunResult blank = PluginAttach({MakeFile("my notes.txt")}, "2:5020/1234.5", "Normal");
  EXPECT_EQ(blank.status, 1);
  EXPECT_NE(blank.out.find("names its files separated by blanks"), std::string::npos) << blank.out;
  EXPECT_EQ(test::Tree(Root() + "/cm/netmail"),
            (std::vector<std::string>{"2.msg", "3.msg", "brnet32.ids"}));

  const std::string prefsA = Root() + "/cfg/crashmail-a.prefs";
  RunResult scan = RunBounded({"crashmail", "SCAN", "SETTINGS", prefsA}, 30);
  const std::string logA = ReadFile(Root() + "/cm/crashmail-a.log");
  // crashmail takes the destination from INTL and TOPT, not from the header.
  EXPECT_NE(logA.find("Exporting message #2 from \"SysOp\" to \"SysOp\" at 2:5020/1234.5"),
            std::string::npos)
      << logA;
  EXPECT_NE(logA.find("Exporting message #3 from \"SysOp\" to \"SysOp\" at 2:5020/1234.5"),
            std::string::npos);
  const std::string flow = ReadFile(A("OUT/139c04d2.pnt/00000005.flo"));
  EXPECT_NE(flow.find("^" + Root() + "/cm/a-pktdir/report.zip"), std::string::npos) << flow;
  EXPECT_TRUE(fs::exists(A("OUT/139c04d2.pnt/00000005.out")));
  EXPECT_NE(ReadStoredMsg(Root() + "/cm/netmail/2.msg").attr & 0x0008, 0u) << "marked sent";

  Session("b-point", "a");
  EXPECT_TRUE(Arrived("report.zip"));
  EXPECT_TRUE(Arrived("notes.txt"));
  const auto inbound = Inbound();
  EXPECT_EQ(std::count_if(inbound.begin(), inbound.end(),
                          [](const std::string& n) { return n.ends_with(".pkt"); }),
            1)
      << ::testing::PrintToString(inbound);

  RunBounded({"crashmail", "TOSS", "SETTINGS", CrashmailPrefs("2:5020/1234.5")}, 30);
  std::map<std::string, StoredMsg> tossed;
  for (const auto& e : fs::directory_iterator(Root() + "/cm/b-netmail")) {
    const StoredMsg m = ReadStoredMsg(e.path().string());
    tossed[m.subject] = m;
  }
  ASSERT_EQ(tossed.size(), 2u) << ReadFile(Root() + "/cm/crashmail-b.log");
  for (const auto& [subject, m] : tossed) {
    SCOPED_TRACE(subject);
    EXPECT_EQ(m.from, "SysOp");
    EXPECT_EQ(m.to, "SysOp");
    EXPECT_NE(m.attr & 0x0010, 0u) << "file-attach bit";
    EXPECT_EQ(m.destNet, 5020u);
    EXPECT_EQ(m.destNode, 1234u);
    EXPECT_TRUE(m.HasKludge("INTL 2:5020/1234 2:5020/100"));
    EXPECT_TRUE(m.HasKludge("TOPT 5"));
  }
  EXPECT_TRUE(tossed["report.zip"].HasKludge("FLAGS KFS"))
      << ::testing::PrintToString(tossed["report.zip"].kludges);
  EXPECT_TRUE(tossed.count("notes.txt"));
}

// Another zone, Hold and truncate-after-sending: the flavour and the zone
// travel through crashmail into OUT.001 as hold mail.
TEST_F(Delivery, NetmailHoldForAnotherZone) {
  ASSERT_TRUE(InitNetmail()) << LastError();
  const std::string list = MakeFile("nodelist.a23", 2000);
  ASSERT_TRUE(Attach("1:234/56", {list}, BR_FLAVOR_HOLD, BR_OUTB_ARCMAIL, BR_SEND_TRUNC))
      << LastError();
  RunBounded({"crashmail", "SCAN", "SETTINGS", Root() + "/cfg/crashmail-a.prefs"}, 30);
  EXPECT_TRUE(fs::exists(A("OUT.001/00ea0038.hlo")));
  EXPECT_TRUE(fs::exists(A("OUT.001/00ea0038.hut")));

  Session("b-zone1", "a");
  EXPECT_TRUE(Inbound().empty()) << "binkd called for hold mail";
  PeerCallsUs("b-zone1");
  EXPECT_TRUE(Arrived("nodelist.a23"));
  RunBounded({"crashmail", "TOSS", "SETTINGS", CrashmailPrefs("1:234/56")}, 30);
  std::vector<StoredMsg> tossed;
  for (const auto& e : fs::directory_iterator(Root() + "/cm/b-netmail")) {
    tossed.push_back(ReadStoredMsg(e.path().string()));
  }
  ASSERT_EQ(tossed.size(), 1u) << ReadFile(Root() + "/cm/crashmail-b.log");
  EXPECT_EQ(tossed[0].subject, "nodelist.a23");
  EXPECT_NE(tossed[0].attr & 0x0010, 0u);
  EXPECT_TRUE(tossed[0].HasKludge("INTL 1:234/56 2:5020/100"))
      << ::testing::PrintToString(tossed[0].kludges);
  EXPECT_TRUE(tossed[0].HasKludge("FLAGS TFS"));
}

}  // namespace
}  // namespace brnet::interop
