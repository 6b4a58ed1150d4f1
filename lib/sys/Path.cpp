#include "sys/Path.h"

namespace brnet::sys {

std::string JoinToDir(std::string_view name, std::string_view base, PathStyle style) {
  if (name.empty()) return {};
  if (base.empty()) return std::string(name);
  if (NamesDrive(name, style)) return std::string(name);
  const char delim = PathDelim(style);
  if (IsRootedPath(name, style)) {
    if (style == PathStyle::Posix) return std::string(name);
    // A "\"-rooted name lives on the base's drive; a base without one
    // (a network path) has nothing to lend.
    if (base.size() > 2 && base[1] == ':') return std::string(base.substr(0, 2)) + std::string(name);
    return {};
  }
  if (name.size() >= 2 && name[0] == '.' && name[1] == delim) name.remove_prefix(2);
  std::string result(base);
  if (result.back() != delim) result += delim;
  result += name;
  return result;
}

}  // namespace brnet::sys
