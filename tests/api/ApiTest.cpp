// The br interface as a run-time caller sees it: the shared library is loaded
// for every test (a fresh process-wide state) and its twelve names are bound
// by name (dlopen/dlsym, or LoadLibraryA/GetProcAddress on Windows).
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "TestSupport.h"
#include "api/BrLib.h"
#include "api/brnet32.h"

namespace {

using brnet::test::BrLib;
using brnet::test::ReadFile;
using brnet::test::Same;
using brnet::test::TempDir;
using brnet::test::Word;

class BrApi : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(br.Load()); }
  void TearDown() override {
    if (br.lib.IsOpen()) br.Unload();
  }
  BrLib br;
};

TEST_F(BrApi, LastErrorIsEmptyAfterLoad) {
  const char* text = br.GetLastError();
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
}

TEST_F(BrApi, SetMainAddrNullClearsAndKeepsError) {
  EXPECT_FALSE(br.SetMainAddr("2:5020"));
  EXPECT_EQ(br.Error(), "Invalid address 2:5020");
  EXPECT_TRUE(br.SetMainAddr("2:5020/100"));
  EXPECT_TRUE(br.SetMainAddr(nullptr));
  EXPECT_EQ(br.Error(), "Invalid address 2:5020");
  EXPECT_TRUE(Same(br.Parse("5"), 65535, 65535, 5, 0)) << "no main address fills parts";
}

TEST_F(BrApi, FailedSetMainAddrLeavesNoMainAddress) {
  ASSERT_TRUE(br.SetMainAddr("2:5020/100"));
  EXPECT_TRUE(Same(br.Parse("5"), 2, 5020, 5, 0));
  EXPECT_FALSE(br.SetMainAddr("2:5020/x"));
  EXPECT_EQ(br.Error(), "Invalid address 2:5020/x");
  EXPECT_TRUE(Same(br.Parse("5"), 65535, 65535, 5, 0));
}

TEST_F(BrApi, NewMainAddressIsParsedWithoutTheOldOne) {
  ASSERT_TRUE(br.SetMainAddr("2:5020/100"));
  ASSERT_TRUE(br.SetMainAddr("5"));
  // Zone and net of the main address were not given; its node fills in.
  EXPECT_TRUE(Same(br.Parse(".3"), 65535, 65535, 5, 3));
}

TEST_F(BrApi, ParseAddr) {
  brAddrRec rec{9, 9, 9, 9};
  EXPECT_FALSE(br.ParseAddr("2:5020/1", nullptr));
  EXPECT_FALSE(br.ParseAddr(nullptr, &rec));
  EXPECT_EQ(br.Error(), "") << "NULL arguments store no text";
  EXPECT_TRUE(Same(br.Parse("2:5020/1234.5@fidonet"), 2, 5020, 1234, 5));
  EXPECT_TRUE(Same(br.Parse(""), 65535, 65535, 65535, 0));
  EXPECT_FALSE(br.ParseAddr("1:70000/1", &rec));
  EXPECT_EQ(br.Error(), "Invalid address 1:70000/1: 70000 is out of range");
  EXPECT_FALSE(br.ValidAddr("2:5020/65535")) << "would read as not given";
  EXPECT_FALSE(br.ParseAddr("2:5020/1.", &rec));
  EXPECT_EQ(br.Error(), "Invalid address 2:5020/1.");
  EXPECT_TRUE(Same(rec, 9, 9, 9, 9)) << "record untouched on failure";
  EXPECT_FALSE(br.ParseAddr("2:5020/*", &rec));
  EXPECT_EQ(br.Error(), "2:5020/*: Wildcards not allowed here");
  EXPECT_FALSE(br.ParseAddr("2:12345678901/1", &rec));
  EXPECT_EQ(br.Error(), "'12345678901' is not a valid integer value");
}

TEST_F(BrApi, ValidAddrTouchesNoState) {
  EXPECT_FALSE(br.SetMainAddr("bad"));
  EXPECT_TRUE(br.ValidAddr(""));
  EXPECT_TRUE(br.ValidAddr(nullptr));
  EXPECT_TRUE(br.ValidAddr("2:5020/1"));
  EXPECT_FALSE(br.ValidAddr("2:5020/1 "));
  EXPECT_FALSE(br.ValidAddr("all"));
  EXPECT_FALSE(br.ValidAddr("99999999999"));
  EXPECT_EQ(br.Error(), "Invalid address bad");
}

TEST_F(BrApi, SuccessNeverClearsTheLastError) {
  EXPECT_FALSE(br.SetMainAddr("2:"));
  EXPECT_TRUE(br.SetMainAddr("2:5020/1"));
  EXPECT_TRUE(br.ParseAddr("1", &*std::make_unique<brAddrRec>()));
  EXPECT_EQ(br.Error(), "Invalid address 2:");
}

