// The plug-in's side of the host: the copy of the startup record and the
// host services reached through it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "FarApi.h"

namespace sendrel {

class Host {
 public:
  // Copies the startup record: up to CmpName always, the rest as far as
  // the host's StructSize says it passed.
  void Start(const farapi::PluginStartupInfo* info);

  const char* RootKey() const { return info_.RootKey != nullptr ? info_.RootKey : ""; }

  // The text of message ID; "" when the host has none.
  const char* Msg(int id) const;

  // A warning box: title message 19, the lines, message 0 as the button.
  // Line breaks in a line (system texts carry them) start new lines, and
  // long lines are wrapped to fit a screen 80 characters wide.
  void Warning(const std::vector<std::string>& lines) const;
  // A warning with the buttons of the messages BUTTONS: the index of the
  // one chosen, or a negative number when it was cancelled.
  int Ask(const std::vector<std::string>& lines, const std::vector<int>& buttons) const;

  // Shows a centred dialog; the index of the item that closed it, or a
  // negative number when it was cancelled.
  int Dialog(int width, int height, const char* helpTopic, farapi::FarDialogItem* items,
             int count) const;

  // True when the host offers dialogs with a handler (DialogEx, its
  // messages and default handler).
  bool HasDialogHandler() const;
  // Dialog with PROC seeing its events; as Dialog otherwise.
  int DialogWithHandler(int width, int height, const char* helpTopic, farapi::FarDialogItem* items,
                        int count, farapi::FARWINDOWPROC proc) const;
  farapi::LONG_PTR SendDlgMessage(farapi::HANDLE dlg, int msg, int param1,
                                  farapi::LONG_PTR param2) const;
  farapi::LONG_PTR DefDlgProc(farapi::HANDLE dlg, int msg, int param1,
                              farapi::LONG_PTR param2) const;

  // Fills PI with the active panel; false when the host refused.
  bool ActivePanel(farapi::PanelInfo& pi) const;

  // Clears the active panel's selection and redraws it, as the host's own
  // commands do once they are done with the files.
  void ClearSelection() const;

  // The plug-in's file name, as the host gave it.
  std::string ModuleName() const;

 private:
  farapi::PluginStartupInfo info_{};
};

}  // namespace sendrel
