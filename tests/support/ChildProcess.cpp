#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
extern char** environ;
#endif

namespace brnet::test {

namespace {

// One argument quoted the way the C run-time splits a command line:
// backslashes are literal unless they precede a quote.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(2 * slashes, '\\');
  return out + "\"";
}

constexpr std::intptr_t kNone = -1;

}  // namespace

std::string CommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& arg : args) {
    if (!line.empty()) line += ' ';
    line += QuoteArgument(arg);
  }
  return line;
}

#ifdef _WIN32

namespace {

// The exit code a killed child gets ("KILL"), which no test program returns
// by itself.
constexpr UINT kKilledExitCode = 0x4B494C4Cu;

HANDLE H(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t Id(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

// A pipe whose end THEIRS is inherited by the next child and whose other end
// stays with this process only.
bool MakePipe(HANDLE& read, HANDLE& write, bool childReads) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  if (!::CreatePipe(&read, &write, &sa, 0)) return false;
  ::SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
  return true;
}

long ReadSome(std::intptr_t handle, char* buffer, std::size_t size) {
  DWORD n = 0;
  // A broken pipe is the end of the child's output.
  if (!::ReadFile(H(handle), buffer, static_cast<DWORD>(size), &n, nullptr)) return 0;
  return static_cast<long>(n);
}

bool WriteAll(std::intptr_t handle, const std::string& data) {
  DWORD n = 0;
  return ::WriteFile(H(handle), data.data(), static_cast<DWORD>(data.size()), &n, nullptr) &&
         n == data.size();
}

void CloseEnd(std::intptr_t& handle) {
  if (handle != kNone) ::CloseHandle(H(handle));
  handle = kNone;
}

}  // namespace

std::string SiblingProgram(const std::string& name) {
  char self[MAX_PATH];
  DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
  std::string dir(self, n);
  return dir.substr(0, dir.find_last_of("\\/") + 1) + name + ".exe";
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           Stdio stdio) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string command = CommandLine(argv);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  if (stdio == Stdio::Pipes) {
    const bool in = MakePipe(inRead, inWrite, true);
    const bool out = in && MakePipe(outRead, outWrite, false);
    if (!out) {
      ADD_FAILURE() << "cannot make pipes: error " << ::GetLastError();
      if (in) {
        ::CloseHandle(inRead);
        ::CloseHandle(inWrite);
      }
      return;
    }
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead;
    si.hStdOutput = outWrite;
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    stdin_ = Id(inWrite);
    stdout_ = Id(outRead);
  }
  PROCESS_INFORMATION pi{};
  // Inheritable handles are passed on, as many programs do, so that tests
  // can show that none of the library's handles is one.
  const BOOL started = ::CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &si, &pi);
  const DWORD error = ::GetLastError();
  // The child's ends are its own now: the output ends when the child does.
  if (inRead != nullptr) ::CloseHandle(inRead);
  if (outWrite != nullptr) ::CloseHandle(outWrite);
  if (!started) {
    ADD_FAILURE() << "cannot start " << program << ": error " << error;
    ClosePipes();
    return;
  }
  ::CloseHandle(pi.hThread);
  handle_ = Id(pi.hProcess);
}

std::uint32_t ChildProcess::Pid() const {
  return handle_ == kNone ? 0 : ::GetProcessId(H(handle_));
}

int ChildProcess::Wait() {
  if (handle_ == kNone) return exitCode_;
  DWORD code = 0;
  if (::WaitForSingleObject(H(handle_), INFINITE) == WAIT_OBJECT_0 &&
      ::GetExitCodeProcess(H(handle_), &code)) {
    exitCode_ = static_cast<int>(code);
  }
  CloseEnd(handle_);
  return exitCode_;
}

bool ChildProcess::Kill() {
  if (handle_ == kNone) return false;
  // Fails when the process has ended already.
  const bool terminated = ::TerminateProcess(H(handle_), kKilledExitCode) != 0;
  DWORD code = 0;
  const bool ended = ::WaitForSingleObject(H(handle_), INFINITE) == WAIT_OBJECT_0 &&
                     ::GetExitCodeProcess(H(handle_), &code);
  CloseEnd(handle_);
  exitCode_ = -1;
  return terminated && ended && code == kKilledExitCode;
}

int CurrentProcessId() {
  return static_cast<int>(::GetCurrentProcessId());
}

#else

namespace {

long ReadSome(std::intptr_t fd, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(fd), buffer, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return 0;
  }
}

bool WriteAll(std::intptr_t fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(static_cast<int>(fd), data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void CloseEnd(std::intptr_t& fd) {
  if (fd != kNone) ::close(static_cast<int>(fd));
  fd = kNone;
}

}  // namespace

std::string SiblingProgram(const std::string& name) {
  std::string self(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size());
  self.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return self.substr(0, self.find_last_of('/') + 1) + name;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           Stdio stdio) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  int in[2] = {-1, -1}, out[2] = {-1, -1};
  if (stdio == Stdio::Pipes) {
    // A child that ended must not take this process with it when it is
    // written to.
    ::signal(SIGPIPE, SIG_IGN);
    // Close-on-exec everywhere: the child keeps only the copies made as its
    // descriptors 0 and 1, and no other child inherits these.
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "cannot make pipes: errno " << errno;
      for (int fd : {in[0], in[1], out[0], out[1]}) {
        if (fd >= 0) ::close(fd);
      }
      ::posix_spawn_file_actions_destroy(&actions);
      return;
    }
    ::posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (in[0] >= 0) ::close(in[0]);
  if (out[1] >= 0) ::close(out[1]);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << program << ": error " << rc;
    ClosePipes();
    return;
  }
  handle_ = pid;
}

std::uint32_t ChildProcess::Pid() const {
  return handle_ == kNone ? 0 : static_cast<std::uint32_t>(handle_);
}

int ChildProcess::Wait() {
  if (handle_ == kNone) return exitCode_;
  int status = 0;
  if (::waitpid(static_cast<pid_t>(handle_), &status, 0) == handle_ && WIFEXITED(status)) {
    exitCode_ = WEXITSTATUS(status);
  }
  handle_ = kNone;
  return exitCode_;
}

bool ChildProcess::Kill() {
  if (handle_ == kNone) return false;
  ::kill(static_cast<pid_t>(handle_), SIGKILL);
  int status = 0;
  const bool ended = ::waitpid(static_cast<pid_t>(handle_), &status, 0) == handle_;
  handle_ = kNone;
  exitCode_ = -1;
  return ended && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

int CurrentProcessId() {
  return static_cast<int>(::getpid());
}

#endif

ChildProcess::~ChildProcess() {
  // Its output is not read any more: a child still writing must not block.
  ClosePipes();
  Wait();
}

bool ChildProcess::Send(const std::string& line) {
  return stdin_ != kNone && WriteAll(stdin_, line + "\n");
}

void ChildProcess::CloseStdin() {
  CloseEnd(stdin_);
}

std::string ChildProcess::ReadLine() {
  for (;;) {
    const std::size_t end = buffered_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    char chunk[256];
    const long n = stdout_ == kNone ? 0 : ReadSome(stdout_, chunk, sizeof chunk);
    if (n <= 0) {
      CloseEnd(stdout_);
      // A last line without its line end still counts.
      if (buffered_.empty()) return kEndOfOutput;
      return std::exchange(buffered_, std::string());
    }
    buffered_.append(chunk, static_cast<std::size_t>(n));
  }
}

void ChildProcess::ClosePipes() {
  CloseEnd(stdin_);
  CloseEnd(stdout_);
}

}  // namespace brnet::test
