#include "sys/BinaryFile.h"

#include <windows.h>

#include <algorithm>

#include "sys/Error.h"

namespace brnet::sys {
namespace {

HANDLE Handle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

[[noreturn]] void Fail(DWORD err, const std::string& path) {
  throw EInOutError(IoErrorText(static_cast<int>(err), path), static_cast<int>(err));
}

HANDLE Create(const std::string& path, DWORD access, DWORD disposition) {
  return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

BinaryFile::~BinaryFile() {
  if (handle_ >= 0) ::CloseHandle(Handle(handle_));
}

void BinaryFile::Adopt(std::intptr_t handle, const std::string& path) {
  if (handle_ >= 0) ::CloseHandle(Handle(handle_));
  handle_ = handle;
  path_ = path;
}

void BinaryFile::OpenRead(const std::string& path) {
  // A directory fails here with ERROR_ACCESS_DENIED already.
  HANDLE h = Create(path, GENERIC_READ, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) ThrowLastError(path);
  // Devices and pipes ("CON", "\\.\pipe\x") are not files to read.
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    Fail(ERROR_ACCESS_DENIED, path);
  }
  Adopt(reinterpret_cast<std::intptr_t>(h), path);
}

bool BinaryFile::CreateExclusive(const std::string& path) {
  HANDLE h = Create(path, GENERIC_WRITE, CREATE_NEW);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) return false;
    // A directory of that name is reported as no access; it takes the name
    // all the same.
    if (err == ERROR_ACCESS_DENIED &&
        ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      return false;
    }
    Fail(err, path);
  }
  Adopt(reinterpret_cast<std::intptr_t>(h), path);
  return true;
}

void BinaryFile::CreateTruncate(const std::string& path) {
  HANDLE h = Create(path, GENERIC_WRITE, CREATE_ALWAYS);
  if (h == INVALID_HANDLE_VALUE) ThrowLastError(path);
  Adopt(reinterpret_cast<std::intptr_t>(h), path);
}

std::size_t BinaryFile::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<char*>(buffer);
  std::size_t got = 0;
  while (got < count) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - got, 1u << 30));
    DWORD n = 0;
    if (!::ReadFile(Handle(handle_), out + got, chunk, &n, nullptr)) ThrowLastError(path_);
    if (n == 0) break;
    got += n;
  }
  return got;
}

void BinaryFile::Write(std::string_view data) {
  while (!data.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(Handle(handle_), data.data(), chunk, &n, nullptr)) ThrowLastError(path_);
    // Nothing written without an error: the medium has no room left.
    if (n == 0) Fail(ERROR_DISK_FULL, path_);
    data.remove_prefix(n);
  }
}

void BinaryFile::Close() {
  HANDLE h = Handle(handle_);
  handle_ = -1;
  if (h != INVALID_HANDLE_VALUE && !::CloseHandle(h)) ThrowLastError(path_);
}

bool BinaryFile::Remove(const std::string& path) {
  if (::DeleteFileA(path.c_str())) return true;
  const DWORD err = ::GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return false;
  Fail(err, path);
}

}  // namespace brnet::sys
