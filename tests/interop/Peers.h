// Real peers for the attach road: binkd and crashmail on loopback, each test
// in fresh directories and on free ports, every process started under a
// time limit and stopped by its PID. Node A (2:5020/100) is the system whose
// outbound brnet32 fills; peer B receives. Tests judge by what arrives,
// never by exit codes: binkd exits 0 after a failed session too.
#pragma once

#include <sys/types.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BrLib.h"
#include "TestSupport.h"

namespace brnet::interop {

// A program run under coreutils' timeout, so that it ends even when the test
// dies first.
class Child {
 public:
  struct Io {
    std::string log;    // stdout and stderr are appended here; empty: /dev/null
    bool talk = false;  // stdin and stdout as pipes, for a helper that talks
    std::map<std::string, std::string> env;
  };
  Child(const std::vector<std::string>& argv, int limitSeconds, const Io& io);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Waits at most SECONDS for the end; true when it has ended.
  bool Wait(double seconds);
  // The exit code, or -1 when it did not exit normally.
  int Status() const { return status_; }
  // SIGTERM to the timeout process, which passes it on to its process
  // group; SIGKILL after a grace time.
  void Stop();
  // A line of its stdout within SECONDS; empty on time-out or end.
  std::string ReadLine(double seconds);
  void CloseInput();
  // The processes below it (its program and whatever that started).
  std::vector<pid_t> Descendants() const;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  bool done_ = false;
  int in_ = -1, out_ = -1;
  std::string pending_;
};

// Output of a child appended to the file PATH.
Child::Io LogTo(const std::string& path);

// Outcome of a program run to its end.
struct RunResult {
  int status = -1;
  std::string out;  // stdout and stderr together
};
RunResult RunBounded(const std::vector<std::string>& argv, int limitSeconds,
                     const std::map<std::string, std::string>& env = {});

// A stored *.msg read byte by byte, independently of the library's reader.
struct StoredMsg {
  std::string from, to, subject;
  unsigned destNet = 0, destNode = 0, attr = 0;
  std::vector<std::string> kludges;  // without the leading 01 byte
  bool HasKludge(const std::string& line) const;
};
StoredMsg ReadStoredMsg(const std::string& path);

class Peers : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Paths below the test's root: A("OUT"), B("inb"), Root() + "/cm/...".
  const std::string& Root() const { return root_.Path(); }
  std::string A(const std::string& rel) const { return Root() + "/A/" + rel; }
  std::string B(const std::string& rel) const { return Root() + "/B/" + rel; }
  std::string Cfg(const std::string& name) const { return Root() + "/cfg/" + name + ".cfg"; }

  // Configurations "a", "b" (2:5020/1234), "b-point" (2:5020/1234.5) and
  // "b-zone1" (1:234/56) exist; a variant is BASE plus LINES.
  void Variant(const std::string& name, const std::string& base, const std::string& lines);
  // crashmail's settings: "crashmail-a" and, for peer address AKA,
  // "crashmail-b".
  std::string CrashmailPrefs(const std::string& bAka);

  // binkd as a server, listening when this returns.
  std::unique_ptr<Child> Serve(const std::string& cfg);
  // binkd -p with CFG: calls what the queue needs (or ARGS ask), then quits.
  void Call(const std::string& cfg, const std::vector<std::string>& args = {});
  // Waits until every session of SERVER has ended.
  void WaitSessionsOver(Child& server);
  // Waits until no node is on hold any more: binkd holds a node for a second
  // (a .hld file with the Unix time it ends) after a failed or skipping call.
  void WaitHoldsOver();
  // One bounded session, after any hold: SERVER up, the client's call,
  // sessions over, server stopped.
  void Session(const std::string& server, const std::string& client,
               const std::vector<std::string>& args = {});
  // A's binkd calls B, and B calls A to fetch what A holds.
  void PeerCallsUs(const std::string& peer) { Session("a", peer, {"-P", "2:5020/100"}); }

  // A file of SIZE random bytes in A/files, remembered for Arrived.
  std::string MakeFile(const std::string& name, std::size_t size = 1000);
  // NAME is in B's inbound with the content made for it.
  ::testing::AssertionResult Arrived(const std::string& name) const;
  // The names in B's inbound, sorted.
  std::vector<std::string> Inbound() const;
  // Flow files (*.?lo) anywhere below A, sorted.
  std::vector<std::string> FlowFiles() const;
  // Busy flags (*.bsy, *.csy in any case) anywhere below A.
  std::vector<std::string> FlagsLeft() const;
  // The binkd and crashmail logs, for failure messages.
  std::string Logs() const;

  // The library, bound from the shared object, main address 2:5020/100.
  // Init* set up its outbound with the paths and busy flags the plug-in uses.
  bool InitBink();
  bool InitBoxes();
  bool InitNetmail();
  // brAttachFiles; false with the library's error text in LastError().
  // FLAVOUR, TYPE and MODE are the BR_FLAVOR_, BR_OUTB_ and BR_SEND_ values.
  bool Attach(const std::string& dest, const std::vector<std::string>& files, int flavour,
              int type = BR_OUTB_BINK, int mode = BR_SEND_NONE);
  std::string LastError() const { return br_.Error(); }

  // The plug-in in the farhost host, its registry in this test's root;
  // AS, when given, runs it (setpriv ...).
  RunResult Farhost(const std::vector<std::string>& args, const std::vector<std::string>& as = {});
  // TYPE is the label of the configuration's radio button.
  void ConfigurePlugin(const std::string& type, const std::string& dir);
  RunResult PluginAttach(const std::vector<std::string>& files, const std::string& dest,
                         const std::string& flavour, bool kill = false,
                         const std::vector<std::string>& as = {});

  test::TempDir root_;
  int portA_ = 0, portB_ = 0;
  // Put before A's binkd (configurations "a..."): runs it as another user.
  std::vector<std::string> asA_;
  test::BrLib br_;
  std::map<std::string, std::string> made_;  // name -> content
  std::vector<std::unique_ptr<Child>> servers_;
};

void SleepSeconds(double seconds);

// Waits until COND holds, at most SECONDS; true when it held.
template <class Cond>
bool WaitFor(Cond cond, double seconds) {
  for (double waited = 0; waited < seconds; waited += 0.02) {
    if (cond()) return true;
    SleepSeconds(0.02);
  }
  return cond();
}

}  // namespace brnet::interop
