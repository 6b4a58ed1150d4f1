// The registry, shaped after the Windows one, for the plug-in side (the
// sendrel plug-in and the host that runs it); never part of brnet32.
//
// Only HKEY_CURRENT_USER is offered, with text (REG_SZ) and 32-bit number
// (REG_DWORD) values. Key paths are "\"-separated ("Software\Far\Plugins"),
// key and value names compare without regard to ASCII case. Nothing here
// throws: a key that cannot be opened, a value that cannot be read and a
// write that cannot be made are plain results.
//
// On POSIX the hive is a human-readable file per user (see the POSIX half).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace brnet::sys {

enum class RegType { String, Dword };  // REG_SZ, REG_DWORD

// A value as stored: a text with its terminating NUL, or four bytes of a
// number, least significant first.
struct RegValue {
  RegType type;
  std::string data;
};

class RegKey {
 public:
  // An existing key, for querying values; nothing when it does not exist
  // or the hive cannot be read.
  static std::optional<RegKey> Open(std::string_view path);
  // A key for writing values, made with its parents when missing; nothing
  // when the hive cannot be written.
  static std::optional<RegKey> Create(std::string_view path);

  RegKey(RegKey&& other) noexcept;
  RegKey& operator=(RegKey&& other) noexcept;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey();

  // The value NAME, or nothing when it is missing or unreadable.
  std::optional<RegValue> Query(std::string_view name) const;
  // Store a value; false when it could not be written. Writing is atomic:
  // the hive holds either the old value or the new one.
  bool SetString(std::string_view name, std::string_view text);
  bool SetDword(std::string_view name, std::uint32_t value);

 private:
  RegKey(std::string path, std::uintptr_t handle) : path_(std::move(path)), handle_(handle) {}
  void Close();

  std::string path_;
  std::uintptr_t handle_ = 0;  // the platform's key handle where it has one
};

// The text of a REG_SZ value up to its NUL, if VALUE is one.
inline std::optional<std::string> RegText(const std::optional<RegValue>& value) {
  if (!value || value->type != RegType::String) return std::nullopt;
  return value->data.substr(0, value->data.find('\0'));
}

// The number of a REG_DWORD value, if VALUE is one.
inline std::optional<std::uint32_t> RegDword(const std::optional<RegValue>& value) {
  if (!value || value->type != RegType::Dword || value->data.size() != 4) return std::nullopt;
  std::uint32_t n = 0;
  for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(value->data[i]);
  return n;
}

// Moving hands the open key over; the platform half only opens and closes.
inline RegKey::RegKey(RegKey&& other) noexcept
    : path_(std::move(other.path_)), handle_(other.handle_) {
  other.handle_ = 0;
}

inline RegKey& RegKey::operator=(RegKey&& other) noexcept {
  if (this != &other) {
    Close();
    path_ = std::move(other.path_);
    handle_ = other.handle_;
    other.handle_ = 0;
  }
  return *this;
}

inline RegKey::~RegKey() {
  Close();
}

}  // namespace brnet::sys
