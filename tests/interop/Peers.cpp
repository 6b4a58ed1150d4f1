#include "Peers.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

extern char** environ;

namespace brnet::interop {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// Where the Debian packages put the programs.
std::string Program(const std::string& name) {
  for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"}) {
    const std::string path = dir + name;
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

std::vector<std::string> Environment(const std::map<std::string, std::string>& overrides) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string s = *e;
    if (!overrides.count(s.substr(0, s.find('=')))) env.push_back(s);
  }
  for (const auto& [k, v] : overrides) env.push_back(k + "=" + v);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (auto& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

// Moves this process (and all it starts) into a network namespace of its
// own, with the loopback up: its ports, and the abstract socket names behind
// the library's semaphore flags, are then its own, so other tests on the
// machine never make our node busy nor we theirs. Needs root; false when
// the namespace cannot be had.
bool IsolateNetwork() {
  if (::unshare(CLONE_NEWNET) != 0) return false;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
  const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0 &&
                  (ifr.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &ifr) == 0);
  if (fd >= 0) ::close(fd);
  return up;
}

// A loopback port nobody listens on right now.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof sa;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0) {
    port = ntohs(sa.sin_port);
  }
  ::close(fd);
  return port;
}

// Somebody listens on 127.0.0.1:PORT (read from the kernel's table, so
// that no test connection starts a session).
bool Listening(int port) {
  std::ifstream in("/proc/net/tcp");
  char want[32];
  std::snprintf(want, sizeof want, "0100007F:%04X", port);
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local == want && state == "0A") return true;
  }
  return false;
}

std::string Replace(std::string text, const std::string& what, const std::string& with) {
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p)) {
    text.replace(p, what.size(), with);
    p += with.size();
  }
  return text;
}

std::string Tail(const std::string& path, std::size_t lines) {
  const std::string text = ReadFile(path);
  std::size_t p = text.size();
  for (std::size_t n = 0; n <= lines && p != std::string::npos && p > 0; ++n) {
    p = text.rfind('\n', p - 1);
  }
  return p == std::string::npos ? text : text.substr(p + 1);
}

}  // namespace

Child::Io LogTo(const std::string& path) {
  Child::Io io;
  io.log = path;
  return io;
}

void SleepSeconds(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// --- Child ------------------------------------------------------------------

Child::Child(const std::vector<std::string>& argv, int limitSeconds, const Io& io) {
  std::vector<std::string> args = {"timeout", "-k", "3", std::to_string(limitSeconds)};
  args.insert(args.end(), argv.begin(), argv.end());
  std::vector<std::string> env = Environment(io.env);
  const std::string log = io.log.empty() ? "/dev/null" : io.log;

  int inPipe[2] = {-1, -1}, outPipe[2] = {-1, -1};
  if (io.talk && (::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(outPipe, O_CLOEXEC) != 0)) return;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (io.talk) {
    posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  }
  posix_spawn_file_actions_addopen(&fa, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  auto argp = Pointers(args);
  auto envp = Pointers(env);
  if (::posix_spawnp(&pid_, "timeout", &fa, nullptr, argp.data(), envp.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&fa);
  if (io.talk) {
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    in_ = inPipe[1];
    out_ = outPipe[0];
  }
}

Child::~Child() {
  Stop();
  CloseInput();
  if (out_ >= 0) ::close(out_);
}

bool Child::Wait(double seconds) {
  if (pid_ <= 0 || done_) return true;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) == pid_) {
      done_ = true;
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      return true;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    SleepSeconds(0.01);
  }
}

void Child::Stop() {
  if (pid_ <= 0 || done_) return;
  ::kill(pid_, SIGTERM);
  if (Wait(5)) return;
  // Still there: end whatever it started, then itself, each by its PID.
  for (pid_t p : Descendants()) ::kill(p, SIGKILL);
  ::kill(pid_, SIGKILL);
  Wait(5);
}

std::string Child::ReadLine(double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (pending_.find('\n') == std::string::npos && out_ >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd pfd{out_, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[256];
    const ssize_t n = ::read(out_, buf, sizeof buf);
    if (n <= 0) break;
    pending_.append(buf, static_cast<std::size_t>(n));
  }
  const std::size_t nl = pending_.find('\n');
  if (nl == std::string::npos) return {};
  std::string line = pending_.substr(0, nl);
  pending_.erase(0, nl + 1);
  return line;
}

void Child::CloseInput() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

std::vector<pid_t> Child::Descendants() const {
  std::multimap<pid_t, pid_t> children;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    // A process may end between the listing and the read.
    std::string stat;
    try {
      stat = ReadFile(entry.path().string() + "/stat");
    } catch (const std::exception&) {
      continue;
    }
    // pid (comm) state ppid ...: the name may hold blanks, the last ")" ends it
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 1));
    std::string state;
    pid_t ppid = 0;
    rest >> state >> ppid;
    children.emplace(ppid, std::stoi(name));
  }
  std::vector<pid_t> found;
  std::vector<pid_t> todo = {pid_};
  while (!todo.empty()) {
    const pid_t p = todo.back();
    todo.pop_back();
    auto [from, to] = children.equal_range(p);
    for (auto it = from; it != to; ++it) {
      found.push_back(it->second);
      todo.push_back(it->second);
    }
  }
  return found;
}

