#include <windows.h>

#include <algorithm>
#include <string>

#include "sys/Error.h"
#include "sys/File.h"

namespace brnet::sys {
namespace {

// How long an open waits while another writer holds the file. A writer of
// this library holds it for one line only, so this is ample; a program that
// keeps the file locked for longer gets "File access denied".
constexpr ULONGLONG kShareWaitMs = 10000;

HANDLE Handle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// CreateFileA that waits its turn: a sharing violation means another writer
// has the file open right now, and it will let go after its line.
HANDLE OpenWaiting(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  const ULONGLONG deadline = ::GetTickCount64() + kShareWaitMs;
  DWORD pause = 1;
  for (;;) {
    HANDLE h = ::CreateFileA(path.c_str(), access, share, nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return h;
    const DWORD err = ::GetLastError();
    if (err != ERROR_SHARING_VIOLATION || ::GetTickCount64() >= deadline) {
      throw EInOutError(IoErrorText(static_cast<int>(err), path), static_cast<int>(err));
    }
    ::Sleep(pause);
    pause = std::min<DWORD>(pause * 2, 16);
  }
}

void Seek(HANDLE h, std::int64_t offset, DWORD from, const std::string& path) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  if (!::SetFilePointerEx(h, distance, nullptr, from)) ThrowLastError(path);
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

// Read and write access; others may read the file while it is open, but not
// write it (FILE_SHARE_READ only). Another AppendFile waits in OpenWaiting.
AppendFile::AppendFile(const std::string& path, bool create)
    : path_(path),
      handle_(reinterpret_cast<std::intptr_t>(OpenWaiting(path, GENERIC_READ | GENERIC_WRITE,
                                                          FILE_SHARE_READ,
                                                          create ? OPEN_ALWAYS : OPEN_EXISTING))) {}

AppendFile::~AppendFile() {
  if (Handle(handle_) != INVALID_HANDLE_VALUE) ::CloseHandle(Handle(handle_));
}

std::int64_t AppendFile::Size() {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(Handle(handle_), &size)) ThrowLastError(path_);
  return size.QuadPart;
}

std::string AppendFile::ReadAt(std::int64_t offset, std::size_t count) {
  Seek(Handle(handle_), offset, FILE_BEGIN, path_);
  std::string data(count, '\0');
  std::size_t got = 0;
  while (got < count) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - got, 1u << 30));
    DWORD n = 0;
    if (!::ReadFile(Handle(handle_), data.data() + got, chunk, &n, nullptr)) ThrowLastError(path_);
    if (n == 0) break;
    got += n;
  }
  data.resize(got);
  return data;
}

void AppendFile::Truncate(std::int64_t size) {
  Seek(Handle(handle_), size, FILE_BEGIN, path_);
  if (!::SetEndOfFile(Handle(handle_))) ThrowLastError(path_);
}

void AppendFile::Append(std::string_view data) {
  Seek(Handle(handle_), 0, FILE_END, path_);
  while (!data.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(Handle(handle_), data.data(), chunk, &n, nullptr)) ThrowLastError(path_);
    // Nothing written without an error: the medium has no room left.
    if (n == 0) throw EInOutError(RunErrorMessage(reDiskFull) + ": " + path_, ERROR_DISK_FULL);
    data.remove_prefix(n);
  }
}

void AppendFile::Close() {
  HANDLE h = Handle(handle_);
  handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
  if (!::CloseHandle(h)) ThrowLastError(path_);
}

}  // namespace brnet::sys
