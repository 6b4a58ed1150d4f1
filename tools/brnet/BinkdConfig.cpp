// binkd's configuration, read the way binkd reads it, for the few keywords
// brnet needs.
#include "BinkdConfig.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <memory>

#include "addr/FidoAddr.h"
#include "sys/Path.h"
#include "util/Ascii.h"

namespace brnet::cli {
namespace {

// binkd gives up on includes nested deeper than this.
constexpr int kMaxIncludeDepth = 8;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool EndsLine(char c) {
  return c == '\r' || c == '\n';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The character an escape names; POS is just after the backslash and ends
// after the escape. A backslash at the end of the line names nothing.
std::optional<char> Escape(std::string_view line, std::size_t& pos) {
  if (pos >= line.size()) return std::nullopt;
  const char c = line[pos];
  unsigned value = 0;
  if (IsDigit(c)) {
    // binkd reads every digit of the run, each as an octal one.
    while (pos < line.size() && IsDigit(line[pos])) value = value * 8 + (line[pos++] - '0');
    return static_cast<char>(value & 0xFF);
  }
  if (c == 'x' || c == 'X') {
    ++pos;
    while (pos < line.size() && HexDigitValue(line[pos]) >= 0) {
      value = value * 16 + static_cast<unsigned>(HexDigitValue(line[pos++]));
    }
    return static_cast<char>(value & 0xFF);
  }
  ++pos;
  switch (c) {
    case 'a':
      return '\a';
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    case 'E':
      return '\033';
    default:
      return c;
  }
}

// One word from POS (at its first character); POS ends after it.
std::string Word(std::string_view line, std::size_t& pos) {
  const bool quoted = line[pos] == '"';
  if (quoted) ++pos;
  std::string word;
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == '\\') {
      ++pos;
      if (auto escaped = Escape(line, pos)) word += *escaped;
      continue;
    }
    if (EndsLine(c)) {
      pos = line.size();
      break;
    }
    if (!quoted && (IsBlank(c) || c == '#')) break;
    if (quoted && c == '"' &&
        (pos + 1 == line.size() || IsBlank(line[pos + 1]) || EndsLine(line[pos + 1]))) {
      ++pos;
      break;
    }
    word += c;
    ++pos;
  }
  // A NUL made by an escape ends the text, as in binkd's C strings.
  return word.substr(0, word.find('\0'));
}

std::string Where(const std::string& fileName, int lineNo) {
  return fileName + ":" + std::to_string(lineNo) + ": ";
}

std::string Absolute(const std::string& name, const std::string& configFile) {
  const std::string base = ExtractDir(configFile);
  std::string full = sys::JoinToDir(name, base.empty() ? sys::CurrentDirectory() : base);
  return full.empty() ? name : full;
}

class Parser {
 public:
  Parser(BinkdConfig& config, const BinkdIncludeReader& read) : config_(config), read_(read) {}

  void File(std::string_view text, const std::string& fileName, int depth) {
    int lineNo = 0;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      Line(BinkdWords(text.substr(start, end - start)), fileName, ++lineNo, depth);
      start = end + 1;
    }
  }

 private:
  void Line(const std::vector<std::string>& words, const std::string& fileName, int lineNo,
            int depth) {
    if (words.empty()) return;
    const std::string key = ToAsciiLower(words[0]);
    if (key == "include") {
      Include(words, fileName, lineNo, depth);
    } else if (key == "address") {
      config_.Addresses.insert(config_.Addresses.end(), words.begin() + 1, words.end());
    } else if (key == "domain") {
      Domain(words, fileName, lineNo);
    } else if (key == "filebox") {
      if (words.size() < 2 || words[1].empty()) {
        throw EConfigError(Where(fileName, lineNo) + "filebox without a directory");
      }
      config_.FileBox = words[1];
      if (words[1][0] != '/') config_.FileBoxRelativeAt = Where(fileName, lineNo);
    } else if (key == "node" || key == "defnode") {
      Node(words, Where(fileName, lineNo));
    } else if (key == "kill-old-bsy" && words.size() > 1) {
      config_.KillOldBsy = Seconds(words[1]);
    }
  }

