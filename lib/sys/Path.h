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
bool NamesDrive(std::string_view name, PathStyle style = kNativePathStyle);

// True when NAME starts with the separator.
bool IsRootedPath(std::string_view name, PathStyle style = kNativePathStyle);

// Makes NAME absolute against the directory BASE. Empty when NAME is empty,
// or when NAME is rooted on Windows and BASE has no drive to lend it.
std::string JoinToDir(std::string_view name, std::string_view base,
                      PathStyle style = kNativePathStyle);

// The process's current directory, without a trailing separator (except for
// a root). Empty when it cannot be read.
std::string CurrentDirectory();

}  // namespace brnet::sys
