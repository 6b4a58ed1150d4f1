// The configuration dialog: the operator's main address, the outbound type
// and its directory, checked before they are kept.
#include <string>

#include "Dialogs.h"
#include "Messages.h"
#include "Plugin.h"
#include "TextFormat.h"
#include "sys/HostFs.h"

namespace sendrel {

using namespace farapi;
namespace cd = configdlg;

namespace {

// The directory as it is kept: absolute, since a relative one would later
// be resolved against whatever directory the host then runs in.
std::string KeptPath(const std::vector<FarDialogItem>& items) {
  const std::string typed = ItemTextOf(items[cd::Path]);
  const std::string absolute = brnet::sys::host::AbsolutePath(typed);
  return absolute.empty() ? typed : absolute;
}

// The path's check: a warning naming the path typed when it is no
// directory (a file as the outbound fails every attach later).
bool CheckPath(const Plugin& p, const std::string& typed, const std::string& path) {
  const bool exists = path.size() <= kPathMaxLen && brnet::sys::host::PathExists(path);
  if (exists && brnet::sys::host::StatEntry(path).isDir) return true;
  p.host.Warning({p.host.Msg(exists ? MPathIsAFile : MPathMissing), typed});
  return false;
}

// Both checks, always both; false when either failed.
bool CheckConfig(Plugin& p, const std::vector<FarDialogItem>& items) {
  const std::string addr = TrimmedText(ItemTextOf(items[cd::MainAddr]));
  bool ok = true;
  // A text that the setting cannot hold would read back empty next time.
  if (addr.size() > kAddrMaxLen || !BrLibrary::True(p.br.Fn().ValidAddr(addr.c_str()))) {
    p.host.Warning({FormatMessage(p.host.Msg(MBadMainAddr), {addr}, "%s")});
    ok = false;
  }
  return CheckPath(p, ItemTextOf(items[cd::Path]), KeptPath(items)) && ok;
}

std::int32_t ChosenType(const std::vector<FarDialogItem>& items) {
  if (items[cd::Netmail].Selected) return 0;
  if (items[cd::Bink].Selected) return 1;
  if (items[cd::FileBox].Selected) return 2;
  return 3;
}

}  // namespace

int ConfigDialog(Plugin& p) {
  std::vector<FarDialogItem> items = ExpandItems(p.host, cd::kItems, cd::Count);
  SetItemText(items[cd::MainAddr], p.settings.MainAddr);
  for (int t = 0; t < 4; ++t) items[cd::Netmail + t].Selected = p.settings.OutbType == t;
  SetItemText(items[cd::Path], p.settings.OutbPath);
  while (true) {
    const int exit =
        p.host.Dialog(cd::kWidth, cd::kHeight, cd::kHelpTopic, items.data(), cd::Count);
    if (exit != cd::Ok) return 0;
    if (CheckConfig(p, items)) break;
  }
  p.settings.MainAddr = TrimmedText(ItemTextOf(items[cd::MainAddr]));
  p.settings.OutbType = ChosenType(items);
  p.settings.OutbPath = KeptPath(items);
  SaveConfigSettings(p.rootKey, p.settings);
  return 1;
}

}  // namespace sendrel
