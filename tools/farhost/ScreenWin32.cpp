#include <windows.h>

#include <algorithm>
#include <vector>

#include "Screen.h"

namespace farhost {

namespace {

WORD Attribute(Canvas::Attr attr) {
  constexpr WORD kGrey = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
  constexpr WORD kReverse = BACKGROUND_RED | BACKGROUND_GREEN | BACKGROUND_BLUE;
  switch (attr) {
    case Canvas::Field:
      return kReverse;
    case Canvas::Focus:
      return kReverse | BACKGROUND_INTENSITY;
    default:
      return kGrey;
  }
}

// One canvas character (UTF-8) as the console's UTF-16 unit; "?" for what
// does not fit in one.
WCHAR Wide(const std::string& ch) {
  WCHAR w[2];
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, ch.data(), static_cast<int>(ch.size()), w, 2);
  return n == 1 ? w[0] : L'?';
}

std::string Utf8(WCHAR w) {
  char out[4];
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, &w, 1, out, sizeof out, nullptr, nullptr);
  return n > 0 ? std::string(out, static_cast<std::size_t>(n)) : std::string();
}

KeyPress Translate(const KEY_EVENT_RECORD& k) {
  const bool shift = (k.dwControlKeyState & SHIFT_PRESSED) != 0;
  // Alt alone (AltGr reports Ctrl as well and types characters).
  const DWORD alt = k.dwControlKeyState & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED);
  const DWORD ctrl = k.dwControlKeyState & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED);
  const WORD vk = k.wVirtualKeyCode;
  if (alt && !ctrl && ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))) {
    return {Key::Alt, std::string(1, static_cast<char>(vk >= 'A' ? vk - 'A' + 'a' : vk))};
  }
  switch (k.wVirtualKeyCode) {
    case VK_RETURN:
      return {Key::Enter};
    case VK_ESCAPE:
      return {Key::Esc};
    case VK_TAB:
      return {shift ? Key::BackTab : Key::Tab};
    case VK_UP:
      return {Key::Up};
    case VK_DOWN:
      return {Key::Down};
    case VK_LEFT:
      return {Key::Left};
    case VK_RIGHT:
      return {Key::Right};
    case VK_HOME:
      return {Key::Home};
    case VK_END:
      return {Key::End};
    case VK_BACK:
      return {Key::Backspace};
    case VK_DELETE:
      return {Key::Delete};
    case VK_F10:
      return {Key::Cancel};
    default:
      break;
  }
  const WCHAR c = k.uChar.UnicodeChar;
  if (c == 3 || c == 4) return {Key::Cancel};  // Ctrl+C, Ctrl+D
  if (c == 0x19) return {Key::ClearLine};       // Ctrl+Y
  if (c < 0x20) return {Key::None};
  return {Key::Char, Utf8(c)};
}

}  // namespace

struct Screen::State {
  HANDLE in = INVALID_HANDLE_VALUE;
  HANDLE out = INVALID_HANDLE_VALUE;
  DWORD inMode = 0;
  bool inModeSaved = false;
  // What the window showed before, put back at the end. A second screen
  // buffer would do the same on Windows, but a console drawn on a terminal
  // (wine's) does not repaint a buffer made active again.
  CONSOLE_SCREEN_BUFFER_INFO before{};
  CONSOLE_CURSOR_INFO cursor{};
  std::vector<CHAR_INFO> saved;
};

bool HaveTerminal() {
  DWORD mode;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) &&
         ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode);
}

