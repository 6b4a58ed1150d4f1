// The plug-in on Windows (run under wine): sendrel.dll loaded by farhost.exe,
// brnet32.dll found beside the plug-in, the settings in the real registry.
// HostTest.cpp runs the plug-in here as on POSIX; these check what only
// Windows has: the registry itself, and the short 8.3 names handed over for
// outbound types 0 and 1, seen by the system's own calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "HostPlatform.h"
#include "TestSupport.h"
#include "support/ChildProcess.h"
#include "sys/Registry.h"

namespace {

namespace fs = std::filesystem;
using brnet::sys::RegDword;
using brnet::sys::RegKey;
using brnet::sys::RegText;
using brnet::test::ChildProcess;
using brnet::test::ReadFile;
using brnet::test::SplitLines;
using brnet::test::TempDir;
using brnet::test::WriteFile;

std::string ShortName(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD n = ::GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

class SendrelOnWindows : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(panel_); }

  // farhost.exe, with no person at the keyboard, running COMMAND of the
  // plug-in with OPTIONS, on FILES; its exit status.
  int Host(const std::string& command, const std::vector<std::string>& options,
           const std::vector<std::string>& files = {}) {
    std::vector<std::string> argv = registry_.HostOptions();
    argv.push_back("-b");
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"--", sendrel_test::BuildPath(SENDREL_MODULE), command});
    argv.insert(argv.end(), files.begin(), files.end());
    ChildProcess host(brnet::test::SiblingProgram("farhost"), argv);
    return host.Wait();
  }

  // attach on the panel's FILES, the attach dialog taking ANSWERS.
  int Attach(const std::vector<std::string>& files, const std::vector<std::string>& answers) {
    std::vector<std::string> options = {"-p", panel_};
    for (const auto& a : answers) options.insert(options.end(), {"-a", a});
    return Host("attach", options, files);
  }

  void Configure(const std::string& main, std::uint32_t type, const std::string& path) {
    auto key = RegKey::Create(key_);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SetString("MainAddr", main));
    ASSERT_TRUE(key->SetDword("OutbType", type));
    ASSERT_TRUE(key->SetString("OutbPath", path));
  }

  std::optional<brnet::sys::RegValue> Value(const char* name) {
    auto key = RegKey::Open(key_);
    return key ? key->Query(name) : std::nullopt;
  }

  TempDir dir_;
  // Each test program has a root key of its own: ctest runs them side by
  // side in one wine prefix.
  sendrel_test::PrivateRegistry registry_{dir_.Path()};
  const std::string root_ = registry_.FarKey() + "\\Plugins";
  const std::string key_ = root_ + "\\Quorral\\Sendrel";
  const std::string panel_ = dir_ / "Long directory name";
};

// --- the registry ------------------------------------------------------------

TEST_F(SendrelOnWindows, RegistryKeysAndValues) {
  EXPECT_FALSE(RegKey::Open(key_)) << "a key that was never made";
  {
    auto key = RegKey::Create(key_);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->SetString("Text", std::string("before\0after", 12)));
    EXPECT_TRUE(key->SetDword("Number", 0x12345678u));
  }
  // Names compare without regard to case; parents exist; types are kept.
  auto read = RegKey::Open(root_ + "\\QUORRAL\\sendrel");
  ASSERT_TRUE(read);
  EXPECT_EQ(RegText(read->Query("text")), "before") << "the registry keeps C texts";
  EXPECT_EQ(RegDword(read->Query("NUMBER")), 0x12345678u);
  EXPECT_FALSE(RegText(read->Query("Number"))) << "a number is no text";
  EXPECT_FALSE(read->Query("Missing"));
  EXPECT_TRUE(RegKey::Open(root_ + "\\Quorral"));
  EXPECT_FALSE(read->SetString("Text", "x")) << "a key opened for reading refuses writes";
  EXPECT_FALSE(RegKey::Create(root_ + "\\\\Bad"));

  // Seen by the system's own calls, as another program would see them.
  DWORD type = 0, size = 0;
  ASSERT_EQ(
      ::RegGetValueA(HKEY_CURRENT_USER, key_.c_str(), "Number", RRF_RT_ANY, &type, nullptr, &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);
}

// --- attaching, end to end ------------------------------------------------------

TEST_F(SendrelOnWindows, BinkOutboundGetsShortNames) {
  const std::string file = panel_ + "\\A long file name.txt";
  WriteFile(file, "first file\n");
  WriteFile(panel_ + "\\b.txt", "second file\n");
  const std::string out = dir_ / "outbound";
  Configure("2:5020/100", 1, out);
  ASSERT_EQ(
      Attach({"A long file name.txt", "b.txt"}, {"#2=2:5020/1234", "select Normal", "press Ok"}),
      0);
  const std::string flo = out + "\\139C04D2.flo";
  ASSERT_TRUE(fs::exists(flo)) << "no flow file in " << out;
  const std::string shortFile = ShortName(file);
  ASSERT_FALSE(shortFile.empty());
  EXPECT_EQ(shortFile.find(' '), std::string::npos) << shortFile;
  EXPECT_EQ(SplitLines(ReadFile(flo)),
            (std::vector<std::string>{shortFile, ShortName(panel_ + "\\b.txt")}));
  EXPECT_NE(shortFile, file);
  EXPECT_EQ(RegText(Value("DestAddr")), "2:5020/1234");
  EXPECT_EQ(ReadFile(file), "first file\n");
}

TEST_F(SendrelOnWindows, NetmailAttachNamesTheShortPath) {
  const std::string file = panel_ + "\\A long file name.txt";
  WriteFile(file, "first file\n");
  const std::string netmail = dir_ / "netmail";
  fs::create_directories(netmail);
  Configure("2:5020/100", 0, netmail);
  ASSERT_EQ(Attach({"A long file name.txt"}, {"#2=2:5020/1234", "select Hold", "press Ok"}), 0);
  std::vector<std::string> bodies;
  for (const auto& e : fs::directory_iterator(netmail)) {
    if (e.path().extension() == ".msg" || e.path().extension() == ".MSG") {
      bodies.push_back(ReadFile(e.path().string()));
    }
  }
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_NE(bodies[0].find(ShortName(file)), std::string::npos);
  EXPECT_EQ(bodies[0].find("A long file name"), std::string::npos);
}

// File boxes take copies under the long names: no short form there.
TEST_F(SendrelOnWindows, LongFileBoxKeepsLongNames) {
  WriteFile(panel_ + "\\A long file name.txt", "first file\n");
  const std::string boxes = dir_ / "boxes";
  Configure("2:5020/100", 3, boxes);
  ASSERT_EQ(Attach({"A long file name.txt"}, {"#2=2:5020/1234", "select Normal", "press Ok"}), 0);
  EXPECT_EQ(ReadFile(boxes + "\\2.5020.1234.0\\A long file name.txt"), "first file\n");
}

}  // namespace
