// brnet end to end, as a sysop runs it: real directories, every type,
// flavour and after-sending mode, relative paths, everything it refuses
// (with nothing on disk afterwards), the queue read back by python3's json,
// addr, the busy wait, the log, and settings kept by the plug-in.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "Commands.h"
#include "TestSupport.h"
#include "support/ProcessRun.h"
#include "sys/Registry.h"

namespace brnet::cli {
namespace {

namespace fs = std::filesystem;
using test::ProcessResult;
using test::ReadFile;
using test::TempDir;
using test::Tree;
using test::WriteFile;
using Lines = std::vector<std::string>;

bool IsRoot() {
  return ::geteuid() == 0;
}

// The full path of the program NAME on the search path; NAME when not found.
std::string Which(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return name;
}

class Brnet : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(files);
    fs::create_directories(config);
    // Everyone may enter: a refusal test may run brnet as nobody. Sticky,
    // so that nobody could swap the spool directories root works in.
    fs::permissions(tmp.Path(), fs::perms::all | fs::perms::sticky_bit);
    fs::permissions(files, fs::perms::all);
  }

  // brnet with ARGS; the test's own registry, no system binkd file.
  ProcessResult Run(std::vector<std::string> args, const std::string& cwd = {},
                    bool asNobody = false) {
    std::vector<std::string> argv;
    if (asNobody)
      argv = {Which("setpriv"), "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    if (!cwd.empty()) {
      argv.insert(argv.end(), {Which("sh"), "-c", "cd \"$0\" && exec \"$@\"", cwd});
    }
    argv.push_back(BRNET_PATH);
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunProcess(argv, {{"XDG_CONFIG_HOME", config}, {"BRNET_BINKD_CFG", ""}});
  }
  // brnet attach with the main address 2:5020/100 and --dir OUT.
  ProcessResult Attach(std::vector<std::string> args, const std::string& type = "bink") {
    const std::string dir = type == "bink" ? out : type == "netmail" ? netmail : boxes;
    std::vector<std::string> all = {"attach", "-m", "2:5020/100", "-t", type, "-d", dir};
    all.insert(all.end(), args.begin(), args.end());
    return Run(all);
  }
  std::string File(const std::string& name, std::size_t size = 100) {
    WriteFile(files + "/" + name, std::string(size, 'x'));
    return files + "/" + name;
  }
  // The binkd configuration of node 2:5020/100: the outbound in OUT (zone
  // 2), file boxes in BOXES, the address's domain an alias.
  std::string BinkdConfig() {
    const std::string cfg = tmp / "binkd.cfg";
    WriteFile(cfg, "domain fidonet " + out +
                       " 2\ndomain fido alias-for fidonet\n"
                       "address 2:5020/100@fido  # us\nfilebox \"" +
                       boxes + "\"\n");
    return cfg;
  }

  TempDir tmp;
  const std::string files = tmp / "files";
  const std::string config = tmp / "config";
  const std::string out = tmp / "out";
  const std::string boxes = tmp / "boxes";
  const std::string netmail = tmp / "netmail";
};

// Sets the last write of PATH SECONDS back.
void SetAge(const std::string& path, std::int64_t seconds) {
  const auto when = std::chrono::system_clock::now() - std::chrono::seconds(seconds);
  fs::last_write_time(path, std::chrono::time_point_cast<fs::file_time_type::duration>(
                                std::chrono::file_clock::from_sys(when)));
}

