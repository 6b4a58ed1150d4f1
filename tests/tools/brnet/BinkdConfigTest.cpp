// Reading binkd's configuration: a file shaped like the one Debian ships
// (aliases, several domains, an include, comments, quoting, escapes), the
// word rules one by one, and files that cannot be read or say too little.
#include <gtest/gtest.h>

#include "BinkdConfig.h"
#include "TestSupport.h"

namespace brnet::cli {
namespace {

using test::TempDir;
using test::WriteFile;
using Words = std::vector<std::string>;

// Shaped after /etc/binkd/binkd.cfg of Debian's binkd package: the
// outbound's domain first, aliases for it, a second domain with another
// default zone and a Windows path, the address line, comments, quoted
// values with escapes, and the include at the end.
constexpr const char* kDebianLike = R"(#
# Sample binkd configuration
#
log /var/log/binkd/binkd
loglevel 4

# Your FTN domains:
#   domain <name> <main-outbound> <default-zone> [<root-domain>]
domain fidonet @OUT@ 2
domain fido        alias-for fidonet
domain fidorus     alias-for fidonet
domain fidonet.org alias-for fidonet

# Another domain with a different default zone
domain pascalnet d:\\fido\\outbound\\pascalne 115

# Your addresses, 5D or 4D or 3D:
address 2:5047/999@fido 2:5020/999.1@fidonet
sysname "Ivan's BBS"
location "Magadan, Russia"
sysop "Ivan Ivanov"
nodeinfo 115200,TCP,BINKP
exec "d:\\fido\\allfix\\allfix.exe RP -SRIF *S" *.req
#filebox d:\\fido\\t-mail\\boxes
Include @DIR@/binkd.inc
prescan
)";

class BinkdConfigFile : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, std::string text) {
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"@OUT@", tmp / "outb"}, {"@DIR@", tmp.Path()}}) {
      for (std::size_t at; (at = text.find(from)) != std::string::npos;)
        text.replace(at, from.size(), to);
    }
    WriteFile(tmp / name, text);
    return tmp / name;
  }
  TempDir tmp;
};

TEST_F(BinkdConfigFile, DebianShapedFileWithInclude) {
  const std::string cfg = Write("binkd.cfg", kDebianLike);
  Write("binkd.inc",
        "# node lines and boxes\nFILEBOX   \"@DIR@/t mail\\\\boxes\"  # T-Mail style\n");
  const BinkdConfig config = ReadBinkdConfig(cfg);
  EXPECT_EQ(config.Addresses, (Words{"2:5047/999@fido", "2:5020/999.1@fidonet"}));
  ASSERT_EQ(config.Domains.size(), 5u);
  EXPECT_EQ(config.Domains[1].AliasFor, "fidonet");
  EXPECT_EQ(config.Domains[4].DefaultZone, 115);
  // A relative directory is kept as written and marked with its line:
  // binkd takes it against its own working directory.
  EXPECT_EQ(config.Domains[4].Path, "d:\\fido\\outbound\\pascalne");
  EXPECT_EQ(config.Domains[4].RelativeAt.rfind(cfg + ":", 0), 0u);
  EXPECT_TRUE(config.Domains[0].RelativeAt.empty());
  EXPECT_EQ(config.FileBox, tmp / "t mail\\boxes");

  // The main address's domain is an alias of fidonet: its outbound and zone.
  const BinkdSettings s = ResolveBinkdSettings(config, cfg);
  EXPECT_EQ(s.MainAddress, "2:5047/999@fido");
  EXPECT_EQ(s.Domain, "fidonet");
  EXPECT_EQ(s.Outbound, tmp / "outb");
  EXPECT_EQ(s.DefaultZone, 2);
  EXPECT_EQ(s.FileBox, tmp / "t mail\\boxes");
}

