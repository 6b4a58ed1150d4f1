#include "addr/FidoAddr.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace brnet {
namespace {

using test::ScopedMainAddress;

struct Nums {
  int zone, net, node, point;
};

void ExpectNums(const TFidoAddr& a, Nums n) {
  EXPECT_EQ(a.Zone, n.zone);
  EXPECT_EQ(a.Net, n.net);
  EXPECT_EQ(a.Node, n.node);
  EXPECT_EQ(a.Point, n.point);
}

std::string ParseError(std::string_view text, bool wildcards = false) {
  try {
    TFidoAddr::CreateFromText(text, wildcards);
  } catch (const Exception& e) {
    return e.what();
  }
  return "<parsed>";
}

TEST(AddrParse, ShapesWithoutMainAddress) {
  ExpectNums(TFidoAddr::CreateFromText("2:5020/1234", false), {2, 5020, 1234, 0});
  ExpectNums(TFidoAddr::CreateFromText("2:5020/1234.56", false), {2, 5020, 1234, 56});
  ExpectNums(TFidoAddr::CreateFromText("5020/1234", false), {-1, 5020, 1234, 0});
  ExpectNums(TFidoAddr::CreateFromText("5020/1234.7", false), {-1, 5020, 1234, 7});
  ExpectNums(TFidoAddr::CreateFromText("/12", false), {-1, -1, 12, 0});
  ExpectNums(TFidoAddr::CreateFromText("/12.3", false), {-1, -1, 12, 3});
  ExpectNums(TFidoAddr::CreateFromText("5", false), {-1, -1, 5, 0});
  ExpectNums(TFidoAddr::CreateFromText("5.1", false), {-1, -1, 5, 1});
  ExpectNums(TFidoAddr::CreateFromText(".3", false), {-1, -1, -1, 3});
  EXPECT_EQ(TFidoAddr::CreateFromText("5", false).ToString(), "-1:-1/5");
}

TEST(AddrParse, EmptyTextIsValidAndIgnoresMainAddress) {
  ScopedMainAddress main("2:5020/100@fidonet");
  TFidoAddr a = TFidoAddr::CreateFromText("", false);
  ExpectNums(a, {-1, -1, -1, 0});
  EXPECT_EQ(a.Domain, "");
  EXPECT_TRUE(IsValidAddr("", false));
}

TEST(AddrParse, MainAddressFillsMissingParts) {
  ScopedMainAddress main("2:5020/100@fidonet");
  TFidoAddr a = TFidoAddr::CreateFromText("5", false);
  ExpectNums(a, {2, 5020, 5, 0});
  EXPECT_EQ(a.Domain, "fidonet");
  ExpectNums(TFidoAddr::CreateFromText(".3", false), {2, 5020, 100, 3});
  ExpectNums(TFidoAddr::CreateFromText("5030/7", false), {2, 5030, 7, 0});
  TFidoAddr other = TFidoAddr::CreateFromText("3:100/1", false);
  ExpectNums(other, {3, 100, 1, 0});
  EXPECT_EQ(other.Domain, "") << "another zone never takes the main domain";
  EXPECT_EQ(TFidoAddr::CreateFromText("2:100/1@Other", false).Domain, "Other");
}

// 65534 and 65535 are the wildcard and "not given" in 16 bits: a typed
// number from there on would name another node than the one typed.
TEST(AddrParse, NumbersAbove65533AreOutOfRange) {
  ExpectNums(TFidoAddr::CreateFromText("2:65533/65533.65533", false), {2, -3, -3, -3});
  ExpectNums(TFidoAddr::CreateFromText("0002:0005020/0001", false), {2, 5020, 1, 0});
  EXPECT_EQ(ParseError("2:70000/1"), "Invalid address 2:70000/1: 70000 is out of range");
  EXPECT_EQ(ParseError("2:65536/65534"), "Invalid address 2:65536/65534: 65536 is out of range");
  EXPECT_EQ(ParseError("2:5020/65534"), "Invalid address 2:5020/65534: 65534 is out of range");
  EXPECT_EQ(ParseError("65535:5020/1@fidonet"),
            "Invalid address 65535:5020/1: 65535 is out of range");
  EXPECT_EQ(ParseError("2:5020/1.2147483647"),
            "Invalid address 2:5020/1.2147483647: 2147483647 is out of range");
  {
    ScopedMainAddress main("2:5020/100");
    // Never "not given" and filled from the main address.
    EXPECT_EQ(ParseError("2:5020/65535"), "Invalid address 2:5020/65535: 65535 is out of range");
  }
  EXPECT_EQ(ParseError("2:5020/12345678901"), "'12345678901' is not a valid integer value");
  EXPECT_EQ(ParseError("2147483648"), "'2147483648' is not a valid integer value");
}

TEST(AddrParse, MalformedTextsQuoteTheWorkingText) {
  for (const char* bad : {"2:5020", "2:5020/1.", "2:5020/1 ", " 2:5020/1", "2:5020/1.2.3", "2:",
                          "2:5020/", "/", ".", "2/", "2:5020:1", "-1", "+5", "a", "2:5020/1x",
                          "2::5020/1", "2:5020/.1", "5.", "2:5020/1/2"}) {
    EXPECT_EQ(ParseError(bad), std::string("Invalid address ") + bad) << bad;
  }
  EXPECT_EQ(ParseError("2:5020/x@fidonet"), "Invalid address 2:5020/x");
  EXPECT_EQ(ParseError("@fidonet"), "Invalid address ");
  EXPECT_EQ(ParseError("@"), "Invalid address ");
}

TEST(AddrParse, Domain) {
  TFidoAddr a = TFidoAddr::CreateFromText("2:5020/1@FidoNet@x", false);
  EXPECT_EQ(a.Domain, "FidoNet@x");
  ExpectNums(a, {2, 5020, 1, 0});
  EXPECT_EQ(TFidoAddr::CreateFromText("2:5020/1@", false).Domain, "");
  EXPECT_EQ(TFidoAddr::CreateFromText("1@" + std::string(255, 'd'), false).Domain.size(), 255u);
  EXPECT_EQ(ParseError("1@" + std::string(256, 'd')),
            "Invalid address 1: domain longer than 255 characters");
}

TEST(AddrParse, Wildcards) {
  EXPECT_EQ(ParseError("2:5020/*"), "2:5020/*: Wildcards not allowed here");
  EXPECT_EQ(ParseError("*@dom"), "*: Wildcards not allowed here");
  ExpectNums(TFidoAddr::CreateFromText("2:5020/*", true), {2, 5020, -2, 0});
  ExpectNums(TFidoAddr::CreateFromText("*:*/*.*", true), {-2, -2, -2, -2});
  ExpectNums(TFidoAddr::CreateFromText("aLl", true), {-2, -2, -2, -2});
  EXPECT_FALSE(IsValidAddr("ALL", false));
  EXPECT_TRUE(IsValidAddr("all", true));
  EXPECT_EQ(ParseError("2:5020/**", true), "Invalid address 2:5020/**");
}

TEST(AddrParse, ReparseKeepsDomainWhenTextHasNone) {
  TFidoAddr a = TFidoAddr::CreateFromText("1:2/3@zone", false);
  a.Parse("4:5/6", false);
  ExpectNums(a, {4, 5, 6, 0});
  EXPECT_EQ(a.Domain, "zone");
}

TEST(AddrFormat, Options) {
  TFidoAddr a = TFidoAddr::CreateFromNumbers(2, 5020, 1, 0);
  a.Domain = "fidonet";
  EXPECT_EQ(a.ToString(), "2:5020/1");
  EXPECT_EQ(a.Format(afFullPoint), "2:5020/1.0");
  EXPECT_EQ(a.Format(afDomain), "2:5020/1@fidonet");
  a.Point = 7;
  EXPECT_EQ(a.ToString(), "2:5020/1.7");
  EXPECT_EQ(TFidoAddr::CreateFromNumbers(2, -2, -2, -2).ToString(), "2:*/*.*");
  EXPECT_EQ(TFidoAddr::CreateFromNumbers(-2, -2, -2, -2).ToString(), "*:*/*.*");
  EXPECT_EQ(TFidoAddr::CreateFromNumbers(-1, -1, 5, 0).ToString(), "-1:-1/5");
}

TEST(AddrFormat, RelativeNeedsMainAddress) {
  TFidoAddr a = TFidoAddr::CreateFromNumbers(2, 5020, 1, 0);
  EXPECT_THROW(a.Format(afRelative), EAssertionFailed);
  ScopedMainAddress main("2:5020/100");
  EXPECT_EQ(a.Format(afRelative), "/1");
  EXPECT_EQ(TFidoAddr::CreateFromNumbers(2, 5030, 1, 0).Format(afRelative), "5030/1");
  EXPECT_EQ(TFidoAddr::CreateFromNumbers(3, 5020, 1, 4).Format(afRelative), "3:5020/1.4");
}

TEST(AddrConstruct, MainAddressZone) {
  EXPECT_EQ(TFidoAddr().Zone, 0);
  ExpectNums(TFidoAddr::CreateFromNumbers(0, 5020, 1, 0), {0, 5020, 1, 0});
  ScopedMainAddress main("2:5020/100");
  ExpectNums(TFidoAddr(), {2, 0, 0, 0});
  ExpectNums(TFidoAddr::CreateFromNumbers(0, 5020, 1, 0), {2, 5020, 1, 0});
  ExpectNums(TFidoAddr::CreateFromNumbers(3, -1, -2, 0), {3, -1, -2, 0});
}

TEST(AddrConstruct, CopyAndAssign) {
  TFidoAddr src = TFidoAddr::CreateFromText("1:2/3.4@dom", false);
  TFidoAddr copy = TFidoAddr::CreateCopy(&src);
  ExpectNums(copy, {1, 2, 3, 4});
  EXPECT_EQ(copy.Domain, "dom");
  EXPECT_THROW(TFidoAddr::CreateCopy(nullptr), EAssertionFailed);
  try {
    copy.Assign(nullptr);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with("Assertion failure (FidoAddr, line ")) << e.what();
  }
}

