#include "util/Words.h"

#include <utility>

namespace brnet {
namespace {

bool IsDelim(char c, const TCharSet& delims) {
  return delims[static_cast<unsigned char>(c)];
}

}  // namespace

TCharSet MakeCharSet(std::string_view chars) {
  TCharSet set;
  for (char c : chars) set.set(static_cast<unsigned char>(c));
  return set;
}

int CountWords(std::string_view s, const TCharSet& delims) {
  int count = 0;
  bool inWord = false;
  for (char c : s) {
    bool delim = IsDelim(c, delims);
    if (!delim && !inWord) ++count;
    inWord = !delim;
  }
  return count;
}

std::size_t WordStartPos(int n, std::string_view s, const TCharSet& delims) {
  int count = 0;
  std::size_t i = 0;
  while (n > 0 && i < s.size()) {
    while (i < s.size() && IsDelim(s[i], delims)) ++i;
    if (i == s.size()) break;
    if (++count == n) return i + 1;
    while (i < s.size() && !IsDelim(s[i], delims)) ++i;
  }
  return 0;
}

std::string GetWord(int n, std::string_view s, const TCharSet& delims) {
  std::size_t pos = WordStartPos(n, s, delims);
  if (pos == 0) return {};
  std::size_t end = pos - 1;
  while (end < s.size() && !IsDelim(s[end], delims)) ++end;
  return std::string(s.substr(pos - 1, end - (pos - 1)));
}

std::string SplitOffField(std::string& s, char sep) {
  std::size_t at = s.find(sep);
  if (at == std::string::npos) return std::exchange(s, std::string());
  std::string field = s.substr(0, at);
  std::size_t rest = s.find_first_not_of(' ', at);
  s.erase(0, rest == std::string::npos ? s.size() : rest);
  return field;
}

std::string SplitOffFieldSkip(std::string& s, char sep) {
  std::string field = SplitOffField(s, sep);
  // Drop the separator only when it is still there: a blank separator went
  // with the leading blanks, and the next field must stay whole.
  if (!s.empty() && s.front() == sep) s.erase(0, 1);
  return field;
}

std::string EscapeLineBreaks(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  for (char c : s) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string EscapeControls(std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(s.size() + 2);
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (!IsControlChar(c)) {
      out += c;
    } else if (c == '\n' || c == '\r' || c == '\t') {
      out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
    } else {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace brnet
