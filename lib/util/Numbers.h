// Numbers in text: hexadecimal, and the run-time's integer conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brnet {

// VALUE as an unsigned 32-bit number in upper-case hexadecimal, padded with
// zeros to at least DIGITS digits.
std::string ToHex(std::int32_t value, int digits);
// S read as hexadecimal (digits in either case, up to 32 bits, so 80000000
// and above are negative); a text that contains "$" is read as the run-time's
// integer conversion reads it. Anything unreadable gives 0.
std::int32_t HexToIntOrZero(std::string_view s);
// The run-time's integer conversion: leading blanks, an optional sign, then
// decimal digits or hexadecimal after "$" or "0x"; nothing may follow.
bool TryStrToInt(std::string_view s, std::int32_t& value);
// The same; raises EConvertError "'%s' is not a valid integer value".
std::int32_t StrToInt(std::string_view s);

}  // namespace brnet
