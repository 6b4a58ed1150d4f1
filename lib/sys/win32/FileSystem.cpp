// Win32 half of the file-system layer: the calls the layer is modelled on.
#include "sys/FileSystem.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "sys/Error.h"
#include "sys/File.h"
#include "sys/win32/PathBelow.h"
#include "sys/win32/SystemMessage.h"

namespace brnet::sys {
namespace {

// Windows' attribute bits are the layer's own; only the six it knows count.
std::uint32_t Attributes(DWORD attr) {
  return attr & faAnyFile;
}

// FILETIME counts 100 ns steps from 1601; FileTime nanoseconds from 1970.
constexpr std::int64_t kEpochDifference = 116444736000000000;  // in 100 ns

FileTime ToFileTime(const FILETIME& ft) {
  const std::int64_t ticks = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  return (ticks - kEpochDifference) * 100;
}

}  // namespace

// ---- Directory search ----

struct FileSearch::Impl {
  HANDLE find = INVALID_HANDLE_VALUE;
  bool pending = false;  // `data` holds an entry not yet looked at
  WIN32_FIND_DATAA data{};
  std::string mask;
  std::uint32_t filter = 0;
  ~Impl() {
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  }
};

FileSearch::FileSearch(const std::string& pattern, std::uint32_t filter)
    : impl_(std::make_unique<Impl>()) {
  const std::size_t cut = pattern.find_last_of("\\/:");
  impl_->mask = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
  impl_->filter = filter;
  if (impl_->mask.empty()) return;
  impl_->find = ::FindFirstFileA(pattern.c_str(), &impl_->data);
  impl_->pending = impl_->find != INVALID_HANDLE_VALUE;
}

FileSearch::~FileSearch() = default;

bool FileSearch::Next(SearchRec& rec) {
  while (impl_->pending) {
    const WIN32_FIND_DATAA& d = impl_->data;
    const std::string name = d.cFileName;
    const std::uint32_t attr = Attributes(d.dwFileAttributes);
    // FindFirstFileA also matches the generated 8.3 names ("3.msgx" is
    // "3~~~~CGW.MSG" to it): the long name must match on its own.
    const bool wanted = name != "." && name != ".." && MatchesMask(name, impl_->mask) &&
                        PassesAttrFilter(attr, impl_->filter);
    if (wanted) {
      rec.Name = name;
      rec.Attr = attr;
      rec.Size =
          (attr & faDirectory)
              ? 0
              : static_cast<std::int64_t>((std::uint64_t{d.nFileSizeHigh} << 32) | d.nFileSizeLow);
      rec.Time = ToFileTime(d.ftLastWriteTime);
    }
    impl_->pending = ::FindNextFileA(impl_->find, &impl_->data) != 0;
    if (wanted) return true;
  }
  return false;
}

// ---- Looking names up ----

std::vector<std::string> FindUsualSpellings(const std::string& root, std::string_view below,
                                            std::size_t limit) {
  // The file system compares names without regard to case: the one lookup
  // finds the entry in whatever spelling it was written. Wildcards are no
  // part of any name here.
  std::string path = root + std::string(below);
  if (below.find_first_not_of("\\/") == std::string_view::npos ||
      below.find_first_of("*?") != std::string_view::npos || limit == 0 ||
      ::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return {};
  }
  return {std::move(path)};
}

std::optional<SearchRec> EntryInfo(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || path.find_first_of("*?") != std::string::npos ||
      !::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  SearchRec rec;
  const std::size_t cut = path.find_last_of("\\/:");
  rec.Name = cut == std::string::npos ? path : path.substr(cut + 1);
  rec.Attr = Attributes(data.dwFileAttributes);
  rec.Size = (rec.Attr & faDirectory)
                 ? 0
                 : static_cast<std::int64_t>((std::uint64_t{data.nFileSizeHigh} << 32) |
                                             data.nFileSizeLow);
  rec.Time = ToFileTime(data.ftLastWriteTime);
  return rec;
}

// ---- Attributes, directories and files ----

int FileAttributes(const std::string& path) {
  if (path.empty()) return -1;
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  return attr == INVALID_FILE_ATTRIBUTES ? -1 : static_cast<int>(Attributes(attr));
}

bool SetReadOnly(const std::string& path, bool readOnly) {
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) return false;
  const DWORD wanted =
      readOnly ? (attr | FILE_ATTRIBUTE_READONLY) : (attr & ~DWORD{FILE_ATTRIBUTE_READONLY});
  return ::SetFileAttributesA(path.c_str(), wanted) != 0;
}

