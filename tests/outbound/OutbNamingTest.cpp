#include "outbound/OutbNaming.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "util/Paths.h"

namespace brnet {
namespace {

using test::ScopedMainAddress;

TFidoAddr A(const char* text) {
  return TFidoAddr::CreateFromText(text, false);
}

TEST(Tables, NamesByEnumerationInBothConventions) {
  const TFidoAddr node = A("2:5020/1234");
  const char* flows[] = {"ilo", "clo", "dlo", "flo", "hlo"};
  for (int f = flImm; f <= flHold; ++f) {
    const auto flavor = static_cast<TOutbFlavor>(f);
    EXPECT_EQ(FlowFileName(node, "C:\\OUT\\", flavor, kWindowsNaming),
              std::string("C:\\OUT\\139C04D2.") + flows[f]);
    EXPECT_EQ(FlowFileName(node, "/out/", flavor, kPosixNaming),
              std::string("/out/139c04d2.") + flows[f]);
  }
  EXPECT_EQ(FlavorNames[flHold], "Hold");
  EXPECT_EQ(OutbTypeNames[otLongFileBox], "Long FileBox");
  EXPECT_EQ(SendModeNames[smTruncSent], "TrS");
  EXPECT_EQ(BinkFlagPath(node, "C:\\OUT", bkCsy, kWindowsNaming).Full(), "C:\\OUT\\139C04D2.CSY");
  EXPECT_EQ(BinkFlagPath(node, "/out", bkCsy, kPosixNaming).Full(), "/out/139c04d2.csy");
  EXPECT_EQ(NormalFlagName(node, "", bkBsy), "B8744C63\x2E\x60\x30\x31");  // grave accent
  EXPECT_EQ(NormalFlagName(node, "", bkCsy), "B8744C63\x2E\x27\x30\x31");  // apostrophe
  EXPECT_THROW(FlowFileName(node, "/out/", static_cast<TOutbFlavor>(5)), EAssertionFailed);
}

TEST(Base32, DigitsAndGarbage) {
  EXPECT_EQ(Base32Str(5020, 3), "4SS");
  EXPECT_EQ(Base32Str(16, 2), "0G");
  EXPECT_EQ(Base32Str(40000, 3), "720");
  EXPECT_EQ(Base32Str(31, 1), "V");
  EXPECT_EQ(Base32Val("4ss"), 5020u);
  EXPECT_EQ(Base32Val("0G"), 16u);
  EXPECT_EQ(Base32Val(""), 0u);
  EXPECT_EQ(Base32Val("W"), 32u) << "no error for characters beyond V";
  EXPECT_EQ(Base32Val("!"), static_cast<std::uint32_t>(('!' - 'A' + 10) & 0xFF));
}

TEST(BinkNames, WindowsConvention) {
  const auto& w = kWindowsNaming;
  const std::string out = "C:\\FIDO\\OUT\\";
  {
    ScopedMainAddress main("2:5020/100");
    EXPECT_EQ(BinkBaseName(A("2:5020/1234"), out, w), "C:\\FIDO\\OUT\\139C04D2");
    EXPECT_EQ(BinkBaseName(A("2:5020/1234.5"), out, w), "C:\\FIDO\\OUT\\139C04D2.pnt\\00000005");
    EXPECT_EQ(BinkBaseName(A("1:5020/1234"), out, w), "C:\\FIDO\\OUT.001\\139C04D2");
    EXPECT_EQ(BinkBaseName(A("16:0/0"), "C:\\FIDO\\OUT", w), "C:\\FIDO\\OUT.010\\00000000");
    EXPECT_EQ(BinkBaseName(A("4096:1/1"), out, w), "C:\\FIDO\\OUT.1000\\00010001");
    EXPECT_EQ(FlowFileName(A("2:5020/1234"), out, flCrash, w), "C:\\FIDO\\OUT\\139C04D2.clo");
    EXPECT_EQ(FlowFileName(A("2:5020/1234.10"), out, flHold, w),
              "C:\\FIDO\\OUT\\139C04D2.pnt\\0000000A.hlo");
    EXPECT_EQ(BinkFlagPath(A("2:5020/1234"), out, bkBsy, w).Full(), "C:\\FIDO\\OUT\\139C04D2.BSY");
    EXPECT_EQ(BinkFlagPath(A("2:5020/1234.5"), out, bkCsy, w).Full(),
              "C:\\FIDO\\OUT\\139C04D2.pnt\\00000005.CSY");
    EXPECT_EQ(BinkPointDirName(A("1:5020/1234.5"), out, w), "C:\\FIDO\\OUT.001\\139C04D2.pnt\\");
    EXPECT_EQ(BinkZoneDirName(A("1:5020/1234.5"), out, w), "C:\\FIDO\\OUT.001");
    EXPECT_EQ(BinkZoneDirName(A("2:5020/1234.5"), out, w), "C:\\FIDO\\OUT");
  }
  // Without a main address there is no zone directory.
  EXPECT_EQ(BinkBaseName(A("1:5020/1234"), out, w), "C:\\FIDO\\OUT\\139C04D2");
}

TEST(BinkNames, PosixConventionIsLowerCase) {
  const auto& p = kPosixNaming;
  const std::string out = "/fido/out/";
  ScopedMainAddress main("2:5020/100");
  EXPECT_EQ(BinkBaseName(A("2:5020/1234.5"), out, p), "/fido/out/139c04d2.pnt/00000005");
  EXPECT_EQ(BinkBaseName(A("10:234/56"), out, p), "/fido/out.00a/00ea0038");
  EXPECT_EQ(FlowFileName(A("2:5020/1234"), out, flNormal, p), "/fido/out/139c04d2.flo");
  EXPECT_EQ(BinkFlagPath(A("2:5020/1234"), out, bkBsy, p).Full(), "/fido/out/139c04d2.bsy");
  EXPECT_EQ(BinkFlagPath(A("1:234/56"), out, bkCsy, p).Full(), "/fido/out.001/00ea0038.csy");
  EXPECT_EQ(BinkPointDirName(A("2:5020/1234.5"), out, p), "/fido/out/139c04d2.pnt/");
  // Numbers are 16-bit patterns, written unsigned the way the mailers read them.
  EXPECT_EQ(BinkBaseName(TFidoAddr::CreateFromNumbers(2, -1, -25536, -1), out, p),
            "/fido/out/ffff9c40.pnt/0000ffff");
}

TEST(BinkNames, SplitWhereCaseInsensitiveMatchingStarts) {
  ScopedMainAddress main("2:5020/100");
  TBsoPath home = BinkFlagPath(A("2:5020/1234.5"), "/fido/out/", bkBsy, kPosixNaming);
  EXPECT_EQ(home.Root, "/fido/out/");
  EXPECT_EQ(home.Below, "139c04d2.pnt/00000005.bsy");
  TBsoPath other = BinkBasePath(A("1:234/56"), "/fido/OUT/", kPosixNaming);
  EXPECT_EQ(other.Root, "/fido/");
  EXPECT_EQ(other.Below, "OUT.001/00ea0038");
  TBsoPath scan = BinkZoneScanPath("C:\\FIDO\\OUT\\", 1, false, kWindowsNaming);
  EXPECT_EQ(scan.Full(), "C:\\FIDO\\OUT.001\\");
  EXPECT_EQ(scan.Root, "C:\\FIDO\\");
  EXPECT_EQ(BinkZoneScanPath("/fido/out/", 2, true, kPosixNaming).Full(), "/fido/out/");
  EXPECT_EQ(BinkZoneScanPath("/fido/out/", 16, false, kPosixNaming).Full(), "/fido/out.010/");
}

TEST(FileBoxes, ShortAndLongForms) {
  ScopedMainAddress main("2:5020/100");
  const auto w = sys::PathStyle::Windows;
  EXPECT_EQ(FileBoxDirName(A("2:5020/1234"), "D:\\BOXES\\", flNormal, false, w),
            "D:\\BOXES\\024SS16I.00\\");
  EXPECT_EQ(FileBoxDirName(A("2:5020/1234"), "D:\\BOXES\\", flHold, false, w),
            "D:\\BOXES\\024SS16I.00H\\");
  EXPECT_EQ(FileBoxDirName(A("2:5020/1234.5"), "", flCrash, false, w), "024SS16I.05\\");
  EXPECT_EQ(FileBoxDirName(A("2:5020/1234"), "D:\\BOXES\\", flDirect, true, w),
            "D:\\BOXES\\2.5020.1234.0\\");
  EXPECT_EQ(FileBoxDirName(A("2:5020/1234"), "D:\\BOXES\\", flHold, true, w),
            "D:\\BOXES\\2.5020.1234.0.H\\");
  // Box names keep their upper case on POSIX too.
  EXPECT_EQ(FileBoxDirName(A("1:234/56"), "/boxes/", flImm, false, sys::PathStyle::Posix),
            "/boxes/0107A01O.00/");
}

TEST(BusyHash, ExamplesAndFlagNames) {
  EXPECT_EQ(BusyHashOfText("abc"), 0xCADBBE3Du);
  EXPECT_EQ(BusyHash(A("2:5020/1234")), 0xB8744C63u);
  EXPECT_EQ(BusyHash(A("2:5020/1234.5")), 0x6C0E40A4u);
  EXPECT_EQ(BusyHashText(A("2:5020/1234@fidonet")), "B8744C63") << "domain plays no part";
  EXPECT_EQ(NormalFlagName(A("2:5020/1234"), "/flags/", bkCsy), "/flags/B8744C63.'01");
  EXPECT_EQ(SemaphoreName(A("2:5020/1234"), bkBsy), "T-MAIL_SEM_B8744C63.BSY");
  EXPECT_EQ(SemaphoreName(A("2:5020/1234.5"), bkCsy), "T-MAIL_SEM_6C0E40A4.CSY");
}

TEST(Reverse, BsoNamesToAddresses) {
  ScopedMainAddress main("2:5020/100");
  TFidoAddr a = BinkNameToAddr("139C04D2.flo", 2);
  EXPECT_EQ(a.ToString(), "2:5020/1234");
  EXPECT_EQ(BinkNameToAddr("139c04d2.flo", 1).ToString(), "1:5020/1234");
  EXPECT_EQ(BinkNameToAddr("13xx04D2.out", 2).ToString(), "2:0/1234") << "bad hex reads 0";
  EXPECT_EQ(BinkNameToAddr("13", 2).ToString(), "2:19/0");
  EXPECT_EQ(BinkNameToAddr("x", 0).Zone, 2) << "zone 0 takes the main zone";
  EXPECT_EQ(BinkPointNameToAddr("139c04d2.pnt", "0000000A.FLO", 2).ToString(), "2:5020/1234.10");
  EXPECT_EQ(BinkPointNameToAddr("FFFF9C40.PNT", "0000ffff.flo", 2).Point, -1);

  // Names made by the forward rules read back, in both conventions.
  for (const TOutbNaming* naming : {&kWindowsNaming, &kPosixNaming}) {
    TFidoAddr addr = A("2:65000/1234.77");
    const auto style = naming->Style;
    std::string dir =
        ExtractFileName(DropTrailingSlash(BinkPointDirName(addr, "", *naming), style), style);
    std::string file = ExtractFileName(FlowFileName(addr, "", flNormal, *naming), style);
    EXPECT_EQ(CompareAddr(BinkPointNameToAddr(dir, file, 2), addr), 0) << dir << " " << file;
    TFidoAddr node = A("2:65000/1234");
    file = ExtractFileName(FlowFileName(node, "", flNormal, *naming), style);
    EXPECT_EQ(CompareAddr(BinkNameToAddr(file, 2), node), 0) << file;
  }
}

TEST(Reverse, FlowFileFlavour) {
  EXPECT_EQ(FlowFileFlavor("139C04D2.Clo"), flCrash);
  EXPECT_EQ(FlowFileFlavor("/out/139c04d2.hlo"), flHold);
  EXPECT_EQ(FlowFileFlavor("139C04D2.ilo"), flImm);
  EXPECT_EQ(FlowFileFlavor("139C04D2.dlo"), flDirect);
  EXPECT_EQ(FlowFileFlavor("139C04D2.xlo"), flNormal);
  EXPECT_EQ(FlowFileFlavor("139C04D2."), flNormal);
  EXPECT_EQ(FlowFileFlavor("139C04D2"), std::nullopt);
  EXPECT_EQ(FlowFileFlavor("/out.001/139C04D2", sys::PathStyle::Posix), std::nullopt)
      << "the directory's dot is not it";
  EXPECT_EQ(FlowFileFlavor("C:\\OUT.001\\139C04D2", sys::PathStyle::Windows), std::nullopt);
  EXPECT_EQ(FlowFileFlavor("a.c.hlo"), flCrash) << "the first dot counts";
}

TEST(Reverse, BoxNames) {
  ScopedMainAddress main("2:5020/100");
  auto shortBox = BoxNameToAddr("024SS16I.00h");
  ASSERT_TRUE(shortBox);
  EXPECT_EQ(shortBox->Addr.ToString(), "2:5020/1234");
  EXPECT_EQ(shortBox->Flavor, flHold);
  EXPECT_FALSE(shortBox->Long);
  EXPECT_EQ(BoxNameToAddr("024ss16i.05")->Addr.ToString(), "2:5020/1234.5");
  EXPECT_EQ(BoxNameToAddr("024SS16I.05")->Flavor, flDirect);
  EXPECT_EQ(BoxNameToAddr("004SS16I.00")->Addr.Zone, 2) << "zone 0 takes the main zone";
  EXPECT_EQ(ShortBoxNameToAddr("024SS16I.0"), std::nullopt);
  EXPECT_EQ(ShortBoxNameToAddr("024SS16I.00HX"), std::nullopt);

  auto longBox = BoxNameToAddr("2.5020.1234.0.H");
  ASSERT_TRUE(longBox);
  EXPECT_EQ(longBox->Addr.ToString(), "2:5020/1234");
  EXPECT_EQ(longBox->Flavor, flHold);
  EXPECT_TRUE(longBox->Long);
  EXPECT_EQ(BoxNameToAddr("2.5020.1234.0.h")->Flavor, flDirect);
  EXPECT_EQ(BoxNameToAddr("0.5020.1234.7")->Addr.Zone, 0) << "zone 0 stays in the long form";
  EXPECT_EQ(BoxNameToAddr("2.5020.1234.7")->Addr.Point, 7);
  EXPECT_EQ(LongBoxNameToAddr("nodots"), std::nullopt);
  try {
    BoxNameToAddr("fidonet.2.5020.1234.0.Normal");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'fidonet' is not a valid integer value");
  }

  EXPECT_EQ(BoxFormOf("notes"), bxNone);
  EXPECT_EQ(BoxFormOf(".svn"), bxNone);
  EXPECT_EQ(BoxFormOf("a..b.c"), bxNone) << "empty parts do not count";
  EXPECT_EQ(BoxFormOf("12345678"), bxShort);
  EXPECT_EQ(BoxNameToAddr("12345678"), std::nullopt) << "short form of the wrong length";
  EXPECT_EQ(BoxNameToAddr("notes"), std::nullopt);

  // Forward and reverse agree for both forms.
  for (bool longForm : {false, true}) {
    for (TOutbFlavor flavor : {flNormal, flHold}) {
      TFidoAddr addr = A("3:1023/777.31");
      std::string dir = FileBoxDirName(addr, "", flavor, longForm, sys::PathStyle::Posix);
      auto box = BoxNameToAddr(dir.substr(0, dir.size() - 1));
      ASSERT_TRUE(box) << dir;
      EXPECT_EQ(CompareAddr(box->Addr, addr), 0) << dir;
      EXPECT_EQ(box->Flavor, flavor == flHold ? flHold : flDirect) << dir;
      EXPECT_EQ(box->Long, longForm);
    }
  }
}

TEST(Reverse, SendModeAndKind) {
  TFlowEntry e = SplitSendMode("^C:\\FILES\\A.ZIP");
  EXPECT_EQ(e.SendMode, smKillSent);
  EXPECT_EQ(e.Name, "C:\\FILES\\A.ZIP");
  EXPECT_EQ(SplitSendMode("#/x.pkt").SendMode, smTruncSent);
  EXPECT_EQ(SplitSendMode("~/x").SendMode, smNone);
  EXPECT_EQ(SplitSendMode("").SendMode, smNone);
  EXPECT_EQ(FileKindOf("X.pkt"), fkPacket);
  EXPECT_EQ(FileKindOf("0000FFFF.TIC"), fkTic);
  EXPECT_EQ(FileKindOf("x.mo0"), fkArchive);
  EXPECT_EQ(FileKindOf("x.TUA"), fkArchive);
  EXPECT_EQ(FileKindOf("x.su"), fkArchive);
  EXPECT_EQ(FileKindOf("x.M"), fkOther);
  EXPECT_EQ(FileKindOf("x.pkt.zip"), fkOther);
  EXPECT_EQ(FileKindOf("nodot"), fkOther);
  EXPECT_EQ(FileKindOf("/in.mo/readme", sys::PathStyle::Posix), fkOther);
}

}  // namespace
}  // namespace brnet
