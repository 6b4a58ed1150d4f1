// Runs a program to its end with extra environment, its standard input
// empty, and collects what it writes to standard output and standard error.
// With posix_spawn and poll on POSIX, with CreateProcessA and pipes on
// Windows.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace brnet::test {

struct ProcessResult {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out, err;
};

// Runs ARGV[0] with the arguments ARGV[1...] and the current environment,
// in which ENV sets or replaces variables. A program that cannot be started
// gives status -1 and no output.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env);

}  // namespace brnet::test