TEST_F(BrApi, OutboundFunctionsNeedAnOutbound) {
  EXPECT_FALSE(br.SetOutboundBsy(nullptr, 6, 6));
  EXPECT_EQ(br.Error(), "Outbound not initialized");
  br.GetLastError();
  EXPECT_FALSE(br.RescanOutbound());
  const char* files[] = {"/tmp/x"};
  EXPECT_FALSE(br.AttachFiles(Word(2, 5020), Word(1, 0), files, 1, 3, 0, 0));
  EXPECT_EQ(br.Error(), "Outbound not initialized");
  EXPECT_TRUE(br.FreeOutbound());
}

TEST_F(BrApi, LogLifecycle) {
  TempDir dir;
  const std::string first = dir / "first.log", second = dir / "second.log";
  EXPECT_FALSE(br.Log('+', "x"));
  EXPECT_EQ(br.Error(), "Log not initialized");
  ASSERT_TRUE(br.InitLog(first.c_str(), "attach"));
  ASSERT_TRUE(br.Log('+', "one"));
  ASSERT_TRUE(br.Log('+', nullptr));
  ASSERT_TRUE(br.InitLog(second.c_str(), "ab"));
  ASSERT_TRUE(br.Log('!', "two"));
  const std::regex start(R"(\* \d\d \w{3} \d\d:\d\d:\d\d (.{4}) Starting (.{4})\r\n)");
  std::string a = ReadFile(first), b = ReadFile(second);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(a, m, start)) << a;
  EXPECT_EQ(m[1], "ATTA");
  EXPECT_EQ(m[2], "ATTA");
  EXPECT_NE(a.find(" ATTA one\r\n"), std::string::npos);
  EXPECT_NE(a.find(" ATTA \r\n"), std::string::npos) << "NULL text writes an empty text";
  EXPECT_EQ(a.find("two"), std::string::npos);
  ASSERT_TRUE(std::regex_search(b, m, start)) << b;
  EXPECT_EQ(m[1], "AB  ");
  EXPECT_NE(b.find("! "), std::string::npos);
  EXPECT_TRUE(br.FreeLog());
  EXPECT_TRUE(br.FreeLog());
  EXPECT_FALSE(br.Log('+', "x"));
  EXPECT_EQ(br.Error(), "Log not initialized");
}

TEST_F(BrApi, LogWithoutFileNameAcceptsLinesAndWritesNothing) {
  TempDir dir;
  ASSERT_TRUE(br.InitLog(nullptr, "demo"));
  EXPECT_TRUE(br.Log('+', "nowhere"));
  EXPECT_TRUE(br.InitLog("", nullptr));
  EXPECT_TRUE(br.Log('+', "nowhere"));
}

TEST_F(BrApi, LogThatCannotBeCreatedStaysWithLoggingOff) {
  TempDir dir;
  const std::string bad = dir / "missing/dir/x.log";
  EXPECT_FALSE(br.InitLog(bad.c_str(), "demo"));
  EXPECT_EQ(br.Error(), "Path not found: " + bad);
  EXPECT_TRUE(br.Log('+', "dropped")) << "the log stays, with logging off";
}

TEST_F(BrApi, LogLineThatCannotBeWrittenFails) {
  TempDir dir;
  const std::string path = dir / "gone.log";
  ASSERT_TRUE(br.InitLog(path.c_str(), "demo"));
  ASSERT_TRUE(std::filesystem::remove(path));
  EXPECT_FALSE(br.Log('+', "x"));
  EXPECT_EQ(br.Error(), "File not found: " + path);
}

TEST_F(BrApi, UnloadReleasesEverythingAndReloadStartsFresh) {
  TempDir dir;
  const std::string path = dir / "u.log";
  ASSERT_TRUE(br.SetMainAddr("2:5020/100"));
  ASSERT_TRUE(br.InitLog(path.c_str(), "unld"));
  EXPECT_FALSE(br.ParseAddr("x", &*std::make_unique<brAddrRec>()));
  ASSERT_NO_FATAL_FAILURE(br.Unload());
  ASSERT_NO_FATAL_FAILURE(br.Load());
  EXPECT_STREQ(br.GetLastError(), "");
  EXPECT_TRUE(Same(br.Parse("5"), 65535, 65535, 5, 0));
  EXPECT_FALSE(br.Log('+', "x"));
  EXPECT_EQ(ReadFile(path).find(" x\r\n"), std::string::npos);
}

}  // namespace