RunResult RunBounded(const std::vector<std::string>& argv, int limitSeconds,
                     const std::map<std::string, std::string>& env) {
  char name[] = "/tmp/brnet-interop-run-XXXXXX";
  const int fd = ::mkstemp(name);
  if (fd >= 0) ::close(fd);
  RunResult r;
  {
    Child::Io io = LogTo(name);
    io.env = env;
    Child child(argv, limitSeconds, io);
    if (child.Wait(limitSeconds + 10)) r.status = child.Status();
  }
  r.out = ReadFile(name);
  ::unlink(name);
  return r;
}

// --- stored messages ----------------------------------------------------------

bool StoredMsg::HasKludge(const std::string& line) const {
  return std::find(kludges.begin(), kludges.end(), line) != kludges.end();
}

StoredMsg ReadStoredMsg(const std::string& path) {
  const std::string d = ReadFile(path);
  StoredMsg m;
  if (d.size() < 190) return m;
  auto text = [&](std::size_t at, std::size_t width) {
    const std::string field = d.substr(at, width);
    return field.substr(0, field.find('\0'));
  };
  auto word = [&](std::size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(d[at])) |
           static_cast<unsigned>(static_cast<unsigned char>(d[at + 1])) << 8;
  };
  m.from = text(0, 36);
  m.to = text(36, 36);
  m.subject = text(72, 72);
  m.destNode = word(166);
  m.destNet = word(174);
  m.attr = word(186);
  std::string body = d.substr(190);
  body = body.substr(0, body.find('\0'));
  std::istringstream lines(body);
  for (std::string line; std::getline(lines, line, '\r');) {
    if (!line.empty() && line[0] == '\x01') m.kludges.push_back(line.substr(1));
  }
  return m;
}

// --- the peers ----------------------------------------------------------------

void Peers::SetUp() {
  if (Program("binkd").empty() || Program("crashmail").empty() || Program("timeout").empty()) {
    GTEST_SKIP() << "binkd, crashmail or timeout is missing; scripts/install-deps.sh installs "
                    "them";
  }
  static const bool isolated = IsolateNetwork();
  if (!isolated) {
    std::cerr << "[ note     ] no network namespace of our own: tests elsewhere on this machine "
                 "that lock the same nodes may make them busy\n";
  }
  for (const char* dir : {"A/OUT", "A/inb", "A/inb-ns", "A/BOXES", "A/files", "B/OUT", "B/inb",
                          "B/inb-ns", "cfg", "config", "cm/netmail", "cm/a-bad", "cm/a-tmp",
                          "cm/a-pktdir", "cm/b-netmail", "cm/b-bad", "cm/b-tmp", "cm/b-pktdir"}) {
    fs::create_directories(Root() + "/" + dir);
  }
  portA_ = FreePort();
  do {
    portB_ = FreePort();
  } while (portB_ == portA_);
  ASSERT_TRUE(portA_ != 0 && portB_ != 0);

  auto render = [&](const std::string& tmpl, const std::string& name, const std::string& bAka) {
    std::string text = ReadFile(std::string(INTEROP_CONF_DIR) + "/" + tmpl);
    ASSERT_FALSE(text.empty()) << tmpl;
    text = Replace(text, "@ROOT@", Root());
    text = Replace(text, "@PORT_A@", std::to_string(portA_));
    text = Replace(text, "@PORT_B@", std::to_string(portB_));
    text = Replace(text, "@B_AKA_FULL@", bAka.find('.') == std::string::npos ? bAka + ".0" : bAka);
    text = Replace(text, "@B_AKA@", bAka);
    WriteFile(Root() + "/cfg/" + name, text);
  };
  render("a.cfg.in", "a.cfg", "");
  render("b.cfg.in", "b.cfg", "2:5020/1234");
  render("b.cfg.in", "b-point.cfg", "2:5020/1234.5");
  render("b.cfg.in", "b-zone1.cfg", "1:234/56");
  render("crashmail-a.prefs.in", "crashmail-a.prefs", "");

  br_.Load();
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(br_.SetMainAddr("2:5020/100"));
}

