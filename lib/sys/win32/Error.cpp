#include "sys/Error.h"

#include <windows.h>

#include <iterator>
#include <string>

namespace brnet::sys {
namespace {

// The one place where Windows error codes meet the run-time texts. Windows
// tells a missing file (2) from a missing directory (3) itself, so unlike the
// POSIX half no look at the path is needed.
struct CodeMapping {
  DWORD code;
  int runError;
};

constexpr CodeMapping kMappings[] = {
    {ERROR_FILE_NOT_FOUND, reFileNotFound},
    {ERROR_PATH_NOT_FOUND, rePathNotFound},
    {ERROR_INVALID_DRIVE, rePathNotFound},
    {ERROR_ACCESS_DENIED, reAccessDenied},
    {ERROR_WRITE_PROTECT, reAccessDenied},
    // Another program holds the file in a way that keeps us out.
    {ERROR_SHARING_VIOLATION, reAccessDenied},
    {ERROR_LOCK_VIOLATION, reAccessDenied},
    {ERROR_HANDLE_EOF, reReadBeyondEof},
    {ERROR_HANDLE_DISK_FULL, reDiskFull},
    {ERROR_DISK_FULL, reDiskFull},
};

int ToRunError(DWORD code) {
  for (const CodeMapping& m : kMappings) {
    if (m.code == code) return m.runError;
  }
  return -1;
}

}  // namespace

std::string RunErrorText(int osError, const std::string& /*path*/) {
  int runError = ToRunError(static_cast<DWORD>(osError));
  // Unmapped codes keep the system's own number, never one of the mapped texts.
  return runError < 0 ? "I/O error " + std::to_string(osError) : RunErrorMessage(runError);
}

void ThrowLastError(const std::string& path) {
  const int err = static_cast<int>(::GetLastError());
  throw EInOutError(IoErrorText(err, path), err);
}

}  // namespace brnet::sys
