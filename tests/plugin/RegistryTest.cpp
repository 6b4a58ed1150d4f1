// The POSIX registry: its file format, and the hive file under concurrent
// writers, damage and foreign content.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "TestSupport.h"
#include "sys/Registry.h"
#include "sys/posix/host/RegFile.h"
#include "sys/posix/host/RegPaths.h"

namespace {

namespace fs = std::filesystem;
namespace rf = brnet::sys::regfile;
using brnet::sys::RegDword;
using brnet::sys::RegKey;
using brnet::sys::RegText;
using brnet::test::ReadFile;
using brnet::test::TempDir;
using brnet::test::WriteFile;

TEST(RegFile, FormatAndParseRoundTrip) {
  rf::Hive hive;
  rf::Key& k = hive.AddKey("Software\\Far\\Plugins\\Quorral\\Sendrel");
  rf::Hive::SetValue(k, "DestAddr",
                     {brnet::sys::RegType::String, std::string("2:5020/1234\0", 12)});
  rf::Hive::SetValue(k, "Odd \"name\"\\",
                     {brnet::sys::RegType::String, std::string("a\tb\x7f\"\\\xd0\xb0\0", 9)});
  rf::Hive::SetValue(k, "Flavor", {brnet::sys::RegType::Dword, std::string("\x01\x00\x00\x80", 4)});
  const std::string text = rf::Format(hive);
  EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\Quorral\\Sendrel]\n"
                      "\"DestAddr\"=\"2:5020/1234\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"Odd \\\"name\\\"\\\\\"=\"a\\x09b\\x7F\\\"\\\\\xd0\xb0\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"Flavor\"=dword:80000001\n"), std::string::npos) << text;

  auto back = rf::Parse(text);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->keys.size(), 1u);
  EXPECT_EQ(rf::Format(*back), text);
  const rf::Value* v = rf::Hive::FindValue(back->keys[0], "odd \"NAME\"\\");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->value.data, std::string("a\tb\x7f\"\\\xd0\xb0\0", 9));
}

TEST(RegFile, ReadsWhatPeopleWrite) {
  auto hive = rf::Parse(
      "REGEDIT4\r\n\r\n; my settings\r\n[hkey_current_user\\Software\\A]\r\n"
      "\"X\"=DWORD:1f\r\n\"X\"=\"later wins\"\r\n[HKEY_CURRENT_USER\\Software\\A\\B]\r\n");
  ASSERT_TRUE(hive);
  EXPECT_TRUE(hive->HasKey("software"));
  EXPECT_TRUE(hive->HasKey("SOFTWARE\\a\\b"));
  EXPECT_FALSE(hive->HasKey("Software\\A\\B\\C"));
  EXPECT_FALSE(hive->HasKey("Soft"));
  const rf::Key* a = hive->FindKey("software\\a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(RegText(rf::Hive::FindValue(*a, "x")->value), "later wins");
}

TEST(RegFile, RefusesAnythingElse) {
  const char* bad[] = {
      "",                                        // no header
      "Windows Registry Editor Version 5.00\n",  // not our layout
      "REGEDIT4\n\"A\"=\"value before any key\"\n",
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n",      // another hive
      "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\\\X]\n",  // empty key name
      "REGEDIT4\n[HKEY_CURRENT_USER\\Software\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"A\"=\"bad \\q escape\"\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"A\"=\"unterminated\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"A\"=\"nul \\x00 inside\"\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"A\"=dword:123456789\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"A\"=hex:01,02\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"A\"=\"x\" trailing\n",
  };
  for (const char* text : bad) EXPECT_FALSE(rf::Parse(text)) << text;
  EXPECT_FALSE(rf::Parse("REGEDIT4\n;" + std::string(rf::kMaxFileSize, 'x')));
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", dir_.Path().c_str(), 1);
    file_ = brnet::sys::host::HiveFile();
  }
  TempDir dir_;
  std::string file_;
};

TEST_F(Registry, LivesUnderXdgConfigHomeOrHome) {
  EXPECT_EQ(file_, dir_.Path() + "/brnet32/hkcu.reg");
  ::setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
  ::setenv("HOME", "/home/sysop", 1);
  EXPECT_EQ(brnet::sys::host::HiveFile(), "/home/sysop/.config/brnet32/hkcu.reg");
}

TEST_F(Registry, MissingHiveHasNoKeys) {
  EXPECT_FALSE(RegKey::Open("Software"));
  EXPECT_FALSE(fs::exists(file_)) << "reading never creates the hive";
}

