// Other processes for tests that need more than one: a program is started
// with arguments and waited for. On Windows with CreateProcessA, elsewhere
// with posix_spawn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brnet::test {

// The path of a program built next to the running test program (NAME
// without ".exe"; the suffix is added on Windows).
std::string SiblingProgram(const std::string& name);

// The id of the running process, for names no other test run uses.
int CurrentProcessId();

class ChildProcess {
 public:
  // Starts PROGRAM with ARGS; a failure to start is a test failure and
  // Wait() then returns -1.
  ChildProcess(const std::string& program, const std::vector<std::string>& args);
  ~ChildProcess();  // waits if Wait() was not called
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Waits for the end and returns the exit code (-1 when it did not exit
  // normally).
  int Wait();

 private:
  std::intptr_t handle_ = -1;
  int exitCode_ = -1;
};

}  // namespace brnet::test
