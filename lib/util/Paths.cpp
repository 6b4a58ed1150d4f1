#include "util/Paths.h"

#include <algorithm>
#include <vector>

#include "util/Ascii.h"

namespace brnet {
namespace {

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

}  // namespace

std::string DropTrailingSlash(std::string_view s, sys::PathStyle style) {
  if (!s.empty() && s.back() == sys::PathDelim(style)) s.remove_suffix(1);
  return std::string(s);
}

std::string WithTrailingSlash(std::string_view dir, sys::PathStyle style) {
  const char delim = sys::PathDelim(style);
  if (dir.empty() || dir.back() == delim) return std::string(dir);
  if (style == sys::PathStyle::Windows) {
    if (dir.back() == ':') return std::string(dir);
    if (dir.size() == 1 && IsAsciiLetter(dir[0])) return std::string(dir) + ":" + delim;
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

}  // namespace brnet
