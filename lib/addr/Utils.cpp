#include "addr/Utils.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "sys/CodePage.h"
#include "sys/Semaphore.h"

namespace brnet {
namespace {

bool IsDelim(char c, const TCharSet& delims) {
  return delims[static_cast<unsigned char>(c)];
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Position just after the last separator of PATH (a drive colon counts on
// Windows); 0 when there is none.
std::size_t NameStart(std::string_view path, sys::PathStyle style) {
  const char delim = sys::PathDelim(style);
  for (std::size_t i = path.size(); i > 0; --i) {
    char c = path[i - 1];
    if (c == delim || (style == sys::PathStyle::Windows && c == ':')) return i;
  }
  return 0;
}

std::vector<std::string_view> SplitNonEmpty(std::string_view s, char delim) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= s.size()) {
    std::size_t end = s.find(delim, start);
    if (end == std::string_view::npos) end = s.size();
    if (end > start) parts.push_back(s.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Length of the fixed root of an absolute path: "\\server\share\" of a
// network path, "C:\" or "C:" of a drive, the separator of a rooted path.
std::size_t RootLength(std::string_view path, sys::PathStyle style) {
  const char delim = sys::PathDelim(style);
  if (style == sys::PathStyle::Windows && path.size() >= 2 && path[0] == delim &&
      path[1] == delim) {
    std::size_t server = path.find(delim, 2);
    if (server == std::string_view::npos) return path.size();
    std::size_t share = path.find(delim, server + 1);
    return share == std::string_view::npos ? path.size() : share + 1;
  }
  if (sys::NamesDrive(path, style)) return (path.size() > 2 && path[2] == delim) ? 3 : 2;
  if (sys::IsRootedPath(path, style)) return 1;
  return 0;
}

void CopyContents(sys::FileStream& in, sys::FileStream& out) {
  constexpr std::size_t kBufferSize = 8192;
  std::vector<char> buffer(kBufferSize);
  for (;;) {
    std::int64_t got = in.Read(buffer.data(), kBufferSize);
    if (got < 0) throw EReadError("Stream read error");
    if (got > 0 && !out.Write(buffer.data(), static_cast<std::size_t>(got))) {
      throw EWriteError("Stream write error");
    }
    if (static_cast<std::size_t>(got) < kBufferSize) return;  // Read fills unless at the end
  }
}

}  // namespace

std::string AnsiToOemText(std::string_view s) {
  return sys::AnsiToOemText(s);
}
std::string OemToAnsiText(std::string_view s) {
  return sys::OemToAnsiText(s);
}

TCharSet MakeCharSet(std::string_view chars) {
  TCharSet set;
  for (char c : chars) set.set(static_cast<unsigned char>(c));
  return set;
}

int CountWords(std::string_view s, const TCharSet& delims) {
  int count = 0;
  bool inWord = false;
  for (char c : s) {
    bool delim = IsDelim(c, delims);
    if (!delim && !inWord) ++count;
    inWord = !delim;
  }
  return count;
}

std::size_t WordStartPos(int n, std::string_view s, const TCharSet& delims) {
  int count = 0;
  std::size_t i = 0;
  while (n > 0 && i < s.size()) {
    while (i < s.size() && IsDelim(s[i], delims)) ++i;
    if (i == s.size()) break;
    if (++count == n) return i + 1;
    while (i < s.size() && !IsDelim(s[i], delims)) ++i;
  }
  return 0;
}

std::string GetWord(int n, std::string_view s, const TCharSet& delims) {
  std::size_t pos = WordStartPos(n, s, delims);
  if (pos == 0) return {};
  std::size_t end = pos - 1;
  while (end < s.size() && !IsDelim(s[end], delims)) ++end;
  return std::string(s.substr(pos - 1, end - (pos - 1)));
}

std::string SplitOffField(std::string& s, char sep) {
  std::size_t at = s.find(sep);
  if (at == std::string::npos) return std::exchange(s, std::string());
  std::string field = s.substr(0, at);
  std::size_t rest = s.find_first_not_of(' ', at);
  s.erase(0, rest == std::string::npos ? s.size() : rest);
  return field;
}

std::string SplitOffFieldSkip(std::string& s, char sep) {
  std::string field = SplitOffField(s, sep);
  // Drop the separator only when it is still there: a blank separator went
  // with the leading blanks, and the next field must stay whole.
  if (!s.empty() && s.front() == sep) s.erase(0, 1);
  return field;
}

std::string ToHex(std::int32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::uint32_t v = static_cast<std::uint32_t>(value);
  std::string out;
  do {
    out.insert(out.begin(), kDigits[v & 0xF]);
    v >>= 4;
  } while (v != 0);
  if (static_cast<int>(out.size()) < digits) out.insert(0, digits - out.size(), '0');
  return out;
}

bool TryStrToInt(std::string_view s, std::int32_t& value) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  bool hex = false;
  if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == s.size()) return false;
  std::uint64_t v = 0;
  for (; i < s.size(); ++i) {
    int digit = hex ? HexDigit(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
    if (digit < 0) return false;
    v = v * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    if (v > (hex ? 0xFFFFFFFFull : 0x80000000ull)) return false;
  }
  if (hex) {
    // 32 bits of pattern: 80000000 and above read as negative numbers.
    std::uint32_t bits = static_cast<std::uint32_t>(v);
    value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
    return true;
  }
  if (!negative && v > 0x7FFFFFFF) return false;
  value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(v)
                                             : static_cast<std::int64_t>(v));
  return true;
}

std::int32_t StrToInt(std::string_view s) {
  std::int32_t value = 0;
  if (!TryStrToInt(s, value)) {
    throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
  }
  return value;
}

std::int32_t HexToIntOrZero(std::string_view s) {
  std::int32_t value = 0;
  bool ok = s.find('$') != std::string_view::npos ? TryStrToInt(s, value)
                                                  : TryStrToInt("$" + std::string(s), value);
  return ok ? value : 0;
}

std::string DropTrailingSlash(std::string_view s, sys::PathStyle style) {
  if (!s.empty() && s.back() == sys::PathDelim(style)) s.remove_suffix(1);
  return std::string(s);
}

std::string WithTrailingSlash(std::string_view dir, sys::PathStyle style) {
  const char delim = sys::PathDelim(style);
  if (dir.empty() || dir.back() == delim) return std::string(dir);
  if (style == sys::PathStyle::Windows) {
    if (dir.back() == ':') return std::string(dir);
    if (dir.size() == 1 && IsLetter(dir[0])) return std::string(dir) + ":" + delim;
  }
  return std::string(dir) + delim;
}

std::string ExtractFileName(std::string_view path, sys::PathStyle style) {
  return std::string(path.substr(NameStart(path, style)));
}

std::string ExtractFilePath(std::string_view path, sys::PathStyle style) {
  return std::string(path.substr(0, NameStart(path, style)));
}

std::string ExtractFileExt(std::string_view path, sys::PathStyle style) {
  std::string_view name = path.substr(NameStart(path, style));
  std::size_t dot = name.find_last_of('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ExpandFileNameIn(std::string_view name, std::string_view base, sys::PathStyle style) {
  const char delim = sys::PathDelim(style);
  // A network path is complete in itself; it takes nothing from BASE.
  const bool network =
      style == sys::PathStyle::Windows && name.size() >= 2 && name[0] == delim && name[1] == delim;
  const std::string joined = network ? std::string(name) : sys::JoinToDir(name, base, style);
  if (joined.empty()) return joined;
  const std::size_t rootLength = RootLength(joined, style);
  std::vector<std::string_view> steps;
  for (std::string_view part : SplitNonEmpty(std::string_view(joined).substr(rootLength), delim)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!steps.empty() && steps.back() != "..") {
        steps.pop_back();
      } else if (rootLength == 0) {
        steps.push_back(part);  // a relative result keeps what it cannot resolve
      }
      continue;
    }
    steps.push_back(part);
  }
  std::string result = joined.substr(0, rootLength);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (i > 0) result += delim;
    result += steps[i];
  }
  if (!steps.empty() && joined.back() == delim) result += delim;
  return result;
}

