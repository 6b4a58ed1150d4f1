// The *.MSG message base: listing, numbering, walking, saving, errors.
#include "msgbase/MsgBase.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif
#include <filesystem>
#include <functional>
#include <set>

#include "MsgTestSupport.h"

namespace brnet {
namespace {

namespace fs = std::filesystem;
using test::RawHeader;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Message(std::string_view subject) {
  RawHeader h;
  h.subject = std::string(subject);
  return h.Bytes() + '\0';
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  return "no error";
}

class MsgBaseTest : public ::testing::Test {
 protected:
  MsgBaseTest() : main_("2:5020/100") { base_.SetPathName(dir_.Path()); }

  void Put(std::string_view name, std::string_view subject) {
    WriteFile(dir_ / name, Message(subject));
  }

  // Adds one new message to the open base; returns the file it went to.
  std::string AddNew(std::string_view subject = "new") {
    TMailMsg& msg = base_.New();
    msg.SetSubject(subject);
    msg.FromAddr = TFidoAddr::CreateCopy(MainAddress());
    msg.ToAddr = TFidoAddr::CreateFromText("2:5020/1234", false);
    base_.Save();
    return fs::path(base_.Store()->FileNames().back()).filename().string();
  }

  // Subjects of every message, walking the base from the start.
  std::vector<std::string> Walk() {
    std::vector<std::string> subjects;
    base_.Rewind();
    while (!base_.AtEnd()) subjects.push_back(base_.Next().Subject());
    return subjects;
  }

  // The directory's entries but the MSGID serial file.
  std::set<std::string> DirNames() {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.Path())) {
      names.insert(e.path().filename().string());
    }
    names.erase(std::string(TMsgMsg::kSerialFileName));
    return names;
  }

  test::ScopedMainAddress main_;
  TempDir dir_;
  TMsgBase base_;
};

TEST_F(MsgBaseTest, ListingCountsNumberedFilesOnly) {
  for (const char* name : {"1.msg", "2.msg", "10.msg", "readme.msg", "0.msg", "0007.msg", "5.MSG",
                           "3.msgx", "notes.txt", ".9.msg"}) {
    Put(name, name);
  }
  fs::create_directory(dir_ / "40.msg");  // directories are not messages
  base_.Open();
  TMsgMsg& store = *base_.Store();
  EXPECT_EQ(store.Count(), 5);
  EXPECT_EQ(store.Highest(), 10);
  EXPECT_EQ(store.Current(), -1);
  std::vector<std::string> walked = Walk();
  EXPECT_EQ(std::multiset<std::string>(walked.begin(), walked.end()),
            (std::multiset<std::string>{"1.msg", "2.msg", "10.msg", "0007.msg", "5.MSG"}));
  EXPECT_EQ(AddNew(), "11.msg");
  EXPECT_EQ(store.Highest(), 11);
}

#ifndef _WIN32
TEST_F(MsgBaseTest, FifosAndLinksInTheListing) {
  Put("0007.msg", "0007.msg");
  fs::create_directory(dir_ / "40.msg");
  ASSERT_EQ(::mkfifo((dir_ / "41.msg").c_str(), 0644), 0);  // nor FIFOs: reading would hang
  fs::create_directory_symlink(dir_ / "40.msg", dir_ / "42.msg");
  fs::create_symlink(dir_ / "0007.msg", dir_ / "43.msg");  // nor links: never read through
  base_.Open();
  EXPECT_EQ(base_.Store()->Count(), 1);
  EXPECT_EQ(base_.Store()->Highest(), 7);
  EXPECT_EQ(Walk(), (std::vector<std::string>{"0007.msg"}));
  EXPECT_EQ(AddNew(), "8.msg");
}
#endif

TEST_F(MsgBaseTest, NextNumberFollowsTheHighest) {
  for (const char* name : {"1.msg", "2.msg", "10.msg", "readme.msg"}) Put(name, name);
  base_.Open();
  EXPECT_EQ(base_.Store()->Count(), 3);
  EXPECT_EQ(base_.Store()->Highest(), 10);
  EXPECT_EQ(AddNew(), "11.msg");

  // Gaps below the highest number are never reused.
  TempDir gaps;
  WriteFile(gaps / "3.msg", Message("three"));
  WriteFile(gaps / "12.msg", Message("twelve"));
  base_.SetPathName(gaps.Path());
  EXPECT_EQ(AddNew(), "13.msg");
}

