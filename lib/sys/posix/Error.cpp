#include "sys/Error.h"

#include <sys/stat.h>
#include <cerrno>
#include <string>

namespace brnet::sys {
namespace {

// ENOENT covers a missing file and a missing directory alike; the run-time
// texts tell them apart, so look at the parent directory.
bool ParentMissing(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return false;
  struct stat st {};
  return ::stat(path.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
}

int ToRunError(int err, const std::string& path) {
  switch (err) {
    case ENOENT:
      return (!path.empty() && ParentMissing(path)) ? rePathNotFound : reFileNotFound;
    case ENOTDIR:
      return rePathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return reAccessDenied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return reDiskFull;
    default:
      return -1;
  }
}

}  // namespace

std::string RunErrorText(int osError, const std::string& path) {
  int runError = ToRunError(osError, path);
  // Unmapped codes keep the system's own number, never one of the mapped texts.
  return runError < 0 ? "I/O error " + std::to_string(osError) : RunErrorMessage(runError);
}

void ThrowLastError(const std::string& path) {
  int err = errno;
  throw EInOutError(IoErrorText(err, path), err);
}

}  // namespace brnet::sys
