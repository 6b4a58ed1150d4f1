// The host's reading of plug-in language files (*.lng beside the plug-in).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace farhost {

struct LangFile {
  std::string path;
  std::string language;               // the name in ".Language=Name,Description"
  std::vector<std::string> messages;  // by number, as the file holds them
};

// Parses TEXT as a language file: every line starting with a quote (after
// leading blanks) is the next message; a final quote is dropped; "\\", "\"",
// "\n", "\r", "\b", "\t" and a doubled quote are unescaped. Other lines are
// ignored. The language is that of the ".Language=" line ("" if none).
LangFile ParseLangFile(std::string_view text);

// The language file in DIR for LANGUAGE: the first whose language matches
// (ASCII case ignored), else the English one, else the last one found;
// nothing when DIR has none.
std::optional<LangFile> FindLangFile(const std::string& dir, std::string_view language);

}  // namespace farhost
