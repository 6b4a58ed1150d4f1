#include "Canvas.h"

#include <algorithm>

#include "Text.h"

namespace farhost {

Canvas::Canvas(int width, int height)
    : width_(std::max(width, 1)),
      height_(std::max(height, 1)),
      cells_(static_cast<std::size_t>(width_ * height_)) {}

void Canvas::Put(int x, int y, std::string_view text, Attr attr) {
  if (y < 0 || y >= height_) return;
  for (const std::string& ch : Chars(text)) {
    if (x >= 0 && x < width_) {
      Cell& cell = cells_[static_cast<std::size_t>(y * width_ + x)];
      // Control characters never reach the terminal.
      cell.ch = (ch.size() == 1 && static_cast<unsigned char>(ch[0]) < 0x20) ? "?" : ch;
      cell.attr = attr;
    }
    ++x;
  }
}

std::vector<std::string> Canvas::Lines(const char* fieldFill) const {
  std::vector<std::string> lines;
  for (int y = 0; y < height_; ++y) {
    std::string line;
    for (int x = 0; x < width_; ++x) {
      const Cell& c = cells_[static_cast<std::size_t>(y * width_ + x)];
      line += (c.attr != Normal && c.ch == " ") ? fieldFill : c.ch;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Canvas::AnsiLines() const {
  std::vector<std::string> lines;
  for (int y = 0; y < height_; ++y) {
    std::string line;
    Attr current = Normal;
    for (int x = 0; x < width_; ++x) {
      const Cell& c = cells_[static_cast<std::size_t>(y * width_ + x)];
      if (c.attr != current) {
        line += c.attr == Normal ? "\x1b[0m" : (c.attr == Field ? "\x1b[0;7m" : "\x1b[0;1;7m");
        current = c.attr;
      }
      line += c.ch;
    }
    if (current != Normal) line += "\x1b[0m";
    lines.push_back(line);
  }
  return lines;
}

}  // namespace farhost
