#include "util/Files.h"

#include "sys/FileSystem.h"
#include "util/Paths.h"

namespace brnet {

bool DirectoryPresent(const std::string& name) {
  return HasAllAttrs(name, sys::faDirectory);
}

bool HasAllAttrs(const std::string& name, std::uint32_t attrs) {
  int attr = sys::FileAttributes(name);
  return attr >= 0 && (static_cast<std::uint32_t>(attr) & attrs) == attrs;
}

bool DirHoldsNoFiles(const std::string& dir) {
  if (!DirectoryPresent(dir)) return false;
  constexpr std::uint32_t kFiles =
      sys::faReadOnly | sys::faHidden | sys::faSysFile | sys::faArchive;
  return !sys::FindFirstMatch(WithTrailingSlash(dir) + "*", kFiles).has_value();
}

bool MakeDirPath(const std::string& dir) {
  for (const std::string& prefix : DirPathPrefixes(ExpandFileName(dir))) {
    // Another process may create the same level at the same moment; what
    // counts is that it exists afterwards.
    if (!DirectoryPresent(prefix) && !sys::MakeDir(prefix) && !DirectoryPresent(prefix)) {
      return false;
    }
  }
  return true;
}

bool CreateFileExclusive(const std::string& name) {
  std::string dir = ExtractFilePath(name);
  if (!dir.empty() && !DirectoryPresent(dir) && !MakeDirPath(dir)) return false;
  return sys::CreateNewFile(name);
}

}  // namespace brnet
