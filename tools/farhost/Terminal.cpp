// The dialogs and message boxes driven by the keyboard; the screen itself is
// the platform's (ScreenPosix.cpp, ScreenWin32.cpp).
#include "Terminal.h"

#include <algorithm>
#include <string>

#include "Screen.h"
#include "Text.h"

namespace farhost {

using namespace farapi;

namespace {

void EditKey(DialogView& view, int i, const KeyPress& k) {
  std::string text = view.EditText(i);
  std::size_t& caret = view.Caret(i);
  caret = std::min(caret, text.size());
  // A selected text goes with the first character, Backspace or Delete.
  if (view.TakeSelection() && !(view.Item(i).Flags & DIF_READONLY) &&
      (k.key == Key::Char || k.key == Key::Backspace || k.key == Key::Delete ||
       k.key == Key::ClearLine)) {
    text.clear();
    caret = 0;
    if (k.key != Key::Char) {
      view.SetEditText(i, text);
      return;
    }
  }
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
    case Key::ClearLine:
      if (view.Item(i).Flags & DIF_READONLY) return;
      text.clear();
      caret = 0;
      break;
    case Key::Char:
      if (view.Item(i).Flags & DIF_READONLY) return;
      if (text.size() + k.ch.size() > sizeof view.Item(i).Data - 1) return;
      text.insert(caret, k.ch);
      caret += k.ch.size();
      break;
    default:
      return;
  }
  const std::size_t keep = caret;
  view.SetEditText(i, text);
  view.Caret(i) = std::min(keep, view.EditText(i).size());
}

// Any other key on item F: a keystroke in an edit, Space on a tick, a radio
// button or a button, the arrows across a row. The button when it closes the
// dialog, else -1.
int OtherKey(DialogView& view, int f, const KeyPress& k) {
  if (f >= 0 && view.IsEdit(f)) {
    EditKey(view, f, k);
  } else if (k.key == Key::Char && k.ch == " " && f >= 0) {
    const int t = view.Item(f).Type;
    if (t == DI_CHECKBOX) view.ToggleCheck(f);
    if (t == DI_RADIOBUTTON) view.SelectRadio(f);
    if (t == DI_BUTTON && !(view.Item(f).Flags & DIF_BTNNOCLOSE)) return f;
  } else if (k.key == Key::Right) {
    view.MoveFocus(1);
  } else if (k.key == Key::Left) {
    view.MoveFocus(-1);
  }
  return -1;
}

}  // namespace

int RunDialog(DialogView& view) {
  Screen screen;
  while (true) {
    int cx = 0, cy = 0;
    const bool caret = view.CaretPosition(cx, cy);
    screen.Draw(view.Render(true), caret, cx, cy);
    const KeyPress k = screen.Read();
    switch (k.key) {
      case Key::Esc:
      case Key::Cancel:
        view.Finish();
        return -1;
      case Key::Enter:
        view.Finish();
        return view.EnterResult();
      case Key::Tab:
        view.TabFocus(1);
        break;
      case Key::BackTab:
        view.TabFocus(-1);
        break;
      case Key::Down:
        view.MoveFocus(1);
        break;
      case Key::Up:
        view.MoveFocus(-1);
        break;
      case Key::Alt:
        // The item with that hot key, as the file manager does; never a cancel.
        if (const int i = view.HotkeyItem(k.ch[0]); i >= 0) {
          if (const int closed = view.PressHotkey(i); closed >= 0) return closed;
        }
        break;
      default:
        if (const int button = OtherKey(view, view.FocusIndex(), k); button >= 0) {
          view.Finish();
          return button;
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
        if (k.key == Key::Char && k.ch == " ") return n > 0 ? focus : 0;
        break;
    }
  }
}

}  // namespace farhost
