// The terminal under the dialogs: raw keys in, a canvas drawn centred. A
// POSIX half (ANSI terminal, termios) and a Windows half (console API), so
// that the dialog logic in Terminal.cpp is the same on both.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "Canvas.h"

namespace farhost {

// True when standard input and output are a terminal (a console on Windows).
bool HaveTerminal();

enum class Key {
  Char,
  Enter,
  Esc,
  Tab,
  BackTab,
  Up,
  Down,
  Left,
  Right,
  Home,
  End,
  Backspace,
  Delete,
  ClearLine,  // Ctrl+Y: the whole text of an edit goes
  Cancel,
  Alt,  // Alt with a letter or digit, in ch (lower case)
  None
};

struct KeyPress {
  KeyPress(Key k = Key::None, std::string c = {}) : key(k), ch(std::move(c)) {}
  Key key;
  std::string ch;  // Key::Char: the character typed, as UTF-8
};

// Raw keyboard and a screen of its own for as long as it lives; the
// previous contents come back afterwards.
class Screen {
 public:
  Screen();
  ~Screen();
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  // Draws CANVAS centred; the caret goes to (CX, CY) of the canvas if CARET.
  void Draw(const Canvas& canvas, bool caret = false, int cx = 0, int cy = 0);
  // The next key; Key::Cancel when input has ended.
  KeyPress Read();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace farhost
