#include "Dialogs.h"

#include <cstring>

#include "Messages.h"
#include "TextFormat.h"

namespace sendrel {

using namespace farapi;

namespace attachdlg {
const InitDialogItem kItems[Count] = {
    {DI_DOUBLEBOX, 3, 1, 36, 12, 0, 0, 0, 0, {MAttachTitle}},
    {DI_TEXT, 5, 2, 0, 0, 0, 0, 0, 0, {}},
    {DI_EDIT, 5, 3, 34, 0, 1, reinterpret_cast<std::intptr_t>(kHistory), DIF_HISTORY, 0, {}},
    {DI_TEXT, 5, 4, 0, 0, 0, 0, kSeparatorFlags, 0, {}},
    {DI_TEXT, 5, 5, 0, 0, 0, 0, 0, 0, {MFlavorLabel}},
    {DI_RADIOBUTTON, 5, 6, 0, 0, 0, 0, DIF_GROUP, 0, {MFlavorHold}},
    {DI_RADIOBUTTON, 5, 7, 0, 0, 0, 0, 0, 0, {MFlavorNormal}},
    {DI_RADIOBUTTON, 5, 8, 0, 0, 0, 0, 0, 0, {MFlavorDirect}},
    {DI_CHECKBOX, 5, 9, 0, 0, 0, 0, 0, 0, {MKillSent}},
    {DI_TEXT, 5, 10, 0, 0, 0, 0, kSeparatorFlags, 0, {}},
    {DI_BUTTON, 0, 11, 0, 0, 0, 0, DIF_CENTERGROUP, 1, {MOk}},
    {DI_BUTTON, 0, 11, 0, 0, 0, 0, DIF_CENTERGROUP, 0, {MCancel}},
};
}  // namespace attachdlg

namespace configdlg {
const InitDialogItem kItems[Count] = {
    {DI_DOUBLEBOX, 3, 1, 60, 14, 0, 0, 0, 0, {MConfigTitle}},
    {DI_TEXT, 5, 2, 0, 0, 0, 0, 0, 0, {MMainAddrLabel}},
    {DI_EDIT, 20, 2, 50, 0, 1, 0, 0, 0, {}},
    {DI_TEXT, 5, 3, 0, 0, 0, 0, kSeparatorFlags, 0, {}},
    {DI_TEXT, 5, 4, 0, 0, 0, 0, 0, 0, {MOutbTypeLabel}},
    {DI_RADIOBUTTON, 5, 5, 0, 0, 0, 0, DIF_GROUP, 0, {MOutbNetmail}},
    {DI_RADIOBUTTON, 5, 6, 0, 0, 0, 0, 0, 0, {MOutbBink}},
    {DI_RADIOBUTTON, 5, 7, 0, 0, 0, 0, 0, 0, {MOutbFileBox}},
    {DI_RADIOBUTTON, 5, 8, 0, 0, 0, 0, 0, 0, {MOutbLongFileBox}},
    {DI_TEXT, 5, 9, 0, 0, 0, 0, kSeparatorFlags, 0, {}},
    {DI_TEXT, 5, 10, 0, 0, 0, 0, 0, 0, {MPathLabel}},
    {DI_EDIT, 5, 11, 58, 0, 0, 0, 0, 0, {}},
    {DI_TEXT, 5, 12, 0, 0, 0, 0, kSeparatorFlags, 0, {}},
    {DI_BUTTON, 0, 13, 0, 0, 0, 0, DIF_CENTERGROUP, 1, {MOk}},
    {DI_BUTTON, 0, 13, 0, 0, 0, 0, DIF_CENTERGROUP, 0, {MCancel}},
};
}  // namespace configdlg

void SetItemText(FarDialogItem& item, const std::string& text) {
  const std::size_t n = FittingLength(text, sizeof item.Data - 1, kHostTextIsUtf8);
  std::memcpy(item.Data, text.data(), n);
  item.Data[n] = '\0';
}

std::string ItemTextOf(const FarDialogItem& item) {
  return std::string(item.Data, strnlen(item.Data, sizeof item.Data));
}

std::vector<FarDialogItem> ExpandItems(const Host& host, const InitDialogItem* table, int count) {
  std::vector<FarDialogItem> items(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const InitDialogItem& d = table[i];
    FarDialogItem& item = items[static_cast<std::size_t>(i)];
    item = FarDialogItem{};
    item.Type = d.Type;
    item.X1 = d.X1;
    item.Y1 = d.Y1;
    item.X2 = d.X2;
    item.Y2 = d.Y2;
    item.Focus = d.Focus;
    item.Reserved = static_cast<DWORD_PTR>(d.Selected);
    item.Flags = d.Flags;
    item.DefaultButton = d.DefaultButton;
    SetItemText(item, d.Text.msg >= 0 ? host.Msg(d.Text.msg) : d.Text.literal);
  }
  return items;
}

}  // namespace sendrel
