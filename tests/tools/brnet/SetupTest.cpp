// Where each setting comes from: options, then --binkd-config, then the
// plug-in's saved settings, then the system's binkd configuration; per
// setting, so that sources fill each other's gaps.
#include <gtest/gtest.h>

#include "Setup.h"
#include "TestSupport.h"

namespace brnet::cli {
namespace {

using test::TempDir;
using test::WriteFile;

class SetupOrder : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(tmp / "named.cfg",
              "domain fidonet /named/out 2\naddress 2:5020/1@fidonet\nfilebox /named/boxes\n");
    WriteFile(tmp / "system.cfg", "domain fidonet /sys/out 1\naddress 1:1/1\nfilebox /sys/boxes\n");
    sources.Plugin = [this] {
      ++pluginReads;
      return plugin;
    };
    sources.SystemBinkdConfig = tmp / "system.cfg";
  }
  Resolved Resolve(SetupOptions options) { return ResolveSetup(options, sources); }
  static SetupOptions All(SetupOptions options) {
    options.AllPlaces = true;
    return options;
  }

  TempDir tmp;
  PluginSetup plugin;
  int pluginReads = 0;
  SetupSources sources;
};

TEST_F(SetupOrder, EachSettingFromTheFirstSourceThatGivesIt) {
  // Nothing but the system's binkd configuration.
  Resolved s = Resolve(All({}));
  EXPECT_EQ(s.MainAddress, "1:1/1@fidonet");
  EXPECT_EQ(s.Type, otBink);
  EXPECT_EQ(s.BinkOut, "/sys/out");
  EXPECT_EQ(s.BinkDefaultZone, 1);
  EXPECT_EQ(s.Boxes, "/sys/boxes");
  EXPECT_TRUE(s.Netmail.empty());

  // The plug-in, configured for file boxes, outranks the system's file; the
  // Bink outbound still comes from there.
  plugin = {"2:5020/7", 2, "/plug/boxes"};
  s = Resolve(All({}));
  EXPECT_EQ(s.MainAddress, "2:5020/7");
  EXPECT_EQ(s.Type, otFileBox);
  EXPECT_EQ(s.Boxes, "/plug/boxes");
  EXPECT_EQ(s.BinkOut, "/sys/out");
  // Configured for a Bink outbound, the plug-in's serves the main domain;
  // binkd's domains still say where the others' mail goes.
  plugin = {"2:5020/7", 1, "/plug/out"};
  s = Resolve({});
  EXPECT_EQ(s.BinkOut, "/plug/out");
  EXPECT_EQ(s.MainDomain, "fidonet");
  ASSERT_TRUE(s.Binkd.has_value());
  EXPECT_EQ(s.Binkd->Outbound, "/sys/out");

  // A named binkd configuration outranks the plug-in and means Bink.
  s = Resolve(All({"", "", tmp / "named.cfg", std::nullopt}));
  EXPECT_EQ(s.MainAddress, "2:5020/1@fidonet");
  EXPECT_EQ(s.Type, otBink);
  EXPECT_EQ(s.BinkOut, "/named/out");
  EXPECT_EQ(s.BinkFrom, tmp / "named.cfg" + " (domain fidonet)");
  EXPECT_EQ(s.Boxes, "/named/boxes");

  // Options outrank everything; --dir is the directory of the type in force.
  s = Resolve(All({"3:3/3", "/opt/net", tmp / "named.cfg", otArcMail}));
  EXPECT_EQ(s.MainAddress, "3:3/3");
  EXPECT_EQ(s.Netmail, "/opt/net");
  EXPECT_EQ(s.BinkOut, "/named/out");
  plugin = {"2:5020/7", 0, "/plug/netmail"};
  s = Resolve({"", "/opt/dir", "", std::nullopt});
  EXPECT_EQ(s.Type, otArcMail);
  EXPECT_EQ(s.Netmail, "/opt/dir");
}

TEST_F(SetupOrder, SourcesReadOnlyWhenNeeded) {
  // A broken system file does not matter while the sources above it say
  // everything the command needs...
  WriteFile(tmp / "system.cfg", "domain\n");
  plugin = {"2:5020/7", 1, "/plug/out"};
  Resolved s = Resolve({});
  EXPECT_EQ(s.BinkOut, "/plug/out");
  EXPECT_EQ(s.BinkDefaultZone, 0);
  // ...but is named when it is needed.
  plugin = {};
  try {
    Resolve({});
    FAIL() << "no error";
  } catch (const CliError& e) {
    EXPECT_EQ(e.Status(), kExitFailed);
    EXPECT_EQ(std::string(e.what()), "binkd configuration " + tmp / "system.cfg" +
                                         ":1: domain needs a name and a directory");
  }
  // A missing system file is no error: the settings are just not found.
  sources.SystemBinkdConfig = tmp / "absent.cfg";
  s = Resolve({});
  EXPECT_TRUE(s.MainAddress.empty());
  EXPECT_TRUE(s.BinkOut.empty());
  // A named file that cannot be read is an error.
  try {
    Resolve({"", "", tmp / "absent.cfg", std::nullopt});
    FAIL() << "no error";
  } catch (const CliError& e) {
    EXPECT_EQ(std::string(e.what()),
              "binkd configuration " + tmp / "absent.cfg" + ": No such file or directory");
  }
}

}  // namespace
}  // namespace brnet::cli

namespace brnet::cli {
namespace {

// binkd's configuration as binkd reads it: each line, the setting brnet takes
// from it or the start of the error.
TEST(SetupAsBinkdReadsIt, RelativeDirectoriesIncludesAndNamedFiles) {
  TempDir tmp;
  const std::string cfg = tmp / "b.cfg";
  struct Case {
    std::string text;
    SetupOptions options;
    std::string outOrError;
  };
  const std::vector<Case> cases = {
      {"domain fido Alias-For fidonet\nDOMAIN fidonet /o 2\naddress 2:1/1@fido\n", {}, "/o"},
      {"domain fidonet out 2\naddress 2:1/1\n", {}, cfg + ":1: the directory \"out\" is relative"},
      {"domain fidonet out 2\naddress 2:1/1\n", {"", "/given", "", otBink}, "/given"},
      {"domain f /o 2\ninclude " + tmp / "none.inc" + "\naddress 2:1/1\n", {}, "/o"},
      {"include " + tmp / "none.inc" + "\n", {}, "binkd configuration " + cfg + ": no address"},
  };
  for (const Case& c : cases) {
    WriteFile(cfg, c.text);
    SetupOptions options = c.options;
    options.BinkdConfig = cfg;
    try {
      EXPECT_EQ(ResolveSetup(options, {}).BinkOut, c.outOrError) << c.text;
    } catch (const CliError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.outOrError, 0), 0u) << e.what();
    }
  }
  // A file BRNET_BINKD_CFG names must exist; /etc/binkd/binkd.cfg need not.
  SetupSources named{{}, tmp / "absent.cfg", true};
  EXPECT_THROW(ResolveSetup({"2:1/1", "/o", "", otBink}, named), CliError);
  named.SystemBinkdConfigNamed = false;
  EXPECT_EQ(ResolveSetup({"2:1/1", "", "", otBink}, named).BinkOut, "");
}

}  // namespace
}  // namespace brnet::cli