std::string Crlf(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

TEST_F(Brnet, HelpVersionAndUsageErrors) {
  ProcessResult r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("attach ADDRESS FILE..."), std::string::npos) << r.out;
  for (const char* command : {"attach", "queue", "addr"}) {
    r = Run({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_NE(r.out.find(std::string("Usage: brnet ") + command), std::string::npos) << r.out;
  }
  r = Run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "brnet 1.0\n");

  // Each usage error: "brnet: COMMAND: what: operand", then the command's own help.
  const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
      {{}, "Usage: brnet COMMAND"},
      {{"send"}, "brnet: unknown command: \"send\"; the commands are in brnet --help\n"},
      {{"attach", "--bogus", "1", "x"}, "brnet: attach: unknown option: --bogus\n"},
      {{"attach", "-z"}, "brnet: attach: unknown option: -z"},
      {{"attach", "-f"}, "brnet: attach: option needs a value: -f"},
      {{"attach", "--quiet=yes", "1", "x"}, "brnet: attach: option takes no value: --quiet=yes"},
      {{"attach"}, "brnet: attach: missing ADDRESS"},
      {{"attach", "2:5020/1"}, "brnet: attach: no FILE given to attach"},
      {{"attach", "-f", "fast", "1", "x"}, "brnet: attach: unknown flavour: \"fast\"; give"},
      {{"attach", "-t", "zip", "1", "x"}, "brnet: attach: unknown type: \"zip\"; give"},
      {{"attach", "--kill-sent", "--trunc-sent", "1", "x"},
       "brnet: attach: --kill-sent and --trunc-sent exclude each other"},
      {{"attach", "-w", "soon", "1", "x"},
       "brnet: attach: --wait needs a number of seconds: \"soon\"\nTry 'brnet attach --help'.\n"},
      {{"addr"}, "brnet: addr: missing ADDRESS"},
      {{"check", "-n"}, "brnet: check: -n shows what --fix would do: give --fix too"},
      {{"queue", "--older-than", "soon"}, "brnet: queue: --older-than needs a duration"},
      {{"request", "1", "!pw"}, "brnet: request: request \"!pw\": a request beginning with \"!\""},
      {{"hold", "1", "--until", "1000"},
       "brnet: hold: the hold would end in the past; binkd would just remove it\nTry 'brnet hold "
       "--help'.\n"},
      {{"reflavour", "1", "crash", "--from", "c"},
       "brnet: reflavour: --from and FLAVOUR are the same"},
      {{"drop", "--leftovers", "--missing", "1"}, "brnet: drop: --leftovers takes no --missing"},
      {{"request", "1", "FILES\rX"}, "brnet: request: request \"FILES\\rX\": "},
      {{"request", "1", " FILES"},
       "brnet: request: request \" FILES\": a request names a file first"},
  };
  for (const auto& [args, text] : usage) {
    r = Run(args);
    EXPECT_EQ(r.status, 2) << text;
    EXPECT_EQ(r.err.rfind(text, 0), 0u) << r.err;
  }
  EXPECT_EQ(Tree(tmp.Path()), (Lines{"config/", "files/"}));
}

// Every flavour with every after-sending mode, to a node, a point and a
// node of another zone: the flow lines binkd reads, one report line each.
TEST_F(Brnet, BinkEveryFlavourAndMode) {
  const char* flavours[] = {"immediate", "c", "direct", "normal", "HOLD"};
  const char* exts[] = {"ilo", "clo", "dlo", "flo", "hlo"};
  const char* names[] = {"immediate", "crash", "direct", "normal", "hold"};
  for (int f = 0; f < 5; ++f) {
    Lines expected;
    for (const auto& [option, prefix, mode] : {std::tuple{"", "", "none"},
                                               {"--kill-sent", "^", "kill"},
                                               {"--trunc-sent", "#", "trunc"}}) {
      const std::string file = File(std::string(names[f]) + "-" + mode + ".zip");
      std::vector<std::string> args = {"-f", flavours[f], "2:5020/1234", file};
      if (*option) args.insert(args.begin(), option);
      const ProcessResult r = Attach(args);
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, std::string("2:5020/1234 ") + names[f] + " " + mode + " " + file + "\n");
      EXPECT_EQ(r.err, "");
      expected.push_back(prefix + file);
    }
    EXPECT_EQ(ReadFile(out + "/139c04d2." + exts[f]), Crlf(expected));
  }
  const std::string a = File("a.zip"), b = File("b.zip");
  ASSERT_EQ(Attach({"1234.5", a, b}).status, 0);
  EXPECT_EQ(ReadFile(out + "/139c04d2.pnt/00000005.flo"), Crlf({a, b}));
  ASSERT_EQ(Attach({"-f", "h", "1:234/56", a}).status, 0);
  EXPECT_EQ(ReadFile(tmp / "out.001/00ea0038.hlo"), Crlf({a}));
  // Nothing else: no busy flag or stray file is left behind.
  EXPECT_EQ(Tree(out).size(), 5u + 2u);
}

TEST_F(Brnet, RelativePathsMadeAbsolute) {
  File("rel.txt");
  fs::create_directories(files + "/sub");
  const ProcessResult r = Run(
      {"attach", "-m", "2:5020/100", "-d", "../out", "1234", "rel.txt", "./sub/../rel.txt"}, files);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(out + "/139c04d2.flo"), Crlf({files + "/rel.txt", files + "/sub/../rel.txt"}));
}

