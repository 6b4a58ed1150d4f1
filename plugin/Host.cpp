#include "Host.h"

#include <cstring>

#include "Messages.h"

namespace sendrel {

using namespace farapi;

void Host::Start(const PluginStartupInfo* info) {
  info_ = PluginStartupInfo{};
  if (info != nullptr) std::memcpy(&info_, info, kStartupInfoPrefixSize);
}

const char* Host::Msg(int id) const {
  const char* text = info_.GetMsg != nullptr ? info_.GetMsg(info_.ModuleNumber, id) : nullptr;
  return text != nullptr ? text : "";
}

void Host::Warning(const std::vector<std::string>& lines) const {
  if (info_.Message == nullptr) return;
  std::vector<const char*> items;
  items.push_back(Msg(MWarningTitle));
  for (const std::string& line : lines) items.push_back(line.c_str());
  items.push_back(Msg(MOk));
  info_.Message(info_.ModuleNumber, FMSG_WARNING, nullptr, items.data(),
                static_cast<int>(items.size()), 1);
}

int Host::Dialog(int width, int height, const char* helpTopic, FarDialogItem* items,
                 int count) const {
  if (info_.Dialog == nullptr) return -1;
  return info_.Dialog(info_.ModuleNumber, -1, -1, width, height, helpTopic, items, count);
}

bool Host::ActivePanel(PanelInfo& pi) const {
  pi = PanelInfo{};
  if (info_.Control == nullptr) return false;
  return info_.Control(INVALID_HANDLE_VALUE, FCTL_GETPANELINFO, &pi) != 0;
}

}  // namespace sendrel
