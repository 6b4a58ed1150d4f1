// The host's file panel: a directory listed the way the file manager lists
// it, with a selection and a cursor.
#pragma once

#include <string>
#include <vector>

#include "FarApi.h"

namespace farhost {

class Panel {
 public:
  // Lists DIR (made absolute): ".." first unless DIR is the root, then the
  // directories, then the files, each by name. False with WHY on failure.
  bool Load(const std::string& dir, std::string& why);

  const std::string& Dir() const { return dir_; }
  // Marks the entry NAME selected; false when there is none.
  bool Select(const std::string& name);
  // Puts the cursor on NAME; false when there is none.
  bool SetCursor(const std::string& name);

  // Takes the selection marks of PI's items, as FCTL_SETSELECTION does;
  // false when PI does not list this panel's items.
  bool SetSelection(const farapi::PanelInfo& pi);
  std::vector<std::string> SelectedNames() const;

  // Fills PI as the host's FCTL_GETPANELINFO does. The arrays stay valid
  // until the next call.
  void Fill(farapi::PanelInfo& pi);

 private:
  int IndexOf(const std::string& name) const;

  std::string dir_;
  std::vector<farapi::PluginPanelItem> items_;
  std::vector<farapi::PluginPanelItem> shown_;
  std::vector<farapi::PluginPanelItem> selected_;
  int cursor_ = 0;
  bool cursorSet_ = false;
};

}  // namespace farhost
