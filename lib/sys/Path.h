// Path conventions of the two platforms, kept in one place.
//
// Windows: "\" separates, "C:" names a drive, a "\"-rooted name takes the
// drive of its base. POSIX: "/" separates and a name starting with "/" is
// absolute; there are no drives. Code that builds paths takes the style as a
// parameter (default: the platform's own), so both are testable anywhere.
#pragma once

#include <string>
#include <string_view>

namespace brnet::sys {

enum class PathStyle { Posix, Windows };

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

constexpr char PathDelim(PathStyle style = kNativePathStyle) {
  return style == PathStyle::Windows ? '\\' : '/';
}

// True when NAME starts with a drive ("C:..."); never on POSIX.
constexpr bool NamesDrive(std::string_view name, PathStyle style = kNativePathStyle) {
  return style == PathStyle::Windows && name.size() >= 2 && name[1] == ':';
}

// True when NAME starts with the separator.
constexpr bool IsRootedPath(std::string_view name, PathStyle style = kNativePathStyle) {
  return !name.empty() && name.front() == PathDelim(style);
}

// The separators the system accepts in a name it is given: "/", and on
// Windows "\" as well. Names made here use PathDelim.
constexpr std::string_view PathSeparators(PathStyle style = kNativePathStyle) {
  return style == PathStyle::Windows ? "\\/" : "/";
}
constexpr bool IsPathSeparator(char c, PathStyle style = kNativePathStyle) {
  return PathSeparators(style).find(c) != std::string_view::npos;
}

// Splitting and joining names as the plug-in side does it. Header-only, as
// are the functions above: the plug-in and its host share them without
// linking the library.

// The directory part of PATH, without a trailing separator except for a
// root ("/x" lies in "/", "C:\x" in "C:\", "C:x" in "C:"); "." when PATH
// names no directory.
inline std::string ParentDir(std::string_view path, PathStyle style = kNativePathStyle) {
  std::size_t sep = path.find_last_of(PathSeparators(style));
  if (sep == std::string_view::npos) {
    return NamesDrive(path, style) ? std::string(path.substr(0, 2)) : std::string(".");
  }
  if (sep == 0 || (sep == 2 && NamesDrive(path, style))) ++sep;
  return std::string(path.substr(0, sep));
}

// The last name in PATH, trailing separators ignored ("b" for "a/b/"); empty
// for a root.
inline std::string LastPathName(std::string_view path, PathStyle style = kNativePathStyle) {
  while (path.size() > 1 && IsPathSeparator(path.back(), style)) path.remove_suffix(1);
  const std::size_t sep = path.find_last_of(PathSeparators(style));
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

// DIR and NAME with one separator between them (none when DIR is empty or
// ends in one).
inline std::string JoinPath(std::string_view dir, std::string_view name,
                            PathStyle style = kNativePathStyle) {
  std::string joined(dir);
  if (!dir.empty() && !IsPathSeparator(dir.back(), style)) joined += PathDelim(style);
  joined += name;
  return joined;
}

// True when DIR is a root of the file system: "/", or on Windows also "\"
// and "C:\".
constexpr bool IsRootDir(std::string_view dir, PathStyle style = kNativePathStyle) {
  return (dir.size() == 1 && IsPathSeparator(dir[0], style)) ||
         (dir.size() == 3 && NamesDrive(dir, style) && IsPathSeparator(dir[2], style));
}

// Makes NAME absolute against the directory BASE. Empty when NAME is empty,
// or when NAME is rooted on Windows and BASE has no drive to lend it.
std::string JoinToDir(std::string_view name, std::string_view base,
                      PathStyle style = kNativePathStyle);

// The process's current directory, without a trailing separator (except for
// a root). Empty when it cannot be read.
std::string CurrentDirectory();

}  // namespace brnet::sys
