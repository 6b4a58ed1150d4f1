// Questions about directories and files, and making them: each reports
// failure through its result and never raises.
#pragma once

#include <cstdint>
#include <string>

namespace brnet {

// True when NAME is an existing directory.
bool DirectoryPresent(const std::string& name);
// True when NAME's attributes can be read and hold every bit of ATTRS.
bool HasAllAttrs(const std::string& name, std::uint32_t attrs);
// True when DIR is an existing directory without files; subdirectories do
// not count, hidden, system and read-only files do.
bool DirHoldsNoFiles(const std::string& dir);

// Makes sure DIR and all its parents exist, creating them from the root
// down. False when one cannot be created; those created so far stay.
bool MakeDirPath(const std::string& dir);
// Creates NAME new and empty (its directory first when missing). True only
// when this call created it; of racing callers exactly one wins.
bool CreateFileExclusive(const std::string& name);

}  // namespace brnet
