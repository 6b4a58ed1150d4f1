#include "util/Files.h"

#include "sys/FileSystem.h"
#include "sys/Process.h"
#include "util/Ascii.h"
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

std::string OwnedName(std::string_view prefix, std::string_view suffix) {
  return std::string(prefix) + sys::HostName() + "-" + std::to_string(sys::CurrentProcessId()) +
         std::string(suffix);
}

std::uint32_t OwnerOnThisHost(std::string_view name, std::string_view prefix,
                              std::string_view suffix) {
  const std::string host = sys::HostName() + "-";
  if (host.size() == 1 || name.size() <= prefix.size() + host.size() + suffix.size() ||
      !EqualsAsciiNoCase(name.substr(0, prefix.size()), prefix) ||
      !EqualsAsciiNoCase(name.substr(name.size() - suffix.size()), suffix)) {
    return 0;
  }
  name = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  if (!name.starts_with(host)) return 0;
  const std::string_view digits = name.substr(host.size());
  if (digits.empty() || digits.size() > 10 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return 0;
  }
  const unsigned long long pid = std::stoull(std::string(digits));
  return pid > 0xFFFFFFFFull ? 0 : static_cast<std::uint32_t>(pid);
}

void RemoveDeadOwnersFiles(const std::string& root, const std::string& dirBelow,
                           std::string_view prefix, std::string_view suffix) {
  const std::string pattern = root + dirBelow + std::string(prefix) + "*" + std::string(suffix);
  for (const sys::SearchRec& rec : sys::FindAllMatches(pattern, sys::faHidden)) {
    const std::uint32_t pid = OwnerOnThisHost(rec.Name, prefix, suffix);
    if (pid != 0 && !sys::ProcessRuns(pid)) sys::RemoveFileBelow(root, dirBelow + rec.Name);
  }
}

}  // namespace brnet