TEST(BinkdWords, QuotingEscapesAndComments) {
  EXPECT_EQ(BinkdWords("  domain\tfidonet  /x 2 \r\n"), (Words{"domain", "fidonet", "/x", "2"}));
  EXPECT_EQ(BinkdWords("# all comment"), Words{});
  EXPECT_EQ(BinkdWords("   "), Words{});
  EXPECT_EQ(BinkdWords("filebox /a#b # c"), (Words{"filebox", "/a"}));
  // Inside quotes "#" and blanks are text; the quote ends before a blank.
  EXPECT_EQ(BinkdWords("sysname \"a # b\" x"), (Words{"sysname", "a # b", "x"}));
  // A quote inside a word is text; the first one before a blank closes.
  EXPECT_EQ(BinkdWords("x \"say \"hi\" now\""), (Words{"x", "say \"hi", "now\""}));
  EXPECT_EQ(BinkdWords("x \"a\"b\" c"), (Words{"x", "a\"b", "c"}));
  EXPECT_EQ(BinkdWords("x \"open to the end"), (Words{"x", "open to the end"}));
  EXPECT_EQ(BinkdWords("x \"\" y"), (Words{"x", "", "y"}));
  // Escapes: a doubled backslash, a blank, named, octal and hex characters.
  EXPECT_EQ(BinkdWords(R"(p c:\\fido\\out)"), (Words{"p", R"(c:\fido\out)"}));
  EXPECT_EQ(BinkdWords(R"(p /my\ dir \#no)"), (Words{"p", "/my dir", "#no"}));
  EXPECT_EQ(BinkdWords(R"(p \t\101\x42\E)"), (Words{"p", "\tAB\033"}));
  EXPECT_EQ(BinkdWords(R"(p "q\"uote")"), (Words{"p", "q\"uote"}));
  // A NUL ends the text as in binkd's C strings; a final backslash is dropped.
  EXPECT_EQ(BinkdWords(R"(p ab\0cd ef\)"), (Words{"p", "ab", "ef"}));
}

TEST(BinkdConfigText, SmallCases) {
  const BinkdIncludeReader none = [](const std::string&, std::string& message) {
    message = "not here";
    return std::optional<std::string>();
  };
  // Keywords in any case; a 4D address takes the first domain line's domain.
  BinkdConfig c = ParseBinkdConfig("DOMAIN FidoNet /o 2\nAddress 2:5020/100\n", "/c/b.cfg", none);
  BinkdSettings s = ResolveBinkdSettings(c, "/c/b.cfg");
  EXPECT_EQ(s.MainAddress, "2:5020/100@FidoNet");
  EXPECT_EQ(s.Outbound, "/o");
  EXPECT_TRUE(s.FileBox.empty());
  // Domain names compare without case; the last filebox line wins.
  c = ParseBinkdConfig("domain a /a 1\ndomain B /b 3\naddress 3:1/1@b\nfilebox /x\nfilebox y\n",
                       "/c/b.cfg", none);
  s = ResolveBinkdSettings(c, "/c/b.cfg");
  EXPECT_EQ(s.Outbound, "/b");
  EXPECT_EQ(s.DefaultZone, 3);
  EXPECT_EQ(s.FileBox, "y");
  EXPECT_EQ(s.FileBoxRelativeAt, "/c/b.cfg:5: ");
  // An include that cannot be read is skipped when all else is found, and
  // named when what is missing may stand in it.
  c = ParseBinkdConfig("domain f /o 2\n\ninclude other.inc\naddress 2:1/1\n", "/c/b.cfg", none);
  EXPECT_EQ(c.Skipped, Words{"/c/b.cfg:3: cannot read /c/other.inc: not here"});
  EXPECT_EQ(ResolveBinkdSettings(c, "/c/b.cfg").Outbound, "/o");
  try {
    ResolveBinkdSettings(ParseBinkdConfig("\n\ninclude other.inc\n", "/c/b.cfg", none), "/c/b.cfg");
    FAIL() << "no error";
  } catch (const EConfigError& e) {
    EXPECT_STREQ(e.what(),
                 "/c/b.cfg: no address line; /c/b.cfg:3: cannot read /c/other.inc: not here");
  }
}

