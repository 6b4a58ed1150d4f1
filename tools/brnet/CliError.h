// brnet's failures: a text for standard error and the exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace brnet::cli {

inline constexpr int kExitFailed = 1;  // an operation failed or was refused
inline constexpr int kExitUsage = 2;   // the command line is wrong
// queue --older-than found entries that waited longer: not an error.
inline constexpr int kExitOldEntries = 3;

class CliError : public std::runtime_error {
 public:
  CliError(int status, const std::string& text) : std::runtime_error(text), status_(status) {}
  int Status() const { return status_; }

 private:
  int status_;
};

inline CliError UsageError(const std::string& text) {
  return CliError(kExitUsage, text);
}
inline CliError Failure(const std::string& text) {
  return CliError(kExitFailed, text);
}

}  // namespace brnet::cli
