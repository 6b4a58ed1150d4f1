#include "sys/posix/host/RegFile.h"

#include <algorithm>
#include <cstdint>

#include "util/Ascii.h"

namespace brnet::sys::regfile {
namespace {

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == '\\' || ch == '"') {
      out += '\\';
      out += ch;
    } else if (IsControl(c)) {
      out += "\\x";
      out += HexDigit(c >> 4);
      out += HexDigit(c);
    } else {
      out += ch;
    }
  }
  out += '"';
  return out;
}

// Reads a quoted text at the start of LINE; POS is left after the closing
// quote. Nothing when the text is not well formed.
std::optional<std::string> Unquote(std::string_view line, std::size_t& pos) {
  if (pos >= line.size() || line[pos] != '"') return std::nullopt;
  std::string out;
  for (++pos; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (IsControl(static_cast<unsigned char>(c))) return std::nullopt;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++pos >= line.size()) return std::nullopt;
    const char e = line[pos];
    if (e == '\\' || e == '"') {
      out += e;
    } else if (e == 'x' && pos + 2 < line.size() && HexDigitValue(line[pos + 1]) >= 0 &&
               HexDigitValue(line[pos + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(line[pos + 1]) * 16 + HexDigitValue(line[pos + 2]));
      pos += 2;
    } else {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::string DwordData(std::uint32_t v) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return data;
}

std::optional<std::uint32_t> ParseDword(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::uint32_t v = 0;
  for (char c : text) {
    const int d = HexDigitValue(c);
    if (d < 0) return std::nullopt;
    v = v * 16 + static_cast<std::uint32_t>(d);
  }
  return v;
}

// "[HKEY_CURRENT_USER\path]" gives path.
std::optional<std::string> ParseSection(std::string_view line) {
  if (line.size() < 2 || line.back() != ']') return std::nullopt;
  std::string_view inner = line.substr(1, line.size() - 2);
  if (inner.size() <= kHive.size() + 1 || !SameName(inner.substr(0, kHive.size()), kHive) ||
      inner[kHive.size()] != '\\') {
    return std::nullopt;
  }
  std::string_view path = inner.substr(kHive.size() + 1);
  if (!SplitKeyPath(path)) return std::nullopt;
  return std::string(path);
}

std::optional<Value> ParseValueLine(std::string_view line) {
  std::size_t pos = 0;
  auto name = Unquote(line, pos);
  if (!name || pos >= line.size() || line[pos] != '=') return std::nullopt;
  ++pos;
  std::string_view rest = line.substr(pos);
  if (!rest.empty() && rest.front() == '"') {
    std::size_t p = 0;
    auto text = Unquote(rest, p);
    if (!text || p != rest.size() || text->find('\0') != std::string::npos) return std::nullopt;
    return Value{*name, RegValue{RegType::String, *text + '\0'}};
  }
  constexpr std::string_view kDword = "dword:";
  if (rest.size() > kDword.size() && SameName(rest.substr(0, kDword.size()), kDword)) {
    auto v = ParseDword(rest.substr(kDword.size()));
    if (!v) return std::nullopt;
    return Value{*name, RegValue{RegType::Dword, DwordData(*v)}};
  }
  return std::nullopt;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  return EqualsAsciiNoCase(a, b);
}

std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = path.find('\\', start);
    std::string_view name =
        path.substr(start, end == std::string_view::npos ? path.npos : end - start);
    if (name.empty()) return std::nullopt;
    for (char c : name) {
      if (IsControl(static_cast<unsigned char>(c))) return std::nullopt;
    }
    names.emplace_back(name);
    if (end == std::string_view::npos) return names;
    start = end + 1;
  }
}

const Key* Hive::FindKey(std::string_view path) const {
  for (const Key& key : keys) {
    if (SameName(key.path, path)) return &key;
  }
  return nullptr;
}

bool Hive::HasKey(std::string_view path) const {
  for (const Key& key : keys) {
    if (SameName(key.path, path)) return true;
    if (key.path.size() > path.size() && key.path[path.size()] == '\\' &&
        SameName(std::string_view(key.path).substr(0, path.size()), path)) {
      return true;
    }
  }
  return false;
}

Key& Hive::AddKey(std::string_view path) {
  for (Key& key : keys) {
    if (SameName(key.path, path)) return key;
  }
  keys.push_back(Key{std::string(path), {}});
  return keys.back();
}

const Value* Hive::FindValue(const Key& key, std::string_view name) {
  for (const Value& v : key.values) {
    if (SameName(v.name, name)) return &v;
  }
  return nullptr;
}

void Hive::SetValue(Key& key, std::string_view name, RegValue value) {
  for (Value& v : key.values) {
    if (SameName(v.name, name)) {
      v.value = std::move(value);
      return;
    }
  }
  key.values.push_back(Value{std::string(name), std::move(value)});
}

std::optional<Hive> Parse(std::string_view text) {
  if (text.size() > kMaxFileSize) return std::nullopt;
  Hive hive;
  Key* current = nullptr;
  bool headerSeen = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == ';') continue;
    if (!headerSeen) {
      if (line != kHeader) return std::nullopt;
      headerSeen = true;
    } else if (line.front() == '[') {
      auto path = ParseSection(line);
      if (!path) return std::nullopt;
      current = &hive.AddKey(*path);
    } else {
      auto value = ParseValueLine(line);
      if (!value || current == nullptr) return std::nullopt;
      Hive::SetValue(*current, value->name, std::move(value->value));
    }
  }
  if (!headerSeen) return std::nullopt;
  return hive;
}

std::string Format(const Hive& hive) {
  std::string out(kHeader);
  out += "\n";
  for (const Key& key : hive.keys) {
    out += "\n[";
    out += kHive;
    out += '\\';
    out += key.path;
    out += "]\n";
    for (const Value& v : key.values) {
      out += Quote(v.name);
      out += '=';
      if (v.value.type == RegType::String) {
        // A text ends at its first NUL, as the registry's readers see it.
        std::string_view text = v.value.data;
        out += Quote(text.substr(0, text.find('\0')));
      } else {
        std::uint32_t n = 0;
        for (std::size_t i = 0; i < 4 && i < v.value.data.size(); ++i) {
          n |= static_cast<std::uint32_t>(static_cast<unsigned char>(v.value.data[i])) << (8 * i);
        }
        out += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) out += ToAsciiLower(HexDigit(n >> shift));
      }
      out += '\n';
    }
  }
  return out;
}

}  // namespace brnet::sys::regfile
