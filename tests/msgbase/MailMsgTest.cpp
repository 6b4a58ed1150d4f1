// The *.MSG message format: bytes written, fields read back, kludges.
#include "msgbase/MailMsg.h"

#include <gtest/gtest.h>

#include <regex>

#include "MsgTestSupport.h"
#include "msgbase/MsgBase.h"
#include "sys/CodePage.h"

namespace brnet {
namespace {

using test::RawHeader;
using test::ReadFile;
using test::TempDir;
using test::WordAt;
using test::WriteFile;

const TMsgAttrs kAttachSet = {maPrivate, maFileAttached, maKillSent, maLocal};

class MailMsgTest : public ::testing::Test {
 protected:
  MailMsgTest() : main_("2:5020/100") {
    base_.SetPathName(dir_.Path());
    base_.SetPID("Brennor Outbound");
  }

  // Saves one new message from the main address to TO and returns the file.
  std::string SaveNew(std::string_view to, TMsgAttrs attrs = {maLocal}) {
    if (!base_.Active()) base_.Open();
    TMailMsg& msg = base_.New();
    msg.FromAddr = TFidoAddr::CreateCopy(MainAddress());
    msg.ToAddr = TFidoAddr::CreateFromText(to, false);
    msg.Attributes = attrs;
    base_.Save();
    return ReadFile(base_.Store()->FileNames().back());
  }

  // Reads the bytes DATA as a message of a freshly opened base.
  TMailMsg& ReadBack(const std::string& data) {
    WriteFile(dir_ / "2.msg", data);
    base_.Close();
    base_.Open();
    return base_.Next();
  }

  std::string Text(const std::string& file) { return file.substr(190); }