void Peers::TearDown() {
  servers_.clear();
  if (br_.lib.IsOpen()) {
    br_.FreeOutbound();
    br_.lib.Close();
  }
  if (HasFailure()) std::cerr << Logs();
}

void Peers::Variant(const std::string& name, const std::string& base, const std::string& lines) {
  WriteFile(Cfg(name), "include " + Cfg(base) + "\n" + lines + "\n");
}

std::string Peers::CrashmailPrefs(const std::string& bAka) {
  std::string text = ReadFile(std::string(INTEROP_CONF_DIR) + "/crashmail-b.prefs.in");
  text = Replace(text, "@ROOT@", Root());
  text = Replace(text, "@B_AKA_FULL@", bAka.find('.') == std::string::npos ? bAka + ".0" : bAka);
  text = Replace(text, "@B_AKA@", bAka);
  const std::string path = Root() + "/cfg/crashmail-b.prefs";
  WriteFile(path, text);
  return path;
}

std::unique_ptr<Child> Peers::Serve(const std::string& cfg) {
  const int port = cfg[0] == 'a' ? portA_ : portB_;
  std::vector<std::string> argv = cfg[0] == 'a' ? asA_ : std::vector<std::string>{};
  argv.insert(argv.end(), {Program("binkd"), "-s", "-q", Cfg(cfg)});
  auto server = std::make_unique<Child>(argv, 240, LogTo(Root() + "/binkd-console.log"));
  const bool up = WaitFor([&] { return Listening(port) || server->Wait(0); }, 10);
  EXPECT_TRUE(up && !server->Wait(0)) << "binkd " << cfg << " does not listen on " << port;
  return server;
}

void Peers::Call(const std::string& cfg, const std::vector<std::string>& args) {
  std::vector<std::string> argv = cfg[0] == 'a' ? asA_ : std::vector<std::string>{};
  argv.insert(argv.end(), {Program("binkd"), "-p", "-q"});
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back(Cfg(cfg));
  Child client(argv, 60, LogTo(Root() + "/binkd-console.log"));
  EXPECT_TRUE(client.Wait(70)) << "binkd -p " << cfg << " did not end";
}

void Peers::WaitSessionsOver(Child& server) {
  // timeout -> the binkd server -> one process per session
  EXPECT_TRUE(WaitFor([&] { return server.Descendants().size() <= 1; }, 30))
      << "a session of the server did not end";
}

