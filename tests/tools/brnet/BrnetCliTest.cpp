// brnet end to end, as a sysop runs it: real directories, every type,
// flavour and after-sending mode, relative paths, everything it refuses
// (with nothing on disk afterwards), the queue read back by python3's json,
// addr, the busy wait, the log, and settings kept by the plug-in.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>

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
    // Everyone may enter: a refusal test may run brnet as nobody.
    fs::permissions(tmp.Path(), fs::perms::all);
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

  const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
      {{}, "Usage: brnet COMMAND"},
      {{"send"}, "brnet: unknown command \"send\""},
      {{"attach", "--bogus", "1", "x"}, "brnet: unknown option --bogus"},
      {{"attach", "-z"}, "brnet: unknown option -z"},
      {{"attach", "-f"}, "brnet: option -f needs a value"},
      {{"attach", "--quiet=yes", "1", "x"}, "brnet: option --quiet takes no value"},
      {{"attach"}, "brnet: missing ADDRESS"},
      {{"attach", "2:5020/1"}, "brnet: no FILE given to attach"},
      {{"attach", "-f", "fast", "1", "x"}, "brnet: unknown flavour \"fast\""},
      {{"attach", "-t", "zip", "1", "x"}, "brnet: unknown type \"zip\""},
      {{"attach", "--kill-sent", "--trunc-sent", "1", "x"},
       "brnet: --kill-sent and --trunc-sent exclude each other"},
      {{"attach", "-w", "soon", "1", "x"}, "brnet: --wait needs a number of seconds"},
      {{"addr"}, "brnet: missing ADDRESS"},
      {{"check", "-n"}, "brnet: -n shows what --fix would do: give --fix too"},
      {{"queue", "--older-than", "soon"}, "brnet: --older-than needs a duration"},
      {{"request", "1", "!pw"}, "brnet: request \"!pw\": a request beginning with \"!\""},
      {{"hold", "1", "--until", "1000"}, "brnet: the hold would end in the past"},
      {{"reflavour", "1", "crash", "--from", "c"}, "brnet: --from and FLAVOUR are the same"},
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
  EXPECT_EQ(r.err, "brnet: " + blank +
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
  EXPECT_EQ(r.err, "brnet: " + keep + ": " + boxes +
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
      {{"2:5020", good}, 1, "Invalid address 2:5020"},
      {{"2:5020/x@fidonet", good}, 1, "Invalid address 2:5020/x"},
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
    EXPECT_EQ(r.err, "brnet: " + c.err + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(out)) << c.err;
  }
  // Settings found nowhere.
  ProcessResult r = Run({"attach", "-m", "2:5020/100", "1234", good});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "brnet: no outbound directory: give --dir, --binkd-config FILE, or configure "
            "the plug-in\n");
  r = Run({"attach", "-d", out, "1234", good});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "brnet: no main address: give --main, --binkd-config FILE, or configure the "
            "plug-in\n");
  r = Run({"attach", "-c", tmp / "absent.cfg", "1234", good});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "brnet: binkd configuration " + tmp / "absent.cfg" + ": No such file or directory\n");
  WriteFile(tmp / "secret.cfg", "domain f /o 2\naddress 2:5020/1\n");
  fs::permissions(tmp / "secret.cfg", fs::perms::owner_read | fs::perms::owner_write);
  r = Run({"attach", "-c", tmp / "secret.cfg", "1234", good}, {}, IsRoot());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "brnet: binkd configuration " + tmp / "secret.cfg" + ": Permission denied\n");
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists("/o"));
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
  EXPECT_EQ(r.err, "brnet: the outbound " + out + " belongs to zone 2 in " + cfg +
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
  EXPECT_EQ(r.err, "brnet: Node 2:5020/1234 is busy\n");
  EXPECT_FALSE(fs::exists(out + "/139c04d2.flo"));
  // The mailer's session ends while brnet waits.
  r = test::RunProcess(
      {Which("sh"), "-c", "(sleep 1; rm \"$0\") & exec \"$@\"", out + "/139c04d2.bsy", BRNET_PATH,
       "attach", "-m", "2:5020/100", "-d", out, "-w", "20", "-l", tmp / "brnet.log", "1234", a},
      {{"XDG_CONFIG_HOME", config}, {"BRNET_BINKD_CFG", ""}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "brnet: node 2:5020/1234 is busy; waiting up to 20 s\n");
  EXPECT_EQ(ReadFile(out + "/139c04d2.flo"), Crlf({a}));
  const std::string log = ReadFile(tmp / "brnet.log");
  EXPECT_NE(log.find("BRNE Starting BRNET\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("BRNE Created Bink attach " + a + " to 2:5020/1234"), std::string::npos)
      << log;
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
                                             {"-t", "box", "-f", "hold", "99", b}}) {
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
            "2:5020/99 20\n  b.zip 20 hold box none\n"
            "2:5020/1234 1000\n  a.zip 1000 crash bink kill\n  b.zip None hold bink none\n"
            "2:5020/1234.5 3\n  c.zip 3 normal bink trunc\n"
            "3:1/2 3\n  c.zip 3 normal netmail none\n"
            "2026\n")
      << ReadFile(tmp / "queue.json");

  r = Run({"queue", "-v", "-c", cfg});
  ASSERT_EQ(r.status, 0) << r.err;
  const Lines lines = test::SplitLines(r.out);
  ASSERT_EQ(lines.size(), 1u + 4u + 5u + 1u) << r.out;
  EXPECT_EQ(lines[0].rfind("ADDRESS", 0), 0u);
  EXPECT_EQ(lines[5].rfind("2:5020/1234 ", 0), 0u) << r.out;
  EXPECT_NE(lines[5].find(" crash,hold "), std::string::npos) << r.out;
  EXPECT_NE(lines[5].find(" today    1 missing (binkd will skip it)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("missing  hold      bink    none  " + b + "\n"), std::string::npos) << r.out;
  EXPECT_EQ(lines.back(), "total: 4 nodes, 5 files, 2.0 KiB, 1 missing (binkd will skip them)");

  // A file written three days ago at six in the morning.
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  tm.tm_mday -= 3;
  tm.tm_hour = 6;
  tm.tm_min = tm.tm_sec = 0;
  tm.tm_isdst = -1;
  const auto when = std::chrono::system_clock::from_time_t(std::mktime(&tm));
  fs::last_write_time(a, std::chrono::time_point_cast<fs::file_time_type::duration>(
                             std::chrono::file_clock::from_sys(when)));
  r = Run({"queue", "-c", cfg});
  EXPECT_NE(r.out.find("1000 B  3 days   \n"), std::string::npos) << r.out;
  // For cron: status 1 and the old entries only (a.zip, queued twice), or 0.
  r = Run({"queue", "--older-than", "2d", "-c", cfg});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(test::SplitLines(r.out).size(), 2u) << r.out;
  EXPECT_EQ(r.out.find(c), std::string::npos) << r.out;
  EXPECT_EQ(Run({"queue", "--older-than", "4d", "-c", cfg}).status, 0);
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
  EXPECT_EQ(r.err, "brnet: Invalid address 2:5020\n");
  EXPECT_EQ(Tree(tmp.Path()), (Lines{"config/", "files/"}));
}

}  // namespace
}  // namespace brnet::cli