TEST_F(Registry, WritesArePrivateAtomicAndReadBack) {
  {
    auto key = RegKey::Create("Software\\Far\\Plugins\\Quorral\\Sendrel");
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->SetString("DestAddr", "2:5020/1234"));
  }
  struct stat st {};
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const ino_t before = st.st_ino;

  auto key = RegKey::Create("software\\far\\plugins\\quorral\\sendrel");
  ASSERT_TRUE(key);
  EXPECT_TRUE(key->SetDword("Flavor", 2));
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_NE(st.st_ino, before) << "replaced by rename, not rewritten in place";
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  for (const auto& e : fs::directory_iterator(fs::path(file_).parent_path())) {
    const std::string n = e.path().filename().string();
    EXPECT_TRUE(n == "hkcu.reg" || n == "hkcu.reg.lock") << "left behind: " << n;
  }

  auto read = RegKey::Open("Software\\Far\\Plugins\\Quorral\\Sendrel");
  ASSERT_TRUE(read);
  EXPECT_EQ(RegText(read->Query("destaddr")), "2:5020/1234");
  EXPECT_EQ(RegDword(read->Query("Flavor")), 2u);
  EXPECT_FALSE(read->Query("Missing"));
  EXPECT_FALSE(RegDword(read->Query("DestAddr"))) << "a text is not a number";
  EXPECT_FALSE(read->SetString("X", "y")) << "opened for reading only";
  EXPECT_TRUE(RegKey::Open("Software\\Far")) << "a parent of a key exists too";
  EXPECT_FALSE(RegKey::Create("Software\\\\Bad"));
}

TEST_F(Registry, TextsEndAtTheirNul) {
  auto key = RegKey::Create("S");
  ASSERT_TRUE(key);
  EXPECT_TRUE(key->SetString("T", std::string("abc\0def", 7)));
  EXPECT_EQ(key->Query("T")->data, std::string("abc\0", 4));
}

// A damaged or foreign file reads as empty and is kept aside, not
// overwritten, when something is written.
TEST_F(Registry, DamagedOrForeignHiveIsSetAside) {
  fs::create_directories(fs::path(file_).parent_path());
  const std::string damaged = "REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"A\"=\"cut off";
  const std::string foreign =
      "\x7f"
      "ELF binary garbage";
  WriteFile(file_, damaged);
  EXPECT_FALSE(RegKey::Open("S"));
  auto key = RegKey::Create("S");
  ASSERT_TRUE(key);
  EXPECT_EQ(ReadFile(file_ + ".damaged"), damaged);
  EXPECT_EQ(RegText(key->Query("A")), std::nullopt);
  EXPECT_TRUE(key->SetString("A", "fresh"));

  WriteFile(file_, foreign);
  EXPECT_FALSE(RegKey::Open("S"));
  EXPECT_TRUE(key->SetString("A", "again"));
  EXPECT_EQ(ReadFile(file_ + ".damaged"), damaged) << "an earlier copy is never replaced";
  EXPECT_EQ(ReadFile(file_ + ".damaged.1"), foreign);
  EXPECT_EQ(RegText(RegKey::Open("S")->Query("A")), "again");

  fs::remove(file_);
  fs::create_directory(file_);  // not even a file
  EXPECT_FALSE(RegKey::Open("S"));
}

TEST_F(Registry, WritesThroughASymbolicLink) {
  fs::create_directories(fs::path(file_).parent_path());
  const std::string real = dir_ / "dotfiles.reg";
  WriteFile(real, "REGEDIT4\n");
  fs::create_symlink(real, file_);
  auto key = RegKey::Create("S");
  ASSERT_TRUE(key && key->SetDword("N", 5));
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_NE(ReadFile(real).find("\"N\"=dword:00000005"), std::string::npos);
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
  constexpr int kWriters = 8, kValues = 10;
  std::vector<pid_t> pids;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      auto key = RegKey::Create("S");
      bool ok = key.has_value();
      for (int v = 0; ok && v < kValues; ++v) {
        ok = key->SetDword("w" + std::to_string(w) + "v" + std::to_string(v), v);
      }
      ::_exit(ok ? 0 : 1);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto key = RegKey::Open("S");
  ASSERT_TRUE(key);
  for (int w = 0; w < kWriters; ++w) {
    for (int v = 0; v < kValues; ++v) {
      EXPECT_EQ(RegDword(key->Query("w" + std::to_string(w) + "v" + std::to_string(v))),
                static_cast<std::uint32_t>(v));
    }
  }
}

}  // namespace
