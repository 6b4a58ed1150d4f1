// Dialogs and message boxes drawn from the host's item records, and the
// operations a person (or a list of answers) performs on them. Knows
// nothing about any particular plug-in.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Canvas.h"
#include "FarApi.h"

namespace farhost {

class DialogView {
 public:
  DialogView(farapi::FarDialogItem* items, int count, int width, int height);

  int Count() const { return count_; }
  farapi::FarDialogItem& Item(int i) { return items_[i]; }
  const farapi::FarDialogItem& Item(int i) const { return items_[i]; }

  // The text an item shows, hotkey mark removed.
  std::string Label(int i) const;
  bool IsEdit(int i) const;
  bool Focusable(int i) const;

  int FocusIndex() const { return focus_; }
  void SetFocus(int i);
  void MoveFocus(int step);  // to the next (+1) or previous (-1) focusable item
  // Tab (+1) and Shift+Tab (-1) as the file manager moves them: a radio
  // group is one stop, entered at its chosen button.
  void TabFocus(int step);
  // An edit's whole text is selected when it gets the focus: the first
  // character typed replaces it. True once, then the selection is gone.
  bool TakeSelection();
  std::size_t& Caret(int i) { return caret_[static_cast<std::size_t>(i)]; }

  void SetEditText(int i, std::string_view text);
  std::string EditText(int i) const;
  void SelectRadio(int i);  // and clear the rest of its group
  void ToggleCheck(int i);

  // The first item whose label marks LETTER (lower case) as its hot key
  // with "&"; -1 when none does.
  int HotkeyItem(char letter) const;
  // What the hot key of item I does, as in the file manager: a button
  // closes the dialog with it (its index is returned), a check box or radio
  // button is chosen and focused, a text label focuses the item after it.
  // -1 while the dialog stays open.
  int PressHotkey(int i);

  // What Enter on the focused item closes the dialog with.
  int EnterResult() const;
  // Writes each item's Focus back, as the host does when a dialog closes.
  void Finish();

  // The dialog drawn; FOCUSMARKS shows the focused item.
  Canvas Render(bool focusMarks) const;
  // Terminal column and row of the caret in the focused edit, if any.
  bool CaretPosition(int& x, int& y) const;

 private:
  struct Place {
    int x = 0, y = 0;
  };
  void Layout();
  int ItemWidth(int i) const;
  int EnclosingBox(int y) const;
  void DrawItem(Canvas& c, int i, bool focused) const;
  void DrawSeparatorItem(Canvas& c, int i, const std::string& label) const;
  void DrawEdit(Canvas& c, int i, bool focused) const;
  bool IsRadio(int i) const;
  int GroupStart(int i) const;  // first button of radio button I's group
  void Focused();               // the focus has moved: select an edit's text

  farapi::FarDialogItem* items_;
  int count_, width_, height_;
  int focus_ = -1;
  bool selected_ = false;
  std::vector<Place> places_;
  std::vector<std::size_t> caret_;
};

// A message box as the host's Message service describes it.
struct MessageView {
  std::string title;
  std::vector<std::string> lines;
  std::vector<std::string> buttons;
  bool warning = false;
  bool leftAlign = false;

  Canvas Render(int focusButton) const;
};

}  // namespace farhost