  test::ScopedMainAddress main_;
  TempDir dir_;
  TMsgBase base_;
};

TEST_F(MailMsgTest, NewMessageHeaderIsByteExact) {
  base_.Open();
  TMailMsg& msg = base_.New();
  msg.SetFromName("SysOp");
  msg.SetToName("Remote");
  msg.SetSubject("/files/nodelist.zip");
  msg.FromAddr = TFidoAddr::CreateFromText("2:5020/100", false);
  msg.ToAddr = TFidoAddr::CreateFromText("2:5021/1234", false);
  base_.Save();
  const std::string file = ReadFile(dir_ / "2.msg");

  ASSERT_GE(file.size(), 190u);
  EXPECT_EQ(file.substr(0, 36), "SysOp" + std::string(31, '\0'));
  EXPECT_EQ(file.substr(36, 36), "Remote" + std::string(30, '\0'));
  EXPECT_EQ(file.substr(72, 72), "/files/nodelist.zip" + std::string(53, '\0'));
  EXPECT_TRUE(std::regex_match(
      file.substr(144, 19), std::regex(R"(\d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec))"
                                       R"( \d\d  [0-2]\d:[0-5]\d:[0-5]\d)")))
      << file.substr(144, 19);
  EXPECT_EQ(file[163], '\0');
  EXPECT_EQ(WordAt(file, 164), 0) << "times read";
  EXPECT_EQ(WordAt(file, 166), 1234) << "destination node";
  EXPECT_EQ(WordAt(file, 168), 100) << "origin node";
  EXPECT_EQ(WordAt(file, 170), 0) << "cost";
  EXPECT_EQ(WordAt(file, 172), 5020) << "origin net";
  EXPECT_EQ(WordAt(file, 174), 5021) << "destination net";
  EXPECT_EQ(file.substr(176, 8), std::string(8, '\0'));
  EXPECT_EQ(WordAt(file, 184), 0) << "reply to";
  EXPECT_EQ(WordAt(file, 186), 0x0100) << "attributes {maLocal}";
  EXPECT_EQ(WordAt(file, 188), 0) << "next reply";

  // INTL, MSGID: and PID, each framed by 01 and CR, then one NUL.
  const std::regex text(
      "\x01INTL 2:5021/1234 2:5020/100\r"
      "\x01MSGID: 2:5020/100 [0-9A-F]{8}\r"
      "\x01PID Brennor Outbound\r");
  const std::string rest = Text(file);
  ASSERT_FALSE(rest.empty());
  EXPECT_EQ(rest.back(), '\0');
  EXPECT_TRUE(std::regex_match(rest.substr(0, rest.size() - 1), text)) << rest;
  EXPECT_EQ(rest.find('\n'), std::string::npos) << "no LF anywhere";
}

TEST_F(MailMsgTest, FileAttachAttributesAndKludgeOrder) {
  TMsgAttrs attrs = kAttachSet;
  attrs.Include(maDirect);
  attrs.Include(maKillFileSent);
  std::string file = SaveNew("2:5020/1234", attrs);
  EXPECT_EQ(WordAt(file, 186), 0x0191);
  EXPECT_TRUE(
      Text(file).ends_with("\x01"
                           "FLAGS DIR KFS\r" +
                           std::string(1, '\0')));

  attrs = kAttachSet;
  attrs.Include(maHold);
  attrs.Include(maTruncFileSent);
  base_.SetPID("");
  // Points on both sides: FMPT and TOPT come between INTL and MSGID:.
  main_.Addr().Point = 7;
  file = SaveNew("1:234/56.9", attrs);
  EXPECT_EQ(WordAt(file, 186), 0x0391);
  const std::regex text(
      "\x01INTL 1:234/56 2:5020/100\r\x01"
      "FMPT 7\r\x01TOPT 9\r"
      "\x01MSGID: 2:5020/100.7 [0-9A-F]{8}\r\x01"
      "FLAGS TFS\r");
  std::string rest = Text(file);
  rest.pop_back();
  EXPECT_TRUE(std::regex_match(rest, text)) << rest;
}

TEST_F(MailMsgTest, TextsAreCutToTheirFields) {
  base_.Open();
  TMailMsg& msg = base_.New();
  msg.SetFromName(std::string(36, 'F'));
  msg.SetToName(std::string(50, 'T'));
  msg.SetSubject(std::string(72, 'S'));
  EXPECT_EQ(msg.FromName().size(), 35u);
  EXPECT_EQ(msg.Subject().size(), 71u);
  msg.FromAddr = TFidoAddr::CreateFromText("2:5020/100", false);
  msg.ToAddr = TFidoAddr::CreateFromText("2:5020/1", false);
  base_.Save();
  const std::string file = ReadFile(dir_ / "2.msg");
  EXPECT_EQ(file.substr(0, 36), std::string(35, 'F') + '\0');
  EXPECT_EQ(file.substr(36, 36), std::string(35, 'T') + '\0');
  EXPECT_EQ(file.substr(72, 72), std::string(71, 'S') + '\0');
}

TEST(MsgDates, DateTextAndSerialsIgnoreTheLocale) {
  EXPECT_EQ(MsgDateText({2026, 12, 7, 17, 40, 29}), "07 Dec 26  17:40:29");
  EXPECT_EQ(MsgDateText({2001, 1, 9, 3, 4, 5}), "09 Jan 01  03:04:05");
  // Seconds since 11 June 1968 times 16 plus the counter, modulo 2^32
  // (the values computed separately).
  EXPECT_EQ(MsgIdSerialFor({1968, 6, 11, 0, 0, 0}, 0), "00000000");
  EXPECT_EQ(MsgIdSerialFor({1968, 6, 12, 0, 0, 1}, 3), "00151813");
  EXPECT_EQ(MsgIdSerialFor({2026, 12, 7, 17, 40, 29}, 0), "E05150D0");
  EXPECT_EQ(MsgIdSerialFor({2026, 12, 7, 17, 40, 29}, 17), "E05150E1")
      << "the counter carries into the seconds";
  EXPECT_EQ(MsgIdSerialFor({1960, 1, 1, 0, 0, 0}, 0), "01E2E000") << "before 1968 wraps";
}

TEST_F(MailMsgTest, SerialsInOneSecondDifferByOne) {
  auto serialOf = [this](const std::string& file) {
    std::smatch m;
    const std::string rest = Text(file);
    EXPECT_TRUE(std::regex_search(rest, m, std::regex("MSGID: \\S+ ([0-9A-F]{8})\r")));
    return std::make_pair(file.substr(144, 19), std::stoul(m[1].str(), nullptr, 16));
  };
  // Retry when the clock ticks between the two saves.
  for (int attempt = 0; attempt < 5; ++attempt) {
    auto [date1, serial1] = serialOf(SaveNew("2:5020/1"));
    auto [date2, serial2] = serialOf(SaveNew("2:5020/2"));
    if (date1 != date2) continue;
    EXPECT_EQ(serial2 - serial1, 1u);
    return;
  }
  FAIL() << "clock ticked on every attempt";
}

TEST_F(MailMsgTest, SetKludgeReplacesTheFirstLineWithThePrefix) {
  base_.Open();
  TMailMsg& msg = base_.New();
  msg.Kludges = {"TZUTC: 0100", "INTLX 1", "INTL 3:1/1 3:2/2"};
  msg.SetKludge("INTL", "2:5020/1 2:5020/2");
  msg.SetKludge("intl", "x");
  msg.SetKludge("FLAGS", "DIR");
  EXPECT_EQ(msg.Kludges, (std::vector<std::string>{"TZUTC: 0100", "INTL 2:5020/1 2:5020/2",
                                                   "INTL 3:1/1 3:2/2", "intl x", "FLAGS DIR"}));
}

TEST_F(MailMsgTest, SplittingTheTextAtCR) {
  std::string head = RawHeader().Bytes();
  TMailMsg& bare = ReadBack(head);
  EXPECT_TRUE(bare.Kludges.empty());
  EXPECT_EQ(bare.Body, std::vector<std::string>{""}) << "190 bytes: one empty body line";

  TMailMsg& msg =
      ReadBack(head + "\x01INTL 2:5020/1234 2:5020/100\rHello\r\n\x01NOTKLUDGE\r\r\x01" +
               "\r\x01"
               "FLAGS PVT\rlast\r" +
               std::string(1, '\0'));
  EXPECT_EQ(msg.Kludges,
            (std::vector<std::string>{"INTL 2:5020/1234 2:5020/100", "", "FLAGS PVT"}));
  EXPECT_EQ(msg.Body, (std::vector<std::string>{"Hello", "\n\x01NOTKLUDGE", "", "last", ""}))
      << "LF is an ordinary byte; text ending in CR ends with an empty line";
}

TEST_F(MailMsgTest, ReadingTheHeader) {
  RawHeader h;
  h.from = std::string(36, 'A');  // fills its field: no NUL before the next one
  h.to = "Bob";
  h.subject = std::string(72, 's');
  h.origNet = 65535;  // the 16-bit pattern of -1
  h.destNet = 5020;
  h.destNode = 1234;
  h.attr = 0x0191 | 0x0400 | 0x0200;
  TMailMsg& msg = ReadBack(h.Bytes() + '\0');
  EXPECT_EQ(msg.FromName(), std::string(35, 'A'));
  EXPECT_EQ(msg.ToName(), "Bob");
  EXPECT_EQ(msg.Subject(), std::string(71, 's'));
  TMsgAttrs expected = kAttachSet;
  expected.Include(maHold);
  EXPECT_EQ(msg.Attributes, expected) << "bit 0400 has no attribute";
  EXPECT_EQ(msg.FromAddr->ToString(), "2:-1/100");
  EXPECT_EQ(msg.ToAddr->ToString(), "2:5020/1234") << "zone 0 takes the main zone";
  EXPECT_EQ(msg.State(), mstStored);

  h.attr = 0x0800 | 0x2000;
  EXPECT_EQ(ReadBack(h.Bytes()).Attributes, (TMsgAttrs{maFileRequest, maIsReturnReceipt}));
}

TEST_F(MailMsgTest, KludgesGiveZonesPointsAndFlags) {
  TMailMsg& msg = ReadBack(RawHeader().Bytes() +
                           "\x01INTL\t 1:234/56   3:5020/100 \r\x01"
                           "FMPT 5 \r\x01TOPT 0012\r"
                           "\x01"
                           "FLAGS KFS,DIR HLD\r\x01"
                           "FLAGS kfs tfs\r" +
                           '\0');
  EXPECT_EQ(msg.ToAddr->Format(afFullPoint), "1:5020/1234.12") << "only the zone comes from INTL";
  EXPECT_EQ(msg.FromAddr->Format(afFullPoint), "3:5020/100.5");
  TMsgAttrs expected = {maLocal, maKillFileSent, maDirect, maHold};
  EXPECT_EQ(msg.Attributes, expected) << "tokens are case-sensitive";
}

TEST_F(MailMsgTest, MalformedTextsNeverReadOutOfBounds) {
  const std::string head = RawHeader().Bytes();
  // No NUL at all, and NULs inside: the text ends at the first one.
  EXPECT_EQ(ReadBack(head + "one\rtwo").Body, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(ReadBack(head + "one\r" + '\0' + "\x01INTL x y\r" + '\0').Body,
            (std::vector<std::string>{"one", ""}));

  // A kludge line longer than any read chunk, and a NUL beyond the first chunk.
  const std::string huge(200000, 'K');
  TMailMsg& msg = ReadBack(head + "\x01" + huge + "\r" + std::string(70000, 'b') + '\0' + "tail");
  EXPECT_EQ(msg.Kludges, std::vector<std::string>{huge});
  EXPECT_EQ(msg.Body, std::vector<std::string>{std::string(70000, 'b')});
}

TEST_F(MailMsgTest, ShortFilesAndBadKludgeValuesFail) {
  const std::string head = RawHeader().Bytes();
  auto readError = [this](const std::string& data) -> std::string {
    try {
      ReadBack(data);
    } catch (const Exception& e) {
      return e.what();
    }
    return "no error";
  };
  EXPECT_TRUE(readError(head.substr(0, 189)).starts_with("Read beyond end of file: "));
  EXPECT_TRUE(readError("").starts_with("Read beyond end of file: "));
  EXPECT_EQ(readError(head + "\x01INTL 2:5020/1 bogus\r"), "Invalid address bogus");
  EXPECT_EQ(readError(head + "\x01INTL 2:5020/1\r"), "Invalid address 2:5020/1");
  EXPECT_EQ(readError(head + "\x01INTL\r"), "Invalid address ");
  EXPECT_EQ(readError(head + "\x01INTLX 1\r"), "Invalid address X");
  EXPECT_EQ(readError(head + "\x01INTL 2:*/1 2:1/1\r"), "2:*/1: Wildcards not allowed here");
  EXPECT_EQ(readError(head + "\x01"
                             "FMPT five\r"),
            "'five' is not a valid integer value");
  EXPECT_EQ(readError(head + "\x01TOPT\r"), "'' is not a valid integer value");
  EXPECT_EQ(readError(head + "\x01TOPT 0x1F\r"), "'0x1F' is not a valid integer value");
  EXPECT_EQ(readError(head + "\x01TOPT 99999999999\r"),
            "'99999999999' is not a valid integer value");
  EXPECT_THROW(ReadBack(head + "\x01"
                               "FMPT 1 2\r"),
               EConvertError);
  EXPECT_EQ(readError(head + "\x01INTL 2:5020/1 2:5020/2\r\x01TOPT -3\r"), "no error");
}

TEST_F(MailMsgTest, RoundTripKeepsEveryField) {
  base_.Open();
  TMailMsg& msg = base_.New();
  msg.SetFromName("Sys\xC4p");  // bytes above 127 go through unchanged on POSIX
  msg.SetToName("Point Nine");
  msg.SetSubject("/var/spool/\xE4\xF6.zip");
  msg.FromAddr = TFidoAddr::CreateFromText("2:5020/100.3", false);
  msg.ToAddr = TFidoAddr::CreateFromText("1:234/56.9", false);
  for (std::size_t a = 0; a < kMsgAttrCount; ++a) msg.Attributes.Include(static_cast<TMsgAttr>(a));
  msg.Body = {"first \xB0 line", "", "last"};
  const TMsgAttrs all = msg.Attributes;
  base_.Save();

  for (bool oem : {true, false}) {
    base_.SetOEMConvert(oem);
    base_.Rewind();
    TMailMsg& back = base_.Next();
    // Without conversion the file's own (OEM) bytes come back; those equal
    // the originals on POSIX.
    auto asRead = [oem](const std::string& text) { return oem ? text : sys::AnsiToOemText(text); };
    EXPECT_EQ(back.FromName(), asRead("Sys\xC4p"));
    EXPECT_EQ(back.ToName(), "Point Nine");
    EXPECT_EQ(back.Subject(), asRead("/var/spool/\xE4\xF6.zip"));
    EXPECT_EQ(back.FromAddr->Format(afFullPoint), "2:5020/100.3");
    EXPECT_EQ(back.ToAddr->Format(afFullPoint), "1:234/56.9");
    EXPECT_EQ(back.Attributes, all);
    EXPECT_EQ(back.Body, (std::vector<std::string>{asRead("first \xB0 line"), "", "last", ""}));
  }
}

}  // namespace
}  // namespace brnet