TEST_F(Brnet, NetmailAttaches) {
  fs::create_directories(netmail);
  const std::string a = File("nm.zip", 10);
  ProcessResult r = Attach({"-f", "hold", "--kill-sent", "2:5020/1234.5", a}, "netmail");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2:5020/1234.5 hold kill " + a + "\n");
  // Message 1 is left to tossers as the high-water mark; brnet32.ids keeps
  // the last MSGID serial given out.
  ASSERT_EQ(Tree(netmail), (Lines{"2.msg", "brnet32.ids"}));
  const std::string msg = ReadFile(netmail + "/2.msg");
  EXPECT_EQ(msg.substr(72, a.size() + 1), a + '\0');  // the subject
  EXPECT_NE(msg.find("\x01"
                     "FLAGS KFS"),
            std::string::npos);
  EXPECT_NE(msg.find("\x01"
                     "TOPT 5"),
            std::string::npos);
  // A path with a blank would be read as two files by a tosser.
  const std::string blank = File("two words.zip");
  r = Attach({"1234", blank}, "netmail");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "brnet: attach: " + blank +
                       ": a netmail attach lists its files separated by blanks; "
                       "this path has a blank\n");
  EXPECT_EQ(Tree(netmail), (Lines{"2.msg", "brnet32.ids"}));
}

TEST_F(Brnet, FileBoxesBothFormsCopyAndMove) {
  const std::string big = File("big.bin", 5 << 20), keep = File("keep.txt");
  ProcessResult r = Attach({"-f", "hold", "1234", big, keep}, "box");
  ASSERT_EQ(r.status, 0) << r.err;
  // No progress bar: standard error is not a terminal.
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(fs::file_size(boxes + "/024SS16I.00H/big.bin"), std::uintmax_t{5 << 20});
  EXPECT_TRUE(fs::exists(big));
  // The same name again is refused before anything is copied.
  const std::string other = File("other.txt");
  r = Attach({"-f", "hold", "1234", other, keep}, "box");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "brnet: attach: " + keep + ": " + boxes +
                       "/024SS16I.00H/keep.txt is waiting in the box "
                       "already (nothing attached)\n");
  EXPECT_FALSE(fs::exists(boxes + "/024SS16I.00H/other.txt"));

  r = Attach({"--kill-sent", "2:5020/1234.3", other}, "longbox");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(other));
  EXPECT_TRUE(fs::exists(boxes + "/2.5020.1234.3/other.txt"));
  // Two files of one name cannot share a box.
  fs::create_directories(files + "/d");
  const std::string twin = files + "/d/keep.txt";
  WriteFile(twin, "y");
  r = Attach({"1234", keep, twin}, "longbox");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("another file of the same name goes into"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(boxes + "/2.5020.1234.0"));
}

// Each refused input: its exit status, one clear message, nothing on disk.
TEST_F(Brnet, RefusedInputsLeaveNothing) {
  const std::string good = File("good.zip");
  fs::create_directories(files + "/dir");
  const std::string locked = File("locked.zip");
  fs::permissions(locked, fs::perms::owner_write);
  const std::string broken = File("line\nbreak.zip");
  const std::vector<std::string> base = {"attach", "-m", "2:5020/100", "-d", out};
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"1234", files + "/none.zip"}, 1, files + "/none.zip: No such file or directory"},
      {{"1234", files + "/dir"}, 1, files + "/dir: is a directory; attach the files in it"},
      {{"1234", "/dev/null"}, 1, "/dev/null: is not a regular file"},
      {{"1234", locked}, 1, locked + ": not readable: Permission denied"},
      {{"1234", broken},
       1,
       files +
           "/line\\nbreak.zip: the path contains a line break; the mailer reads one path per line"},
      {{"2:5020", good},
       1,
       "invalid address '2:5020'; give zone:net/node[.point][@domain], net/node or node"},
      {{"2:5020/1234 ", good},
       1,
       "invalid address '2:5020/1234 '; give zone:net/node[.point][@domain], net/node or node"},
      {{"2:5020/1234.99999999999", good},
       1,
       "invalid address '2:5020/1234.99999999999' ('99999999999' is not a valid integer value); "
       "give "
       "zone:net/node[.point][@domain], net/node or node"},
      {{"-t", "box", "-f", "crash", "1234", good},
       1,
       "flavour crash: file boxes have normal and hold only; give -f normal or -f hold"},
      {{"1234", good, files + "/none.zip"},
       1,
       files + "/none.zip: No such file or directory (nothing attached)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = base;
    args.insert(args.end(), c.args.begin(), c.args.end());
    // Permissions do not hold root back: those cases run as nobody.
    const ProcessResult r = Run(args, {}, IsRoot());
    EXPECT_EQ(r.status, c.status) << c.err;
    EXPECT_EQ(r.err, "brnet: attach: " + c.err + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(out)) << c.err;
  }
  // Settings found nowhere.
  ProcessResult r = Run({"attach", "-m", "2:5020/100", "1234", good});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "brnet: attach: no outbound directory: give --dir, --binkd-config FILE, or configure "
            "the plug-in\n");
  r = Run({"attach", "-d", out, "1234", good});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "brnet: attach: no main address: give --main, --binkd-config FILE, or configure the "
            "plug-in\n");
  r = Run({"attach", "-c", tmp / "absent.cfg", "1234", good});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "brnet: attach: binkd configuration " + tmp / "absent.cfg" +
                       ": No such file or directory\n");
  WriteFile(tmp / "secret.cfg", "domain f /o 2\naddress 2:5020/1\n");
  fs::permissions(tmp / "secret.cfg", fs::perms::owner_read | fs::perms::owner_write);
  r = Run({"attach", "-c", tmp / "secret.cfg", "1234", good}, {}, IsRoot());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "brnet: attach: binkd configuration " + tmp / "secret.cfg" + ": Permission denied\n");
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists("/o"));
  if (!IsRoot()) return;
  // Root works as the outbound's owner: a refusal says whose rights failed.
  const std::string shut = tmp / "shut";
  fs::create_directories(shut + "/out");
  ASSERT_EQ(::chown((shut + "/out").c_str(), 65534, 65534), 0);
  fs::permissions(shut, fs::perms::owner_all);
  r = Run({"attach", "-m", "2:5020/100", "-d", shut + "/out", "1234", good});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(shut + "/out (working as nobody, the owner of the spool directory)\n"),
            std::string::npos)
      << r.err;
}

