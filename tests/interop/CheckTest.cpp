// brnet check and move on a spool shaped like the Debian binkd package's
// (everything below A is the mailer's user ftn's), with A's binkd run as
// its service runs it: as ftn, in a mount namespace of its own in which one
// directory is hidden and another read-only, as its unit file says. An
// outbound seeded with one case of each way mail gets stuck: check names
// each and nothing else, --fix mends the safe ones, and binkd then delivers
// everything that can be sent; move readdresses a node's mail to another.
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>

#include "Peers.h"

namespace brnet::interop {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class CheckedSpool : public Peers {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: it chowns the spool and mounts";
    const passwd* pw = ::getpwnam("ftn");
    if (pw == nullptr || ::access("/usr/bin/unshare", X_OK) != 0) {
      GTEST_SKIP() << "needs the user ftn (binkd's Debian package) and unshare";
    }
    ftn_ = pw->pw_uid, ftnGid_ = pw->pw_gid;
    Peers::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    for (const char* dir : {"A/OTHER", "hidden", "ro", "sem"})
      fs::create_directories(Root() + "/" + dir);
    for (const auto& e : fs::recursive_directory_iterator(Root() + "/A")) Own(e.path().string());
    for (const char* dir : {"A", "ro", "sem"}) Own(Root() + "/" + dir);
    ASSERT_EQ(::chown(A("files").c_str(), 0, 0), 0);  // the sysop's own files
    // The service: as ftn, "hidden" unseen, "ro" not writable.
    WriteFile(Root() + "/binkd.service", "[Service]\nUser=ftn\nInaccessiblePaths=" + Root() +
                                             "/hidden\nReadOnlyPaths=" + Root() + "/ro\n");
    asA_ = {"/usr/bin/unshare",
            "-m",
            "--propagation",
            "private",
            "/bin/sh",
            "-c",
            "mount -t tmpfs none '" + Root() + "/hidden' && mount --bind '" + Root() + "/ro' '" +
                Root() + "/ro' && mount -o remount,bind,ro '" + Root() + "/ro' && exec " +
                "/usr/bin/setpriv --reuid=" + std::to_string(ftn_) +
                " --regid=" + std::to_string(ftnGid_) + " --init-groups \"$@\"",
            "sh"};
    // A second domain, othernet (default zone 99), with B's node 99:1/2.
    Variant("a2", "a",
            "domain othernet " + A("OTHER") +
                " 99\nnode 99:1/2@othernet 127.0.0.1:" + std::to_string(portB_) + " secret");
    std::string b = ReadFile(Cfg("b"));
    b.replace(b.find("address 2:5020/1234@fidonet"), 27,
              "domain othernet " + B("OTHER") + " 99\naddress 99:1/2@othernet");
    WriteFile(Cfg("b-other"), b);
  }

  void Own(const std::string& path) const {
    ASSERT_EQ(::lchown(path.c_str(), ftn_, ftnGid_), 0) << path;
  }

  // brnet as root (working as ftn) with A's two-domain configuration and
  // the test's service unit.
  RunResult Brnet(std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"-c", Cfg("a2")});
    args.insert(args.begin(), BRNET_PATH);
    return RunBounded(args, 30,
                      {{"XDG_CONFIG_HOME", Root() + "/config"},
                       {"BRNET_BINKD_CFG", ""},
                       {"BRNET_BINKD_UNIT", Root() + "/binkd.service"},
                       {"BRNET_SEMAPHORE_DIR", Root() + "/sem"}});
  }

  // A flow file (or any file of the outbound) written as it stands, it and
  // the directories made for it ftn's, or with FOREIGN root's.
  void Flow(const std::string& path, const std::vector<std::string>& lines, bool foreign = false) {
    std::vector<fs::path> made;
    for (fs::path dir = fs::path(path).parent_path(); !fs::exists(dir); dir = dir.parent_path()) {
      made.push_back(dir);
    }
    fs::create_directories(fs::path(path).parent_path());
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    WriteFile(path, text);
    if (foreign) return;
    for (const fs::path& dir : made) Own(dir.string());
    Own(path);
  }

  uid_t ftn_ = 0;
  gid_t ftnGid_ = 0;
};

