#include "support/ProcessRun.h"

#include "support/ChildProcess.h"

#ifdef _WIN32
#include <windows.h>

#include <cstring>
#include <functional>
#include <thread>
#else
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace brnet::test {

#ifdef _WIN32

namespace {

bool SameNameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ::_strnicmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// The environment block for CreateProcessA: the current variables that ENV
// does not name (names compare without regard to case, as on Windows), then
// ENV's, each NUL-terminated, with one more NUL at the end.
std::string EnvironmentBlock(const std::map<std::string, std::string>& env) {
  std::string block;
  if (char* current = ::GetEnvironmentStringsA()) {
    for (const char* e = current; *e != '\0'; e += std::strlen(e) + 1) {
      const std::string entry = e;
      // "=C:=C:\dir" entries (the current directory per drive) have no name
      // before their first "=".
      const std::string name = entry.substr(0, entry.find('=', 1));
      bool replaced = false;
      for (const auto& kv : env) replaced = replaced || SameNameNoCase(kv.first, name);
      if (!replaced) block += entry + '\0';
    }
    ::FreeEnvironmentStringsA(current);
  }
  for (const auto& [k, v] : env) block += k + "=" + v + '\0';
  return block + '\0';
}

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Close(); }
  HANDLE Get() const { return h_; }
  HANDLE* Out() {
    Close();
    return &h_;
  }
  void Close() {
    if (h_ != nullptr) ::CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

// Everything from H until the writer closes its end.
void ReadToEnd(HANDLE h, std::string& sink) {
  char buf[4096];
  DWORD n = 0;
  while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) sink.append(buf, n);
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env) {
  ProcessResult r;
  if (argv.empty()) return r;
  std::string command = CommandLine(argv);
  std::string block = EnvironmentBlock(env);

  // The child gets inheritable copies of the write ends and of NUL; ours
  // are not inherited, so each pipe ends when the child (and whatever it
  // started) has gone.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  Handle outRead, outWrite, errRead, errWrite;
  if (!::CreatePipe(outRead.Out(), outWrite.Out(), &inherit, 0) ||
      !::CreatePipe(errRead.Out(), errWrite.Out(), &inherit, 0)) {
    return r;
  }
  ::SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(errRead.Get(), HANDLE_FLAG_INHERIT, 0);
  Handle nul(::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr));

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nul.Get();
  si.hStdOutput = outWrite.Get();
  si.hStdError = errWrite.Get();
  PROCESS_INFORMATION pi{};
  const BOOL started = ::CreateProcessA(argv[0].c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                        block.data(), nullptr, &si, &pi);
  outWrite.Close();
  errWrite.Close();
  nul.Close();
  if (!started) return r;
  Handle process(pi.hProcess), thread(pi.hThread);

  // One reader per pipe: a child that fills one while the other is read
  // would otherwise wait for ever.
  std::thread errReader(ReadToEnd, errRead.Get(), std::ref(r.err));
  ReadToEnd(outRead.Get(), r.out);
  errReader.join();
  DWORD code = 0;
  if (::WaitForSingleObject(process.Get(), INFINITE) == WAIT_OBJECT_0 &&
      ::GetExitCodeProcess(process.Get(), &code)) {
    r.status = static_cast<int>(code);
  }
  return r;
}

#else

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env) {
  ProcessResult r;
  if (argv.empty()) return r;
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string s = *e;
    if (!env.count(s.substr(0, s.find('=')))) envStrings.push_back(s);
  }
  for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
  std::vector<char*> envp, args;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argCopy = argv;
  for (auto& s : argCopy) args.push_back(s.data());
  args.push_back(nullptr);

  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return r;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return r;
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
  pid_t pid;
  const int rc = ::posix_spawn(&pid, args[0], &fa, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (rc != 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return r;
  }
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.out, &r.err};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buf[4096];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& f : fds) {
    if (f.fd >= 0) ::close(f.fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

#endif

}  // namespace brnet::test