TEST_F(Brnet, BinkdConfigAndPluginSettings) {
  const std::string cfg = BinkdConfig();
  const std::string a = File("a.zip");
  ProcessResult r = Run({"attach", "-c", cfg, "-f", "crash", "1234", a});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(out + "/139c04d2.clo"), Crlf({a}));
  r = Run({"attach", "-c", cfg, "-t", "box", "5", a});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(boxes + "/024SS005.00/a.zip"));
  // A main address of another zone than the outbound's is refused.
  r = Run({"attach", "-c", cfg, "-m", "1:1/1", "1234", a});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "brnet: attach: the outbound " + out + " belongs to zone 2 in " + cfg +
                       " (domain fidonet), but the main address 1:1/1 is in zone 1; give --main "
                       "with an address of zone 2\n");

  // The plug-in's settings, as farhost and sendrel keep them.
  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", config.c_str(), 1), 0);
  {
    auto key = sys::RegKey::Create("Software\\Far\\Plugins\\Quorral\\Sendrel");
    ASSERT_TRUE(key);
    key->SetString("MainAddr", "2:5020/100");
    key->SetDword("OutbType", 2);
    key->SetString("OutbPath", boxes);
  }
  ::unsetenv("XDG_CONFIG_HOME");
  r = Run({"attach", "-f", "hold", "7", a});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(boxes + "/024SS007.00H/a.zip"));
}

