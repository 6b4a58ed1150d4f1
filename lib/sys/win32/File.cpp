// Win32 half of the file type: one handle, GetLastError turned into the
// run-time texts in one place.
#include "sys/File.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "sys/Error.h"
#include "sys/FileSystem.h"
#include "sys/win32/PathBelow.h"

namespace brnet::sys {
namespace {

// How long an appending open waits while another writer holds the file. A
// writer of this library holds it for one line only, so this is ample; a
// program that keeps the file locked for longer gets "File access denied".
constexpr ULONGLONG kShareWaitMs = 10000;
// The largest transfer of one ReadFile or WriteFile call.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

HANDLE Handle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

[[noreturn]] void Fail(DWORD err, const std::string& path) {
  throw EInOutError(IoErrorText(static_cast<int>(err), path), static_cast<int>(err));
}

bool IsAppending(FileMode mode) {
  return mode == FileMode::kAppend || mode == FileMode::kAppendOrCreate ||
         mode == FileMode::kAppendUnlocked;
}

HANDLE Create(const std::string& path, DWORD access, DWORD share, DWORD disposition,
              DWORD flags = 0) {
  return ::CreateFileA(path.c_str(), access, share, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

// CreateFileA that waits its turn: a sharing violation means another writer
// has the file open right now, and it will let go after its line.
HANDLE OpenWaiting(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                   DWORD flags = 0) {
  const ULONGLONG deadline = ::GetTickCount64() + kShareWaitMs;
  DWORD pause = 1;
  for (;;) {
    HANDLE h = Create(path, access, share, disposition, flags);
    if (h != INVALID_HANDLE_VALUE) return h;
    const DWORD err = ::GetLastError();
    if (err != ERROR_SHARING_VIOLATION) Fail(err, path);
    if (::GetTickCount64() >= deadline) {
      throw EFileLocked("File locked by another process: " + path, static_cast<int>(err));
    }
    ::Sleep(pause);
    pause = std::min<DWORD>(pause * 2, 16);
  }
}

// Appending: read and write access; others may read the file while it is
// open, but not write it (FILE_SHARE_READ only). Other modes let everyone in.
// FLAGS: FILE_FLAG_OPEN_REPARSE_POINT to open a link itself. CREATED tells
// whether the call made the file.
HANDLE OpenHandle(const std::string& path, FileMode mode, DWORD flags, bool& created) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE h = INVALID_HANDLE_VALUE;
  created = false;
  switch (mode) {
    case FileMode::kRead:
      return Create(path, GENERIC_READ, kShareAll, OPEN_EXISTING, flags);
    case FileMode::kAppend:
      return OpenWaiting(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, flags);
    case FileMode::kAppendUnlocked:
      return Create(path, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_EXISTING, flags);
    case FileMode::kUpdateOrCreate:
      h = OpenWaiting(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, flags);
      created = ::GetLastError() != ERROR_ALREADY_EXISTS;
      return h;
    case FileMode::kAppendOrCreate:
      h = OpenWaiting(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, flags);
      // OPEN_ALWAYS reports an existing file as this "error" on success.
      created = ::GetLastError() != ERROR_ALREADY_EXISTS;
      return h;
    case FileMode::kCreateExclusive:
      h = Create(path, GENERIC_WRITE, kShareAll, CREATE_NEW, flags);
      created = h != INVALID_HANDLE_VALUE;
      return h;
    case FileMode::kCreateOrTruncate:
      return Create(path, GENERIC_WRITE, kShareAll, CREATE_ALWAYS, flags);
  }
  return INVALID_HANDLE_VALUE;
}

[[noreturn]] void FailLink(const std::string& path) {
  throw EInOutError(SymbolicLinkRefusedText(path), static_cast<int>(ERROR_CANT_ACCESS_FILE));
}

// For exclusive creation: ERR says that the name is taken. A directory of
// that name is reported as no access; it takes the name all the same.
bool NameTaken(DWORD err, const std::string& path) {
  if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) return true;
  return err == ERROR_ACCESS_DENIED &&
         ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Seek(HANDLE h, std::int64_t offset, DWORD from, const std::string& path) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  if (!::SetFilePointerEx(h, distance, nullptr, from)) ThrowLastError(path);
}

// PATH opened in MODE with the extra FLAGS; INVALID_HANDLE_VALUE only when
// exclusive creation finds the name taken, any other failure raises. With
// FILE_FLAG_OPEN_REPARSE_POINT a link opened as itself is refused.
HANDLE OpenChecked(const std::string& path, FileMode mode, DWORD flags, bool& created) {
  HANDLE h = OpenHandle(path, mode, flags, created);
  if (h == INVALID_HANDLE_VALUE) {
    // A directory fails for reading with ERROR_ACCESS_DENIED already.
    const DWORD err = ::GetLastError();
    if (mode == FileMode::kCreateExclusive && NameTaken(err, path)) return INVALID_HANDLE_VALUE;
    Fail(err, path);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0 && ::GetFileInformationByHandle(h, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    ::CloseHandle(h);
    FailLink(path);
  }
  // Devices and pipes ("CON", "\\.\pipe\x") are not files to read.
  if ((mode == FileMode::kRead || mode == FileMode::kUpdateOrCreate || IsAppending(mode)) &&
      ::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    Fail(ERROR_ACCESS_DENIED, path);
  }
  return h;
}

}  // namespace

bool FileExists(const std::string& path) {
  const DWORD attr = ::GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void CreateEmptyFile(const std::string& path) {
  // OPEN_ALWAYS creates a missing file and leaves an existing one as it is.
  HANDLE h = OpenWaiting(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
  if (!::CloseHandle(h)) ThrowLastError(path);
}

File::File(const std::string& path, FileMode mode) {
  if (!Open(path, mode)) Fail(ERROR_FILE_EXISTS, path);
}

File::~File() {
  if (IsOpen()) ::CloseHandle(Handle(handle_));
}

void File::Adopt(std::intptr_t handle, const std::string& path, FileMode mode) {
  if (IsOpen()) ::CloseHandle(Handle(handle_));
  handle_ = handle;
  path_ = path;
  mode_ = mode;
}

bool File::Open(const std::string& path, FileMode mode) {
  bool created = false;
  HANDLE h = OpenChecked(path, mode, 0, created);
  if (h == INVALID_HANDLE_VALUE) return false;
  Adopt(reinterpret_cast<std::intptr_t>(h), path, mode);
  created_ = created;
  return true;
}

bool File::OpenBelow(const std::string& root, std::string_view below, FileMode mode) {
  // The directories of BELOW, from ROOT down: none may be a reparse point.
  // The file itself is opened as what it is, a link included, and refused
  // when it is one.
  std::string linked;
  const std::string path = win32::PathBelow(root, below, linked);
  if (!linked.empty()) FailLink(linked);
  bool created = false;
  HANDLE h = OpenChecked(path, mode, FILE_FLAG_OPEN_REPARSE_POINT, created);
  if (h == INVALID_HANDLE_VALUE) return false;
  Adopt(reinterpret_cast<std::intptr_t>(h), path, mode);
  created_ = created;
  return true;
}

bool File::OwnerTrusted() {
  return true;
}

std::int64_t File::Size() {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(Handle(handle_), &size)) ThrowLastError(path_);
  return size.QuadPart;
}

std::size_t File::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<char*>(buffer);
  std::size_t got = 0;
  while (got < count) {
    const DWORD chunk = static_cast<DWORD>(std::min(count - got, kMaxChunk));
    DWORD n = 0;
    if (!::ReadFile(Handle(handle_), out + got, chunk, &n, nullptr)) ThrowLastError(path_);
    if (n == 0) break;
    got += n;
  }
  return got;
}

std::string File::ReadAt(std::int64_t offset, std::size_t count) {
  // The position is left where it was, as POSIX pread leaves it: a Write
  // after the read lands where the caller put it, not behind what was read.
  LARGE_INTEGER zero{}, where{};
  if (!::SetFilePointerEx(Handle(handle_), zero, &where, FILE_CURRENT)) ThrowLastError(path_);
  Seek(Handle(handle_), offset, FILE_BEGIN, path_);
  std::string data(count, '\0');
  data.resize(Read(data.data(), count));
  Seek(Handle(handle_), where.QuadPart, FILE_BEGIN, path_);
  return data;
}

void File::Write(std::string_view data) {
  if (IsAppending(mode_)) Seek(Handle(handle_), 0, FILE_END, path_);
  while (!data.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min(data.size(), kMaxChunk));
    DWORD n = 0;
    if (!::WriteFile(Handle(handle_), data.data(), chunk, &n, nullptr)) ThrowLastError(path_);
    // Nothing written without an error: the medium has no room left.
    if (n == 0) Fail(ERROR_DISK_FULL, path_);
    data.remove_prefix(n);
  }
}

void File::Truncate(std::int64_t size) {
  Seek(Handle(handle_), size, FILE_BEGIN, path_);
  if (!::SetEndOfFile(Handle(handle_))) ThrowLastError(path_);
}

void File::Sync() {
  if (!::FlushFileBuffers(Handle(handle_))) ThrowLastError(path_);
}

void File::Close() {
  HANDLE h = Handle(handle_);
  handle_ = kNoHandle;
  if (h != INVALID_HANDLE_VALUE && !::CloseHandle(h)) ThrowLastError(path_);
}

bool File::Remove(const std::string& path) {
  if (::DeleteFileA(path.c_str())) return true;
  const DWORD err = ::GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return false;
  Fail(err, path);
}

}  // namespace brnet::sys