  // node ADDRESS [-OPTION...] [HOSTS [PASSWORD ...]]; defnode the same
  // without the address. No host word: binkd looks the node up in DNS.
  void Node(const std::vector<std::string>& words, const std::string& where) {
    const bool def = ToAsciiLower(words[0]) == "defnode";
    std::size_t i = def ? 1 : 2;
    if (!def && words.size() < 2) return;
    while (i < words.size() && words[i].size() > 1 && words[i][0] == '-') ++i;
    const std::string hosts = i < words.size() ? words[i] : "*";
    if (def) {
      config_.DefNode = true;
      config_.DefNodeHosts = hosts;
    } else {
      config_.Nodes.push_back({words[1], hosts, where});
    }
  }

  // binkd's times: a number of seconds, or with s, m, h or d after it.
  static std::int64_t Seconds(const std::string& text) {
    std::int64_t n = 0;
    std::size_t i = 0;
    for (; i < text.size() && i < 9 && IsDigit(text[i]); ++i) n = n * 10 + (text[i] - '0');
    const char unit = i < text.size() ? static_cast<char>(text[i] | 0x20) : 's';
    return n * (unit == 'm' ? 60 : unit == 'h' ? 3600 : unit == 'd' ? 86400 : 1);
  }

  void Include(const std::vector<std::string>& words, const std::string& fileName, int lineNo,
               int depth) {
    if (words.size() < 2 || words[1].empty()) {
      throw EConfigError(Where(fileName, lineNo) + "include without a file name");
    }
    if (depth >= kMaxIncludeDepth) {
      throw EConfigError(Where(fileName, lineNo) + "includes nested deeper than " +
                         std::to_string(kMaxIncludeDepth) + " levels");
    }
    const std::string path = Absolute(words[1], fileName);
    std::string message;
    const std::optional<std::string> text = read_(path, message);
    if (!text) {
      config_.Skipped.push_back(Where(fileName, lineNo) + "cannot read " + path + ": " + message);
      return;
    }
    File(*text, path, depth + 1);
  }

  void Domain(const std::vector<std::string>& words, const std::string& fileName, int lineNo) {
    const std::string where = Where(fileName, lineNo);
    if (words.size() < 3 || words[2].empty()) {
      throw EConfigError(where + "domain needs a name and a directory");
    }
    BinkdDomain domain;
    domain.Name = words[1];
    if (EqualsAsciiNoCase(words[2], "alias-for")) {
      // A word can be empty ("" or a NUL): an alias of nothing is no alias.
      if (words.size() < 4 || words[3].empty()) {
        throw EConfigError(where + "alias-for without a domain name");
      }
      domain.AliasFor = words[3];
    } else {
      domain.Path = words[2];
      if (words[2][0] != '/') domain.RelativeAt = where;
      if (words.size() < 4)
        throw EConfigError(where + "domain " + domain.Name + " has no default zone");
      domain.DefaultZone = ZoneNumber(words[3]);
      if (domain.DefaultZone == 0) {
        throw EConfigError(where + "domain " + domain.Name + ": default zone \"" + words[3] +
                           "\" is not a zone number");
      }
    }
    config_.Domains.push_back(std::move(domain));
  }

  // 1 to 32767, else 0.
  static int ZoneNumber(const std::string& text) {
    if (text.empty() || text.size() > 5) return 0;
    int zone = 0;
    for (char c : text) {
      if (!IsDigit(c)) return 0;
      zone = zone * 10 + (c - '0');
    }
    return zone <= 32767 ? zone : 0;
  }

  BinkdConfig& config_;
  const BinkdIncludeReader& read_;
};

const BinkdDomain* FindDomain(const std::vector<BinkdDomain>& domains, std::string_view name) {
  for (const BinkdDomain& d : domains) {
    if (EqualsAsciiNoCase(d.Name, name)) return &d;
  }
  return nullptr;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& message) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    message = std::strerror(errno);
    return std::nullopt;
  }
  std::string text;
  char buffer[8192];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
  if (std::ferror(file.get())) {
    message = std::strerror(errno);
    return std::nullopt;
  }
  return text;
}

}  // namespace

