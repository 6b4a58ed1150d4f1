#include "TextFormat.h"

#include <optional>

namespace sendrel {
namespace {

// Fills FORMAT or gives nothing when it does not match ARGS.
std::optional<std::string> TryFormat(std::string_view format, const std::vector<FormatArg>& args) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (++i >= format.size()) return std::nullopt;
    if (format[i] == '%') {
      out += '%';
      continue;
    }
    bool left = false;
    if (format[i] == '-') {
      left = true;
      if (++i >= format.size()) return std::nullopt;
    }
    std::size_t width = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
      width = width * 10 + static_cast<std::size_t>(format[i] - '0');
      if (width > 512) return std::nullopt;
      ++i;
    }
    if (i >= format.size() || next >= args.size()) return std::nullopt;
    const char conv = format[i];
    const FormatArg& arg = args[next++];
    std::string piece;
    if (conv == 'd' || conv == 'i' || conv == 'u') {
      if (!std::holds_alternative<long long>(arg)) return std::nullopt;
      piece = std::to_string(std::get<long long>(arg));
    } else if (conv == 's') {
      if (!std::holds_alternative<std::string_view>(arg)) return std::nullopt;
      piece = std::string(std::get<std::string_view>(arg));
    } else {
      return std::nullopt;
    }
    if (piece.size() < width) {
      const std::string pad(width - piece.size(), ' ');
      piece = left ? piece + pad : pad + piece;
    }
    out += piece;
  }
  if (next != args.size()) return std::nullopt;
  return out;
}

}  // namespace

std::string FormatMessage(std::string_view format, const std::vector<FormatArg>& args,
                          std::string_view fallback) {
  if (auto text = TryFormat(format, args)) return *text;
  if (auto text = TryFormat(fallback, args)) return *text;
  return std::string(fallback);
}

std::size_t FittingLength(std::string_view text, std::size_t max, bool utf8) {
  if (text.size() <= max) return text.size();
  std::size_t n = max;
  if (utf8) {
    // Back off over continuation bytes (10xxxxxx) to the start of the
    // character that did not fit.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  return n;
}

std::string SizeText(std::int64_t total) {
  if (total > 1048576) return std::to_string(total / 1048576) + "M";
  if (total > 1024) return std::to_string(total / 1024) + "K";
  return std::to_string(total) + "b";
}

}  // namespace sendrel
