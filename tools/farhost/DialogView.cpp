#include "DialogView.h"

#include <algorithm>
#include <cctype>
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

int DialogView::HotkeyItem(char letter) const {
  for (int i = 0; i < count_; ++i) {
    if (IsEdit(i) || (items_[i].Flags & (DIF_SHOWAMPERSAND | DIF_DISABLE | DIF_HIDDEN))) continue;
    const std::string text = EditText(i);
    for (std::size_t p = 0; p + 1 < text.size(); ++p) {
      if (text[p] != '&') continue;
      if (text[p + 1] == '&') {
        ++p;
        continue;
      }
      if (std::tolower(static_cast<unsigned char>(text[p + 1])) == letter) return i;
      break;
    }
  }
  return -1;
}

int DialogView::PressHotkey(int i) {
  switch (items_[i].Type) {
    case DI_BUTTON:
      SetFocus(i);
      if (items_[i].Flags & DIF_BTNNOCLOSE) return -1;
      Finish();
      return i;
    case DI_CHECKBOX:
      SetFocus(i);
      ToggleCheck(i);
      return -1;
    case DI_RADIOBUTTON:
      SetFocus(i);
      SelectRadio(i);
      return -1;
    default:
      for (int next = i + 1; next < count_; ++next) {
        if (Focusable(next)) {
          SetFocus(next);
          break;
        }
      }
      return -1;
  }
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

// TITLE, framed by blanks, centred between the columns X1 and X2.
void PutTitle(Canvas& c, int x1, int x2, int y, const std::string& title) {
  if (title.empty()) return;
  const std::string t = " " + title + " ";
  c.Put(x1 + (x2 - x1 + 1 - static_cast<int>(Width(t))) / 2, y, t);
}

void DrawBox(Canvas& c, int x1, int y1, int x2, int y2, bool dbl, const std::string& title) {
  const char* h = dbl ? "═" : "─";
  const char* v = dbl ? "║" : "│";
  for (int x = x1 + 1; x < x2; ++x) c.Put(x, y1, h), c.Put(x, y2, h);
  for (int y = y1 + 1; y < y2; ++y) c.Put(x1, y, v), c.Put(x2, y, v);
  c.Put(x1, y1, dbl ? "╔" : "┌");
  c.Put(x2, y1, dbl ? "╗" : "┐");
  c.Put(x1, y2, dbl ? "╚" : "└");
  c.Put(x2, y2, dbl ? "╝" : "┘");
  PutTitle(c, x1, x2, y1, title);
}

// A line across a box between its sides at X1 and X2, joined to them with
// LEFT and RIGHT.
void DrawSeparator(Canvas& c, int x1, int x2, int y, bool dbl, const char* left, const char* right,
                   const std::string& title) {
  for (int x = x1 + 1; x < x2; ++x) c.Put(x, y, dbl ? "═" : "─");
  c.Put(x1, y, left);
  c.Put(x2, y, right);
  PutTitle(c, x1, x2, y, title);
}

std::string ButtonText(const farapi::FarDialogItem& it, const std::string& label) {
  if (it.Flags & DIF_NOBRACKETS) return label;
  return it.DefaultButton ? "{ " + label + " }" : "[ " + label + " ]";
}

// What a field W columns wide shows of TEXT: the end of a longer text, where
// the caret (at byte CARET) is.
std::string VisiblePart(const std::string& text, std::size_t caret, int w) {
  const std::vector<std::string> chars = Chars(text);
  const std::size_t width = static_cast<std::size_t>(w);
  const std::size_t caretChars = Width(text.substr(0, caret));
  const std::size_t first = caretChars >= width ? caretChars - width + 1 : 0;
  std::string shown;
  for (std::size_t k = first; k < chars.size() && k < first + width; ++k) shown += chars[k];
  return shown;
}

}  // namespace

Canvas DialogView::Render(bool focusMarks) const {
  Canvas c(width_, height_);
  for (int i = 0; i < count_; ++i) {
    if (!(items_[i].Flags & DIF_HIDDEN)) DrawItem(c, i, focusMarks && i == focus_);
  }
  return c;
}

void DialogView::DrawItem(Canvas& c, int i, bool focused) const {
  const FarDialogItem& it = items_[i];
  const Place p = places_[static_cast<std::size_t>(i)];
  const Canvas::Attr mark = focused ? Canvas::Focus : Canvas::Normal;
  const std::string label = Label(i);
  switch (it.Type) {
    case DI_DOUBLEBOX:
    case DI_SINGLEBOX:
      DrawBox(c, it.X1, it.Y1, it.X2, it.Y2, it.Type == DI_DOUBLEBOX, label);
      break;
    case DI_TEXT:
      if (it.Flags & (DIF_SEPARATOR | DIF_SEPARATOR2)) {
        DrawSeparatorItem(c, i, label);
      } else {
        c.Put(p.x, p.y, label);
      }
      break;
    case DI_VTEXT: {
      int y = p.y;
      for (const std::string& ch : Chars(label)) c.Put(p.x, y++, ch);
      break;
    }
    case DI_BUTTON:
      c.Put(p.x, p.y, ButtonText(it, label), mark);
      break;
    case DI_CHECKBOX:
      c.Put(p.x, p.y, it.Selected == 2 ? "[?]" : (it.Selected ? "[x]" : "[ ]"), mark);
      c.Put(p.x + 4, p.y, label);
      break;
    case DI_RADIOBUTTON:
      c.Put(p.x, p.y, it.Selected ? "(•)" : "( )", mark);
      c.Put(p.x + 4, p.y, label);
      break;
    default:
      if (IsEdit(i)) DrawEdit(c, i, focused);
      break;
  }
}

// A separator runs across the box it lies in (else the dialog) and joins
// that box's sides.
void DialogView::DrawSeparatorItem(Canvas& c, int i, const std::string& label) const {
  const FarDialogItem& it = items_[i];
  const bool dbl = (it.Flags & DIF_SEPARATOR2) != 0;
  const int box = EnclosingBox(it.Y1);
  const int x1 = box >= 0 ? items_[box].X1 : 0;
  const int x2 = box >= 0 ? items_[box].X2 : width_ - 1;
  const bool boxDbl = box >= 0 && items_[box].Type == DI_DOUBLEBOX;
  DrawSeparator(c, x1, x2, it.Y1, dbl, dbl ? "╠" : (boxDbl ? "╟" : "├"),
                dbl ? "╣" : (boxDbl ? "╢" : "┤"), label);
}

void DialogView::DrawEdit(Canvas& c, int i, bool focused) const {
  const FarDialogItem& it = items_[i];
  const Place p = places_[static_cast<std::size_t>(i)];
  const Canvas::Attr attr = focused ? Canvas::Focus : Canvas::Field;
  const int w = std::max(it.X2 - it.X1 + 1, 1);
  std::string text = EditText(i);
  if (it.Type == DI_PSWEDIT) text = std::string(Width(text), '*');
  for (int x = 0; x < w; ++x) c.Put(p.x + x, p.y, " ", attr);
  c.Put(p.x, p.y, VisiblePart(text, caret_[static_cast<std::size_t>(i)], w), attr);
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
      DrawSeparator(c, 3, width - 4, y, dbl, dbl ? "╠" : "╟", dbl ? "╣" : "╢", l.substr(1));
    } else {
      const int x = leftAlign ? 5 : (width - static_cast<int>(Width(l))) / 2;
      c.Put(x, y, l);
    }
    ++y;
  }
  if (buttons.empty()) return c;
  DrawSeparator(c, 3, width - 4, y++, false, "╟", "╢", "");
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
