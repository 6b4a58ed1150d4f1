// binkd's configuration, read the way binkd reads it, for the few keywords
// brnet needs.
#include "BinkdConfig.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <memory>

#include "addr/FidoAddr.h"
#include "sys/Error.h"
#include "sys/FileSystem.h"
#include "sys/Path.h"
#include "util/Ascii.h"

namespace brnet::cli {
namespace {

// binkd gives up on includes nested deeper than this.
constexpr int kMaxIncludeDepth = 8;
// What all includes of one configuration may add up to: a few files in
// practice; ten per level over eight levels would be a hundred million.
constexpr int kMaxIncludedFiles = 256;
constexpr std::size_t kMaxIncludedBytes = 8u << 20;

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
    } else if (key == "node" || key == "defnode") {
      Node(words, key == "defnode", Where(fileName, lineNo));
    } else if (key == "filebox") {
      if (words.size() < 2 || words[1].empty()) {
        throw EConfigError(Where(fileName, lineNo) + "filebox without a directory");
      }
      config_.FileBox = words[1];
      if (words[1][0] != '/') config_.FileBoxRelativeAt = Where(fileName, lineNo);
    } else if (key == "kill-old-bsy") {
      const std::int64_t seconds = words.size() == 2 ? ParseBinkdTime(words[1]) : -1;
      if (seconds < 0) {
        throw EConfigError(Where(fileName, lineNo) +
                           "kill-old-bsy needs one time such as 43200, 12h or 1d12h");
      }
      config_.KillOldBsy = seconds;
    }
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
    if (++includedFiles_ > kMaxIncludedFiles) {
      throw EConfigError(Where(fileName, lineNo) + "more than " +
                         std::to_string(kMaxIncludedFiles) + " files included in all");
    }
    std::string message;
    const std::optional<std::string> text = read_(path, message);
    if (!text) {
      config_.Skipped.push_back(Where(fileName, lineNo) + "cannot read " + path + ": " + message);
      return;
    }
    includedBytes_ += text->size();
    if (includedBytes_ > kMaxIncludedBytes) {
      throw EConfigError(Where(fileName, lineNo) + "includes add up to more than " +
                         std::to_string(kMaxIncludedBytes) + " bytes");
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

  // node ADDRESS [-OPTION...] [HOSTS [PASSWORD ...]]; defnode without the
  // address. -pipe takes the command as its argument.
  void Node(const std::vector<std::string>& words, bool isDefault, const std::string& where) {
    BinkdNode node;
    node.At = where;
    std::size_t i = 1;
    if (!isDefault) {
      if (words.size() < 2) return;
      node.Address = words[i++];
    }
    for (; i < words.size() && words[i].size() > 1 && words[i][0] == '-'; ++i) {
      if (EqualsAsciiNoCase(words[i], "-pipe")) ++i;
    }
    if (i < words.size()) node.Hosts = words[i];
    if (isDefault) {
      config_.DefNode = node;
    } else {
      config_.Nodes.push_back(std::move(node));
    }
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
  int includedFiles_ = 0;
  std::size_t includedBytes_ = 0;
};

const BinkdDomain* FindDomain(const std::vector<BinkdDomain>& domains, std::string_view name) {
  for (const BinkdDomain& d : domains) {
    if (EqualsAsciiNoCase(d.Name, name)) return &d;
  }
  return nullptr;
}

// A configuration file: an ordinary file of at most a megabyte, opened
// without blocking (a FIFO named by an include would hang the read).
std::optional<std::string> ReadConfigFile(const std::string& path, std::string& message) {
  try {
    return sys::ReadWholeFile(path, sys::kMaxConfigFileBytes);
  } catch (const EInOutError& e) {
    struct stat st {};
    const bool odd =
        e.ErrorCode() == EACCES && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
    message = e.ErrorCode() == EFBIG ? std::string(e.what())
              : odd ? (S_ISDIR(st.st_mode) ? "Is a directory" : "not an ordinary file")
                    : sys::SystemErrorMessage(e.ErrorCode());
    return std::nullopt;
  }
}

}  // namespace

std::string ExtractDir(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::int64_t ParseBinkdTime(std::string_view text) {
  if (text.empty() || text.size() > 20) return -1;
  std::int64_t total = 0;
  std::int64_t number = -1;
  int digits = 0;
  for (char c : text) {
    if (IsDigit(c)) {
      // Nine digits a part: no sum of parts can overflow.
      if (++digits > 9) return -1;
      number = (number < 0 ? 0 : number * 10) + (c - '0');
      continue;
    }
    digits = 0;
    const char unit = ToAsciiLower(c);
    const std::int64_t scale = unit == 'w'   ? 7 * 86400
                               : unit == 'd' ? 86400
                               : unit == 'h' ? 3600
                               : unit == 'm' ? 60
                               : unit == 's' ? 1
                                             : 0;
    if (number < 0 || scale == 0) return -1;
    total += number * scale;
    number = -1;
  }
  return number < 0 ? total : total + number;
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
  const std::optional<std::string> text = ReadConfigFile(path, message);
  if (!text) throw EConfigError(path + ": " + message);
  return ParseBinkdConfig(*text, path, ReadConfigFile);
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
  settings.KillOldBsy = config.KillOldBsy;
  settings.Addresses = config.Addresses;
  settings.Nodes = config.Nodes;
  settings.DefNode = config.DefNode;
  return settings;
}

namespace {

// ADDR with its domain: as written, else the one binkd picks for its zone.
std::string DomainOf(const BinkdSettings& binkd, const TFidoAddr& addr) {
  return addr.Domain.empty() ? BinkdDomainOfZone(binkd, addr.Zone) : addr.Domain;
}

// TEXT, an address of a node line, with the parts it leaves out taken from
// the main address, as binkd reads it; none when it is no address.
std::optional<TFidoAddr> NodeAddress(const BinkdSettings& binkd, const std::string& text) {
  // Parsed against no main address: the command's may name another zone.
  struct NoMain {
    const TFidoAddr* saved = MainAddress();
    NoMain() { SetMainAddressRef(nullptr); }
    ~NoMain() { SetMainAddressRef(saved); }
  } noMain;
  try {
    const TFidoAddr main = TFidoAddr::CreateFromText(binkd.MainAddress, false);
    TFidoAddr addr = TFidoAddr::CreateFromText(text, false);
    if (addr.Zone == AddrNotGiven) addr.Zone = main.Zone;
    if (addr.Net == AddrNotGiven) addr.Net = main.Net;
    if (addr.Node == AddrNotGiven) return std::nullopt;
    return addr;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool Calls(const std::string& hosts) {
  return !hosts.empty() && hosts != "-";
}

}  // namespace

std::string BinkdDomainOfZone(const BinkdSettings& binkd, int zone) {
  for (const BinkdDomain& d : binkd.Domains) {
    if (d.AliasFor.empty() && d.DefaultZone == zone) return d.Name;
  }
  for (const std::string& text : binkd.Addresses) {
    const std::optional<TFidoAddr> own = NodeAddress(binkd, text);
    if (own && own->Zone == zone && !own->Domain.empty()) {
      const BinkdDomain* domain = FindBinkdDomain(binkd.Domains, own->Domain);
      if (domain != nullptr) return domain->Name;
    }
  }
  return binkd.Domain;
}

std::string WhyBinkdWillNotCall(const BinkdSettings& binkd, const TFidoAddr& addr) {
  const std::string domain = DomainOf(binkd, addr);
  const int point = addr.Point < 0 ? 0 : addr.Point;
  bool listed = false;
  for (const BinkdNode& node : binkd.Nodes) {
    const std::optional<TFidoAddr> a = NodeAddress(binkd, node.Address);
    if (!a || a->Zone != addr.Zone || a->Net != addr.Net || a->Node != addr.Node ||
        a->Point != point) {
      continue;
    }
    const BinkdDomain* d = FindBinkdDomain(binkd.Domains, DomainOf(binkd, *a));
    if (d != nullptr && !EqualsAsciiNoCase(d->Name, domain)) continue;
    if (Calls(node.Hosts)) return {};
    listed = true;
  }
  if (listed) return "binkd's node line for it names no host, so binkd never calls it";
  if (binkd.DefNode && Calls(binkd.DefNode->Hosts)) return {};
  return "binkd's configuration has no node line for it and no defnode, so binkd never calls it";
}

}  // namespace brnet::cli
