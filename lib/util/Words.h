// Words and fields of a text: runs of non-delimiter characters, and fields
// split off at a separator. Character positions count from 1.
#pragma once

#include <bitset>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brnet {

// A set of byte values; a character is a delimiter when its byte is in it.
using TCharSet = std::bitset<256>;
TCharSet MakeCharSet(std::string_view chars);

// A word is a maximal run of characters that are not delimiters.
int CountWords(std::string_view s, const TCharSet& delims);
// Position of the first character of the N-th word, or 0 when there is none.
std::size_t WordStartPos(int n, std::string_view s, const TCharSet& delims);
// The N-th word, or an empty text.
std::string GetWord(int n, std::string_view s, const TCharSet& delims);

// Returns the part of S before the first SEP (all of S when there is none).
// S keeps the rest, starting with the separator, without leading blanks; it
// becomes empty when SEP does not occur.
std::string SplitOffField(std::string& s, char sep);
// The same, and the separator is dropped from S: splitting "2.5020.1.0" at
// "." three times yields 2, 5020 and 1 and leaves "0".
std::string SplitOffFieldSkip(std::string& s, char sep);

// S with each CR and LF written as the visible escapes "\\r" and "\\n", for
// texts that must stay one line (a log line, a path quoted in an error).
std::string EscapeLineBreaks(std::string_view s);
// S with every control character (below blank, and DEL) shown escaped:
// "\\r", "\\n", "\\t", the others as "\\x1b"; for messages and terminals,
// where a name another user wrote could hold an ESC sequence.
std::string EscapeControls(std::string_view s);
// True when C is such a control character.
constexpr bool IsControlChar(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

// The lines of a text as a text-file reader returns them (a flow file, a
// file request): split at LF, a CR before it dropped, no empty piece after a
// final line end.
std::vector<std::string> TextLines(const std::string& text);

}  // namespace brnet
