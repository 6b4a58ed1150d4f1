// The text form of the POSIX registry hive: the REGEDIT4 layout that
// Windows users know, one file for HKEY_CURRENT_USER.
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Far\Plugins\Quorral\Sendrel]
//   "DestAddr"="2:5020/1234"
//   "Flavor"=dword:00000001
//
// In quoted texts "\\" is a backslash, "\"" a quote and "\xHH" any byte
// below 0x20 or 0x7F; other bytes stand as they are. Blank lines and lines
// starting with ";" are ignored. A file that does not follow this layout
// throughout is refused as a whole.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sys/Registry.h"

namespace brnet::sys::regfile {

inline constexpr std::string_view kHeader = "REGEDIT4";
inline constexpr std::string_view kHive = "HKEY_CURRENT_USER";
// A hive larger than this is not ours.
inline constexpr std::size_t kMaxFileSize = 1 << 20;

struct Value {
  std::string name;
  RegValue value;
};

struct Key {
  std::string path;  // below the hive, without a leading "\"
  std::vector<Value> values;
};

struct Hive {
  std::vector<Key> keys;

  // The key PATH itself, or null.
  const Key* FindKey(std::string_view path) const;
  // True when PATH is a key or a parent of one.
  bool HasKey(std::string_view path) const;
  Key& AddKey(std::string_view path);
  static const Value* FindValue(const Key& key, std::string_view name);
  static void SetValue(Key& key, std::string_view name, RegValue value);
};

// ASCII case-insensitive equality, as the registry compares names.
bool SameName(std::string_view a, std::string_view b);

// A key path split into its names, or nothing when a name is empty or holds
// a control character.
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path);

// The hive in TEXT, or nothing when TEXT is damaged or not a hive file.
std::optional<Hive> Parse(std::string_view text);

// The file text of HIVE; Parse gives HIVE back from it.
std::string Format(const Hive& hive);

}  // namespace brnet::sys::regfile
