// Text helpers of the host: its terminal speaks UTF-8, plug-in language
// files are in the OEM code page (CP866).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace farhost {

// CP866 bytes as UTF-8; ASCII stays as it is.
std::string OemToUtf8(std::string_view oem);

// The characters of TEXT, one UTF-8 sequence each (a stray byte counts as
// one character).
std::vector<std::string> Chars(std::string_view text);

// Columns TEXT takes on the terminal (one per character).
std::size_t Width(std::string_view text);

// Byte offset of the character before / after byte offset POS.
std::size_t PrevChar(std::string_view text, std::size_t pos);
std::size_t NextChar(std::string_view text, std::size_t pos);

// A label as shown: "&" marks the hotkey and is dropped ("&&" is one "&").
std::string StripHotkey(std::string_view label);

std::string Trim(std::string_view text);

}  // namespace farhost
