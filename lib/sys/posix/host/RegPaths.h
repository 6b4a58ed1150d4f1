// Where the POSIX registry hive lives.
#pragma once

#include <string>

namespace brnet::sys::host {

// $XDG_CONFIG_HOME/brnet32/hkcu.reg, with ~/.config when XDG_CONFIG_HOME is
// unset or not absolute; empty when no home directory is known.
std::string HiveFile();

// The directory part of FILE.
std::string DirectoryOf(const std::string& file);

}  // namespace brnet::sys::host
