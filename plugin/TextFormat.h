// Texts the plug-in composes: host message formats filled in, and the size
// text of the attach dialog.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace sendrel {

using FormatArg = std::variant<long long, std::string_view>;

// Fills FORMAT, a printf-style text from a language file, with ARGS. Only
// "%%" and conversions that match the arguments in order are taken ("d", "i"
// or "u" for a number, "s" for a text, each with optional "-" and width). A
// format that asks for anything else, fewer or more arguments, is not
// trusted: FALLBACK is filled in instead. A language file can therefore
// never make the plug-in read arguments that are not there.
std::string FormatMessage(std::string_view format, const std::vector<FormatArg>& args,
                          std::string_view fallback);

// The longest head of TEXT that fits in MAX bytes. In UTF-8 (UTF8 true) the
// cut never splits a character: a host would show the broken tail as junk.
// Otherwise every byte is a character of the host's code page.
std::size_t FittingLength(std::string_view text, std::size_t max, bool utf8);

// LINES as a warning shows them: each split at its line breaks ("\r\n" or
// "\n", as system texts carry them) and wrapped at blanks into lines of at
// most WIDTH characters (a word longer than that is cut); empty pieces of a
// split are dropped.
std::vector<std::string> WrappedLines(const std::vector<std::string>& lines, std::size_t width,
                                      bool utf8);

// TEXT without the blanks (and tabs) around it: what a pasted address
// brings along.
std::string TrimmedText(std::string_view text);

// The total size of the attach dialog: above 1048576 bytes whole megabytes
// ("%iM"), above 1024 whole kilobytes ("%iK"), else bytes ("%ib").
std::string SizeText(std::int64_t total);

}  // namespace sendrel
