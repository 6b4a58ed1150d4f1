#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace brnet::test {

#ifdef _WIN32

namespace {

// One argument quoted the way the C run-time splits a command line:
// backslashes are literal unless they precede a quote.
std::string Quote(const std::string& arg) {
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

}  // namespace

std::string SiblingProgram(const std::string& name) {
  char self[MAX_PATH];
  DWORD n = ::GetModuleFileNameA(nullptr, self, sizeof self);
  std::string dir(self, n);
  return dir.substr(0, dir.find_last_of("\\/") + 1) + name + ".exe";
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
  std::string command = Quote(program);
  for (const std::string& arg : args) command += " " + Quote(arg);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // Inheritable handles are passed on, as many programs do, so that tests
  // can show that none of the library's handles is one.
  if (!::CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &si, &pi)) {
    ADD_FAILURE() << "cannot start " << program << ": error " << ::GetLastError();
    return;
  }
  ::CloseHandle(pi.hThread);
  handle_ = reinterpret_cast<std::intptr_t>(pi.hProcess);
}

int ChildProcess::Wait() {
  if (handle_ == -1) return exitCode_;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  DWORD code = 0;
  if (::WaitForSingleObject(h, INFINITE) == WAIT_OBJECT_0 && ::GetExitCodeProcess(h, &code)) {
    exitCode_ = static_cast<int>(code);
  }
  ::CloseHandle(h);
  handle_ = -1;
  return exitCode_;
}

#else

std::string SiblingProgram(const std::string& name) {
  std::string self(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size());
  self.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return self.substr(0, self.find_last_of('/') + 1) + name;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << program << ": error " << rc;
    return;
  }
  handle_ = pid;
}

int ChildProcess::Wait() {
  if (handle_ == -1) return exitCode_;
  int status = 0;
  if (::waitpid(static_cast<pid_t>(handle_), &status, 0) == handle_ && WIFEXITED(status)) {
    exitCode_ = WEXITSTATUS(status);
  }
  handle_ = -1;
  return exitCode_;
}

#endif

ChildProcess::~ChildProcess() {
  Wait();
}

int CurrentProcessId() {
#ifdef _WIN32
  return static_cast<int>(::GetCurrentProcessId());
#else
  return static_cast<int>(::getpid());
#endif
}

}  // namespace brnet::test
