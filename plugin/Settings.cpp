#include "Settings.h"

#include <stdexcept>

#include "sys/Registry.h"

namespace sendrel {

using brnet::sys::RegKey;

std::string PluginRootKey(std::string_view hostRootKey) {
  if (hostRootKey.empty()) hostRootKey = kDefaultHostRootKey;
  return std::string(hostRootKey) + "\\Quorral\\Sendrel";
}

std::string RegReadText(const std::string& key, std::string_view name, std::size_t bufSize,
                        std::string_view def) {
  if (auto k = RegKey::Open(key)) {
    auto text = brnet::sys::RegText(k->Query(name));
    if (text && text->size() + 1 <= bufSize) return *text;
  }
  return std::string(def);
}

std::int32_t RegReadNumber(const std::string& key, std::string_view name, std::int32_t def) {
  if (auto k = RegKey::Open(key)) {
    if (auto n = brnet::sys::RegDword(k->Query(name))) return static_cast<std::int32_t>(*n);
  }
  return def;
}

// A setting that could not be kept is reported (as a warning, at the host
// boundary), never dropped without a word.
[[noreturn]] void WriteFailed(const std::string& key, std::string_view name) {
  throw std::runtime_error("Cannot save the setting " + std::string(name) + " under " + key);
}

void RegWriteText(const std::string& key, std::string_view name, std::string_view text) {
  auto k = RegKey::Create(key);
  if (!k || !k->SetString(name, text)) WriteFailed(key, name);
}

void RegWriteNumber(const std::string& key, std::string_view name, std::int32_t value) {
  auto k = RegKey::Create(key);
  if (!k || !k->SetDword(name, static_cast<std::uint32_t>(value))) WriteFailed(key, name);
}

Settings ReadSettings(const std::string& rootKey) {
  Settings s;
  s.DestAddr = RegReadText(rootKey, "DestAddr", kAddrMaxLen + 1, "");
  s.Flavor = RegReadNumber(rootKey, "Flavor", 1);
  s.MainAddr = RegReadText(rootKey, "MainAddr", kAddrMaxLen + 1, "");
  s.OutbType = RegReadNumber(rootKey, "OutbType", 0);
  s.OutbPath = RegReadText(rootKey, "OutbPath", kPathMaxLen + 1, "");
  return s;
}

void SaveAttachSettings(const std::string& rootKey, const Settings& settings) {
  RegWriteText(rootKey, "DestAddr", settings.DestAddr);
  RegWriteNumber(rootKey, "Flavor", settings.Flavor);
}

void SaveConfigSettings(const std::string& rootKey, const Settings& settings) {
  RegWriteText(rootKey, "MainAddr", settings.MainAddr);
  RegWriteNumber(rootKey, "OutbType", settings.OutbType);
  RegWriteText(rootKey, "OutbPath", settings.OutbPath);
}

}  // namespace sendrel