namespace {

COORD WindowSize(const SMALL_RECT& window) {
  return COORD{static_cast<SHORT>(window.Right - window.Left + 1),
               static_cast<SHORT>(window.Bottom - window.Top + 1)};
}

// The window's cells, row by row: older consoles refuse one transfer of more
// than 64 KiB, which a large window exceeds.
bool ReadWindow(HANDLE out, const SMALL_RECT& window, std::vector<CHAR_INFO>& cells) {
  const COORD size = WindowSize(window);
  cells.resize(static_cast<std::size_t>(size.X * size.Y));
  for (SHORT y = 0; y < size.Y; ++y) {
    SMALL_RECT row{window.Left, static_cast<SHORT>(window.Top + y), window.Right,
                   static_cast<SHORT>(window.Top + y)};
    if (!::ReadConsoleOutputW(out, &cells[static_cast<std::size_t>(y * size.X)], COORD{size.X, 1},
                              COORD{0, 0}, &row)) {
      return false;
    }
  }
  return true;
}

void WriteWindow(HANDLE out, const SMALL_RECT& window, const std::vector<CHAR_INFO>& cells) {
  const COORD size = WindowSize(window);
  for (SHORT y = 0; y < size.Y; ++y) {
    SMALL_RECT row{window.Left, static_cast<SHORT>(window.Top + y), window.Right,
                   static_cast<SHORT>(window.Top + y)};
    ::WriteConsoleOutputW(out, &cells[static_cast<std::size_t>(y * size.X)], COORD{size.X, 1},
                          COORD{0, 0}, &row);
  }
}

}  // namespace

Screen::Screen() : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.in = ::GetStdHandle(STD_INPUT_HANDLE);
  s.inModeSaved = ::GetConsoleMode(s.in, &s.inMode);
  if (s.inModeSaved) {
    // Keys one by one, no echo, Ctrl+C as a key rather than a signal.
    const DWORD cooked = ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT |
                         ENABLE_MOUSE_INPUT | ENABLE_WINDOW_INPUT | ENABLE_QUICK_EDIT_MODE;
    ::SetConsoleMode(s.in, (s.inMode & ~cooked) | ENABLE_EXTENDED_FLAGS);
  }
  s.out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (::GetConsoleScreenBufferInfo(s.out, &s.before) &&
      !ReadWindow(s.out, s.before.srWindow, s.saved)) {
    s.saved.clear();
  }
  ::GetConsoleCursorInfo(s.out, &s.cursor);
}

Screen::~Screen() {
  State& s = *state_;
  if (!s.saved.empty()) {
    WriteWindow(s.out, s.before.srWindow, s.saved);
    ::SetConsoleCursorPosition(s.out, s.before.dwCursorPosition);
  }
  if (s.cursor.dwSize != 0) ::SetConsoleCursorInfo(s.out, &s.cursor);
  if (s.inModeSaved) ::SetConsoleMode(s.in, s.inMode);
}

void Screen::Draw(const Canvas& canvas, bool caret, int cx, int cy) {
  const HANDLE out = state_->out;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!::GetConsoleScreenBufferInfo(out, &info)) return;
  SMALL_RECT window = info.srWindow;
  const COORD size = WindowSize(window);
  const int cols = size.X, rows = size.Y;
  const int left = std::max(0, (cols - canvas.Width()) / 2);
  const int top = std::max(0, (rows - canvas.Height()) / 2);
  std::vector<CHAR_INFO> cells(static_cast<std::size_t>(cols * rows));
  for (CHAR_INFO& c : cells) {
    c.Char.UnicodeChar = L' ';
    c.Attributes = Attribute(Canvas::Normal);
  }
  for (int y = 0; y < canvas.Height() && top + y < rows; ++y) {
    for (int x = 0; x < canvas.Width() && left + x < cols; ++x) {
      CHAR_INFO& c = cells[static_cast<std::size_t>((top + y) * cols + left + x)];
      c.Char.UnicodeChar = Wide(canvas.CharAt(x, y));
      c.Attributes = Attribute(canvas.AttrAt(x, y));
    }
  }
  WriteWindow(out, window, cells);
  CONSOLE_CURSOR_INFO cursor{25, caret ? TRUE : FALSE};
  ::SetConsoleCursorInfo(out, &cursor);
  if (caret) {
    ::SetConsoleCursorPosition(out, COORD{static_cast<SHORT>(info.srWindow.Left + left + cx),
                                          static_cast<SHORT>(info.srWindow.Top + top + cy)});
  }
}

KeyPress Screen::Read() {
  while (true) {
    INPUT_RECORD rec;
    DWORD n = 0;
    if (!::ReadConsoleInputW(state_->in, &rec, 1, &n) || n == 0) return {Key::Cancel};
    if (rec.EventType != KEY_EVENT || !rec.Event.KeyEvent.bKeyDown) continue;
    const KeyPress k = Translate(rec.Event.KeyEvent);
    if (k.key != Key::None) return k;
  }
}

}  // namespace farhost