std::string ExpandFileName(std::string_view name) {
  return ExpandFileNameIn(name, sys::CurrentDirectory());
}

std::vector<std::string> DirPathPrefixes(std::string_view full, sys::PathStyle style) {
  const char delim = sys::PathDelim(style);
  std::vector<std::string> prefixes;
  std::string acc;
  std::string_view rest = full;
  const bool network =
      style == sys::PathStyle::Windows && full.size() >= 2 && full[0] == delim && full[1] == delim;
  if (network) {
    // \\server\share\ is one unit; it cannot be created piecewise.
    acc = WithTrailingSlash(full.substr(0, RootLength(full, style)), style);
    rest = full.substr(std::min(full.size(), RootLength(full, style)));
    prefixes.push_back(acc);
  } else if (sys::IsRootedPath(full, style)) {
    acc = std::string(1, delim);
  }
  for (std::string_view word : SplitNonEmpty(rest, delim)) {
    acc += std::string(word) + delim;
    prefixes.push_back(acc);
  }
  return prefixes;
}

bool DirectoryPresent(const std::string& name) {
  return HasAllAttrs(name, sys::faDirectory);
}

bool HasAllAttrs(const std::string& name, std::uint32_t attrs) {
  int attr = sys::FileAttributes(name);
  return attr >= 0 && (static_cast<std::uint32_t>(attr) & attrs) == attrs;
}

