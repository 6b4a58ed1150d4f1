// HKEY_CURRENT_USER on Windows: the system registry itself. Open asks only
// for reading, so the system refuses writes through such a key, as the POSIX
// half does; Create makes the key with its parents and may write.
#include <windows.h>

#include <string>

#include "sys/Registry.h"

namespace brnet::sys {
namespace {

// Our key paths are "\"-separated names, none empty; the registry would
// quietly accept some forms we refuse elsewhere ("A\\B", a leading "\").
bool ValidKeyPath(std::string_view path) {
  if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
  if (path.find("\\\\") != std::string_view::npos) return false;
  for (char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  return true;
}

HKEY AsHkey(std::uintptr_t handle) {
  return reinterpret_cast<HKEY>(handle);
}

bool SetValue(std::uintptr_t handle, std::string_view name, DWORD type, const std::string& data) {
  if (handle == 0) return false;
  const std::string valueName(name);
  return ::RegSetValueExA(AsHkey(handle), valueName.c_str(), 0, type,
                          reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

}  // namespace

std::optional<RegKey> RegKey::Open(std::string_view path) {
  if (!ValidKeyPath(path)) return std::nullopt;
  HKEY key = nullptr;
  const std::string subKey(path);
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return RegKey(subKey, reinterpret_cast<std::uintptr_t>(key));
}

std::optional<RegKey> RegKey::Create(std::string_view path) {
  if (!ValidKeyPath(path)) return std::nullopt;
  HKEY key = nullptr;
  const std::string subKey(path);
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return RegKey(subKey, reinterpret_cast<std::uintptr_t>(key));
}

void RegKey::Close() {
  if (handle_ != 0) ::RegCloseKey(AsHkey(handle_));
  handle_ = 0;
}

std::optional<RegValue> RegKey::Query(std::string_view name) const {
  if (handle_ == 0) return std::nullopt;
  const std::string valueName(name);
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(AsHkey(handle_), valueName.c_str(), nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  // The value may change size between the two calls: ask again while the
  // registry says the buffer is short.
  std::string data;
  LONG rc;
  do {
    data.resize(size);
    rc = ::RegQueryValueExA(AsHkey(handle_), valueName.c_str(), nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &size);
  } while (rc == ERROR_MORE_DATA);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  data.resize(size);
  if (type == REG_DWORD && data.size() == 4) return RegValue{RegType::Dword, std::move(data)};
  if (type == REG_SZ) {
    // A text stored without its NUL reads as one that has it.
    if (data.empty() || data.back() != '\0') data += '\0';
    return RegValue{RegType::String, std::move(data)};
  }
  return std::nullopt;  // a type this interface does not offer
}

bool RegKey::SetString(std::string_view name, std::string_view text) {
  std::string data(text.substr(0, text.find('\0')));
  data += '\0';
  return SetValue(handle_, name, REG_SZ, data);
}

bool RegKey::SetDword(std::string_view name, std::uint32_t value) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return SetValue(handle_, name, REG_DWORD, data);
}

}  // namespace brnet::sys
