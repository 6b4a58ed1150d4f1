#include "LangFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "Text.h"
#include "sys/HostFs.h"
#include "sys/Path.h"
#include "util/Ascii.h"

namespace farhost {
namespace {

// What the escape "\E" stands for, or nothing for an unknown E.
const char* EscapedChar(char e) {
  switch (e) {
    case '\\':
      return "\\";
    case '"':
      return "\"";
    case 'n':
      return "\n";
    case 'r':
      return "\r";
    case 'b':
      return "\b";
    case 't':
      return "\t";
    default:
      return nullptr;
  }
}

// A message's text between its quotes: "" is a quote, "\" escapes as in C;
// a backslash before anything else stays as it is.
std::string Unescape(std::string_view body) {
  std::string out;
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    const bool more = i + 1 < body.size();
    if (c == '"' && more && body[i + 1] == '"') {
      out += '"';
      ++i;
    } else if (const char* mapped = c == '\\' && more ? EscapedChar(body[i + 1]) : nullptr) {
      out += mapped;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::string LanguageOf(std::string_view line) {
  constexpr std::string_view kTag = ".Language";
  if (line.size() < kTag.size() || !brnet::EqualsAsciiNoCase(line.substr(0, kTag.size()), kTag))
    return {};
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  std::string_view rest = line.substr(eq + 1);
  return Trim(rest.substr(0, rest.find(',')));
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

LangFile ParseLangFile(std::string_view text) {
  LangFile file;
  bool inContents = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t b = line.find_first_not_of(" \t");
    if (b == std::string_view::npos) continue;
    line.remove_prefix(b);
    const std::size_t e = line.find_last_not_of(" \t\r\n");
    line = line.substr(0, e + 1);
    if (line.front() == '"') {
      std::string_view body = line.substr(1);
      if (!body.empty() && body.back() == '"') body.remove_suffix(1);
      file.messages.push_back(Unescape(body));
    } else if (!inContents && file.language.empty()) {
      if (line.rfind("@Contents", 0) == 0) inContents = true;
      file.language = LanguageOf(line);
    }
  }
  return file;
}

std::optional<LangFile> FindLangFile(const std::string& dir, std::string_view language) {
  std::vector<std::string> all, names;
  std::string why;
  if (!brnet::sys::host::ListNames(dir, all, why)) return std::nullopt;
  for (const std::string& name : all) {
    if (name.size() > 4 && brnet::EqualsAsciiNoCase(name.substr(name.size() - 4), ".lng"))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::optional<LangFile> english, last;
  for (const std::string& name : names) {
    const std::string path = brnet::sys::JoinPath(dir, name);
    LangFile f = ParseLangFile(ReadAll(path));
    f.path = path;
    if (brnet::EqualsAsciiNoCase(f.language, language)) return f;
    if (!english && brnet::EqualsAsciiNoCase(f.language, "English")) english = f;
    last = std::move(f);
  }
  return english ? english : last;
}

}  // namespace farhost