// Whom binkd calls: a node line with a host (options before it skipped,
// no host word: DNS), none for "-", defnode for the rest; kill-old-bsy's
// time with its unit.
TEST(BinkdConfigText, NodeLinesSayWhomBinkdCalls) {
  const BinkdIncludeReader none = [](const std::string&, std::string&) {
    return std::optional<std::string>();
  };
  struct Row {
    const char* text;
    const char* addr;
    const char* why;  // the start of WhyBinkdWillNotCall; "" when called
  };
  const Row rows[] = {
      {"node 2:5020/1234@fidonet 127.0.0.1 pw\n", "2:5020/1234@fidonet", ""},
      {"node 2:5020/1234@fidonet -nr -md host.example pw\n", "2:5020/1234@fidonet", ""},
      {"node 2:5020/1234@fidonet\n", "2:5020/1234@fidonet", ""},
      {"node 2:5020/1234@fidonet - pw\n", "2:5020/1234@fidonet", "/c/b.cfg:1: its node line has"},
      {"node 2:5020/1234@fidonet h pw\n", "2:5020/1234.5@fidonet", "no node line for it and no"},
      {"node 2:5020/1234@fidonet h pw\n", "2:5020/1234@othernet", "no node line for it and no"},
      {"node 2:5020/1234@fidonet h\ndefnode -nd *\n", "2:5020/99@fidonet", ""},
      {"defnode -\n", "2:5020/99@fidonet", "no node line for it, and defnode"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const BinkdConfig c = ParseBinkdConfig(row.text, "/c/b.cfg", none);
    const std::string why = WhyBinkdWillNotCall(c, TFidoAddr::CreateFromText(row.addr, false));
    EXPECT_EQ(why.substr(0, std::string(row.why).size()), row.why) << why;
    EXPECT_EQ(why.empty(), std::string(row.why).empty()) << why;
  }
  EXPECT_EQ(ParseBinkdConfig("kill-old-bsy 2h\n", "/c/b.cfg", none).KillOldBsy, 7200);
  EXPECT_EQ(ParseBinkdConfig("kill-old-bsy 90\n", "/c/b.cfg", none).KillOldBsy, 90);
  EXPECT_EQ(ParseBinkdConfig("domain f /o 2\n", "/c/b.cfg", none).KillOldBsy, 0);
}

TEST(BinkdConfigText, WhatIsRefused) {
  const BinkdIncludeReader self = [](const std::string&, std::string&) {
    return std::optional<std::string>("include again\n");
  };
  auto error = [&](const std::string& text) -> std::string {
    try {
      ResolveBinkdSettings(ParseBinkdConfig(text, "/c/b.cfg", self), "/c/b.cfg");
    } catch (const EConfigError& e) {
      return e.what();
    }
    return "no error";
  };
  EXPECT_EQ(error("domain f /o 2\n"), "/c/b.cfg: no address line");
  EXPECT_EQ(error("address 2:5020/1\n"), "/c/b.cfg: no domain line");
  EXPECT_EQ(error("domain f /o 2\naddress 2:5020/1@other\n"),
            "/c/b.cfg: no domain line for the domain other of the address 2:5020/1@other");
  EXPECT_EQ(error("domain f /o 2\naddress 5020/1\n"),
            "/c/b.cfg: the address 5020/1 does not give zone, net and node");
  EXPECT_EQ(error("domain f /o 2\naddress 2:5020\n"),
            "/c/b.cfg: address 2:5020: Invalid address 2:5020");
  EXPECT_EQ(error("domain a alias-for b\ndomain b alias-for a\naddress 2:1/1@a\n"),
            "/c/b.cfg: the aliases of the domain a form a loop");
  EXPECT_EQ(error("domain f /o\n"), "/c/b.cfg:1: domain f has no default zone");
  EXPECT_EQ(error("domain f /o zwei\n"),
            "/c/b.cfg:1: domain f: default zone \"zwei\" is not a zone number");
  EXPECT_EQ(error("domain f alias-for\n"), "/c/b.cfg:1: alias-for without a domain name");
  EXPECT_EQ(error("domain f alias-for \"\"\n"), "/c/b.cfg:1: alias-for without a domain name")
      << "an empty name is no alias: the domain would have no directory";
  EXPECT_EQ(error("filebox\n"), "/c/b.cfg:1: filebox without a directory");
  EXPECT_EQ(error("include x\n"), "/c/again:1: includes nested deeper than 8 levels");
}

TEST_F(BinkdConfigFile, MissingFileAndDirectory) {
  try {
    ReadBinkdConfig(tmp / "none.cfg");
    FAIL() << "no error";
  } catch (const EConfigError& e) {
    EXPECT_EQ(std::string(e.what()), tmp / "none.cfg" + ": No such file or directory");
  }
  try {
    ReadBinkdConfig(tmp.Path());
    FAIL() << "no error";
  } catch (const EConfigError& e) {
    EXPECT_EQ(std::string(e.what()), tmp.Path() + ": Is a directory");
  }
  // A file the caller may not read: the end-to-end tests run that as nobody.
}

}  // namespace
}  // namespace brnet::cli