TEST(AddrMatch, WildcardsOnlyInPattern) {
  TFidoAddr node = TFidoAddr::CreateFromNumbers(2, 5020, 1, 0);
  TFidoAddr point = TFidoAddr::CreateFromNumbers(2, 5020, 1, 1);
  EXPECT_TRUE(TFidoAddr::CreateFromText("2:*/*.*", true).Matches(&node));
  EXPECT_FALSE(TFidoAddr::CreateFromText("3:*/*.*", true).Matches(&node));
  EXPECT_FALSE(node.Matches(&point));
  EXPECT_FALSE(node.Matches(nullptr));
  TFidoAddr pattern = TFidoAddr::CreateFromText("2:5020/*", true);
  EXPECT_TRUE(pattern.Matches(&node));
  EXPECT_FALSE(node.Matches(&pattern)) << "a wildcard in the other address is a plain value";
  TFidoAddr withDomain = node;
  withDomain.Domain = "x";
  EXPECT_TRUE(node.Matches(&withDomain));
  EXPECT_TRUE(pattern.HasWildcard());
  EXPECT_FALSE(node.HasWildcard());
}

TEST(AddrOrder, CompareAddr) {
  TFidoAddr list[] = {
      TFidoAddr::CreateFromNumbers(-2, 1, 1, 0), TFidoAddr::CreateFromNumbers(-1, 1, 1, 0),
      TFidoAddr::CreateFromNumbers(1, 1, 1, 0),  TFidoAddr::CreateFromNumbers(2, 1, 1, 0),
      TFidoAddr::CreateFromNumbers(2, 2, 0, 0),  TFidoAddr::CreateFromNumbers(2, 2, 0, 1)};
  for (std::size_t i = 0; i < std::size(list); ++i) {
    EXPECT_EQ(CompareAddr(list[i], list[i]), 0);
    for (std::size_t j = i + 1; j < std::size(list); ++j) {
      EXPECT_EQ(CompareAddr(list[i], list[j]), -1) << i << " " << j;
      EXPECT_EQ(CompareAddr(list[j], list[i]), 1) << i << " " << j;
    }
  }
  TFidoAddr a = list[2], b = list[2];
  b.Domain = "other";
  EXPECT_EQ(CompareAddr(a, b), 0);
}

TEST(AddrValid, IsValidAddrIgnoresMainAddress) {
  EXPECT_TRUE(IsValidAddr("2:5020/1", false));
  EXPECT_FALSE(IsValidAddr("2:5020", false));
  EXPECT_FALSE(IsValidAddr("99999999999", false));
  ScopedMainAddress main("2:5020/100");
  EXPECT_TRUE(IsValidAddr("5", false));
  EXPECT_FALSE(IsValidAddr("2:5020/1.", false));
}

}  // namespace
}  // namespace brnet
