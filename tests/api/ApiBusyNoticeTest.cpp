// A refused attach leaves a notice for whoever debugs the host program: on
// Windows "Node %s is busy" through OutputDebugStringA. The debugger's output
// is outside the process, so ctest runs this program under wine with
// WINEDEBUG=warn+debugstr and looks for the notice on wine's standard error
// (tests/api/CMakeLists.txt); here the program only brings the refusal about.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "api/BrLib.h"

namespace {

TEST(BrBusyNotice, RefusedAttachToABusyNode) {
  brnet::test::BrLib br;
  ASSERT_NO_FATAL_FAILURE(br.Load());
  brnet::test::TempDir dir;
  const std::string out = dir / "out";
  std::filesystem::create_directories(out);
  // 2:5020/4660 is 139C1234: the mailer's flag, as Windows programs spell it.
  brnet::test::WriteFile(dir / "out/139C1234.BSY", "");
  ASSERT_TRUE(br.SetMainAddr("2:5020/100"));
  ASSERT_TRUE(br.InitOutbound(nullptr, out.c_str(), nullptr)) << br.Error();
  ASSERT_TRUE(br.SetOutboundBsy(nullptr, BR_BSY_BINK, BR_BSY_BINK));
  const std::string file = dir / "a.zip";
  brnet::test::WriteFile(file, "data");
  const char* files[] = {file.c_str()};
  EXPECT_FALSE(br.AttachFiles(brnet::test::Word(2, 5020), brnet::test::Word(4660, 0), files, 1,
                              BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE));
  EXPECT_EQ(br.Error(), "Node 2:5020/4660 is busy");
  EXPECT_EQ(brnet::test::Tree(out), std::vector<std::string>{"139C1234.BSY"});
  br.Unload();
}

}  // namespace
