// Both "\" and "/" separate names, as the system itself accepts; paths made
// here use "\".
#include <windows.h>

#include <string>

#include "sys/HostFs.h"
#include "sys/Path.h"
#include "sys/win32/SystemMessage.h"
#include "util/Ascii.h"

namespace brnet::sys::host {
namespace {

std::uint64_t Ticks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::string ErrorText(DWORD code) {
  const std::string message = SystemMessageText(code);
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

std::wstring Widened(const std::string& text, UINT codePage) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(),
                                      static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), n);
  return wide;
}

// WIDE in CODEPAGE; false when a character has no exact form there (no
// best-fit stand-ins: "e" for "é" would name another file).
bool Narrowed(const std::wstring& wide, UINT codePage, std::string& out) {
  out.clear();
  if (wide.empty()) return true;
  BOOL usedDefault = FALSE;
  // UTF-8 (a system whose ANSI code page is UTF-8) holds every character
  // and takes neither the flag nor the question.
  const bool utf8 = codePage == CP_UTF8 || (codePage == CP_ACP && ::GetACP() == CP_UTF8) ||
                    (codePage == CP_OEMCP && ::GetOEMCP() == CP_UTF8);
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL* asked = utf8 ? nullptr : &usedDefault;
  const int size = static_cast<int>(wide.size());
  const int n =
      ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, asked);
  if (n <= 0 || usedDefault) return false;
  out.resize(static_cast<std::size_t>(n));
  ::WideCharToMultiByte(codePage, flags, wide.data(), size, out.data(), n, nullptr, nullptr);
  return true;
}

// A name ending in "." or " " exists (made by another system, or through
// the NT names), but Win32's file functions strip the ending and open
// another file or none.
bool EndsInDotOrBlank(const std::wstring& path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring name = path.substr(start, end - start);
    if (name != L"." && name != L".." && !name.empty() &&
        (name.back() == L'.' || name.back() == L' ')) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

// A name Win32 takes for a device whatever its extension or directory:
// CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9.
bool IsDeviceName(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  std::wstring base = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
  base = base.substr(0, base.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) c = static_cast<wchar_t>(c >= L'a' && c <= L'z' ? c - 32 : c);
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
         base[3] >= L'1' && base[3] <= L'9';
}

std::wstring ShortWide(const std::wstring& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD n = ::GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n > buffer.size()) {
    buffer.resize(n);
    n = ::GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  if (n == 0 || n >= buffer.size()) return path;
  buffer.resize(n);
  return buffer;
}

std::size_t MailerPathMax() {
  return MAX_PATH - 1;
}

}  // namespace

// The host (a FAR 1.x plug-in's host) passes its texts in the OEM code page
// and shows what it cannot represent as "?", which no Win32 name holds.
std::string MailerPath(const std::string& hostPath, bool shortForm, MailerCodePage codePage,
                       MailerPathProblem& problem, std::string& why) {
  problem = MailerPathProblem::kNone;
  const auto refuse = [&problem](MailerPathProblem p) {
    problem = p;
    return std::string();
  };
  if (hostPath.size() > MailerPathMax()) return refuse(MailerPathProblem::kTooLong);
  const std::wstring wide = Widened(hostPath, CP_OEMCP);
  if (wide.empty() || wide.find_first_of(L"?*") != std::wstring::npos) {
    return refuse(MailerPathProblem::kNotInHostCodePage);
  }
  if (EndsInDotOrBlank(wide)) return refuse(MailerPathProblem::kTrailingDotOrBlank);
  if (IsDeviceName(wide)) return refuse(MailerPathProblem::kNotAFile);
  const DWORD attr = ::GetFileAttributesW(wide.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) {
    why = HostTextOf(ErrorText(::GetLastError()));
    return refuse(MailerPathProblem::kMissing);
  }
  if (attr & FILE_ATTRIBUTE_DIRECTORY) return refuse(MailerPathProblem::kDirectory);
  const UINT target =
      codePage == MailerCodePage::kFileApis && !::AreFileApisANSI() ? CP_OEMCP : CP_ACP;
  std::string out;
  if (!Narrowed(shortForm ? ShortWide(wide) : wide, target, out)) {
    return refuse(MailerPathProblem::kNotInMailerCodePage);
  }
  if (out.size() > MailerPathMax()) return refuse(MailerPathProblem::kTooLong);
  return out;
}

std::string HostTextOf(const std::string& systemText) {
  const std::wstring wide = Widened(systemText, CP_ACP);
  if (wide.empty()) return systemText;
  const int size = static_cast<int>(wide.size());
  const int n = ::WideCharToMultiByte(CP_OEMCP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return systemText;
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_OEMCP, 0, wide.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

bool PathExists(const std::string& path) {
  return !path.empty() && ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A volume without 8.3 names, or a path that does not exist, gives the
// long form back: the caller then passes what it has.
std::string ShortPathName(const std::string& path) {
  if (path.empty()) return path;
  std::string buffer(MAX_PATH, '\0');
  DWORD n = ::GetShortPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n > buffer.size()) {
    buffer.resize(n);
    n = ::GetShortPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  if (n == 0 || n >= buffer.size()) return path;
  buffer.resize(n);
  return buffer;
}

std::string AbsolutePath(const std::string& path) {
  if (!PathExists(path)) return {};
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

EntryInfo StatEntry(const std::string& path) {
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
  HANDLE h = ::FindFirstFileA(JoinPath(dir, "*").c_str(), &found);
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

bool MatchesWildcard(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') {
    for (const char* n = name;; ++n) {
      if (MatchesWildcard(pattern + 1, n)) return true;
      if (*n == '\0') return false;
    }
  }
  if (*name == '\0') return false;
  if (*pattern != '?' && ToAsciiLower(*pattern) != ToAsciiLower(*name)) return false;
  return MatchesWildcard(pattern + 1, name + 1);
}

// The file is shared with its writers (a mailer rewriting it), and a link
// or a device is not read.
std::optional<std::string> ReadHead(const std::string& path, std::size_t maxBytes) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::string> head;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
    head.emplace(maxBytes, '\0');
    std::size_t got = 0;
    DWORD n = 0;
    while (got < maxBytes &&
           ::ReadFile(h, head->data() + got, static_cast<DWORD>(maxBytes - got), &n, nullptr) &&
           n > 0) {
      got += n;
    }
    head->resize(got);
  }
  ::CloseHandle(h);
  return head;
}

bool SameFileName(const std::string& a, const std::string& b) {
  return EqualsAsciiNoCase(a, b);
}

}  // namespace brnet::sys::host
