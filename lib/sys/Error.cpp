#include "sys/Error.h"

#include <string>

namespace brnet {

void AssertionFailure(const char* unit, int line) {
  throw EAssertionFailed(std::string("Assertion failure (") + unit + ", line " +
                         std::to_string(line) + ")");
}

namespace sys {

std::string IoErrorText(int osError, const std::string& path) {
  const std::string text = RunErrorText(osError, path);
  return path.empty() ? text : text + ": " + path;
}

std::string SymbolicLinkRefusedText(const std::string& path) {
  return "Refused to follow the symbolic link " + path +
         ": links inside the outbound, the file boxes and the netmail directory are not followed";
}

std::string RunErrorMessage(int runError) {
  switch (runError) {
    case reFileNotFound: return "File not found";
    case rePathNotFound: return "Path not found";
    case reAccessDenied: return "File access denied";
    case reReadBeyondEof: return "Read beyond end of file";
    case reDiskFull: return "Disk full";
    default: return "I/O error " + std::to_string(runError);
  }
}

}  // namespace sys
}  // namespace brnet
