// The character grid dialogs are drawn on, shown by either platform's screen.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace farhost {

// A character grid; each cell holds one UTF-8 character.
class Canvas {
 public:
  enum Attr : unsigned char { Normal, Field, Focus };
  Canvas(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Writes TEXT from (X, Y) on, clipped at the edges.
  void Put(int x, int y, std::string_view text, Attr attr = Normal);
  // The rows as plain text; FIELDFILL stands for empty field cells.
  std::vector<std::string> Lines(const char* fieldFill) const;
  // The rows with terminal attributes (reverse video for fields and focus).
  std::vector<std::string> AnsiLines() const;
  // One cell: its character (UTF-8) and attribute.
  const std::string& CharAt(int x, int y) const { return CellAt(x, y).ch; }
  Attr AttrAt(int x, int y) const { return CellAt(x, y).attr; }

 private:
  struct Cell {
    std::string ch = " ";
    Attr attr = Normal;
  };
  const Cell& CellAt(int x, int y) const {
    return cells_[static_cast<std::size_t>(y * width_ + x)];
  }
  int width_, height_;
  std::vector<Cell> cells_;
};

}  // namespace farhost
