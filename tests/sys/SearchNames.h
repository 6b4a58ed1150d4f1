// The names a directory search finds, sorted, for comparing with a list.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sys/FileSystem.h"

namespace brnet::test {

inline std::vector<std::string> Names(const std::string& pattern, std::uint32_t filter) {
  std::vector<std::string> names;
  for (const sys::SearchRec& rec : sys::FindAllMatches(pattern, filter)) names.push_back(rec.Name);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace brnet::test