TEST_F(MsgBaseTest, NewMessagesNeverTakeNumberOne) {
  base_.Open();
  EXPECT_TRUE(base_.AtEnd());
  EXPECT_EQ(AddNew("a"), "2.msg");
  EXPECT_EQ(AddNew("b"), "3.msg");
  EXPECT_EQ(base_.Store()->Count(), 2);
  EXPECT_EQ(Walk(), (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(fs::exists(dir_ / "1.msg"));

  // An existing 1.msg is read like any other message.
  base_.Close();
  fs::remove(dir_ / "2.msg");
  fs::remove(dir_ / "3.msg");
  Put("1.msg", "one");
  base_.Open();
  EXPECT_EQ(Walk(), std::vector<std::string>{"one"});
  EXPECT_EQ(AddNew(), "2.msg");
}

TEST_F(MsgBaseTest, FilesAppearingAfterOpenAreNeverOverwritten) {
  Put("2.msg", "two");
  base_.Open();
  // Another program writes the numbers the base would choose next; a
  // directory takes a name as well.
  Put("3.msg", "theirs");
  fs::create_directory(dir_ / "4.msg");
  const std::string theirs = ReadFile(dir_ / "3.msg");
  EXPECT_EQ(AddNew("mine"), "5.msg");
  EXPECT_EQ(ReadFile(dir_ / "3.msg"), theirs);
  EXPECT_EQ(base_.Store()->Highest(), 5);
  EXPECT_EQ(base_.Store()->Current(), 5);
  EXPECT_EQ(AddNew("next"), "6.msg");
  EXPECT_EQ(Walk(), (std::vector<std::string>{"two", "mine", "next"}))
      << "the base sees only its listing and its own messages";
}

TEST_F(MsgBaseTest, WalkingAndItsErrors) {
  EXPECT_EQ(ErrorOf([&] { base_.New(); }), "Message base not open");
  EXPECT_EQ(ErrorOf([&] { base_.Next(); }), "Message base not open");
  EXPECT_EQ(ErrorOf([&] { base_.Save(); }), "Message base not open");
  EXPECT_EQ(base_.AreaStyle(), asLocal);

  Put("5.msg", "five");
  base_.Open();
  EXPECT_EQ(base_.AreaStyle(), asNetmail);
  base_.SetAreaStyle(asEcho);
  EXPECT_EQ(base_.AreaStyle(), asEcho);
  EXPECT_EQ(ErrorOf([&] { base_.Open(); }), "Message base is already open!");
  EXPECT_TRUE(base_.Active());

  base_.Rewind();
  EXPECT_EQ(base_.Next().Subject(), "five");
  EXPECT_EQ(base_.Store()->Current(), 1) << "the position read from";
  EXPECT_TRUE(base_.AtEnd());
  EXPECT_EQ(ErrorOf([&] { base_.Next(); }), "At end of message base");
  EXPECT_EQ(base_.Position(), 1);

  base_.Close();
  base_.Close();
  EXPECT_FALSE(base_.Active());
  EXPECT_EQ(base_.Store(), nullptr);
}

TEST_F(MsgBaseTest, ChangingPathOrStyleReopens) {
  Put("2.msg", "here");
  TempDir other;
  WriteFile(other / "7.msg", Message("there"));
  base_.Open();
  base_.Next();
  base_.SetPathName(other.Path());
  EXPECT_TRUE(base_.Active());
  EXPECT_EQ(base_.Position(), 0);
  EXPECT_EQ(base_.Store()->Highest(), 7);
  EXPECT_EQ(Walk(), std::vector<std::string>{"there"});

  base_.Close();
  base_.SetPathName(dir_.Path());  // closed: stays closed
  EXPECT_FALSE(base_.Active());
}

TEST_F(MsgBaseTest, MissingDirectoryIsEmptyUntilSaving) {
  base_.SetPathName(dir_ / "missing");
  base_.Open();
  EXPECT_TRUE(base_.AtEnd());
  EXPECT_TRUE(ErrorOf([&] { AddNew(); }).starts_with("Path not found: " + dir_ / "missing"));
  EXPECT_EQ(base_.Store()->Count(), 0);
  EXPECT_EQ(base_.Store()->State(), mstNew) << "the message can still be saved elsewhere";
}

#ifndef _WIN32
// Windows offers no way to make a write fail on demand.
TEST_F(MsgBaseTest, AFailedWriteLeavesNoHalfMessage) {
  base_.Open();
  // A file-size limit below one message makes the write fail (EFBIG).
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit tiny = old;
  tiny.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
  const std::string error = ErrorOf([&] { AddNew(); });
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_NE(error, "no error");
  EXPECT_TRUE(DirNames().empty()) << "the partly written 2.msg is removed";
  EXPECT_EQ(base_.Store()->Count(), 0);
  EXPECT_EQ(AddNew(), "2.msg");
}
#endif

TEST_F(MsgBaseTest, SavingAReadMessageRewritesItsOwnFile) {
  Put("4.msg", "four");
  Put("9.msg", "nine");
  base_.Open();
  TMailMsg* msg = nullptr;
  do {
    msg = &base_.Next();
  } while (msg->Subject() != "nine");
  msg->SetSubject("changed");
  base_.Save();
  EXPECT_EQ(DirNames(), (std::set<std::string>{"4.msg", "9.msg"}));
  const std::string file = ReadFile(dir_ / "9.msg");
  EXPECT_EQ(file.substr(72, 8), std::string("changed") + '\0');
  EXPECT_NE(file.find("\x01INTL 2:5020/1234 2:5020/100\r"), std::string::npos);
  EXPECT_EQ(file.find("MSGID"), std::string::npos) << "only new messages get a MSGID";
}

TEST_F(MsgBaseTest, AMessageThatFailedToReadIsNeverSaved) {
  WriteFile(dir_ / "3.msg", "short");
  const std::string before = ReadFile(dir_ / "3.msg");
  base_.Open();
  EXPECT_EQ(ErrorOf([&] { base_.Next(); }), "Read beyond end of file: " + dir_ / "3.msg");
  EXPECT_EQ(base_.Store()->State(), mstNone);
  EXPECT_THROW(base_.Save(), EAssertionFailed);
  EXPECT_EQ(ReadFile(dir_ / "3.msg"), before);
}

TEST_F(MsgBaseTest, DeleteRemovesTheCurrentMessage) {
  base_.Open();
  AddNew("a");
  AddNew("b");
  AddNew("c");
  base_.Rewind();
  ASSERT_EQ(base_.Next().Subject(), "a");
  base_.Next().Delete();  // b
  EXPECT_EQ(DirNames(), (std::set<std::string>{"2.msg", "4.msg"}));
  EXPECT_EQ(base_.Store()->Count(), 2);
  EXPECT_EQ(base_.Next().Subject(), "c") << "the walk goes on after the deleted message";
  EXPECT_TRUE(base_.AtEnd());

  base_.New().Delete();  // never saved: nothing on disk
  EXPECT_EQ(base_.Store()->State(), mstNone);
  EXPECT_EQ(AddNew(), "5.msg") << "numbers of deleted messages are not reused";
}

// The serial file keeps the last MSGID serial of every process saving here:
// a serial that is not above it follows it, so that processes never repeat
// each other's; a later one of this process's own rule stands.
TEST_F(MsgBaseTest, MsgIdSerialFollowsTheLastOneGivenOutInTheDirectory) {
  const std::string ids = dir_ / std::string(TMsgMsg::kSerialFileName);
  auto serialOf = [this](const std::string& name) {
    const std::string text = ReadFile(dir_ / name);
    const std::string kludge = "\x01MSGID: 2:5020/100 ";
    const std::size_t at = text.find(kludge);
    return at == std::string::npos ? std::string("none") : text.substr(at + kludge.size(), 8);
  };
  base_.Open();
  WriteFile(ids, "FFFFFFF0");  // ahead of the clock: another process, or a clock set back
  EXPECT_EQ(serialOf(AddNew()), "FFFFFFF1");
  EXPECT_EQ(serialOf(AddNew()), "FFFFFFF2");
  EXPECT_EQ(ReadFile(ids), "FFFFFFF2");
  WriteFile(ids, "FFFFFFFF");
  EXPECT_EQ(serialOf(AddNew()), "00000000") << "the serials wrap as 32-bit numbers";

  // Behind this process's own serial (a slower writer's): the own one stands.
  std::filesystem::remove(ids);
  const std::string firstText = serialOf(AddNew());
  const auto first = static_cast<std::uint32_t>(std::stoul(firstText, nullptr, 16));
  EXPECT_EQ(ReadFile(ids), firstText);
  char behind[9];
  std::snprintf(behind, sizeof behind, "%08X", static_cast<unsigned>(first - 0x100));
  WriteFile(ids, behind);
  const std::string own = serialOf(AddNew());
  const std::uint32_t ahead = static_cast<std::uint32_t>(std::stoul(own, nullptr, 16)) - first;
  EXPECT_TRUE(ahead >= 1 && ahead < 16 * 600) << own << " after " << behind;
  EXPECT_EQ(ReadFile(ids), own);
  WriteFile(ids, "not hex!");
  const std::string afterJunk = serialOf(AddNew());
  EXPECT_NE(afterJunk, "none");
  EXPECT_EQ(ReadFile(ids), afterJunk) << "an unreadable serial file is written afresh";
  EXPECT_EQ(DirNames().count(std::string(TMsgMsg::kSerialFileName)), 0u);
}

}  // namespace
}  // namespace brnet
