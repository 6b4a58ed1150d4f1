// Other processes for tests that need more than one: a program is started
// with arguments, talked to line by line through its standard input and
// output if wanted, and waited for or killed. On Windows with CreateProcessA
// and anonymous pipes, elsewhere with posix_spawn and pipes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brnet::test {

// The path of a program built next to the running test program (NAME
// without ".exe"; the suffix is added on Windows).
std::string SiblingProgram(const std::string& name);

// ARGS as one Windows command line, each argument quoted so that the C
// run-time splits it back exactly.
std::string CommandLine(const std::vector<std::string>& args);

// The id of the running process, for names no other test run uses.
int CurrentProcessId();

class ChildProcess {
 public:
  enum class Stdio {
    Inherit,  // the child shares this process's standard input and output
    Pipes,    // its standard input and output are pipes to this object
  };

  // What ReadLine() returns once the child's output has ended.
  static constexpr const char* kEndOfOutput = "<end of output>";

  // Starts PROGRAM with ARGS; a failure to start is a test failure and
  // Wait() then returns -1.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               Stdio stdio = Stdio::Inherit);
  // Closes the pipes (the child reads the end of its input), then waits if
  // neither Wait() nor Kill() was called.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // With Stdio::Pipes: writes LINE and a line end to the child's standard
  // input; false when the child no longer reads it.
  bool Send(const std::string& line);
  // Ends the child's standard input: its next read sees the end of file.
  void CloseStdin();
  // The next line of the child's standard output without its line end ("\n"
  // or "\r\n"); kEndOfOutput when the output has ended (or is no pipe).
  std::string ReadLine();

  // The child's process id while it has not been waited for or killed;
  // 0 when it could not be started.
  std::uint32_t Pid() const;

  // Waits for the end and returns the exit code (-1 when it did not exit
  // normally).
  int Wait();
  // Ends the child at once, as a crash would (TerminateProcess on Windows,
  // SIGKILL elsewhere), and waits for it. True when it was still running
  // and ended that way.
  bool Kill();

 private:
  void ClosePipes();

  std::intptr_t handle_ = -1;
  int exitCode_ = -1;
  std::intptr_t stdin_ = -1;   // our end of the child's standard input
  std::intptr_t stdout_ = -1;  // our end of the child's standard output
  std::string buffered_;       // output read but not yet returned
};

}  // namespace brnet::test
