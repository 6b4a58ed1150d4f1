#include "TextFormat.h"

#include <algorithm>
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

namespace {

// The number of characters in TEXT (UTF-8 continuation bytes not counted).
std::size_t CharCount(std::string_view text, bool utf8) {
  if (!utf8) return text.size();
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// The bytes of TEXT's first MAX characters.
std::size_t BytesOfChars(std::string_view text, std::size_t max, bool utf8) {
  if (!utf8) return std::min(max, text.size());
  std::size_t chars = 0, i = 0;
  for (; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == max) break;
  }
  return i;
}

void WrapInto(std::string_view line, std::size_t width, bool utf8, std::vector<std::string>& out) {
  while (CharCount(line, utf8) > width) {
    const std::size_t fits = BytesOfChars(line, width, utf8);
    std::size_t cut = line.rfind(' ', fits);
    if (cut == std::string_view::npos || cut == 0) cut = fits;
    out.emplace_back(line.substr(0, cut));
    line.remove_prefix(cut);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  }
  if (!line.empty()) out.emplace_back(line);
}

}  // namespace

std::vector<std::string> WrappedLines(const std::vector<std::string>& lines, std::size_t width,
                                      bool utf8) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    std::size_t start = 0;
    while (start <= line.size()) {
      std::size_t end = line.find('\n', start);
      if (end == std::string::npos) end = line.size();
      std::string_view piece(line.data() + start, end - start);
      while (!piece.empty() && (piece.back() == '\r' || piece.back() == ' '))
        piece.remove_suffix(1);
      WrapInto(piece, width, utf8, out);
      start = end + 1;
    }
  }
  return out;
}

std::string TrimmedText(std::string_view text) {
  const std::size_t b = text.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  const std::size_t e = text.find_last_not_of(" \t");
  return std::string(text.substr(b, e - b + 1));
}

std::string SizeText(std::int64_t total) {
  if (total > 1048576) return std::to_string(total / 1048576) + "M";
  if (total > 1024) return std::to_string(total / 1024) + "K";
  return std::to_string(total) + "b";
}

}  // namespace sendrel