struct Seeded {
  const char* kind;
  std::string path;
  bool mended;  // by --fix
};

TEST_F(CheckedSpool, CheckNamesEachProblemFixMendsTheSafeOnesBinkdSendsTheRest) {
  const std::string ok = MakeFile("ok.bin"), ok2 = MakeFile("ok2.bin"), dup = MakeFile("dup.bin");
  const std::string secret = MakeFile("secret.bin"), kill = MakeFile("kill.bin");
  const std::string gone = A("files/gone.bin"), adir = A("files/adir");
  const std::string point = MakeFile("point.bin"), other = MakeFile("other.bin");
  const std::string uncalled = MakeFile("uncalled.bin"), netmailed = MakeFile("netmailed.bin");
  const std::string netmail = Root() + "/cm/netmail";
  Own(netmail);
  const RunResult attached =
      Brnet({"attach", "-q", "-t", "netmail", "-d", netmail, "1234", netmailed});
  ASSERT_EQ(attached.status, 0) << attached.out;
  fs::remove(netmailed);
  const std::string hidden = Root() + "/hidden/h.bin", ro = Root() + "/ro/r.bin";
  fs::rename(MakeFile("h.bin"), hidden);
  fs::rename(MakeFile("r.bin"), ro);
  Own(ro);
  ::chmod(secret.c_str(), 0600);
  fs::create_directory(adir);
  // Closed to the mailer, so to the check --fix makes as the mailer; the
  // other's name would clear a terminal.
  const std::string closed = Root() + "/closed/c.bin", escaped = Root() + "/e\x1b[2Jc/e.bin";
  for (const std::string& file : {closed, escaped}) {
    fs::create_directories(fs::path(file).parent_path());
    WriteFile(file, "x");
    ::chmod(fs::path(file).parent_path().c_str(), 0700);
  }
  const std::string unmounted = A("files/usb/gone.bin");  // its directory is gone
  Flow(A("OUT/139c04d2.flo"),
       {ok, gone, secret, "^" + kill, hidden, "^" + ro, dup, adir, closed, escaped, unmounted});
  Flow(A("OUT/139c04d2.clo"), {dup, ok2}, true);
  ::chmod(A("OUT/139c04d2.clo").c_str(), 04710);  // a program's bits: none may survive
  Flow(A("OUT/139c04d2.pnt/00000005.flo"), {point}, true);
  // A flow file that is another name of root's file outside the spool: never handed over.
  const std::string outside = Root() + "/outside";
  WriteFile(outside, "");
  ::chmod(outside.c_str(), 0600);
  fs::create_hard_link(outside, A("OUT/139c10e1.dlo"));
  // Another user's: it keeps its owner.
  ASSERT_EQ(::chown(A("OUT/139c04d2.pnt/00000005.flo").c_str(), 65534, 65534), 0);
  Flow(A("OUT.063/00010002.flo"), {other});
  Flow(A("OUT/139c10e1.flo"), {uncalled});
  // binkd's state: a flag of a process that has ended, an expired hold,
  // failed calls.
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  Flow(A("OUT/139c04d2.bsy"), {std::to_string(dead)});
  fs::last_write_time(A("OUT/139c04d2.bsy"),
                      fs::file_time_type::clock::now() - std::chrono::hours(1));
  Flow(A("OUT/139c04d2.hld"), {"1000"});
  // Flags no process here holds: a link, a note naming none, another
  // machine's brnet's, each untouched for an hour.
  fs::create_symlink("/dev/null", A("OUT/139c10e1.bsy"));
  Flow(A("OUT/139C10E1.BSY"), {"busy"});
  WriteFile(A("OUT/139c10e1.csy"), "77\nbrnet32 elsewhere\n");
  Own(A("OUT/139c10e1.csy"));
  for (const char* flag : {"OUT/139C10E1.BSY", "OUT/139c10e1.csy"}) {
    fs::last_write_time(A(flag), fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  WriteFile(A("OUT/139c04d2.try"), std::string("\x00\x00\x03\x00\x0c"
                                               "Bad password",
                                               17));
  Own(A("OUT/139c04d2.try"));

  const std::vector<Seeded> seeded = {
      {"missing", gone, true},
      {"mailer-cannot", secret, false},
      {"mailer-cannot", kill, false},
      {"service-cannot", hidden, false},
      {"service-cannot", ro, false},
      {"twice", dup, false},
      {"not-a-file", adir, false},
      {"access", A("OUT/139c04d2.clo"), true},
      {"access", A("OUT/139c04d2.pnt"), true},
      {"access", A("OUT/139c04d2.pnt/00000005.flo"), true},
      {"stale-flag", A("OUT/139c04d2.bsy"), true},
      {"hold-expired", A("OUT/139c04d2.hld"), true},
      {"failed-calls", A("OUT/139c04d2.try"), false},
      {"wrong-domain", A("OUT.063/00010002.*"), true},
      {"not-called", A("OUT/139c10e1.*"), false},
      {"missing", netmailed, false},  // its message is for a person to drop
      {"mailer-cannot", closed, false},
      {"missing", unmounted, false},
      {"access", A("OUT/139c10e1.dlo"), false},
      {"stale-flag", A("OUT/139c10e1.bsy"), false},
      {"stale-flag", A("OUT/139C10E1.BSY"), false},
      {"stale-flag", A("OUT/139c10e1.csy"), false},
      {"mailer-cannot", Root() + "/e?[2Jc/e.bin", false},
  };
  const auto named = [&](const RunResult& r, bool mendedToo) {
    std::size_t lines = 0;  // warnings aside
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) lines += line.starts_with("brnet: ") ? 0 : 1;
    std::size_t expected = 0;
    for (const Seeded& s : seeded) {
      if (s.mended && !mendedToo) continue;
      ++expected;
      EXPECT_NE(r.out.find(" " + std::string(s.kind) + " " + s.path + ": "), std::string::npos)
          << s.kind << " " << s.path << "\n"
          << r.out;
    }
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_EQ(lines, expected + 1) << "one line per problem and the summary\n" << r.out;
  };
  RunResult r = Brnet({"check", "-t", "netmail", "-d", netmail});
  EXPECT_EQ(r.status, 4);
  named(r, true);
  // A dry run changes nothing; the fix mends and logs, leaving the rest.
  const std::string flow = ReadFile(A("OUT/139c04d2.flo"));
  r = Brnet({"check", "-t", "netmail", "-d", netmail, "--fix", "-n"});
  EXPECT_EQ(ReadFile(A("OUT/139c04d2.flo")), flow);
  EXPECT_TRUE(fs::exists(A("OUT/139c04d2.bsy")));
  r = Brnet({"check", "-t", "netmail", "-d", netmail, "--fix", "-q", "-l", A("fix.log")});
  EXPECT_EQ(r.status, 4);
  named(r, false);
  EXPECT_NE(ReadFile(A("fix.log")).find("drop 2:5020/1234 normal " + gone), std::string::npos)
      << ReadFile(A("fix.log"));
  EXPECT_TRUE(fs::exists(A("OTHER/00010002.flo")));
  struct stat st {};
  ASSERT_EQ(::stat(A("OUT/139c04d2.clo").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07111, 0u) << std::oct << st.st_mode;
  ASSERT_EQ(::stat(A("OUT/139c04d2.pnt/00000005.flo").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_NE(r.out.find("139c10e1.dlo: it has other names (hard links)"), std::string::npos);
  ASSERT_EQ(::stat(outside.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  Session("b", "a2");
  for (const char* name : {"ok.bin", "ok2.bin", "dup.bin", "kill.bin", "r.bin"}) {
    EXPECT_TRUE(Arrived(name)) << name;
  }
  for (const char* name : {"secret.bin", "h.bin", "uncalled.bin"}) {
    EXPECT_FALSE(fs::exists(B("inb/") + name)) << name;
  }
  // Sent, but the mailer could not delete them, as check said.
  EXPECT_TRUE(fs::exists(kill));
  EXPECT_TRUE(fs::exists(ro));
  Session("b-point", "a2");
  EXPECT_TRUE(Arrived("point.bin")) << Logs();
  Session("b-other", "a2");
  EXPECT_TRUE(Arrived("other.bin")) << Logs();
  // A message that is none (a bad TOPT) stops the netmail's scan: named,
  // not passed over as all well.
  WriteFile(netmail + "/9.msg", std::string(190, '\0') + "\x01TOPT five\r");
  r = Brnet({"check", "-t", "netmail", "-d", netmail});
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.out.find("- unreadable " + netmail + ": "), std::string::npos) << r.out;
  // A flow file the scan will not read (a link planted by a member): named,
  // its node not passed over as all well.
  fs::create_symlink("/etc/hostname", A("OUT/00070007.flo"));
  r = Brnet({"check", "7/7"});
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.out.find("2:7/7 unreadable " + A("OUT/00070007.*")), std::string::npos) << r.out;
  fs::remove(A("OUT/00070007.flo"));
  // An outbound made by another user of the spool's group: whose binkd's
  // files are is in doubt, and --fix hands nothing to that user.
  ::chmod(A("").c_str(), 02775);
  ASSERT_EQ(::chown(A("OUT").c_str(), 65534, 65534), 0);
  ::chmod(A("OTHER").c_str(), 0700);
  r = Brnet({"check", "--fix"});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("whose binkd's files are is in doubt; nothing changed"), std::string::npos)
      << r.out;
  ASSERT_EQ(::stat(A("OTHER").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(CheckedSpool, MoveReaddressesANodesMail) {
  ASSERT_EQ(Brnet({"attach", "-q", "4321", MakeFile("moved.bin"), MakeFile("stay.txt")}).status, 0);
  // binkd skips a packet of no more than a header as empty.
  const std::string packet(200, 'p');
  Flow(A("OUT/139c10e1.out"), {packet});
  Flow(A("OUT/139c10e1.req"), {"FILES"});
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string out;  // the start of the output
  };
  const std::vector<Row> rows = {
      {{"move", "4321", "1234", "*.bin"},
       0,
       "move 2:5020/4321 normal " + A("files/moved.bin") + " to 2:5020/1234\n"},
      {{"move", "-n", "4321", "1234"}, 0, "would move 2:5020/4321 normal " + A("files/stay.txt")},
      {{"move", "4321", "1234"}, 0, "move 2:5020/4321 normal " + A("files/stay.txt")},
      {{"move", "4321", "1234"}, 1, "brnet: move: no queued entry of 2:5020/4321 matches"},
      {{"move", "1234", "2:5020/1234"}, 2, "brnet: move: FROM and TO are the same node"},
  };
  for (const Row& row : rows) {
    const RunResult r = Brnet(row.args);
    EXPECT_EQ(r.status, row.status) << r.out;
    EXPECT_EQ(r.out.rfind(row.out, 0), 0u) << r.out;
  }
  EXPECT_EQ(FlowFiles(), std::vector<std::string>{A("OUT/139c04d2.flo")});
  EXPECT_FALSE(fs::exists(A("OUT/139c10e1.out")));
  // The queue of the two nodes: only the one with mail is left.
  const RunResult queue = Brnet({"queue", "2:5020/4321", "1234"});
  EXPECT_NE(queue.out.find("\n2:5020/1234 "), std::string::npos) << queue.out;
  EXPECT_NE(queue.out.find("total: 1 node, 2 files"), std::string::npos) << queue.out;
  Session("b", "a2");
  EXPECT_TRUE(Arrived("moved.bin"));
  EXPECT_TRUE(Arrived("stay.txt"));
  std::string packets, requests;
  for (const std::string& name : Inbound()) {
    if (name.ends_with(".pkt")) packets += ReadFile(B("inb/" + name));
    if (name.ends_with(".req")) requests += ReadFile(B("inb/" + name));
  }
  EXPECT_EQ(packets, packet + "\r\n") << Logs();
  EXPECT_EQ(requests, "FILES\r\n") << Logs();
  // attach warns of a file the service cannot see, unless -q.
  const std::string hidden = Root() + "/hidden/late.bin";
  fs::rename(MakeFile("late.bin"), hidden);
  RunResult r = Brnet({"attach", "1235", hidden});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("brnet: warning: " + hidden + ": binkd's service (InaccessiblePaths=", 0),
            0u)
      << r.out;
  r = Brnet({"attach", "-q", "--again", "1235", hidden});
  EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace brnet::interop