void Peers::WaitHoldsOver() {
  auto held = [&] {
    for (const auto& e : fs::recursive_directory_iterator(Root())) {
      if (e.path().extension() != ".hld") continue;
      const std::string until = ReadFile(e.path().string());
      if (!until.empty() && std::stoll(until) >= static_cast<long long>(std::time(nullptr))) {
        return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(WaitFor([&] { return !held(); }, 10)) << "a node stays on hold";
}

void Peers::Session(const std::string& server, const std::string& client,
                    const std::vector<std::string>& args) {
  WaitHoldsOver();
  auto s = Serve(server);
  Call(client, args);
  WaitSessionsOver(*s);
  s->Stop();
}

std::string Peers::MakeFile(const std::string& name, std::size_t size) {
  static std::mt19937 random(std::random_device{}());
  std::string content(size, '\0');
  for (char& c : content) c = static_cast<char>(random());
  const std::string path = A("files/" + name);
  WriteFile(path, content);
  made_[name] = content;
  return path;
}

::testing::AssertionResult Peers::Arrived(const std::string& name) const {
  const std::string path = B("inb/" + name);
  if (!fs::exists(path)) return ::testing::AssertionFailure() << name << " did not arrive";
  const auto it = made_.find(name);
  if (it == made_.end() || ReadFile(path) != it->second) {
    return ::testing::AssertionFailure() << name << " arrived with other content";
  }
  return ::testing::AssertionSuccess();
}

std::vector<std::string> Peers::Inbound() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(B("inb"))) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> Peers::FlowFiles() const {
  std::vector<std::string> flows;
  for (const auto& e : fs::recursive_directory_iterator(Root() + "/A")) {
    const std::string ext = e.path().extension().string();
    if (e.is_regular_file() && ext.size() == 4 && ext.substr(2) == "lo") {
      flows.push_back(e.path().string());
    }
  }
  std::sort(flows.begin(), flows.end());
  return flows;
}

std::vector<std::string> Peers::FlagsLeft() const {
  std::vector<std::string> flags;
  for (const auto& e : fs::recursive_directory_iterator(Root() + "/A")) {
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (ext == ".bsy" || ext == ".csy") flags.push_back(e.path().string());
  }
  return flags;
}

std::string Peers::Logs() const {
  std::string text;
  for (const std::string log : {"A/binkd.log", "B/binkd.log", "binkd-console.log",
                                "cm/crashmail-a.log", "cm/crashmail-b.log"}) {
    const std::string path = Root() + "/" + log;
    if (fs::exists(path)) text += "--- " + log + " (end)\n" + Tail(path, 40);
  }
  return text;
}

bool Peers::InitBink() {
  return br_.InitOutbound(nullptr, A("OUT").c_str(), nullptr) &&
         br_.SetOutboundBsy(nullptr, BR_BSY_BINK | BR_BSY_SEMAPHORE,
                            BR_BSY_BINK | BR_BSY_SEMAPHORE);
}

bool Peers::InitBoxes() {
  return br_.InitOutbound(nullptr, nullptr, A("BOXES").c_str()) &&
         br_.SetOutboundBsy(nullptr, BR_BSY_SEMAPHORE, BR_BSY_SEMAPHORE);
}

bool Peers::InitNetmail() {
  return br_.InitOutbound((Root() + "/cm/netmail").c_str(), nullptr, nullptr) &&
         br_.SetOutboundBsy(nullptr, BR_BSY_SEMAPHORE, BR_BSY_SEMAPHORE);
}

bool Peers::Attach(const std::string& dest, const std::vector<std::string>& files, int flavour,
                   int type, int mode) {
  brAddrRec rec{};
  if (!br_.ParseAddr(dest.c_str(), &rec)) return false;
  std::vector<const char*> names;
  for (const auto& f : files) names.push_back(f.c_str());
  return br_.AttachFiles(brZoneNet(&rec), brNodePoint(&rec), names.data(),
                         static_cast<int32_t>(names.size()), static_cast<uint8_t>(flavour),
                         static_cast<uint8_t>(type), static_cast<uint8_t>(mode));
}

RunResult Peers::Farhost(const std::vector<std::string>& args, const std::vector<std::string>& as) {
  std::vector<std::string> argv = as;
  argv.insert(argv.end(), {FARHOST_PATH, "-b", SENDREL_MODULE});
  argv.insert(argv.end(), args.begin(), args.end());
  return RunBounded(argv, 60, {{"XDG_CONFIG_HOME", Root() + "/config"}, {"HOME", Root()}});
}

void Peers::ConfigurePlugin(const std::string& type, const std::string& dir) {
  const RunResult r = Farhost({"configure", "-a", "field 1=2:5020/100", "-a", "select " + type,
                               "-a", "field 2=" + dir, "-a", "press Ok"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("settings changed"), std::string::npos) << r.out;
}

RunResult Peers::PluginAttach(const std::vector<std::string>& files, const std::string& dest,
                              const std::string& flavour, bool kill,
                              const std::vector<std::string>& as) {
  std::vector<std::string> args = {"attach"};
  args.insert(args.end(), files.begin(), files.end());
  args.insert(args.end(), {"-a", "#2=" + dest, "-a", "select " + flavour, "-a",
                           kill ? "check Delete" : "uncheck Delete", "-a", "press Ok"});
  return Farhost(args, as);
}

}  // namespace brnet::interop
