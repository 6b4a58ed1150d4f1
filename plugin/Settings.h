// The plug-in's settings and where they live: five values in
// HKEY_CURRENT_USER\<host RootKey>\Quorral\Sendrel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sendrel {

// Longest texts the settings hold (the stored value must fit a buffer one
// larger, for its NUL).
constexpr std::size_t kAddrMaxLen = 29;
constexpr std::size_t kPathMaxLen = 259;

struct Settings {
  std::string DestAddr;       // last destination accepted in the attach dialog
  std::int32_t Flavor = 1;    // 0 Hold, 1 Normal, 2 Direct
  std::string MainAddr;       // the operator's own address
  std::int32_t OutbType = 0;  // 0 netmail, 1 Bink, 2 file boxes, 3 long file boxes
  std::string OutbPath;       // the one directory the outbound type needs
};

// The host root key farhost passes and brnet reads the plug-in's settings
// under; also the plug-in's own when a host passes none (far2l gives its
// FAR 1.x plug-ins an empty one), so that every host and brnet share them.
constexpr const char* kDefaultHostRootKey = "Software\\Far\\Plugins";

// The plug-in's key below the host's root key (kDefaultHostRootKey when
// HOSTROOTKEY is empty).
std::string PluginRootKey(std::string_view hostRootKey);

// Reads the five values; each missing, unreadable or too long value gives
// its default.
Settings ReadSettings(const std::string& rootKey);

// What the attach command keeps: "DestAddr" and "Flavor".
void SaveAttachSettings(const std::string& rootKey, const Settings& settings);
// What the configuration dialog keeps: "MainAddr", "OutbType", "OutbPath".
void SaveConfigSettings(const std::string& rootKey, const Settings& settings);

// The registry rules of the plug-in, one value at a time. A text is read as
// into a buffer of BUFSIZE bytes: a value that does not fit with its NUL
// reads as DEFAULT. Writes ignore failures.
std::string RegReadText(const std::string& key, std::string_view name, std::size_t bufSize,
                        std::string_view def);
std::int32_t RegReadNumber(const std::string& key, std::string_view name, std::int32_t def);
void RegWriteText(const std::string& key, std::string_view name, std::string_view text);
void RegWriteNumber(const std::string& key, std::string_view name, std::int32_t value);

}  // namespace sendrel
