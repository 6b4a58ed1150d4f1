#include "Host.h"

#include <algorithm>
#include <cstring>

#include "Messages.h"
#include "TextFormat.h"

namespace sendrel {

using namespace farapi;

namespace {
// The widest line of a warning: the host frames it and needs room around it
// on a screen 80 characters wide.
constexpr std::size_t kWarningWidth = 72;
}  // namespace

void Host::Start(const PluginStartupInfo* info) {
  info_ = PluginStartupInfo{};
  if (info == nullptr) return;
  std::size_t size = kStartupInfoPrefixSize;
  if (info->StructSize > 0 && static_cast<std::size_t>(info->StructSize) > size) {
    size = std::min(static_cast<std::size_t>(info->StructSize), sizeof info_);
  }
  std::memcpy(&info_, info, size);
}

const char* Host::Msg(int id) const {
  const char* text = info_.GetMsg != nullptr ? info_.GetMsg(info_.ModuleNumber, id) : nullptr;
  return text != nullptr ? text : "";
}

void Host::Warning(const std::vector<std::string>& lines) const {
  Ask(lines, {MOk});
}

int Host::Ask(const std::vector<std::string>& lines, const std::vector<int>& buttons) const {
  if (info_.Message == nullptr) return -1;
  const std::vector<std::string> shown = WrappedLines(lines, kWarningWidth, kHostTextIsUtf8);
  std::vector<const char*> items;
  items.push_back(Msg(MWarningTitle));
  for (const std::string& line : shown) items.push_back(line.c_str());
  for (int button : buttons) items.push_back(Msg(button));
  return info_.Message(info_.ModuleNumber, FMSG_WARNING, nullptr, items.data(),
                       static_cast<int>(items.size()), static_cast<int>(buttons.size()));
}

int Host::Dialog(int width, int height, const char* helpTopic, FarDialogItem* items,
                 int count) const {
  if (info_.Dialog == nullptr) return -1;
  return info_.Dialog(info_.ModuleNumber, -1, -1, width, height, helpTopic, items, count);
}

bool Host::HasDialogHandler() const {
  return info_.DialogEx != nullptr && info_.SendDlgMessage != nullptr &&
         info_.DefDlgProc != nullptr;
}

int Host::DialogWithHandler(int width, int height, const char* helpTopic, FarDialogItem* items,
                            int count, FARWINDOWPROC proc) const {
  if (!HasDialogHandler()) return -1;
  return info_.DialogEx(info_.ModuleNumber, -1, -1, width, height, helpTopic, items, count, 0, 0,
                        proc, 0);
}

LONG_PTR Host::SendDlgMessage(HANDLE dlg, int msg, int param1, LONG_PTR param2) const {
  return HasDialogHandler() ? info_.SendDlgMessage(dlg, msg, param1, param2) : 0;
}

LONG_PTR Host::DefDlgProc(HANDLE dlg, int msg, int param1, LONG_PTR param2) const {
  return HasDialogHandler() ? info_.DefDlgProc(dlg, msg, param1, param2) : 0;
}

bool Host::ActivePanel(PanelInfo& pi) const {
  pi = PanelInfo{};
  if (info_.Control == nullptr) return false;
  return info_.Control(INVALID_HANDLE_VALUE, FCTL_GETPANELINFO, &pi) != 0;
}

void Host::ClearSelection() const {
  PanelInfo pi{};
  if (!ActivePanel(pi) || pi.PanelItems == nullptr) return;
  bool any = false;
  for (int i = 0; i < pi.ItemsNumber; ++i) {
    any = any || (pi.PanelItems[i].Flags & PPIF_SELECTED) != 0;
    pi.PanelItems[i].Flags &= ~PPIF_SELECTED;
  }
  if (!any) return;
  info_.Control(INVALID_HANDLE_VALUE, FCTL_SETSELECTION, &pi);
  info_.Control(INVALID_HANDLE_VALUE, FCTL_REDRAWPANEL, nullptr);
}

std::string Host::ModuleName() const {
  return std::string(info_.ModuleName, strnlen(info_.ModuleName, sizeof info_.ModuleName));
}

}  // namespace sendrel