TEST_F(Brnet, BusyNodeWaitAndLog) {
  const std::string a = File("a.zip");
  fs::create_directories(out);
  WriteFile(out + "/139c04d2.bsy", "");
  ProcessResult r = Attach({"1234", a});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "brnet: attach: node 2:5020/1234 is busy: " + out +
                       "/139c04d2.bsy (no process named, 0 s old); nothing attached\n");
  EXPECT_FALSE(fs::exists(out + "/139c04d2.flo"));
  // The mailer's session ends while brnet waits.
  r = test::RunProcess(
      {Which("sh"), "-c", "(sleep 1; rm \"$0\") & exec \"$@\"", out + "/139c04d2.bsy", BRNET_PATH,
       "attach", "-m", "2:5020/100", "-d", out, "-w", "20", "-l", tmp / "brnet.log", "1234", a},
      {{"XDG_CONFIG_HOME", config}, {"BRNET_BINKD_CFG", ""}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "brnet: attach: node 2:5020/1234 is busy; waiting up to 20 s\n");
  EXPECT_EQ(ReadFile(out + "/139c04d2.flo"), Crlf({a}));
  const std::string log = ReadFile(tmp / "brnet.log");
  EXPECT_NE(log.find("BRNE Starting BRNET\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("BRNE Created Bink attach " + a + " to 2:5020/1234"), std::string::npos)
      << log;
}

// binkd dialling the node (only its .csy there): every command that edits
// the node's queue refuses and changes nothing. The queue shows it busy, as
// it does a node in session (.bsy), with binkd's hold and tries.
TEST_F(Brnet, CallInProgressRefusesEveryEdit) {
  fs::create_directories(out);
  WriteFile(out + "/139c04d2.flo", Crlf({File("a.zip"), "~" + File("sent.zip")}));
  WriteFile(out + "/139c04d2.hld", "4102444800\n");
  WriteFile(out + "/139c04d2.try", std::string("\x02\x00\x05\x01\x04oops", 9));
  WriteFile(out + "/139c04d2.csy", "4242\n");
  WriteFile(out + "/139c04d3.flo", Crlf({File("b.zip")}));
  WriteFile(out + "/139c04d3.bsy", "4243\n");
  const std::vector<Lines> edits = {{"poll", "1234"}, {"request", "1234", "FILES"},
                                    {"hold", "1234"}, {"unhold", "1234"},
                                    {"drop", "1234"}, {"reflavour", "1234", "crash"}};
  const Lines before = Tree(out);
  for (Lines args : edits) {
    args.insert(args.begin() + 1, {"-m", "2:5020/100", "-d", out});
    const ProcessResult r = Run(args);
    EXPECT_EQ(r.status, 1) << args[0] << ": " << r.err;
    EXPECT_NE(r.err.find("node 2:5020/1234 is busy: " + out + "/139c04d2.csy"), std::string::npos)
        << args[0] << r.err;
  }
  EXPECT_EQ(Tree(out), before);
  EXPECT_EQ(ReadFile(out + "/139c04d2.hld"), "4102444800\n");
  const ProcessResult q = Run({"queue", "-m", "2:5020/100", "-d", out});
  EXPECT_NE(q.out.find("busy"), std::string::npos) << q.out;
  const std::string json = Run({"queue", "--json", "-m", "2:5020/100", "-d", out}).out;
  std::size_t busy = 0;
  for (std::size_t p = json.find("\"busy\":true"); p != std::string::npos;
       p = json.find("\"busy\":true", p + 1)) {
    ++busy;
  }
  EXPECT_EQ(busy, 2u) << json;
  EXPECT_NE(json.find("\"hold_until\":4102444800"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("tries":{"ok":2,"failed":261,"comment":"oops"})"), std::string::npos)
      << json;
}

// hold writes the end of the hold as binkd reads it: now plus the duration,
// or the time given.
TEST_F(Brnet, HoldWritesTheExactTime) {
  std::tm local{};
  local.tm_year = 2031 - 1900, local.tm_mon = 0, local.tm_mday = 2, local.tm_hour = 3;
  local.tm_min = 4, local.tm_isdst = -1;
  const std::int64_t until2031 = std::mktime(&local);
  struct Row {
    Lines args;
    std::int64_t seconds;  // from now; or with absolute, the time itself
    bool absolute = false;
  };
  const std::vector<Row> rows = {
      {{"--for", "90s"}, 90},
      {{"--for", "15m"}, 900},
      {{"--for", "2h"}, 7200},
      {{"--for", "1d"}, 86400},
      {{"--for", "1w"}, 604800},
      {{"--for", "45"}, 45},
      {{"--for", "3H"}, 10800},
      {{"--until", "1900000000"}, 1900000000, true},
      {{"--until", "2031-01-02 03:04"}, until2031, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0] + " " + row.args[1]);
    Lines args = {"hold", "-q", "-m", "2:5020/100", "-d", out, "1234"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const std::int64_t start = std::time(nullptr);
    const ProcessResult r = Run(args);
    const std::int64_t end = std::time(nullptr);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = ReadFile(out + "/139c04d2.hld");
    ASSERT_TRUE(text.ends_with("\n")) << text;
    const std::int64_t written = std::stoll(text);
    if (row.absolute) {
      EXPECT_EQ(written, row.seconds);
    } else {
      EXPECT_GE(written, start + row.seconds);
      EXPECT_LE(written, end + row.seconds);
    }
  }
}

// The queue of a Bink outbound with a point and another zone, file boxes
// and a netmail directory, read back by python3's json.
TEST_F(Brnet, QueueJsonReadByPython) {
  const std::string cfg = BinkdConfig();
  fs::create_directories(netmail);
  const std::string a = File("a.zip", 1000), b = File("b.zip", 20), c = File("c.zip", 3);
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"-f", "crash", "--kill-sent", "1234", a},
                                             {"-f", "hold", "1234", b},
                                             {"--trunc-sent", "1234.5", c},
                                             {"-f", "direct", "1:234/56", a},
                                             {"-t", "box", "-f", "hold", "99", b},
                                             {"-t", "box", "99", c}}) {
    std::vector<std::string> all = {"attach", "-q", "-c", cfg};
    all.insert(all.end(), args.begin(), args.end());
    const ProcessResult r = Run(all);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
  }
  ASSERT_EQ(Run({"attach", "-m", "2:5020/100", "-t", "netmail", "-d", netmail, "3:1/2", c}).status,
            0);
  fs::remove(b);  // gone from where it was attached: size unknown
  ProcessResult r = Run({"queue", "--json", "-c", cfg, "-t", "netmail", "-d", netmail});
  ASSERT_EQ(r.status, 0) << r.err;
  WriteFile(tmp / "queue.json", r.out);
  r = test::RunProcess({Which("python3"), "-c",
                        "import json,sys,os\n"
                        "q=json.load(open(sys.argv[1]))\n"
                        "for n in q['nodes']:\n"
                        "  print(n['address'], n['size'])\n"
                        "  for f in sorted(n['files'], key=lambda f: (f['path'], f['flavour'])):\n"
                        "    print(' ', os.path.basename(f['path']), f['size'], f['flavour'], "
                        "f['type'], f['after'])\n"
                        "print(q['size'])\n",
                        tmp / "queue.json"},
                       {});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "1:234/56 1000\n  a.zip 1000 direct bink none\n"
            "2:5020/99 23\n  c.zip 3 normal box none\n  b.zip 20 hold box none\n"
            "2:5020/1234 1000\n  a.zip 1000 crash bink kill\n  b.zip None hold bink none\n"
            "2:5020/1234.5 3\n  c.zip 3 normal bink trunc\n"
            "3:1/2 3\n  c.zip 3 normal netmail none\n"
            "2029\n")
      << ReadFile(tmp / "queue.json");

  r = Run({"queue", "-v", "-c", cfg});
  ASSERT_EQ(r.status, 0) << r.err;
  const Lines lines = test::SplitLines(r.out);
  ASSERT_EQ(lines.size(), 1u + 4u + 6u + 1u) << r.out;
  EXPECT_EQ(lines[0].rfind("ADDRESS", 0), 0u);
  // The plain box is the normal flavour, as attach says.
  EXPECT_NE(r.out.find("       3  normal    box     none  "), std::string::npos) << r.out;
  EXPECT_EQ(lines[6].rfind("2:5020/1234 ", 0), 0u) << r.out;
  EXPECT_NE(lines[6].find(" crash,hold "), std::string::npos) << r.out;
  EXPECT_NE(lines[6].find(" s      1 missing (binkd will skip it)"), std::string::npos) << r.out;
  EXPECT_NE(lines[7].find("missing  hold      bink    none  "), std::string::npos) << r.out;
  EXPECT_NE(lines[7].find(" s     " + b), std::string::npos) << r.out;
  EXPECT_EQ(lines.back(),
            "total: 4 nodes, 6 files, 0 packets, 2.0 KiB, 1 missing (binkd will skip them)");

  // An entry waits from when its flow line was written, not from its
  // file's date: a file ten days old queued today is not old.
  SetAge(a, 10 * 86400);
  r = Run({"queue", "--older-than", "2d", "-c", cfg});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "");
  SetAge(out + "/139c04d2.clo", 3 * 86400 + 60);
  r = Run({"queue", "-c", cfg});
  EXPECT_NE(r.out.find("1000 B  3 days   1 missing"), std::string::npos) << r.out;
  // For cron: status 3 and the old entries only, 0 when there are none.
  r = Run({"queue", "--older-than", "2d", "-c", cfg});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(r.out, "2:5020/1234 crash 3 days " + a + "\n");
  EXPECT_EQ(Run({"queue", "--older-than", "4d", "-c", cfg}).status, 0);
}

