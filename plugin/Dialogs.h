// The plug-in's two dialogs as constant tables of compact item descriptions,
// expanded into the host's item records before each use.
#pragma once

#include <cstdint>
#include <vector>

#include "FarApi.h"
#include "Host.h"

namespace sendrel {

// A text of a dialog item: a host message number, or a literal.
struct ItemText {
  int msg = -1;              // a message number, or -1
  const char* literal = "";  // used when msg is -1
};

struct InitDialogItem {
  std::uint8_t Type;
  std::uint8_t X1, Y1, X2, Y2;
  std::uint8_t Focus;
  std::intptr_t Selected;  // for an edit with history: the history name
  std::uint32_t Flags;
  std::uint8_t DefaultButton;
  ItemText Text;
};

// The host's records for TABLE, texts looked up through HOST.
std::vector<farapi::FarDialogItem> ExpandItems(const Host& host, const InitDialogItem* table,
                                               int count);

// Copies TEXT into the item's 512-byte text, cut to fit with its NUL (and
// at a character boundary where the host's texts are UTF-8).
void SetItemText(farapi::FarDialogItem& item, const std::string& text);
std::string ItemTextOf(const farapi::FarDialogItem& item);

// Separators across the dialog box.
constexpr std::uint32_t kSeparatorFlags = farapi::DIF_BOXCOLOR | farapi::DIF_SEPARATOR;

namespace attachdlg {
constexpr int kWidth = 40, kHeight = 14;
constexpr const char* kHelpTopic = "AttachDlg";
constexpr const char* kHistory = "Sndr.ToAddr";
enum Item {
  Box,
  Summary,
  Address,
  Sep1,
  FlavorLabel,
  Hold,
  Normal,
  Direct,
  KillSent,
  Sep2,
  Ok,
  Cancel,
  Count
};
extern const InitDialogItem kItems[Count];
}  // namespace attachdlg

namespace configdlg {
constexpr int kWidth = 64, kHeight = 16;
constexpr const char* kHelpTopic = "Configure";
enum Item {
  Box,
  MainAddrLabel,
  MainAddr,
  Sep1,
  TypeLabel,
  Netmail,
  Bink,
  FileBox,
  LongFileBox,
  Sep2,
  PathLabel,
  Path,
  Sep3,
  Ok,
  Cancel,
  Count
};
extern const InitDialogItem kItems[Count];
}  // namespace configdlg

}  // namespace sendrel
