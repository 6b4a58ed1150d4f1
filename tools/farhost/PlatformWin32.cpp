// The host's file-system services on Windows. Both "\" and "/" separate
// names, as the system itself accepts; paths the host makes use "\".
#include <windows.h>

#include <cstring>
#include <string>

#include "Platform.h"
#include "sys/win32/SystemMessage.h"

namespace farhost::platform {
namespace {

std::uint64_t Ticks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::string ErrorText(DWORD code) {
  const std::string message = brnet::sys::SystemMessageText(code);
  return message.empty() ? "error " + std::to_string(code) : message;
}

std::string FullPathName(const std::string& path) {
  std::string full(MAX_PATH, '\0');
  DWORD n = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n);
    n = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (n == 0 || n >= full.size()) return {};
  full.resize(n);
  return full;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsDirSep(char c) {
  return c == '\\' || c == '/';
}

std::string DirOf(const std::string& path) {
  std::size_t sep = path.find_last_of("\\/");
  if (sep == std::string::npos) {
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
  }
  // The root keeps its separator: "C:\x" lies in "C:\", "\x" in "\".
  if (sep == 0 || (sep == 2 && path[1] == ':')) ++sep;
  return path.substr(0, sep);
}

std::string BaseOf(std::string path) {
  while (path.size() > 1 && IsDirSep(path.back())) path.pop_back();
  const std::size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string Join(const std::string& dir, const std::string& name) {
  return dir.empty() || IsDirSep(dir.back()) ? dir + name : dir + kDirSep + name;
}

bool IsRoot(const std::string& dir) {
  return (dir.size() == 1 && IsDirSep(dir[0])) ||
         (dir.size() == 3 && dir[1] == ':' && IsDirSep(dir[2]));
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  return FullPathName(path);
}

std::string CanonicalPath(const std::string& path, std::string& why) {
  const std::string full = FullPathName(path);
  if (full.empty() || ::GetFileAttributesA(full.c_str()) == INVALID_FILE_ATTRIBUTES) {
    why = path + ": " + ErrorText(::GetLastError());
    return {};
  }
  // Short forms and long forms of one directory are the same directory.
  std::string longName(MAX_PATH, '\0');
  const DWORD n =
      ::GetLongPathNameA(full.c_str(), longName.data(), static_cast<DWORD>(longName.size()));
  if (n == 0 || n >= longName.size()) return full;
  longName.resize(n);
  return longName;
}

EntryInfo StatPath(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
  EntryInfo info;
  info.isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  info.size =
      info.isDir ? 0 : (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info.created = Ticks(data.ftCreationTime);
  info.accessed = Ticks(data.ftLastAccessTime);
  info.written = Ticks(data.ftLastWriteTime);
  return info;
}

bool ListNames(const std::string& dir, std::vector<std::string>& names, std::string& why) {
  WIN32_FIND_DATAA found{};
  HANDLE h = ::FindFirstFileA(Join(dir, "*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return true;  // an empty root
    why = dir + ": " + ErrorText(code);
    return false;
  }
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(h, &found));
  ::FindClose(h);
  return true;
}

int CompareNoCase(const std::string& a, const std::string& b) {
  return ::_stricmp(a.c_str(), b.c_str());
}

// Names on Windows match without regard to case.
bool MatchWildcard(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') {
    for (const char* n = name;; ++n) {
      if (MatchWildcard(pattern + 1, n)) return true;
      if (*n == '\0') return false;
    }
  }
  if (*name == '\0') return false;
  if (*pattern != '?' && Lower(*pattern) != Lower(*name)) return false;
  return MatchWildcard(pattern + 1, name + 1);
}

}  // namespace farhost::platform
