// brnet on a spool shaped like the Debian binkd package's: everything below
// A belongs to the mailer's user ftn and A's binkd runs as ftn. Root's
// attaches and polls become ftn's, a sysop in the ftn group with umask 002 writes
// flow files binkd can rewrite, a second domain's node is called, and the
// queue shows, as valid JSON, whatever names and state files it meets.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "Peers.h"
#include "sys/Process.h"

namespace brnet::interop {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class TwoUserSpool : public Peers {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: it switches users and chowns the spool";
    const passwd* pw = ::getpwnam("ftn");
    if (pw != nullptr) ftn_ = pw->pw_uid, ftnGid_ = pw->pw_gid;
    pw = ::getpwnam("nobody");
    if (pw != nullptr) nobody_ = pw->pw_uid, nobodyGid_ = pw->pw_gid;
    if (ftn_ == 0 || nobody_ == 0 || ::access("/usr/bin/setpriv", X_OK) != 0) {
      GTEST_SKIP() << "needs the users ftn (binkd's Debian package) and nobody, and setpriv";
    }
    Peers::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    fs::create_directories(A("OTHER"));
    fs::create_directories(A("files/ftn"));
    // A's spool is ftn's, group-shared as binkd's package makes it.
    for (const auto& e : fs::recursive_directory_iterator(Root() + "/A")) {
      ASSERT_EQ(::lchown(e.path().c_str(), ftn_, ftnGid_), 0) << e.path();
    }
    ASSERT_EQ(::chown(A("").c_str(), ftn_, ftnGid_), 0);
    ASSERT_EQ(::chown(A("files").c_str(), 0, 0), 0);  // the sysop's own files
    ASSERT_EQ(::chmod(A("OUT").c_str(), 02775), 0);
    const std::string ftn = std::to_string(ftn_);
    asA_ = {"/usr/bin/setpriv", "--reuid=" + ftn, "--regid=" + std::to_string(ftnGid_),
            "--init-groups"};
    // A second domain, othernet (default zone 99), with B's node 99:1/2 in it.
    Variant("a2", "a",
            "domain othernet " + A("OTHER") +
                " 99\nnode 99:1/2@othernet 127.0.0.1:" + std::to_string(portB_) + " secret");
    std::string b = ReadFile(Cfg("b"));
    b.replace(b.find("address 2:5020/1234@fidonet"), 27,
              "domain othernet " + B("OTHER") + " 99\naddress 99:1/2@othernet");
    WriteFile(Cfg("b-other"), b);
  }

  // brnet with A's configuration; PREFIX runs it as another user, USER
  // (root's run works as the spool's owner, ftn). Node semaphores live in
  // a directory of the user who takes them, this test's own.
  RunResult Brnet(const std::vector<std::string>& args, const std::string& prefix = {},
                  uid_t user = 0) {
    if (user == 0) user = ftn_;
    const std::string semaphores = Semaphores(user);
    std::string cmd = prefix + " '" BRNET_PATH "'";
    for (const std::string& a : args) cmd += " '" + a + "'";
    return RunBounded({"/bin/sh", "-c", cmd}, 30,
                      {{"XDG_CONFIG_HOME", Root() + "/config"},
                       {"BRNET_BINKD_CFG", ""},
                       {"BRNET_SEMAPHORE_DIR", semaphores}});
  }

  std::string Semaphores(uid_t user) {
    const std::string semaphores = Root() + "/semaphores-" + std::to_string(user);
    if (!fs::exists(semaphores)) {
      fs::create_directory(semaphores);
      EXPECT_EQ(::chown(semaphores.c_str(), user, static_cast<gid_t>(-1)), 0);
      ::chmod(semaphores.c_str(), 0700);
    }
    return semaphores;
  }

  // PATH's mode in octal, its owner and group: "660 nobody:ftn".
  std::string Owned(const std::string& path) const {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "missing";
    const auto name = [&](unsigned id, unsigned ftn) {
      return id == ftn ? "ftn" : id == nobody_ ? "nobody" : id == 0 ? "root" : "other";
    };
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string(mode) + " " + name(st.st_uid, ftn_) + ":" + name(st.st_gid, ftnGid_);
  }

  // Files below A's spool directories that do not belong to ftn.
  std::vector<std::string> NotFtns() const {
    std::vector<std::string> found;
    for (const char* dir : {"OUT", "OUT.001", "BOXES", "OTHER"}) {
      if (!fs::exists(A(dir))) continue;
      for (const auto& e : fs::recursive_directory_iterator(A(dir))) {
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        if (st.st_uid != ftn_) found.push_back(e.path().string());
      }
    }
    return found;
  }

