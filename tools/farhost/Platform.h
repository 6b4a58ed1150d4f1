// The few file-system services the host needs, with a POSIX and a Windows
// half (PlatformPosix.cpp, PlatformWin32.cpp), so that the rest of the host
// is the same on both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace farhost::platform {

#if defined(_WIN32)
constexpr char kDirSep = '\\';
#else
constexpr char kDirSep = '/';
#endif

// True for the platform's directory separators ("/" everywhere, "\" too on
// Windows).
bool IsDirSep(char c);

// The directory part of PATH ("." when it has none) and its last name.
std::string DirOf(const std::string& path);
std::string BaseOf(std::string path);
// DIR and NAME joined by one separator.
std::string Join(const std::string& dir, const std::string& name);
// True when DIR is a root of the file system ("/", "C:\").
bool IsRoot(const std::string& dir);

// PATH made absolute without resolving symbolic links, so that a plug-in
// linked into a folder finds its companions there; empty when PATH cannot be
// read.
std::string AbsolutePath(const std::string& path);
// PATH absolute and in its one canonical form; empty with WHY on failure.
std::string CanonicalPath(const std::string& path, std::string& why);

struct EntryInfo {
  bool isDir = false;
  bool readOnly = false;
  std::uint64_t size = 0;
  // 100-nanosecond intervals since 1601-01-01, as Windows counts.
  std::uint64_t created = 0, accessed = 0, written = 0;
  std::uint32_t links = 1;
};

// What is known of PATH; a default EntryInfo when nothing is.
EntryInfo StatPath(const std::string& path);
// The names in DIR without "." and ".."; false with WHY on failure.
bool ListNames(const std::string& dir, std::vector<std::string>& names, std::string& why);

// Compares without regard to ASCII case, like strcasecmp.
int CompareNoCase(const std::string& a, const std::string& b);
// NAME matches the shell wildcard PATTERN ("*", "?").
bool MatchWildcard(const char* pattern, const char* name);

}  // namespace farhost::platform
