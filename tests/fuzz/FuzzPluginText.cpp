// The plug-in's texts from any bytes: a message format from a language file
// (a person may edit one) filled with a number and a name, the cut of a
// text to a field's width, and the size shown in the attach dialog. A
// format never reads an argument that is not there: the result holds each
// argument once filled in, or is the fallback's.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "TextFormat.h"

using namespace sendrel;

namespace {

constexpr std::string_view kFallback = "%d file(s) to %s";

void Format(std::string_view format, long long number, std::string_view name) {
  const std::string text = FormatMessage(format, {number, name}, kFallback);
  const std::string digits = std::to_string(number);
  if (text.find(digits) == std::string::npos || text.find(name) == std::string::npos) std::abort();
  // Widths are at most 512 per conversion, each conversion takes an argument.
  if (text.size() > format.size() + kFallback.size() + 2 * 512 + digits.size() + name.size())
    std::abort();
  if (format.find('%') == std::string_view::npos &&
      text != std::string(digits) + " file(s) to " + std::string(name)) {
    std::abort();
  }
}

void Fit(std::string_view text, std::size_t max) {
  for (bool utf8 : {false, true}) {
    const std::size_t n = FittingLength(text, max, utf8);
    if (n > max || n > text.size()) std::abort();
    if (text.size() <= max && n != text.size()) std::abort();
    if (!utf8 && n != std::min(max, text.size())) std::abort();
    // A cut in UTF-8 never leaves half a character: the next byte begins one.
    if (utf8 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80 && n > 0)
      std::abort();
  }
}

void Size(std::int64_t total) {
  if (total < 0) return;
  const std::string text = SizeText(total);
  const char unit = text.back();
  const std::uint64_t value = std::stoull(text.substr(0, text.size() - 1));
  const std::uint64_t scale = unit == 'M' ? 1048576 : unit == 'K' ? 1024 : unit == 'b' ? 1 : 0;
  const auto whole = static_cast<std::uint64_t>(total);
  if (scale == 0 || value * scale > whole || (value + 1) * scale <= whole) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  std::int64_t number;
  std::memcpy(&number, data + 1, sizeof number);
  const std::string_view text(reinterpret_cast<const char*>(data) + 9, size - 9);
  const std::size_t split = text.find('\0');
  const std::string_view name =
      split == std::string_view::npos ? "2:5020/1" : text.substr(split + 1);
  Format(text.substr(0, split), number, name);
  Fit(text, data[0]);
  Size(number);
  return 0;
}
