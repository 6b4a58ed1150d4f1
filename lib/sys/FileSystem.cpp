// The parts of the file-system layer that are the same on every platform.
#include "sys/FileSystem.h"

#include <algorithm>

#include "sys/Path.h"
#include "util/Ascii.h"

namespace brnet::sys {
namespace {

// Greedy matching with one backtracking point per "*": linear in practice,
// never worse than the product of the lengths.
bool MatchPlain(std::string_view name, std::string_view pattern) {
  std::size_t n = 0, p = 0;
  std::size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || ToAsciiUpper(pattern[p]) == ToAsciiUpper(name[n]))) {
      ++n;
      ++p;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// FORM-th usual form of PART: as given, lower, upper, capitalised.
std::string CaseForm(std::string_view part, int form) {
  switch (form) {
    case 0:
      return std::string(part);
    case 1:
      return ToAsciiLower(part);
    case 2:
      return ToAsciiUpper(part);
    default: {
      std::string text = ToAsciiLower(part);
      const std::size_t first = text.find_first_not_of('.');
      if (first != std::string::npos) text[first] = ToAsciiUpper(text[first]);
      return text;
    }
  }
}

constexpr int kCaseForms = 4;

}  // namespace

std::vector<std::string> UsualSpellings(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  const bool split = dot != std::string_view::npos && dot > 0;
  const std::string_view stem = split ? name.substr(0, dot) : name;
  const std::string_view ext = split ? name.substr(dot) : std::string_view{};
  std::vector<std::string> spellings;
  for (int s = 0; s < kCaseForms; ++s) {
    for (int e = 0; e < (split ? kCaseForms : 1); ++e) {
      std::string spelling = CaseForm(stem, s) + (split ? CaseForm(ext, e) : std::string());
      if (std::find(spellings.begin(), spellings.end(), spelling) == spellings.end()) {
        spellings.push_back(std::move(spelling));
      }
    }
  }
  return spellings;
}

bool MatchesMask(std::string_view name, std::string_view pattern) {
  if (MatchPlain(name, pattern)) return true;
  return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
         MatchPlain(name, pattern.substr(0, pattern.size() - 2));
}

std::optional<SearchRec> FindFirstMatch(const std::string& pattern, std::uint32_t filter) {
  FileSearch search(pattern, filter);
  SearchRec rec;
  if (search.Next(rec)) return rec;
  return std::nullopt;
}

std::vector<SearchRec> FindAllMatches(const std::string& pattern, std::uint32_t filter) {
  std::vector<SearchRec> result;
  FileSearch search(pattern, filter);
  SearchRec rec;
  while (search.Next(rec)) result.push_back(rec);
  return result;
}

std::vector<std::string> FindPathsIgnoringCase(const std::string& root, std::string_view below) {
  const char delim = PathDelim();
  std::vector<std::string> current{root};
  bool anyPart = false;
  while (!below.empty()) {
    std::size_t cut = below.find(delim);
    std::string_view part = below.substr(0, cut);
    below = cut == std::string_view::npos ? std::string_view{} : below.substr(cut + 1);
    if (part.empty()) continue;
    anyPart = true;
    const bool last = below.empty();
    std::vector<std::string> next;
    for (const std::string& dir : current) {
      // Every entry, compared here: a name may hold "*" or "?" literally.
      FileSearch search(dir + "*", faAnyFile);
      SearchRec rec;
      while (search.Next(rec)) {
        if (!EqualsAsciiNoCase(rec.Name, part)) continue;
        // Only the last component may be a file; the others lead further down.
        if (last) {
          next.push_back(dir + rec.Name);
        } else if (rec.Attr & faDirectory) {
          next.push_back(dir + rec.Name + delim);
        }
      }
    }
    current = std::move(next);
    if (current.empty()) break;
  }
  if (!anyPart) current.clear();
  return current;
}

std::string TooLargeText(const std::string& path, std::int64_t size, std::size_t maxBytes) {
  return "File too large: " + path + " holds " + std::to_string(size) + " bytes, more than the " +
         std::to_string(maxBytes) + " read of such a file";
}

}  // namespace brnet::sys
