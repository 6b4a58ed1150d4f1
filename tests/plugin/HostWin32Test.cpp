// The plug-in on Windows (run under wine): sendrel.dll loaded by farhost.exe,
// brnet32.dll found beside the plug-in, the settings in the real registry.
// The POSIX host tests (HostTest.cpp) also capture the host's output and use
// stand-in libraries; these check what only Windows has: the registry
// itself, and the short 8.3 names handed over for outbound types 0 and 1.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

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
using brnet::test::TempDir;
using brnet::test::WriteFile;

// A build-tree path as the Windows programs see it: the build runs on the
// host, whose root is drive Z: under wine.
std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string ShortName(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD n = ::GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

class SendrelOnWindows : public ::testing::Test {
 protected:
  // Each test program has a root key of its own: ctest runs them side by
  // side in one wine prefix.
  void SetUp() override {
    root_ = "Software\\BrnetTest\\" + std::to_string(brnet::test::CurrentProcessId()) + "\\Plugins";
    key_ = root_ + "\\Quorral\\Sendrel";
    panel_ = dir_ / "Long directory name";
    fs::create_directories(panel_);
  }
  void TearDown() override {
    ::RegDeleteTreeA(
        HKEY_CURRENT_USER,
        ("Software\\BrnetTest\\" + std::to_string(brnet::test::CurrentProcessId())).c_str());
  }

  // farhost.exe, with no person at the keyboard, running COMMAND of the
  // plug-in with OPTIONS, on FILES; its exit status.
  int Host(const std::string& command, const std::vector<std::string>& options,
           const std::vector<std::string>& files = {}) {
    std::vector<std::string> argv = {"-b", "-r", root_};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"--", WindowsPath(SENDREL_MODULE), command});
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
  std::string root_, key_, panel_;
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

// The configuration dialog run in one process, the values read in another.
TEST_F(SendrelOnWindows, ConfigurationPersistsInTheRegistry) {
  const std::string out = dir_ / "out";
  fs::create_directories(out);
  ASSERT_EQ(Host("configure", {"-a", "field 1=2:5020/100.5", "-a", "select Long", "-a",
                               "field 2=" + out, "-a", "press Ok"}),
            0);
  EXPECT_EQ(RegText(Value("MainAddr")), "2:5020/100.5");
  EXPECT_EQ(RegDword(Value("OutbType")), 3u);
  EXPECT_EQ(RegText(Value("OutbPath")), out);

  // A second run that is cancelled changes nothing.
  EXPECT_EQ(Host("configure", {"-a", "field 1=2:5020/1", "-a", "esc"}), 0);
  EXPECT_EQ(RegText(Value("MainAddr")), "2:5020/100.5");
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
  EXPECT_EQ(Lines(ReadFile(flo)),
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