std::string WhyBinkdWillNotCall(const BinkdConfig& config, const TFidoAddr& addr) {
  const BinkdNode* found = nullptr;
  for (const BinkdNode& node : config.Nodes) {
    try {
      const TFidoAddr a = TFidoAddr::CreateFromText(node.Address, false);
      const bool domainsDiffer = !a.Domain.empty() && !addr.Domain.empty() &&
                                 !EqualsAsciiNoCase(a.Domain, addr.Domain);
      if (a.Zone == addr.Zone && a.Net == addr.Net && a.Node == addr.Node &&
          std::max<int>(a.Point, 0) == std::max<int>(addr.Point, 0) && !domainsDiffer) {
        found = &node;
      }
    } catch (const std::exception&) {
      // binkd refuses such a line itself.
    }
  }
  if (found != nullptr) {
    return found->Hosts == "-" ? found->At + "its node line has no host (\"-\"): binkd never calls it"
                               : std::string();
  }
  if (!config.DefNode) return "no node line for it and no defnode: binkd never calls it";
  return config.DefNodeHosts == "-" ? "no node line for it, and defnode has no host (\"-\")"
                                    : std::string();
}

std::string ExtractDir(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::vector<std::string> BinkdWords(std::string_view line) {
  std::vector<std::string> words;
  std::size_t pos = 0;
  for (;;) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || EndsLine(line[pos]) || line[pos] == '#') break;
    words.push_back(Word(line, pos));
  }
  return words;
}

BinkdConfig ParseBinkdConfig(std::string_view text, const std::string& fileName,
                             const BinkdIncludeReader& read) {
  BinkdConfig config;
  Parser(config, read).File(text, fileName, 0);
  return config;
}

BinkdConfig ReadBinkdConfig(const std::string& path) {
  std::string message;
  const std::optional<std::string> text = ReadWholeFile(path, message);
  if (!text) throw EConfigError(path + ": " + message);
  return ParseBinkdConfig(*text, path, ReadWholeFile);
}

BinkdSettings ResolveReadable(const BinkdConfig& config, const std::string& fileName);

const BinkdDomain* FindBinkdDomain(const std::vector<BinkdDomain>& domains, std::string_view name) {
  const BinkdDomain* domain = FindDomain(domains, name);
  for (std::size_t hops = 0; domain != nullptr && !domain->AliasFor.empty(); ++hops) {
    if (hops > domains.size()) {
      throw EConfigError("the aliases of the domain " + std::string(name) + " form a loop");
    }
    domain = FindDomain(domains, domain->AliasFor);
  }
  return domain;
}

BinkdSettings ResolveBinkdSettings(const BinkdConfig& config, const std::string& fileName) {
  try {
    return ResolveReadable(config, fileName);
  } catch (const EConfigError& e) {
    // What is missing may stand in an include that could not be read.
    if (config.Skipped.empty()) throw;
    throw EConfigError(std::string(e.what()) + "; " + config.Skipped.front());
  }
}

BinkdSettings ResolveReadable(const BinkdConfig& config, const std::string& fileName) {
  if (config.Addresses.empty()) throw EConfigError(fileName + ": no address line");
  const std::string& first = config.Addresses.front();
  TFidoAddr addr;
  try {
    addr = TFidoAddr::CreateFromText(first, false);
  } catch (const std::exception& e) {
    throw EConfigError(fileName + ": address " + first + ": " + e.what());
  }
  if (addr.Zone <= 0 || addr.Net < 0 || addr.Node < 0) {
    throw EConfigError(fileName + ": the address " + first + " does not give zone, net and node");
  }
  if (config.Domains.empty()) throw EConfigError(fileName + ": no domain line");
  const std::string domainName = addr.Domain.empty() ? config.Domains.front().Name : addr.Domain;
  const BinkdDomain* domain;
  try {
    domain = FindBinkdDomain(config.Domains, domainName);
  } catch (const EConfigError& e) {
    throw EConfigError(fileName + ": " + e.what());
  }
  if (domain == nullptr) {
    throw EConfigError(fileName + ": no domain line for the domain " + domainName +
                       " of the address " + first);
  }
  BinkdSettings settings;
  settings.MainAddress = addr.Domain.empty() ? first + "@" + domainName : first;
  settings.Domain = domain->Name;
  settings.Outbound = domain->Path;
  settings.DefaultZone = domain->DefaultZone;
  settings.FileBox = config.FileBox;
  settings.FileBoxRelativeAt = config.FileBoxRelativeAt;
  settings.RelativeAt = domain->RelativeAt;
  settings.Domains = config.Domains;
  settings.Skipped = config.Skipped;
  return settings;
}

}  // namespace brnet::cli
