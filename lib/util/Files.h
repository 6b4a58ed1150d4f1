// Questions about directories and files, and making them: each reports
// failure through its result and never raises.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// PREFIX, this host's name, "-", this process's id and SUFFIX: a temporary
// or aside name that says whose it is, so that what a killed process left
// can be told from what a live one is still writing.
std::string OwnedName(std::string_view prefix, std::string_view suffix);
// The process id in NAME when OwnedName made it, with PREFIX and SUFFIX, on
// this host; 0 otherwise.
std::uint32_t OwnerOnThisHost(std::string_view name, std::string_view prefix,
                              std::string_view suffix);
// Removes the files named by OwnedName with PREFIX and SUFFIX in the
// directory ROOT followed by DIRBELOW (empty or ending in the separator)
// whose process on this host no longer runs; reached without following a
// link below ROOT. Failures are ignored: the next run tries again.
void RemoveDeadOwnersFiles(const std::string& root, const std::string& dirBelow,
                           std::string_view prefix, std::string_view suffix);

}  // namespace brnet