// Nodes with state but no files each get a row: held, polled, busy (with
// the flag's holder), a packet, box files a drop left; then the stale
// flag is dealt with as binkd would and by unlock, the leftovers removed.
TEST_F(Brnet, QueueShowsEveryNodeWithState) {
  const std::string cfg = BinkdConfig();
  const std::string f = File("f.bin", 3000), moved = File("g.bin", 3000);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"hold", "2:5020/1", "--for", "1h"},
                                             {"poll", "2:5020/2"},
                                             {"attach", "-t", "box", "5", f},
                                             {"attach", "-t", "box", "--kill-sent", "5", moved}}) {
    std::vector<std::string> all = args;
    all.insert(all.begin() + 1, {"-q", "-c", cfg});
    ASSERT_EQ(Run(all).status, 0) << args[0];
  }
  // A dropped copy goes, its original stays; a moved file is set aside.
  const std::string box = boxes + "/024SS005.00/";
  ProcessResult r = Run({"drop", "-c", cfg, "5"});
  EXPECT_EQ(r.out, "drop 2:5020/5 normal " + box + "f.bin (a copy; " + f +
                       " stays)\ndrop 2:5020/5 normal " + box + "g.bin\n");
  EXPECT_EQ(Tree(boxes), (Lines{"024SS005.00/", "024SS005.00/.g.bin"}));
  WriteFile(out + "/139c0003.bsy", "999999\n");
  SetAge(out + "/139c0003.bsy", 3 * 3600);
  WriteFile(out + "/139c0004.hut", std::string(300, 'p'));
  SetAge(out + "/139c0004.hut", 3 * 3600 + 60);
  WriteFile(out + "/139c0008.try", std::string("\x01\x00\x02\x00\x05oo\x1bps", 10));
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"2:5020/1 ", " -            0        0 B  -        hold until "},
      {"2:5020/2 ", " direct       0        0 B  -        poll direct"},
      {"2:5020/3 ",
       " -            0        0 B  -        stale busy by pid 999999 (mailer) for 3 h"},
      {"2:5020/4 ", " hold         0      300 B  3 h      1 packet"},
      {"2:5020/5 ", " -            0        0 B  -        1 dropped in boxes (2.9 KiB; drop"},
      {"2:5020/8 ", " -            0        0 B  -        tries 1 ok, 2 failed (oo?ps)"},
  };
  r = Run({"queue", "-c", cfg});
  const Lines lines = test::SplitLines(r.out);
  ASSERT_EQ(lines.size(), rows.size() + 2) << r.out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(lines[i + 1].rfind(rows[i].first, 0), 0u) << r.out;
    EXPECT_NE(lines[i + 1].find(rows[i].second), std::string::npos) << lines[i + 1];
  }
  EXPECT_EQ(lines.back(), "total: 6 nodes, 0 files, 1 packet, 300 B, 1 dropped in boxes");

  // A stale flag is named with its holder and age where it blocks.
  r = Run({"attach", "-c", cfg, "3", f});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "brnet: attach: node 2:5020/3 is busy: " + out +
                       "/139c0003.bsy (pid 999999, 3 h old), stale ('brnet unlock 2:5020/3' "
                       "removes a stale flag); nothing attached\n");
  // unlock refuses a flag whose holder runs, and removes a dead one's.
  WriteFile(out + "/139c0006.bsy", std::to_string(::getpid()) + "\n");
  r = Run({"unlock", "-c", cfg, "3", "6"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("brnet: unlock: node 2:5020/6 is in use, its holder may be at work: "),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(out + "/139c0003.bsy"));
  EXPECT_TRUE(fs::exists(out + "/139c0006.bsy"));
  // binkd's kill-old-bsy: an older flag, holder unknown, is taken as stale.
  WriteFile(cfg, ReadFile(cfg) + "kill-old-bsy 1d\ninclude " + tmp / "absent.inc" + "\n");
  SetAge(out + "/139c0006.bsy", 2 * 86400);
  r = Run({"attach", "-q", "-c", cfg, "6", f});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "") << "-q silences the skipped include and the removal";
  EXPECT_FALSE(fs::exists(out + "/139c0006.bsy"));

  // A flow file's first line waits since the file was made (where the file
  // system records that), the lines after it since its last write.
  const std::string first = File("first.bin"), later = File("later.bin");
  ASSERT_EQ(Run({"attach", "-q", "-c", cfg, "7", first}).status, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(3100));
  ASSERT_EQ(Run({"attach", "-q", "-c", cfg, "7", later}).status, 0);
  r = Run({"queue", "--older-than", "2s", "-c", cfg});
  struct statx stx {};
  if (::statx(AT_FDCWD, (out + "/139c0007.flo").c_str(), 0, STATX_BTIME, &stx) == 0 &&
      (stx.stx_mask & STATX_BTIME) != 0) {
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("\n2:5020/7 normal "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" s " + first + "\n"), std::string::npos) << r.out;
  }
  EXPECT_EQ(r.out.find(later), std::string::npos) << r.out;

  r = Run({"drop", "--leftovers", "-c", cfg, "5"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "remove 2:5020/5 " + box + ".g.bin\n");
  EXPECT_EQ(Tree(boxes), (Lines{"024SS005.00/"}));
}

