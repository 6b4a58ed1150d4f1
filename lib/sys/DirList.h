// Listing the plain files of one directory.
#pragma once

#include <string>
#include <vector>

namespace brnet::sys {

// The names (without the directory) of the ordinary files in DIR, in the
// order the file system returns them. Directories, hidden and system entries
// are left out (on POSIX: names beginning with "." and everything that is not
// a regular file, such as FIFOs, devices and symbolic links, which are
// not followed); read-only files are listed. A
// directory that does not exist or cannot be read gives an empty list.
std::vector<std::string> ListPlainFileNames(const std::string& dir);

}  // namespace brnet::sys