bool MakeDir(const std::string& path, const std::string&) {
  return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool RemoveEmptyDir(const std::string& path) {
  return ::RemoveDirectoryA(path.c_str()) != 0;
}

bool RemoveFile(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != 0;
}

bool CreateNewFile(const std::string& path) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  return ::CloseHandle(h) != 0;
}

bool IsSymbolicLink(const std::string& path) {
  std::string entry = path;
  while (entry.size() > 1 && (entry.back() == '\\' || entry.back() == '/')) entry.pop_back();
  const DWORD attr = ::GetFileAttributesA(entry.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

namespace {

// ROOT followed by BELOW when no directory of BELOW is a reparse point;
// otherwise empty.
std::string TargetBelow(const std::string& root, std::string_view below) {
  std::string linked;
  return win32::PathBelow(root, below, linked);
}

// TO's directory part (empty for the current directory) and its name.
std::pair<std::string, std::string> SplitTarget(const std::string& to) {
  const std::size_t cut = to.find_last_of("\\/:");
  if (cut == std::string::npos) return {std::string(), to};
  return {to.substr(0, cut + 1), to.substr(cut + 1)};
}

}  // namespace

int RenameNoReplace(const std::string& from, const std::string& root, std::string_view below) {
  const std::string to = TargetBelow(root, below);
  if (to.empty()) return ERROR_CANT_ACCESS_FILE;
  // Without MOVEFILE_REPLACE_EXISTING an existing target is never replaced.
  return ::MoveFileExA(from.c_str(), to.c_str(), 0) ? 0 : static_cast<int>(::GetLastError());
}

int RenameReplacingBelow(const std::string& root, std::string_view fromBelow,
                         std::string_view toBelow) {
  const std::string from = TargetBelow(root, fromBelow);
  const std::string to = TargetBelow(root, toBelow);
  if (from.empty() || to.empty()) return ERROR_CANT_ACCESS_FILE;
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : static_cast<int>(::GetLastError());
}

int RemoveBelow(const std::string& root, std::string_view below) {
  const std::string path = TargetBelow(root, below);
  if (path.empty()) return ERROR_CANT_ACCESS_FILE;
  return ::DeleteFileA(path.c_str()) ? 0 : static_cast<int>(::GetLastError());
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  const auto [dir, name] = SplitTarget(to);
  return RenameNoReplace(from, dir, name);
}

int CopyNoReplace(const std::string& from, const std::string& root, std::string_view below) {
  const std::string to = TargetBelow(root, below);
  if (to.empty()) return ERROR_CANT_ACCESS_FILE;
  if (::GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES) return ERROR_FILE_EXISTS;
  // The copy is made under a temporary name in ROOT, outside the target's
  // directory, and moved to its name only when whole.
  static unsigned counter = 0;
  std::string temp;
  for (int attempt = 0;; ++attempt) {
    temp = root + ".brnet32-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(++counter) + ".tmp";
    // Fails on an existing target; takes the source's attributes and times.
    if (::CopyFileA(from.c_str(), temp.c_str(), TRUE)) break;
    const DWORD err = ::GetLastError();
    if ((err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) || attempt >= 100) {
      ::DeleteFileA(temp.c_str());
      return static_cast<int>(err);
    }
  }
  if (::MoveFileExA(temp.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return 0;
  const DWORD err = ::GetLastError();
  // A read-only copy can only be deleted once it is writable.
  ::SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileA(temp.c_str());
  return static_cast<int>(err);
}

int CopyNoReplace(const std::string& from, const std::string& to) {
  const auto [dir, name] = SplitTarget(to);
  return CopyNoReplace(from, dir, name);
}

StagedCopy::~StagedCopy() {
  Discard();
}

void StagedCopy::Discard() {
  if (!temp_.empty()) {
    // A read-only copy can only be deleted once it is writable.
    ::SetFileAttributesA(temp_.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(temp_.c_str());
    temp_.clear();
  }
  staged_ = false;
}

int StagedCopy::Stage(const std::string& from, const std::string& root, std::string_view below) {
  Discard();
  from_ = from;
  root_ = root;
  below_ = std::string(below);
  const DWORD attr = ::GetFileAttributesA(from.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return kNotStaged;  // CopyNoReplace gives the error
  }
  // A taken name is refused before anything is copied.
  const std::string to = TargetBelow(root, below);
  if (!to.empty() && ::GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return ERROR_FILE_EXISTS;
  }
  static unsigned counter = 0;
  for (int attempt = 0;; ++attempt) {
    const std::string temp = root + ".brnet32-" + std::to_string(::GetCurrentProcessId()) + "-s" +
                             std::to_string(++counter) + ".tmp";
    // Fails on an existing name; takes the source's attributes and times.
    if (::CopyFileA(from.c_str(), temp.c_str(), TRUE)) {
      temp_ = temp;
      staged_ = true;
      return 0;
    }
    const DWORD err = ::GetLastError();
    if ((err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) || attempt >= 100) {
      ::DeleteFileA(temp.c_str());
      // The source or the disk: CopyNoReplace fails the same way; a root
      // the process may not write: CopyNoReplace may still succeed.
      return err == ERROR_ACCESS_DENIED ? kNotStaged : static_cast<int>(err);
    }
  }
}

int StagedCopy::Publish() {
  if (!staged_) return ERROR_INVALID_FUNCTION;
  const std::string to = TargetBelow(root_, below_);
  int err = ERROR_CANT_ACCESS_FILE;
  if (!to.empty()) {
    err = ::MoveFileExA(temp_.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)
              ? 0
              : static_cast<int>(::GetLastError());
  }
  if (err == 0) temp_.clear();
  // The same text as CopyNoReplace's for a taken name.
  if (err == ERROR_ALREADY_EXISTS) err = ERROR_FILE_EXISTS;
  // The box is another volume: the copy is made there afresh.
  if (err == ERROR_NOT_SAME_DEVICE) err = CopyNoReplace(from_, root_, below_);
  Discard();
  return err;
}

bool IsFileExistsError(int code) {
  return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

bool IsAccessDeniedError(int code) {
  return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION;
}

std::string SystemErrorMessage(int code) {
  std::string message = SystemMessageText(static_cast<DWORD>(code));
  // The system's texts end in a full stop; the callers put them into
  // sentences of their own.
  while (!message.empty() && message.back() == '.') message.pop_back();
  if (message.empty()) message = "Unknown error " + std::to_string(code);
  return message;
}

bool LastWriteTime(const std::string& path, FileTime& time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  time = ToFileTime(data.ftLastWriteTime);
  return true;
}

std::optional<std::string> ReadFileHead(const std::string& path, std::size_t maxBytes) {
  // The reparse point itself, not what it points to: a link is refused below.
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::string> head;
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
    std::string data(maxBytes, '\0');
    std::size_t got = 0;
    bool ok = true;
    while (got < maxBytes) {
      DWORD n = 0;
      if (!::ReadFile(h, data.data() + got, static_cast<DWORD>(maxBytes - got), &n, nullptr)) {
        ok = false;
        break;
      }
      if (n == 0) break;
      got += n;
    }
    if (ok) {
      data.resize(got);
      head = std::move(data);
    }
  }
  ::CloseHandle(h);
  return head;
}

namespace {

// ROOT followed by BELOW when no directory of BELOW is a reparse point;
// otherwise the error for the link in the way is raised.
std::string CheckedBelow(const std::string& root, std::string_view below) {
  std::string linked;
  std::string path = win32::PathBelow(root, below, linked);
  if (!linked.empty()) {
    throw EInOutError(SymbolicLinkRefusedText(linked), static_cast<int>(ERROR_CANT_ACCESS_FILE));
  }
  return path;
}

}  // namespace

WholeFile CreateWholeFile(const std::string& root, std::string_view below, std::string_view data,
                          bool emptyOnFullDisk, File* /*keep*/) {
  // KEEP stays closed: a file held open here would keep other programs from
  // deleting it (the sharing mode of every open).
  const std::string path = CheckedBelow(root, below);
  const auto [dir, name] = SplitTarget(path);
  // Written under a temporary name beside it, then moved to its name, which
  // fails when the name is taken.
  static unsigned counter = 0;
  std::string temp;
  File file;
  for (int attempt = 0;; ++attempt) {
    temp = dir + ".brnet32-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(++counter) + ".tmp";
    try {
      if (file.Open(temp, FileMode::kCreateExclusive)) break;
    } catch (const EInOutError& e) {
      // The file asked for is what failed (a read-only directory, say), not
      // the temporary name it is written under first.
      throw EInOutError(IoErrorText(e.ErrorCode(), path), e.ErrorCode());
    }
    if (attempt >= 100) throw EInOutError(IoErrorText(ERROR_FILE_EXISTS, path), ERROR_FILE_EXISTS);
  }
  bool whole = true;
  try {
    try {
      file.Write(data);
    } catch (const EInOutError& e) {
      if (!emptyOnFullDisk ||
          (e.ErrorCode() != ERROR_DISK_FULL && e.ErrorCode() != ERROR_HANDLE_DISK_FULL)) {
        throw;
      }
      file.Truncate(0);
      whole = false;
    }
    file.Close();
  } catch (...) {
    if (file.IsOpen()) {
      try {
        file.Close();
      } catch (...) {
      }
    }
    ::DeleteFileA(temp.c_str());
    throw;
  }
  if (::MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
    return whole ? WholeFile::kCreated : WholeFile::kCreatedEmpty;
  }
  const DWORD err = ::GetLastError();
  ::DeleteFileA(temp.c_str());
  if (IsFileExistsError(static_cast<int>(err))) return WholeFile::kNameTaken;
  ::SetLastError(err);
  ThrowLastError(path);
}

std::optional<std::string> ReadFileHead(const std::string& root, std::string_view below,
                                        std::size_t maxBytes) {
  const std::string path = TargetBelow(root, below);
  if (path.empty()) return std::nullopt;
  return ReadFileHead(path, maxBytes);
}

bool RemoveFileBelow(const std::string& root, std::string_view below) {
  const std::string path = TargetBelow(root, below);
  return !path.empty() && ::DeleteFileA(path.c_str()) != 0;
}

bool RemoveFileBelowIfHead(const std::string& root, std::string_view below, std::string_view head) {
  const std::optional<std::string> now = ReadFileHead(root, below, head.size() + 1);
  if (now && (head.empty() ? !now->empty() : !now->starts_with(head))) return false;
  return RemoveFileBelow(root, below);
}

bool RemoveFileBelowIfKept(const std::string& root, std::string_view below, File& kept,
                           std::int64_t /*size*/, std::string_view head) {
  if (kept.IsOpen()) kept.Close();
  return RemoveFileBelowIfHead(root, below, head);
}

int RenameInDirBelow(const std::string& root, std::string_view below, const std::string& name) {
  const std::string path = TargetBelow(root, below);
  if (path.empty()) return ERROR_CANT_ACCESS_FILE;
  const auto [dir, old] = SplitTarget(path);
  const std::string to = dir + name;
  return ::MoveFileExA(path.c_str(), to.c_str(), 0) ? 0 : static_cast<int>(::GetLastError());
}

namespace {

// The whole of FILE, open for reading, when it holds at most MAXBYTES.
std::string ReadWholeOpen(File& file, const std::string& path, std::size_t maxBytes) {
  const std::int64_t size = file.Size();
  if (static_cast<std::uint64_t>(size) > maxBytes) {
    throw EInOutError(TooLargeText(path, size, maxBytes), ERROR_FILE_TOO_LARGE);
  }
  std::string data = file.ReadAt(0, maxBytes + 1);
  if (data.size() > maxBytes) {
    throw EInOutError(TooLargeText(path, static_cast<std::int64_t>(data.size()), maxBytes),
                      ERROR_FILE_TOO_LARGE);
  }
  file.Close();
  return data;
}

}  // namespace

std::optional<std::string> ReadWholeFileBelow(const std::string& root, std::string_view below,
                                              std::size_t maxBytes) {
  const std::string path = TargetBelow(root, below);
  if (!path.empty() && !EntryInfo(path)) return std::nullopt;
  File file;
  file.OpenBelow(root, below, FileMode::kRead);
  return ReadWholeOpen(file, path, maxBytes);
}

std::string ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  File file(path, FileMode::kRead);
  return ReadWholeOpen(file, path, maxBytes);
}

}  // namespace brnet::sys