  uid_t ftn_ = 0, nobody_ = 0;
  gid_t ftnGid_ = 0, nobodyGid_ = 0;
};

TEST_F(TwoUserSpool, RootAttachesAsTheMailerAndEveryDomainIsCalled) {
  const std::string cfg = Cfg("a2");
  // In a directory of ftn's, so that binkd may delete and truncate them.
  const std::string kill = A("files/ftn/kill.bin"), trunc = A("files/ftn/trunc.bin");
  fs::rename(MakeFile("kill.bin"), kill);
  fs::rename(MakeFile("trunc.bin"), trunc);
  ASSERT_EQ(::chown(A("files/ftn").c_str(), ftn_, ftnGid_), 0);
  ASSERT_EQ(::chown(trunc.c_str(), ftn_, ftnGid_), 0);
  const std::string boxed = MakeFile("boxed.bin"), zone1 = MakeFile("zone1.bin");
  const std::string other = MakeFile("other.bin"), secret = MakeFile("secret.bin");
  ::chmod(secret.c_str(), 0600);
  struct Case {
    std::vector<std::string> args;
    std::string out;  // expected start of the output; "brnet: ..." for a refusal
    std::string command = "attach";
  };
  const std::vector<Case> cases = {
      {{"-f", "crash", "--kill-sent", "2:5020/1234", kill}, "2:5020/1234 crash kill "},
      {{"--trunc-sent", "1234", trunc}, "2:5020/1234 normal trunc "},
      {{"-t", "longbox", "-f", "normal", "1234", boxed}, "2:5020/1234 normal none "},
      {{"1:234/56", zone1}, "1:234/56 normal none "},
      {{"-f", "i", "1/2@othernet", other}, "99:1/2@othernet immediate none "},
      {{"1/2@othernet", other}, "brnet: attach: " + other + ": waits for the node already"},
      {{"--kill-sent", "1234", boxed},
       "brnet: attach: " + boxed +
           ": delete after sending, but the mailer's user ftn cannot write its directory"},
      {{"1234", secret}, "brnet: attach: " + secret + ": the mailer's user ftn cannot read it"},
      {{"1234@typonet", boxed},
       "brnet: attach: unknown domain \"typonet\"; the binkd configuration has: "},
      {{"0:0/0", boxed}, "brnet: attach: invalid address '0:0/0': there is no zone 0"},
      {{"", boxed}, "brnet: attach: empty address"},
      // One run, two domains' outbounds, each poll made as ftn.
      {{"1234", "1/2@othernet"},
       "poll 2:5020/1234 direct " + A("OUT/139c04d2.dlo") + "\npoll 99:1/2@othernet direct " +
           A("OTHER/00010002.dlo") + "\n",
       "poll"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {c.command, "-c", cfg};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = Brnet(args);
    EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
    EXPECT_EQ(r.status, c.out.rfind("brnet:", 0) == 0 ? 1 : 0) << r.out;
  }
  EXPECT_EQ(NotFtns(), std::vector<std::string>{});
  EXPECT_TRUE(fs::exists(A("OTHER/00010002.ilo")));
  EXPECT_TRUE(fs::exists(A("OTHER/00010002.dlo")));
  const RunResult queue = Brnet({"queue", "-c", cfg});
  EXPECT_NE(queue.out.find("\n99:1/2@othernet "), std::string::npos) << queue.out;
  // B is not 1:234/56: a call there would only fail.
  EXPECT_TRUE(fs::remove(A("OUT.001/00ea0038.flo")));

  Session("b", "a2");
  EXPECT_TRUE(Arrived("kill.bin"));
  EXPECT_TRUE(Arrived("trunc.bin"));
  EXPECT_TRUE(Arrived("boxed.bin"));
  EXPECT_FALSE(fs::exists(kill)) << "binkd could not delete the file";
  EXPECT_EQ(fs::file_size(trunc), 0u) << "binkd could not truncate the file";
  Session("b-other", "a2");
  EXPECT_TRUE(Arrived("other.bin")) << Logs();
  EXPECT_FALSE(fs::exists(A("OTHER/00010002.ilo")));
}

TEST_F(TwoUserSpool, GroupMemberWritesWhatBinkdRewrites) {
  // nobody in the group ftn (not its own group) with umask 002: a sysop of
  // the mailer's group. The outbound's set-group-ID bit gives ftn's group.
  const std::string sysop = "umask 002; /usr/bin/setpriv --reuid=" + std::to_string(nobody_) +
                            " --regid=" + std::to_string(nobodyGid_) +
                            " --groups=" + std::to_string(ftnGid_);
  const std::string shared = MakeFile("shared.bin"), own = MakeFile("own.bin");
  ASSERT_EQ(::chown(shared.c_str(), nobody_, ftnGid_), 0);
  ::chmod(shared.c_str(), 0640);
  ASSERT_EQ(::chown(own.c_str(), nobody_, ftnGid_), 0);
  ::chmod(own.c_str(), 0600);
  RunResult r = Brnet({"attach", "-c", Cfg("a"), "1234", own}, sysop, nobody_);
  EXPECT_EQ(r.out, "brnet: attach: " + own + ": the mailer's user ftn cannot read it\n");
  r = Brnet({"attach", "-c", Cfg("a"), "1234", shared}, sysop, nobody_);
  ASSERT_EQ(r.status, 0) << r.out;
  struct stat st {};
  ASSERT_EQ(::stat(A("OUT/139c04d2.flo").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0664u);
  EXPECT_EQ(st.st_gid, ftnGid_) << "the set-group-ID outbound's group was not kept";
  Session("b", "a");
  EXPECT_TRUE(Arrived("shared.bin"));
  EXPECT_EQ(FlowFiles(), std::vector<std::string>{}) << "binkd could not remove the flow file";
}

// Every front end (brnet, the plug-in in its host), as root or as a member
// of ftn's group with umask 077 or 022, leaves what binkd, as ftn, sends,
// and the next of them can attach to the same node: ownership and modes are
// the library's, whatever the umask; a file ftn could not read is refused
// by the plug-in too.
TEST_F(TwoUserSpool, EveryFrontEndLeavesWhatTheMailerSends) {
  const std::string a = Cfg("a"), mail = A("netmail");
  for (const std::string& dir : {mail, A("BOXES")}) {
    fs::create_directories(dir);
    ASSERT_EQ(::chown(dir.c_str(), ftn_, ftnGid_), 0);
    ::chmod(dir.c_str(), 02775);
  }
  fs::create_directories(A("DEB"));  // as Debian ships a spool: 0755
  ASSERT_EQ(::chown(A("DEB").c_str(), ftn_, ftnGid_), 0);
  fs::create_directory_symlink(A("OUT"), A("LINK"));
  fs::create_directories(Root() + "/private");  // root's own, for the log
  ::chmod((Root() + "/private").c_str(), 0700);
  ConfigurePlugin("Bink", A("OUT"));
  std::map<std::string, std::string> f;  // name -> path, nobody's unless "root..."
  for (const char* n : {"z1root", "ptroot", "z1mem", "ptmem", "flo077", "byroot", "clo022",
                        "dlo-plug", "pt-plug", "secret", "boxed", "msg1", "msg2", "other"}) {
    f[n] = MakeFile(std::string(n) + ".bin");
    if (std::string(n).find("root") == std::string::npos) {
      ASSERT_EQ(::chown(f[n].c_str(), nobody_, ftnGid_), 0);
      ::chmod(f[n].c_str(), n == std::string("secret") || n == std::string("boxed") ? 0600 : 0640);
    }
  }
  const std::string nobody = std::to_string(nobody_), group = std::to_string(ftnGid_);
  const std::vector<std::string> setpriv = {"/usr/bin/setpriv", "--reuid=" + nobody,
                                            "--regid=" + std::to_string(nobodyGid_),
                                            "--groups=" + group};
  std::string member;
  for (const std::string& w : setpriv) member += " " + w;
  std::vector<std::string> plugMember = {"/usr/bin/env",
                                         "BRNET_SEMAPHORE_DIR=" + Semaphores(nobody_), "/bin/sh",
                                         "-c", "umask 077; exec \"$0\" \"$@\""};
  plugMember.insert(plugMember.end(), setpriv.begin(), setpriv.end());
  struct Row {
    std::string who;  // root (umask 022), m077, m022; plug-root, plug-m077: FILE DEST FLAVOUR
    std::vector<std::string> args;
    std::string out;  // the whole output; "~TEXT": output holding TEXT
    int status = 0;
  };
  const std::string deb = A("DEB");
  const std::vector<Row> rows = {
      // Root's umask 022 makes the zone and point directories; a member adds.
      {"root", {"-c", a, "1:234/56", f["z1root"]}, "1:234/56 normal none " + f["z1root"] + "\n"},
      {"root", {"-c", a, "1234.5", f["ptroot"]}, "2:5020/1234.5 normal none " + f["ptroot"] + "\n"},
      {"m077", {"-c", a, "1:234/56", f["z1mem"]}, "1:234/56 normal none " + f["z1mem"] + "\n"},
      {"m077", {"-c", a, "1234.5", f["ptmem"]}, "2:5020/1234.5 normal none " + f["ptmem"] + "\n"},
      // A member's umask 077, then the owner's attach (root working as ftn).
      {"m077", {"-c", a, "1234", f["flo077"]}, "2:5020/1234 normal none " + f["flo077"] + "\n"},
      {"root", {"-c", a, "1234", f["byroot"]}, "2:5020/1234 normal none " + f["byroot"] + "\n"},
      {"m022",
       {"-c", a, "-f", "c", "1234", f["clo022"]},
       "2:5020/1234 crash none " + f["clo022"] + "\n"},
      {"plug-root", {f["dlo-plug"], "2:5020/1234", "Direct"}, "~"},
      {"plug-m077", {f["pt-plug"], "2:5020/1234.5", "Normal"}, "~"},
      {"plug-m077",
       {f["secret"], "2:5020/1234", "Normal"},
       // The warning wraps the long path; its reason stands on a line.
       "~mailer's user ftn cannot read it",
       1},
      // A private file's box copy is the mailer's to read.
      {"m077",
       {"-c", a, "-t", "longbox", "1234", f["boxed"]},
       "2:5020/1234 normal none " + f["boxed"] + "\n"},
      // The serial file made by a member serves the owner.
      {"m077", {"-t", "netmail", "-m", "2:5020/100", "-d", mail, "-q", "1234", f["msg1"]}, ""},
      {"root", {"-t", "netmail", "-m", "2:5020/100", "-d", mail, "-q", "1234", f["byroot"]}, ""},
      // A bare address of the zone binkd files under othernet.
      {"root",
       {"-c", Cfg("a2"), "99:1/2", f["other"]},
       "99:1/2@othernet normal none " + f["other"] + "\n"},
      {"root",
       {"-c", a, "2:5020/9999", f["byroot"]},
       "brnet: warning: 2:5020/9999: binkd's configuration has no node line for it and no "
       "defnode, so binkd never calls it; queued all the same\n2:5020/9999 normal none " +
           f["byroot"] + "\n"},
      // Held mail waits for the node to call: no warning.
      {"root",
       {"-c", a, "-f", "hold", "2:5020/9997", f["byroot"]},
       "2:5020/9997 hold none " + f["byroot"] + "\n"},
      {"root",
       {"-c", a, "-q", "-l", Root() + "/private/brnet.log", "2:5020/9998", f["byroot"]},
       ""},
      {"root",
       {"-m", "2:5020/100", "-d", A("LINK"), "1234", f["byroot"]},
       "~brnet: attach: running as root, brnet refuses " + A("LINK") + ": it is a symbolic link",
       1},
      {"m077",
       {"-m", "2:5020/100", "-d", deb, "1234", f["flo077"]},
       "~the user nobody has no write access to " + deb +
           " (owner ftn, group ftn, mode 0755): make "
           "it group-writable (chmod 2775 " +
           deb + ")",
       1},
  };
  for (const Row& row : rows) {
    RunResult r;
    if (row.who.starts_with("plug")) {
      // The registry is root's file, written again by each run.
      ASSERT_EQ(std::system(("chmod -R a+rwX '" + Root() + "/config'").c_str()), 0);
      r = PluginAttach({row.args[0]}, row.args[1], row.args[2], false,
                       row.who == "plug-root" ? std::vector<std::string>{} : plugMember);
    } else {
      std::vector<std::string> args = {"attach"};
      args.insert(args.end(), row.args.begin(), row.args.end());
      r = row.who == "root" ? Brnet(args, "umask 022;")
                            : Brnet(args, "umask " + row.who.substr(1) + ";" + member, nobody_);
    }
    const bool holds = row.out.starts_with("~") ? r.out.find(row.out.substr(1)) != std::string::npos
                                                : r.out == row.out;
    EXPECT_TRUE(holds) << row.who << " " << row.args[0] << ": " << r.out;
    EXPECT_EQ(r.status, row.status) << row.who << " " << row.args[0] << ": " << r.out;
  }
  // The owner's serial file is read, not written, by a member.
  WriteFile(mail + "/brnet32.ids", "0000ABCD");
  ASSERT_EQ(::chown((mail + "/brnet32.ids").c_str(), ftn_, ftnGid_), 0);
  ::chmod((mail + "/brnet32.ids").c_str(), 0644);
  const RunResult r =
      Brnet({"attach", "-t", "netmail", "-m", "2:5020/100", "-d", mail, "-q", "1234", f["msg2"]},
            "umask 022;" + member, nobody_);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(ReadFile(Root() + "/private/brnet.log").find("Created Bink attach"), std::string::npos);
  const std::map<std::string, std::string> owned = {
      {A("OUT.001"), "2775 ftn:ftn"},
      {A("OUT/139c04d2.pnt"), "2775 ftn:ftn"},
      {A("OUT/139c04d2.flo"), "660 nobody:ftn"},
      {A("OUT/139c04d2.clo"), "664 nobody:ftn"},
      {A("OUT/139c04d2.dlo"), "664 ftn:ftn"},
      {A("BOXES/2.5020.1234.0/boxed.bin"), "660 nobody:ftn"},
      {mail + "/brnet32.ids", "644 ftn:ftn"},
  };
  for (const auto& [path, want] : owned) EXPECT_EQ(Owned(path), want) << path;
  fs::remove(A("OUT/139c270f.flo"));  // 2:5020/9999 and /9998: nobody there to call
  fs::remove(A("OUT/139c270e.flo"));
  fs::remove(A("OUT/139c270d.hlo"));
  Session("b", "a");
  Session("b-point", "a");
  Session("b-zone1", "a");
  Session("b-other", "a2");
  for (const char* n : {"z1root", "ptroot", "z1mem", "ptmem", "flo077", "byroot", "clo022",
                        "dlo-plug", "pt-plug", "boxed", "other"}) {
    EXPECT_TRUE(Arrived(std::string(n) + ".bin")) << n << "\n" << Logs();
  }
  EXPECT_FALSE(Arrived("secret.bin"));
  EXPECT_EQ(FlowFiles(), std::vector<std::string>{});
}

// The queue as valid JSON for any name, with packets, requests, binkd's
// state, a missing file and a foreign message it cannot read.
TEST_F(TwoUserSpool, QueueShowsEverythingAsValidJson) {
  const std::vector<std::string> names = {"latin\xe9.txt", "back\\slash", "quo\"te", "ctl\x01.bin"};
  std::vector<std::string> paths;
  for (const std::string& n : names) paths.push_back(MakeFile(n, 10));
  // A control character is refused by attach: that name is planted as
  // another program may have written it.
  std::vector<std::string> args = {"attach", "-c", Cfg("a"), "1234"};
  args.insert(args.end(), paths.begin(), paths.end() - 1);
  ASSERT_EQ(Brnet(args).status, 0);
  WriteFile(A("OUT/139c04d2.flo"), ReadFile(A("OUT/139c04d2.flo")) + paths.back() + "\r\n");
  const std::string gone = MakeFile("gone.bin");
  ASSERT_EQ(Brnet({"attach", "-c", Cfg("a"), "-f", "hold", "1234", gone}).status, 0);
  fs::remove(gone);
  WriteFile(A("OUT/139c04d2.cut"), "packet");
  WriteFile(A("OUT/139c04d2.req"), "FILES\n");
  WriteFile(A("OUT/139c04d2.hld"), std::to_string(std::time(nullptr) + 3600));
  WriteFile(A("OUT/139c04d2.try"), std::string("\x02\x00\x05\x00\x04oops", 9));
  WriteFile(Root() + "/cm/netmail/7.msg", "short");
  const std::string json = Root() + "/queue.json";
  RunResult r =
      Brnet({"queue", "-c", Cfg("a"), "-t", "netmail", "-d", Root() + "/cm/netmail", "--json"},
            "exec 3>'" + json + "'; exec 1>&3;");
  EXPECT_NE(r.out.find("7.msg: "), std::string::npos) << r.out;
  // python3 parses it and opens every file by its exact bytes.
  r = RunBounded({"python3", "-c",
                  "import json,sys,os\n"
                  "n=json.load(open(sys.argv[1],'rb'))['nodes'][0]\n"
                  "print(n['address'],n['missing'],n['busy'],n['hold_until']>0,n['tries'],"
                  "len(n['packets']),n['requests'])\n"
                  "for f in sorted(n['files'],key=lambda f:f['missing'],reverse=True):\n"
                  "  p=bytes.fromhex(f['path_hex']) if 'path_hex' in f else f['path'].encode()\n"
                  "  print(os.path.exists(p), f['missing'], f['age'] is None)\n",
                  json},
                 30);
  EXPECT_EQ(r.out,
            "2:5020/1234 1 False True {'ok': 2, 'failed': 5, 'comment': 'oops'} 1 ['FILES']\n"
            "False True False\n"  // a missing file's entry still has its wait
            "True False False\nTrue False False\nTrue False False\nTrue False False\n")
      << ReadFile(json);
  r = RunBounded({"/bin/sh", "-c", "jq -e '.nodes[0].files|length' '" + json + "'"}, 30);
  EXPECT_EQ(r.out, "5\n");
}

// The spool as a hostile local user leaves it: a group member of the mailer's
// (nobody in the group ftn) who may write anything in it, and an outsider who
// may only read. Each row plants something, runs brnet and looks at what
// happened; none of them may reach outside the spool, stall, or queue wrong.
TEST_F(TwoUserSpool, HostileSpoolIsInputNeverInstructions) {
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string owned = sys::HostName() + "-" + std::to_string(dead);
  const std::string file = MakeFile("file.bin"), rep = A("files/ftn/rep "), cfg = Cfg("a");
  fs::rename(MakeFile("rep "), rep);
  ASSERT_EQ(::chown(A("files/ftn").c_str(), ftn_, ftnGid_), 0);
  ASSERT_EQ(::chown(rep.c_str(), ftn_, ftnGid_), 0);
  const std::string victim = A("files/ftn/important.txt"), secret = Root() + "/secret";
  const std::string outsider = "/usr/bin/setpriv --reuid=" + std::to_string(nobody_) +
                               " --regid=" + std::to_string(nobodyGid_) + " --clear-groups ";
  const std::string home = std::string(::getpwuid(ftn_)->pw_dir) + "/.cache/brnet32";
  const std::string asFtn = "/usr/bin/setpriv --reuid=" + std::to_string(ftn_) +
                            " --regid=" + std::to_string(ftnGid_) + " --init-groups";
  auto plant = [&](const std::string& path, const std::string& text) {
    WriteFile(path, text);
    ASSERT_EQ(::lchown(path.c_str(), nobody_, ftnGid_), 0);
  };
  RunResult plugged;  // the plug-in's run of the row that has one
  struct Row {
    const char* what;
    std::function<void()> setup;
    std::vector<std::string> args;
    std::string prefix;
    std::function<void(const RunResult&)> check;
  };
  const std::vector<Row> rows = {
      {"a flag's note names a file outside the outbound",
       [&] {
         plant(victim, "keep me\n");
         ::chown(victim.c_str(), ftn_, ftnGid_);
         plant(A("OUT/139c04d2.bsy"), std::to_string(dead) + "\nbrnet32 " + sys::HostName() +
                                          "\nappend 0 99 ../files/ftn/important.txt\n");
       },
       {"attach", "-c", cfg, "1234", file}, "",
       [&](const RunResult& r) {
         EXPECT_EQ(r.status, 0) << r.out;
         EXPECT_EQ(ReadFile(victim), "keep me\n");
       }},
      {"queue as root reads no link planted as a flow or request file",
       [&] {
         WriteFile(secret, "TOPSECRET\n");
         ::chmod(secret.c_str(), 0600);
         fs::create_symlink(secret, A("OUT/139c04d3.flo"));
         fs::create_symlink(secret, A("OUT/139c04d3.req"));
         // A zone's directory replaced by a link to a private one.
         fs::create_directories(Root() + "/private");
         WriteFile(Root() + "/private/00010002.flo", "TOPSECRET\n");
         fs::create_directory_symlink(Root() + "/private", A("OUT.003"));
       },
       {"queue", "-v", "-c", cfg}, "",
       [&](const RunResult& r) {
         EXPECT_EQ(r.out.find("TOPSECRET"), std::string::npos) << r.out;
         for (const std::string& link : {A("OUT/139c04d3.flo"), A("OUT.003")}) {
           EXPECT_NE(r.out.find("Refused to follow the symbolic link " + link), std::string::npos)
               << r.out;
         }
       }},
      // Not in /tmp, where any user may make the place first: in the home of
      // ftn (the spool's parent on Debian). Removed first when empty, so that
      // the row sees it made.
      {"the semaphore place is one no other user can make first",
       [&] { ::rmdir(home.c_str()); },
       {"attach", "-c", cfg, "1242", file}, "env -u BRNET_SEMAPHORE_DIR " + asFtn,
       [&](const RunResult& r) {
         EXPECT_EQ(r.status, 0) << r.out;
         struct stat st {};
         EXPECT_TRUE(::lstat(home.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
                     st.st_uid == ftn_ && (st.st_mode & 0777) == 0700)
             << home;
       }},
      {"a semaphore place another user owns is named with its owner",
       [&] {
         fs::create_directory(Root() + "/theirs");
         ::chmod((Root() + "/theirs").c_str(), 0700);
         ::chown((Root() + "/theirs").c_str(), nobody_, nobodyGid_);
       },
       {"attach", "-c", cfg, "1244", file},
       "env BRNET_SEMAPHORE_DIR=" + Root() + "/theirs " + asFtn,
       [&](const RunResult& r) {
         EXPECT_NE(r.out.find("/theirs belongs to nobody (uid " + std::to_string(nobody_) +
                              "), not to you: set BRNET_SEMAPHORE_DIR"),
                   std::string::npos)
             << r.out;
       }},
      {"a semaphore place in a directory a member may swap it in",
       [&] {
         fs::create_directories(Root() + "/swappable/sem");
         ::chmod((Root() + "/swappable").c_str(), 0777);
         ::chown((Root() + "/swappable").c_str(), nobody_, ftnGid_);
         ::chmod((Root() + "/swappable/sem").c_str(), 0700);
         ::chown((Root() + "/swappable/sem").c_str(), ftn_, ftnGid_);
       },
       {"attach", "-c", cfg, "1247", file},
       "env BRNET_SEMAPHORE_DIR=" + Root() + "/swappable/sem " + asFtn,
       [&](const RunResult& r) {
         EXPECT_NE(r.out.find("/swappable, which holds the semaphore directory " + Root() +
                              "/swappable/sem, belongs to nobody"),
                   std::string::npos)
             << r.out;
       }},
      {"a FIFO as a flow file and an outsider's read lock on another",
       [&] {
         ASSERT_EQ(::mkfifo(A("OUT/139c04d4.dlo").c_str(), 0666), 0);
         plant(A("OUT/139c04d4.flo"), "/old.zip\r\n");
         ::chmod(A("OUT/139c04d4.flo").c_str(), 0664);
       },
       {"attach", "-c", cfg, "1236", file},
       "(" + outsider + "python3 -c \"import fcntl,time; f=open('" + A("OUT/139c04d4.flo") +
           "'); fcntl.lockf(f, fcntl.LOCK_SH); time.sleep(8)\" >/dev/null 2>&1 &); sleep 1;",
       [&](const RunResult& r) {
         EXPECT_EQ(r.status, 0) << r.out;
         EXPECT_EQ(ReadFile(A("OUT/139c04d4.flo")), "/old.zip\r\n" + file + "\r\n");
       }},
      {"a huge sparse flow file and a FIFO included by the configuration",
       [&] {
         plant(A("OUT/139c04d5.flo"), "");
         fs::resize_file(A("OUT/139c04d5.flo"), std::uintmax_t{1} << 31);
         ASSERT_EQ(::mkfifo((Root() + "/cfg/fifo").c_str(), 0666), 0);
         Variant("fifo", "a", "include " + Root() + "/cfg/fifo");
       },
       {"queue", "-c", Cfg("fifo")}, "",
       [&](const RunResult& r) {
         EXPECT_EQ(r.status, 0) << r.out;
         EXPECT_NE(r.out.find("File too large: " + A("OUT/139c04d5.flo")), std::string::npos);
         EXPECT_NE(r.out.find("\n2:5020/1236 "), std::string::npos) << r.out;
       }},
      {"a box-only set-up raises no flag under an empty outbound path",
       [&] {
         fs::create_directories(A("BOXES/2.5020.1234.0"));
         ::chown(A("BOXES/2.5020.1234.0").c_str(), ftn_, ftnGid_);
         plant(A("BOXES/2.5020.1234.0/boxed.bin"), "x");
       },
       {"drop", "-m", "2:5020/100", "-t", "box", "-d", A("BOXES"), "1234"}, "",
       [&](const RunResult& r) {
         EXPECT_EQ(r.status, 0) << r.out;
         EXPECT_FALSE(fs::exists("/139c04d2.bsy"));
       }},
      {"a trailing blank binkd would trim", [] {},
       {"attach", "--kill-sent", "-c", cfg, "1243", rep}, "",
       [&](const RunResult& r) {
         EXPECT_NE(r.out.find("begins or ends with a blank"), std::string::npos) << r.out;
         EXPECT_FALSE(fs::exists(A("OUT/139c04db.flo")));
       }},
      {"leftovers of a dead process's edit and stale-flag take",
       [&] {
         plant(A("OUT/.139c04d6.flo." + owned + ".tmp"), "/half\r\n");
         plant(A("OUT/139c04d6.bsy.stale-" + owned), "1\n");
         plant(A("OUT/139c04d6.bsy"), std::to_string(dead) + "\nbrnet32 " + sys::HostName() + "\n");
         plant(A("OUT/139c04d6.flo"), "/a\r\n");
       },
       {"drop", "-c", cfg, "1238", "/a"}, "",
       [&](const RunResult& r) {
         EXPECT_EQ(r.status, 0) << r.out;
         EXPECT_FALSE(fs::exists(A("OUT/.139c04d6.flo." + owned + ".tmp")));
         EXPECT_FALSE(fs::exists(A("OUT/139c04d6.bsy.stale-" + owned)));
       }},
      {"an entry an interrupted reflavour left in two flow files",
       [&] {
         plant(A("OUT/139c04d7.hlo"), "/twice\r\n");
         plant(A("OUT/139c04d7.flo"), "/twice\r\n");
       },
       {"reflavour", "-c", cfg, "1239", "crash"}, "",
       [&](const RunResult& r) {
         EXPECT_EQ(r.status, 0) << r.out;
         EXPECT_EQ(ReadFile(A("OUT/139c04d7.clo")), "/twice\r\n");
       }},
      {"too few descriptors, in the system's words", [] {},
       {"attach", "-c", cfg, "1245", file}, "ulimit -n 5;",
       [&](const RunResult& r) {
         EXPECT_NE(r.out.find("Too many open files"), std::string::npos) << r.out;
       }},
      {"root's log named by a member's link in the mailer's directory",
       [&] {
         fs::create_symlink(Root() + "/rootlog", A("OUT/brnet.log"));
         ASSERT_EQ(::lchown(A("OUT/brnet.log").c_str(), nobody_, ftnGid_), 0);
       },
       {"poll", "-l", A("OUT/brnet.log"), "-c", cfg, "1246"}, "",
       [&](const RunResult& r) {
         EXPECT_NE(r.out.find("Refused to follow the symbolic link " + A("OUT/brnet.log")),
                   std::string::npos) << r.out;
         EXPECT_FALSE(fs::exists(Root() + "/rootlog"));
       }},
      {"a request with ^Z", [] {}, {"request", "-c", cfg, "1240", "FILES\x1a"}, "",
       [&](const RunResult& r) {
         EXPECT_EQ(r.status, 2) << r.out;
         EXPECT_NE(r.out.find("FILES\\x1a"), std::string::npos) << r.out;
       }},
      {"a day February does not have", [] {},
       {"hold", "-c", cfg, "--until", "2099-02-30", "1240"}, "",
       [&](const RunResult& r) { EXPECT_EQ(r.status, 2) << r.out; }},
      {"a flow file under a name binkd skips is nobody's mail",
       [&] { plant(A("OUT/139c04da-x.flo"), "/phantom\r\n"); },
       {"queue", "-v", "-c", cfg}, "",
       [&](const RunResult& r) { EXPECT_EQ(r.out.find("/phantom"), std::string::npos) << r.out; }},
      {"an ESC sequence in a queued name",
       [&] { plant(A("OUT/139c04d9.flo"), "/x\x1b[2Jy\r\n"); },
       {"queue", "-v", "-c", cfg}, "",
       [&](const RunResult& r) {
         EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
         EXPECT_NE(r.out.find("/x\\x1b[2Jy"), std::string::npos) << r.out;
       }},
      // Last: the plug-in's settings stay pointed at the link.
      {"root's plug-in through a member's link put in place of its outbound",
       [&] {
         fs::create_directories(Root() + "/rootonly");
         ::chmod((Root() + "/rootonly").c_str(), 0700);
         fs::create_directory_symlink(Root() + "/rootonly", A("SWAPPED"));
         ASSERT_EQ(::lchown(A("SWAPPED").c_str(), nobody_, ftnGid_), 0);
         ConfigurePlugin("Bink", A("SWAPPED"));
         plugged = PluginAttach({file}, "2:5020/1248", "Normal");
       },
       {"queue", "-c", cfg}, "",
       [&](const RunResult&) {
         EXPECT_EQ(plugged.status, 1) << plugged.out;
         EXPECT_TRUE(fs::is_empty(Root() + "/rootonly"));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    row.setup();
    const auto start = std::chrono::steady_clock::now();
    row.check(Brnet(row.args, row.prefix));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

}  // namespace
}  // namespace brnet::interop
