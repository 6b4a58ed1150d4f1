#include "DialogView.h"

#include <algorithm>
#include <cstring>

#include "Text.h"

namespace farhost {

using namespace farapi;

DialogView::DialogView(FarDialogItem* items, int count, int width, int height)
    : items_(items),
      count_(count),
      width_(width),
      height_(height),
      places_(static_cast<std::size_t>(count)),
      caret_(static_cast<std::size_t>(count)) {
  for (int i = 0; i < count_; ++i) {
    caret_[static_cast<std::size_t>(i)] = EditText(i).size();
    if (items_[i].Focus && focus_ < 0 && Focusable(i)) focus_ = i;
  }
  if (focus_ < 0) MoveFocus(1);
  Focused();
  Layout();
}

std::string DialogView::Label(int i) const {
  const std::string text(items_[i].Data, strnlen(items_[i].Data, sizeof items_[i].Data));
  return (items_[i].Flags & DIF_SHOWAMPERSAND) ? text : StripHotkey(text);
}

bool DialogView::IsEdit(int i) const {
  const int t = items_[i].Type;
  return t == DI_EDIT || t == DI_FIXEDIT || t == DI_PSWEDIT || t == DI_COMBOBOX;
}

bool DialogView::Focusable(int i) const {
  const FarDialogItem& it = items_[i];
  if (it.Flags & (DIF_DISABLE | DIF_NOFOCUS | DIF_HIDDEN)) return false;
  return IsEdit(i) || it.Type == DI_BUTTON || it.Type == DI_CHECKBOX || it.Type == DI_RADIOBUTTON;
}

void DialogView::SetFocus(int i) {
  if (i >= 0 && i < count_ && Focusable(i)) focus_ = i;
  Focused();
}

void DialogView::MoveFocus(int step) {
  int i = focus_;
  for (int n = 0; n < count_; ++n) {
    i = ((i + step) % count_ + count_) % count_;
    if (Focusable(i)) {
      focus_ = i;
      break;
    }
  }
  Focused();
}

void DialogView::TabFocus(int step) {
  const int from = focus_;
  const int group = IsRadio(from) ? GroupStart(from) : -1;
  MoveFocus(step);
  while (focus_ != from && group >= 0 && IsRadio(focus_) && GroupStart(focus_) == group) {
    MoveFocus(step);
  }
  if (!IsRadio(focus_)) return;
  const int first = GroupStart(focus_);
  for (int j = first; j < count_ && IsRadio(j) && (j == first || !(items_[j].Flags & DIF_GROUP));
       ++j) {
    if (items_[j].Selected && Focusable(j)) focus_ = j;
  }
}

void DialogView::Focused() {
  selected_ = focus_ >= 0 && IsEdit(focus_) && !EditText(focus_).empty();
}

bool DialogView::TakeSelection() {
  const bool was = selected_;
  selected_ = false;
  return was;
}

bool DialogView::IsRadio(int i) const {
  return i >= 0 && i < count_ && items_[i].Type == DI_RADIOBUTTON;
}

int DialogView::GroupStart(int i) const {
  while (i > 0 && !(items_[i].Flags & DIF_GROUP) && IsRadio(i - 1)) --i;
  return i;
}

std::string DialogView::EditText(int i) const {
  return std::string(items_[i].Data, strnlen(items_[i].Data, sizeof items_[i].Data));
}

void DialogView::SetEditText(int i, std::string_view text) {
  FarDialogItem& it = items_[i];
  std::size_t n = std::min(text.size(), sizeof it.Data - 1);
  while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(it.Data, text.data(), n);
  it.Data[n] = '\0';
  caret_[static_cast<std::size_t>(i)] = n;
}

void DialogView::SelectRadio(int i) {
  if (items_[i].Type != DI_RADIOBUTTON) return;
  const int first = GroupStart(i);
  for (int j = first; j < count_ && items_[j].Type == DI_RADIOBUTTON; ++j) {
    if (j > first && (items_[j].Flags & DIF_GROUP)) break;
    items_[j].Selected = 0;
  }
  items_[i].Selected = 1;
}

void DialogView::ToggleCheck(int i) {
  if (items_[i].Type != DI_CHECKBOX) return;
  const int states = (items_[i].Flags & DIF_3STATE) ? 3 : 2;
  items_[i].Selected = (items_[i].Selected + 1) % states;
}

int DialogView::EnterResult() const {
  if (focus_ >= 0 && items_[focus_].Type == DI_BUTTON && !(items_[focus_].Flags & DIF_BTNNOCLOSE)) {
    return focus_;
  }
  for (int i = 0; i < count_; ++i) {
    if (items_[i].DefaultButton &&
        !(items_[i].Type == DI_BUTTON && (items_[i].Flags & DIF_BTNNOCLOSE))) {
      return i;
    }
  }
  return focus_;
}

void DialogView::Finish() {
  for (int i = 0; i < count_; ++i) items_[i].Focus = i == focus_;
}

int DialogView::ItemWidth(int i) const {
  const FarDialogItem& it = items_[i];
  const int label = static_cast<int>(Width(Label(i)));
  switch (it.Type) {
    case DI_BUTTON:
      return (it.Flags & DIF_NOBRACKETS) ? label : label + 4;
    case DI_CHECKBOX:
    case DI_RADIOBUTTON:
      return label + 4;
    default:
      return label;
  }
}

void DialogView::Layout() {
  for (int i = 0; i < count_; ++i) {
    places_[static_cast<std::size_t>(i)] = Place{items_[i].X1, items_[i].Y1};
  }
  // Runs of DIF_CENTERGROUP items on one row are centred together.
  for (int i = 0; i < count_;) {
    if (!(items_[i].Flags & DIF_CENTERGROUP) || items_[i].Type == DI_TEXT) {
      ++i;
      continue;
    }
    int j = i, total = 0;
    while (j < count_ && (items_[j].Flags & DIF_CENTERGROUP) && items_[j].Y1 == items_[i].Y1) {
      total += ItemWidth(j) + (j > i ? 1 : 0);
      ++j;
    }
    int x = (width_ - total) / 2;
    for (int k = i; k < j; ++k) {
      places_[static_cast<std::size_t>(k)].x = x;
      x += ItemWidth(k) + 1;
    }
    i = j;
  }
  for (int i = 0; i < count_; ++i) {
    const FarDialogItem& it = items_[i];
    if (it.Type == DI_TEXT && it.X1 == -1) {
      places_[static_cast<std::size_t>(i)].x = (width_ - ItemWidth(i)) / 2;
    } else if (it.Type == DI_TEXT && (it.Flags & DIF_CENTERTEXT) && it.X2 > it.X1) {
      places_[static_cast<std::size_t>(i)].x = it.X1 + (it.X2 - it.X1 + 1 - ItemWidth(i)) / 2;
    }
  }
}

int DialogView::EnclosingBox(int y) const {
  for (int i = 0; i < count_; ++i) {
    const int t = items_[i].Type;
    if ((t == DI_DOUBLEBOX || t == DI_SINGLEBOX) && items_[i].Y1 < y && y < items_[i].Y2) return i;
  }
  return -1;
}

namespace {

void DrawBox(Canvas& c, int x1, int y1, int x2, int y2, bool dbl, const std::string& title) {
  const char* h = dbl ? "═" : "─";
  const char* v = dbl ? "║" : "│";
  for (int x = x1 + 1; x < x2; ++x) c.Put(x, y1, h), c.Put(x, y2, h);
  for (int y = y1 + 1; y < y2; ++y) c.Put(x1, y, v), c.Put(x2, y, v);
  c.Put(x1, y1, dbl ? "╔" : "┌");
  c.Put(x2, y1, dbl ? "╗" : "┐");
  c.Put(x1, y2, dbl ? "╚" : "└");
  c.Put(x2, y2, dbl ? "╝" : "┘");
  if (!title.empty()) {
    const std::string t = " " + title + " ";
    c.Put(x1 + (x2 - x1 + 1 - static_cast<int>(Width(t))) / 2, y1, t);
  }
}

}  // namespace

Canvas DialogView::Render(bool focusMarks) const {
  Canvas c(width_, height_);
  for (int i = 0; i < count_; ++i) {
    const FarDialogItem& it = items_[i];
    if (it.Flags & DIF_HIDDEN) continue;
    const Place p = places_[static_cast<std::size_t>(i)];
    const bool focused = focusMarks && i == focus_;
    const Canvas::Attr mark = focused ? Canvas::Focus : Canvas::Normal;
    const std::string label = Label(i);
    switch (it.Type) {
      case DI_DOUBLEBOX:
      case DI_SINGLEBOX:
        DrawBox(c, it.X1, it.Y1, it.X2, it.Y2, it.Type == DI_DOUBLEBOX, label);
        break;
      case DI_TEXT:
        if (it.Flags & (DIF_SEPARATOR | DIF_SEPARATOR2)) {
          const bool dbl = (it.Flags & DIF_SEPARATOR2) != 0;
          const int box = EnclosingBox(it.Y1);
          const int x1 = box >= 0 ? items_[box].X1 : 0;
          const int x2 = box >= 0 ? items_[box].X2 : width_ - 1;
          const bool boxDbl = box >= 0 && items_[box].Type == DI_DOUBLEBOX;
          for (int x = x1 + 1; x < x2; ++x) c.Put(x, it.Y1, dbl ? "═" : "─");
          c.Put(x1, it.Y1, dbl ? "╠" : (boxDbl ? "╟" : "├"));
          c.Put(x2, it.Y1, dbl ? "╣" : (boxDbl ? "╢" : "┤"));
          if (!label.empty()) {
            const std::string t = " " + label + " ";
            c.Put(x1 + (x2 - x1 + 1 - static_cast<int>(Width(t))) / 2, it.Y1, t);
          }
        } else {
          c.Put(p.x, p.y, label);
        }
        break;
      case DI_VTEXT: {
        int y = p.y;
        for (const std::string& ch : Chars(label)) c.Put(p.x, y++, ch);
        break;
      }
      case DI_BUTTON: {
        const bool plain = (it.Flags & DIF_NOBRACKETS) != 0;
        const std::string text =
            plain ? label : (it.DefaultButton ? "{ " + label + " }" : "[ " + label + " ]");
        c.Put(p.x, p.y, text, mark);
        break;
      }
      case DI_CHECKBOX:
        c.Put(p.x, p.y, it.Selected == 2 ? "[?]" : (it.Selected ? "[x]" : "[ ]"), mark);
        c.Put(p.x + 4, p.y, label);
        break;
      case DI_RADIOBUTTON:
        c.Put(p.x, p.y, it.Selected ? "(•)" : "( )", mark);
        c.Put(p.x + 4, p.y, label);
        break;
      default:
        if (IsEdit(i)) {
          const int w = std::max(it.X2 - it.X1 + 1, 1);
          std::string text = EditText(i);
          if (it.Type == DI_PSWEDIT) text = std::string(Width(text), '*');
          for (int x = 0; x < w; ++x)
            c.Put(p.x + x, p.y, " ", focused ? Canvas::Focus : Canvas::Field);
          // Show the end of a text longer than the field, where the caret is.
          std::vector<std::string> chars = Chars(text);
          const std::size_t caretChars = Width(text.substr(0, caret_[static_cast<std::size_t>(i)]));
          std::size_t first = caretChars >= static_cast<std::size_t>(w) ? caretChars - w + 1 : 0;
          std::string shown;
          for (std::size_t k = first; k < chars.size() && k < first + static_cast<std::size_t>(w);
               ++k) {
            shown += chars[k];
          }
          c.Put(p.x, p.y, shown, focused ? Canvas::Focus : Canvas::Field);
        }
        break;
    }
  }
  return c;
}

bool DialogView::CaretPosition(int& x, int& y) const {
  if (focus_ < 0 || !IsEdit(focus_)) return false;
  const FarDialogItem& it = items_[focus_];
  const int w = std::max(it.X2 - it.X1 + 1, 1);
  const int caretChars =
      static_cast<int>(Width(EditText(focus_).substr(0, caret_[static_cast<std::size_t>(focus_)])));
  x = places_[static_cast<std::size_t>(focus_)].x + std::min(caretChars, w - 1);
  y = places_[static_cast<std::size_t>(focus_)].y;
  return true;
}

Canvas MessageView::Render(int focusButton) const {
  int inner = static_cast<int>(Width(title)) + 2;
  for (const std::string& l : lines) inner = std::max(inner, static_cast<int>(Width(l)));
  int buttonsWidth = 0;
  for (const std::string& b : buttons) buttonsWidth += static_cast<int>(Width(b)) + 5;
  inner = std::max(inner, buttonsWidth);
  const int width = inner + 10;
  // With buttons: a separator line, then the buttons row.
  const int height = static_cast<int>(lines.size()) + (buttons.empty() ? 4 : 6);
  Canvas c(width, height);
  DrawBox(c, 3, 1, width - 4, height - 2, true, title);
  int y = 2;
  for (const std::string& l : lines) {
    if (!l.empty() && (l[0] == '\x01' || l[0] == '\x02')) {
      const bool dbl = l[0] == '\x02';
      for (int x = 4; x < width - 4; ++x) c.Put(x, y, dbl ? "═" : "─");
      c.Put(3, y, dbl ? "╠" : "╟");
      c.Put(width - 4, y, dbl ? "╣" : "╢");
      const std::string t = l.size() > 1 ? " " + l.substr(1) + " " : "";
      if (!t.empty()) c.Put((width - static_cast<int>(Width(t))) / 2, y, t);
    } else {
      const int x = leftAlign ? 5 : (width - static_cast<int>(Width(l))) / 2;
      c.Put(x, y, l);
    }
    ++y;
  }
  if (buttons.empty()) return c;
  for (int x = 4; x < width - 4; ++x) c.Put(x, y, "─");
  c.Put(3, y, "╟");
  c.Put(width - 4, y, "╢");
  ++y;
  int x = (width - buttonsWidth + 1) / 2;
  for (std::size_t b = 0; b < buttons.size(); ++b) {
    // The first button is the default one, drawn in braces.
    const std::string label = StripHotkey(buttons[b]);
    const std::string text = b == 0 ? "{ " + label + " }" : "[ " + label + " ]";
    c.Put(x, y, text, static_cast<int>(b) == focusButton ? Canvas::Focus : Canvas::Normal);
    x += static_cast<int>(Width(text)) + 1;
  }
  return c;
}

}  // namespace farhost