// The long options of one command's --help: "  -f, --flavour ..." and
// "      --json ...".
std::set<std::string> HelpOptions(const std::string& help) {
  std::set<std::string> names;
  static const std::regex line(R"(^  (?:-\w, |    )--([a-z-]+))");
  for (const std::string& text : test::SplitLines(help)) {
    std::smatch m;
    if (std::regex_search(text, m, line)) names.insert(m[1]);
  }
  return names;
}

// brnet(1)'s OPTIONS: each option's long name with the commands named
// after it, as ".RB ( attach ," ... ".BR drop )"; none named: every command.
std::map<std::string, std::set<std::string>> ManualOptions(const std::string& manual) {
  std::map<std::string, std::set<std::string>> options;
  const Lines lines = test::SplitLines(manual);
  const auto start = std::find(lines.begin(), lines.end(), ".SH OPTIONS");
  static const std::regex name(R"(\\-\\-([a-z\\-]+))"), word(R"(\b([a-z]+)\b)");
  for (auto it = start; it != lines.end() && it + 1 != lines.end(); ++it) {
    if (it != start && it->rfind(".SH", 0) == 0) break;
    std::smatch m;
    if (*it != ".TP" || !std::regex_search(*(it + 1), m, name)) continue;
    std::string option = m[1];
    option.erase(std::remove(option.begin(), option.end(), '\\'), option.end());
    std::set<std::string>& commands = options[option];
    auto r = it + 2;
    if (r == lines.end() || r->rfind(".RB (", 0) != 0) continue;
    for (; r != lines.end(); ++r) {
      for (std::sregex_iterator w(r->begin() + 3, r->end(), word), end; w != end; ++w) {
        commands.insert((*w)[1]);
      }
      if (r->find(')') != std::string::npos) break;
    }
  }
  return options;
}

