// The plug-in's settings over the registry: defaults, length limits,
// wrong types.
#if defined(_WIN32)
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Settings.h"
#include "TestSupport.h"
#include "support/ChildProcess.h"
#include "sys/Registry.h"

namespace {

using brnet::sys::RegKey;
using sendrel::Settings;

#if defined(_WIN32)
// The real registry, shared by the tests that ctest runs side by side: each
// test program works under a root key of its own and removes it.
class SettingsTest : public ::testing::Test {
 protected:
  void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str()); }
  const std::string root_ =
      "Software\\BrnetTest\\" + std::to_string(brnet::test::CurrentProcessId());
  const std::string key_ = sendrel::PluginRootKey(root_ + "\\Plugins");
};
#else
// The hive file in a directory of the test's own.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_CONFIG_HOME", dir_.Path().c_str(), 1); }
  brnet::test::TempDir dir_;
  const std::string key_ = sendrel::PluginRootKey("Software\\Far\\Plugins");
};
#endif

TEST_F(SettingsTest, RootKeyAndDefaults) {
  EXPECT_EQ(sendrel::PluginRootKey("Software\\Far\\Plugins"),
            "Software\\Far\\Plugins\\Quorral\\Sendrel");
  // far2l hands its FAR 1.x plug-ins no root key: the key farhost and brnet
  // use, not "\\Quorral\\Sendrel" below nothing.
  EXPECT_EQ(sendrel::PluginRootKey(""), sendrel::PluginRootKey("Software\\Far\\Plugins"));
  const Settings s = sendrel::ReadSettings(key_);
  EXPECT_EQ(s.DestAddr, "");
  EXPECT_EQ(s.Flavor, 1);
  EXPECT_EQ(s.MainAddr, "");
  EXPECT_EQ(s.OutbType, 0);
  EXPECT_EQ(s.OutbPath, "");
}

TEST_F(SettingsTest, TextsLongerThanTheirRoomReadAsDefaults) {
  auto k = RegKey::Create(key_);
  ASSERT_TRUE(k);
  k->SetString("MainAddr", std::string(29, '1'));
  k->SetString("DestAddr", std::string(30, '1'));
  k->SetString("OutbPath", std::string(260, 'p'));
  Settings s = sendrel::ReadSettings(key_);
  EXPECT_EQ(s.MainAddr, std::string(29, '1'));
  EXPECT_EQ(s.DestAddr, "");
  EXPECT_EQ(s.OutbPath, "");
  k->SetString("OutbPath", std::string(259, 'p'));
  k->SetString("MainAddr", std::string(30, '1'));
  s = sendrel::ReadSettings(key_);
  EXPECT_EQ(s.OutbPath, std::string(259, 'p'));
  EXPECT_EQ(s.MainAddr, "");
}

TEST_F(SettingsTest, ValuesOfTheWrongTypeReadAsDefaults) {
  auto k = RegKey::Create(key_);
  ASSERT_TRUE(k);
  k->SetString("Flavor", "2");
  k->SetDword("MainAddr", 0x35);
  const Settings s = sendrel::ReadSettings(key_);
  EXPECT_EQ(s.Flavor, 1);
  EXPECT_EQ(s.MainAddr, "");
}

TEST_F(SettingsTest, SavesOnlyWhatEachDialogOwns) {
  Settings s;
  s.DestAddr = "2:5020/1234";
  s.Flavor = 0;
  s.MainAddr = "2:5020/100";
  s.OutbType = 3;
  s.OutbPath = "/var/spool/boxes";
  sendrel::SaveAttachSettings(key_, s);
  Settings back = sendrel::ReadSettings(key_);
  EXPECT_EQ(back.DestAddr, "2:5020/1234");
  EXPECT_EQ(back.Flavor, 0);
  EXPECT_EQ(back.MainAddr, "");
  sendrel::SaveConfigSettings(key_, s);
  back = sendrel::ReadSettings(key_);
  EXPECT_EQ(back.MainAddr, "2:5020/100");
  EXPECT_EQ(back.OutbType, 3);
  EXPECT_EQ(back.OutbPath, "/var/spool/boxes");
}

}  // namespace
