#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "Screen.h"

namespace farhost {

namespace {

void Write(const std::string& s) {
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fflush(stdout);
}

bool ReadByte(unsigned char& c, int timeoutMs) {
  if (timeoutMs >= 0) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
  }
  return ::read(STDIN_FILENO, &c, 1) == 1;
}

// A lone Esc, Alt with a key (the terminal sends Esc and the key), or the
// sequence an arrow or function key sends.
KeyPress ReadEscape() {
  unsigned char c;
  if (!ReadByte(c, 50)) return {Key::Esc};
  if (std::isalnum(c) && c != 'O') {
    return {Key::Alt, std::string(1, static_cast<char>(std::tolower(c)))};
  }
  if (c != '[' && c != 'O') return {Key::Esc};
  std::string seq;
  while (ReadByte(c, 50)) {
    seq += static_cast<char>(c);
    if (c >= 0x40 && c <= 0x7E) break;
  }
  if (seq == "A") return {Key::Up};
  if (seq == "B") return {Key::Down};
  if (seq == "C") return {Key::Right};
  if (seq == "D") return {Key::Left};
  if (seq == "H" || seq == "1~" || seq == "7~") return {Key::Home};
  if (seq == "F" || seq == "4~" || seq == "8~") return {Key::End};
  if (seq == "3~") return {Key::Delete};
  if (seq == "Z") return {Key::BackTab};
  if (seq == "21~") return {Key::Cancel};  // F10
  return {Key::None};
}

}  // namespace

struct Screen::State {
  termios saved{};
  bool ok = false;
};

bool HaveTerminal() {
  return ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO);
}

Screen::Screen() : state_(std::make_unique<State>()) {
  state_->ok = ::tcgetattr(STDIN_FILENO, &state_->saved) == 0;
  if (state_->ok) {
    termios raw = state_->saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw);
  }
  Write("\x1b[?1049h");
}

Screen::~Screen() {
  Write("\x1b[0m\x1b[?25h\x1b[?1049l");
  if (state_->ok) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &state_->saved);
}

void Screen::Draw(const Canvas& canvas, bool caret, int cx, int cy) {
  winsize ws{};
  int cols = 80, rows = 25;
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) {
    cols = ws.ws_col, rows = ws.ws_row;
  }
  const int left = std::max(0, (cols - canvas.Width()) / 2);
  const int top = std::max(0, (rows - canvas.Height()) / 2);
  std::string out = "\x1b[?25l\x1b[0m\x1b[2J";
  const std::vector<std::string> lines = canvas.AnsiLines();
  for (std::size_t y = 0; y < lines.size(); ++y) {
    out += "\x1b[" + std::to_string(top + static_cast<int>(y) + 1) + ";" +
           std::to_string(left + 1) + "H" + lines[y];
  }
  if (caret) {
    out += "\x1b[" + std::to_string(top + cy + 1) + ";" + std::to_string(left + cx + 1) + "H";
    out += "\x1b[?25h";
  }
  Write(out);
}

KeyPress Screen::Read() {
  unsigned char c;
  if (!ReadByte(c, -1)) return {Key::Cancel};
  switch (c) {
    case '\r':
    case '\n':
      return {Key::Enter};
    case '\t':
      return {Key::Tab};
    case 0x7F:
    case 0x08:
      return {Key::Backspace};
    case 0x03:
    case 0x04:
      return {Key::Cancel};
    case 0x19:
      return {Key::ClearLine};
    case 0x1B:
      return ReadEscape();
    default:
      // Bytes of a UTF-8 sequence arrive one by one and are inserted so.
      if (c < 0x20) return {Key::None};
      return {Key::Char, std::string(1, static_cast<char>(c))};
  }
}

}  // namespace farhost
