// Path texts: separators, name parts, expansion. Nothing here touches the
// file system except ExpandFileName, which asks for the current directory.
// The path style (separator and drive rules) is a parameter, defaulting to
// the platform's own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sys/Path.h"

namespace brnet {

// S without one trailing separator ("C:\" becomes "C:").
std::string DropTrailingSlash(std::string_view s, sys::PathStyle style = sys::kNativePathStyle);
// DIR ending in the separator: empty stays empty; on Windows a text ending
// in ":" stays as it is and a single drive letter becomes that drive's root.
std::string WithTrailingSlash(std::string_view dir, sys::PathStyle style = sys::kNativePathStyle);
// The part after the last separator (or drive colon).
std::string ExtractFileName(std::string_view path, sys::PathStyle style = sys::kNativePathStyle);
// The part up to and including the last separator (or drive colon).
std::string ExtractFilePath(std::string_view path, sys::PathStyle style = sys::kNativePathStyle);
// The extension of the file-name part, from its last "." on; empty when none.
std::string ExtractFileExt(std::string_view path, sys::PathStyle style = sys::kNativePathStyle);

// NAME made absolute against BASE, with "." and ".." steps resolved and
// doubled separators removed. A trailing separator is kept.
std::string ExpandFileNameIn(std::string_view name, std::string_view base,
                             sys::PathStyle style = sys::kNativePathStyle);
// NAME made absolute against the current directory.
std::string ExpandFileName(std::string_view name);

// The directories MakeDirPath makes sure of for the absolute path FULL, from
// the root down, each ending in the separator: for C:\a\b these are C:\,
// C:\a\ and C:\a\b\. A network path keeps its \\server\share\ as the first.
std::vector<std::string> DirPathPrefixes(std::string_view full,
                                         sys::PathStyle style = sys::kNativePathStyle);

}  // namespace brnet