// brnet(1) and every command's --help list the same options for the same
// commands: neither can drift from the other unseen.
TEST_F(Brnet, ManualAndHelpListTheSameOptions) {
  const std::vector<std::string> commands = {"attach", "queue",  "addr",   "poll", "request",
                                             "hold",   "unhold", "unlock", "drop", "reflavour"};
  const auto manual = ManualOptions(ReadFile(BRNET_MANUAL));
  ASSERT_GT(manual.size(), 20u);
  std::set<std::string> helped;
  for (const std::string& command : commands) {
    const ProcessResult r = Run({command, "--help"});
    ASSERT_EQ(r.status, 0) << command;
    const std::set<std::string> options = HelpOptions(r.out);
    helped.insert(options.begin(), options.end());
    for (const auto& [option, only] : manual) {
      if (option == "version") continue;  // brnet's own, no command's
      const bool documented = only.empty() || only.count(command) != 0;
      EXPECT_EQ(options.count(option) != 0, documented) << command << " --" << option;
    }
  }
  for (const std::string& option : helped) EXPECT_EQ(manual.count(option), 1u) << option;
  EXPECT_NE(Run({"--help"}).out.find("unlock ADDRESS..."), std::string::npos);
}

TEST_F(Brnet, AddrShowsNames) {
  ProcessResult r = Run({"addr", "-m", "2:5020/100", "-d", out, "1234.5", "1:234/56"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Lines lines = test::SplitLines(r.out);
  ASSERT_EQ(lines.size(), 14u) << r.out;
  EXPECT_EQ(lines[0], "2:5020/1234.5");
  EXPECT_EQ(lines[1], "  flow files   " + out + "/139c04d2.pnt/00000005.?lo (ilo clo dlo flo hlo)");
  EXPECT_EQ(lines[2], "  busy flags   " + out + "/139c04d2.pnt/00000005.bsy " + out +
                          "/139c04d2.pnt/00000005.csy");
  EXPECT_EQ(lines[5], "  short box    024SS16I.05/ (hold: 024SS16I.05H/)");
  EXPECT_EQ(lines[6], "  long box     2.5020.1234.5/ (hold: 2.5020.1234.5.H/)");
  EXPECT_EQ(lines[8], "  flow files   " + tmp / "out.001/00ea0038.?lo (ilo clo dlo flo hlo)");
  const std::string hash = lines[10].substr(26, 8);
  EXPECT_EQ(lines[10], "  semaphores   T-MAIL_SEM_" + hash + ".BSY T-MAIL_SEM_" + hash + ".CSY");
  r = Run({"addr", "-m", "2:5020/100", "2:5020"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "brnet: addr: invalid address '2:5020'; give zone:net/node[.point][@domain], net/node "
            "or node\n");
  EXPECT_EQ(Tree(tmp.Path()), (Lines{"config/", "files/"}));
}

// What brnet prints of an error or a name: the system's words, never the
// library's run-time ones, and control characters never raw.
TEST(BrnetTexts, PlatformWordingAndEscapes) {
  const std::pair<std::string, std::string> rows[] = {
      {PlatformWording("Win32 Error.  Code: 17.\nFile exists: /box/a"), "File exists: /box/a"},
      {PlatformWording("I/O error 24: /out/"), "Too many open files: /out/"},
      {PlatformWording("File access denied: /x"), "File access denied: /x"},
      {Escaped("a\x1b[2J\tb\r\x7f"), "a\\x1b[2J\\tb\\r\\x7f"},
      {Escaped("one\ntwo\x1a", true), "one\ntwo\\x1a"},
  };
  for (const auto& [got, want] : rows) EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace brnet::cli
