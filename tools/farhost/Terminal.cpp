#include "Terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "Text.h"

namespace farhost {

using namespace farapi;

namespace {

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
  Cancel,
  None
};

struct KeyPress {
  Key key = Key::None;
  char ch = 0;
};

// Raw keyboard and the alternate screen for as long as it lives.
class Screen {
 public:
  Screen() {
    ok_ = ::tcgetattr(STDIN_FILENO, &saved_) == 0;
    if (ok_) {
      termios raw = saved_;
      raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
      raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
      raw.c_cc[VMIN] = 1;
      raw.c_cc[VTIME] = 0;
      ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw);
    }
    Write("\x1b[?1049h");
  }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;
  ~Screen() {
    Write("\x1b[0m\x1b[?25h\x1b[?1049l");
    if (ok_) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }

  static void Write(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fflush(stdout);
  }

  // Draws CANVAS centred; the caret goes to (CX, CY) of the canvas if given.
  void Draw(const Canvas& canvas, bool caret = false, int cx = 0, int cy = 0) {
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

  KeyPress Read() {
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
      case 0x1B:
        return ReadEscape();
      default:
        if (c < 0x20) return {Key::None};
        return {Key::Char, static_cast<char>(c)};
    }
  }

 private:
  static bool ReadByte(unsigned char& c, int timeoutMs) {
    if (timeoutMs >= 0) {
      pollfd p{STDIN_FILENO, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) <= 0) return false;
    }
    return ::read(STDIN_FILENO, &c, 1) == 1;
  }

  // A lone Esc, or the sequence an arrow or function key sends.
  KeyPress ReadEscape() {
    unsigned char c;
    if (!ReadByte(c, 50)) return {Key::Esc};
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

  termios saved_{};
  bool ok_ = false;
};

void EditKey(DialogView& view, int i, const KeyPress& k) {
  std::string text = view.EditText(i);
  std::size_t& caret = view.Caret(i);
  caret = std::min(caret, text.size());
  switch (k.key) {
    case Key::Left:
      caret = PrevChar(text, caret);
      return;
    case Key::Right:
      caret = NextChar(text, caret);
      return;
    case Key::Home:
      caret = 0;
      return;
    case Key::End:
      caret = text.size();
      return;
    case Key::Backspace: {
      const std::size_t from = PrevChar(text, caret);
      text.erase(from, caret - from);
      caret = from;
      break;
    }
    case Key::Delete:
      text.erase(caret, NextChar(text, caret) - caret);
      break;
    case Key::Char:
      if (view.Item(i).Flags & DIF_READONLY) return;
      if (text.size() >= sizeof view.Item(i).Data - 1) return;
      text.insert(caret, 1, k.ch);
      ++caret;
      break;
    default:
      return;
  }
  const std::size_t keep = caret;
  view.SetEditText(i, text);
  view.Caret(i) = std::min(keep, view.EditText(i).size());
}

}  // namespace

bool HaveTerminal() {
  return ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO);
}

int RunDialog(DialogView& view) {
  Screen screen;
  while (true) {
    int cx = 0, cy = 0;
    const bool caret = view.CaretPosition(cx, cy);
    screen.Draw(view.Render(true), caret, cx, cy);
    const KeyPress k = screen.Read();
    const int f = view.FocusIndex();
    const bool onEdit = f >= 0 && view.IsEdit(f);
    switch (k.key) {
      case Key::Esc:
      case Key::Cancel:
        view.Finish();
        return -1;
      case Key::Enter:
        view.Finish();
        return view.EnterResult();
      case Key::Tab:
      case Key::Down:
        view.MoveFocus(1);
        break;
      case Key::BackTab:
      case Key::Up:
        view.MoveFocus(-1);
        break;
      default:
        if (onEdit) {
          EditKey(view, f, k);
        } else if (k.key == Key::Char && k.ch == ' ' && f >= 0) {
          const int t = view.Item(f).Type;
          if (t == DI_CHECKBOX) view.ToggleCheck(f);
          if (t == DI_RADIOBUTTON) view.SelectRadio(f);
          if (t == DI_BUTTON && !(view.Item(f).Flags & DIF_BTNNOCLOSE)) {
            view.Finish();
            return f;
          }
        } else if (k.key == Key::Right) {
          view.MoveFocus(1);
        } else if (k.key == Key::Left) {
          view.MoveFocus(-1);
        }
        break;
    }
  }
}

int RunMessage(const MessageView& msg) {
  Screen screen;
  int focus = 0;
  const int n = static_cast<int>(msg.buttons.size());
  while (true) {
    screen.Draw(msg.Render(focus));
    const KeyPress k = screen.Read();
    switch (k.key) {
      case Key::Esc:
      case Key::Cancel:
        return -1;
      case Key::Enter:
        return n > 0 ? focus : 0;
      case Key::Tab:
      case Key::Right:
      case Key::Down:
        if (n > 0) focus = (focus + 1) % n;
        break;
      case Key::BackTab:
      case Key::Left:
      case Key::Up:
        if (n > 0) focus = (focus + n - 1) % n;
        break;
      default:
        if (k.key == Key::Char && k.ch == ' ') return n > 0 ? focus : 0;
        break;
    }
  }
}

}  // namespace farhost