std::int32_t SizeOfFile(const std::string& name) {
  auto rec = sys::FindFirstMatch(ExpandFileName(name), sys::faAnyFile);
  if (!rec) return -1;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(rec->Size));
}

bool DirHoldsNoFiles(const std::string& dir) {
  if (!DirectoryPresent(dir)) return false;
  constexpr std::uint32_t kFiles =
      sys::faReadOnly | sys::faHidden | sys::faSysFile | sys::faArchive;
  return !sys::FindFirstMatch(WithTrailingSlash(dir) + "*", kFiles).has_value();
}

bool SemaphorePresent(const std::string& name) {
  return sys::NamedSemaphore::Present(name);
}

bool MakeDirPath(const std::string& dir) {
  for (const std::string& prefix : DirPathPrefixes(ExpandFileName(dir))) {
    // Another process may create the same level at the same moment; what
    // counts is that it exists afterwards.
    if (!DirectoryPresent(prefix) && !sys::MakeDir(prefix) && !DirectoryPresent(prefix)) {
      return false;
    }
  }
  return true;
}

bool CreateFileExclusive(const std::string& name) {
  std::string dir = ExtractFilePath(name);
  if (!dir.empty() && !DirectoryPresent(dir) && !MakeDirPath(dir)) return false;
  return sys::CreateNewFile(name);
}

void CopyFileWithDate(const std::string& source, const std::string& target) {
  const std::string dest = HasAllAttrs(target, sys::faDirectory)
                               ? WithTrailingSlash(target) + ExtractFileName(source)
                               : target;
  sys::FileStream in;
  if (!in.OpenRead(source)) throw EFOpenError("Cannot open file " + source);
  sys::FileStream out;
  if (!out.CreateAlways(dest, &in)) throw EFCreateError("Cannot create file " + dest);
  const bool plainDest = out.IsPlainFile();
  try {
    CopyContents(in, out);
    sys::FileTime time = 0;
    if (in.GetLastWriteTime(time)) out.SetLastWriteTime(time);
    if (!out.Close()) throw EWriteError("Stream write error");
  } catch (...) {
    // A truncated copy would be taken for the real file (a mailer would send
    // it), so a failed copy leaves no destination file behind.
    out.Close();
    if (plainDest) sys::RemoveFile(dest);
    throw;
  }
}

void MoveFileSafely(const std::string& source, const std::string& target) {
  const std::string full = ExpandFileName(target);
  if (sys::RenameNoReplace(source, full) == 0) return;
  const int attr = sys::FileAttributes(source);
  if (attr < 0) return;  // no source: nothing to move
  const bool readOnly = (attr & sys::faReadOnly) != 0;
  if (readOnly) sys::SetReadOnly(source, false);
  try {
    CopyFileWithDate(source, full);
  } catch (...) {
    if (readOnly) sys::SetReadOnly(source, true);  // the source stays as it was
    throw;
  }
  sys::RemoveFile(source);
}

}  // namespace brnet
