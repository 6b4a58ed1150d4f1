// Exceptions of the library and the run-time error texts.
//
// Every failure inside the library is one of these exceptions; only the
// exported functions catch them and turn them into a false result plus the
// last-error text.
#pragma once

#include <stdexcept>
#include <string>

namespace brnet {

// Root of the library's exceptions: a message text and nothing else.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A text that should have been a number ("'%s' is not a valid integer value").
class EConvertError : public Exception {
  using Exception::Exception;
};

// A file-system failure, with the operating system's error code.
class EInOutError : public Exception {
 public:
  EInOutError(const std::string& message, int code) : Exception(message), code_(code) {}
  int ErrorCode() const { return code_; }

 private:
  int code_;
};

// A file another process keeps locked for longer than a writer waits: the
// lock is tried again for a short while only, since any user who may read
// a file can lock it, and a wait without limit would be theirs to make.
class EFileLocked : public EInOutError {
  using EInOutError::EInOutError;
};

// A violated precondition: "Assertion failure (UNIT, line N)".
class EAssertionFailed : public Exception {
  using Exception::Exception;
};

[[noreturn]] void AssertionFailure(const char* unit, int line);

// Checks a precondition; UNIT names the source unit that states it.
#define BR_ASSERT(cond, unit)                               \
  do {                                                      \
    if (!(cond)) ::brnet::AssertionFailure(unit, __LINE__); \
  } while (0)

namespace sys {

// The run-time's text for an operating-system error code: "File not found",
// "Path not found", "File access denied", "Disk full", "Read beyond end of
// file" or "I/O error %d". The mapping from the platform's codes lives in
// one place of each platform half.
std::string RunErrorText(int osError, const std::string& path = {});

// RunErrorText followed by ": " and PATH when one is given, so that the
// caller reads which file failed while the run-time words stay first.
std::string IoErrorText(int osError, const std::string& path);

// The text of a refusal to follow the symbolic link (Windows: the reparse
// point) PATH: inside the shared directories nothing is reached through one.
std::string SymbolicLinkRefusedText(const std::string& path);

// EInOutError for the calling thread's last operating-system error.
[[noreturn]] void ThrowLastError(const std::string& path = {});

// The portable numbers behind the texts, as the platform maps them.
enum RunError : int {
  reFileNotFound = 2,
  rePathNotFound = 3,
  reAccessDenied = 5,
  reReadBeyondEof = 100,
  reDiskFull = 101,
};

// The text for one of the portable numbers; other numbers give "I/O error %d".
std::string RunErrorMessage(int runError);

}  // namespace sys
}  // namespace brnet
