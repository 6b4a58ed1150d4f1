// The attach command: the files picked in the active panel, the destination
// and flavour from the attach dialog, and the library's attach.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "Messages.h"
#include "Plugin.h"
#include "Queued.h"
#include "TextFormat.h"
#include "sys/HostFs.h"
#include "sys/Path.h"

namespace sendrel {

using namespace farapi;
using brnet::sys::host::HostTextOf;
using brnet::sys::host::MailerCodePage;
using brnet::sys::host::MailerPath;
using brnet::sys::host::MailerPathProblem;
namespace ad = attachdlg;

namespace {

// The most names a warning lists; a screen holds no more.
constexpr std::size_t kShownNames = 8;

struct Picked {
  std::vector<const PluginPanelItem*> items;
  std::vector<std::string> folders;  // directories picked: refused
  std::int64_t total = 0;
};

bool IsDirectory(const PluginPanelItem& item) {
  return (item.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::int64_t SizeOf(const PluginPanelItem& item) {
  return static_cast<std::int64_t>(FileSizeOf(item.FindData));
}

std::string FieldText(const char* field, std::size_t size) {
  return std::string(field, strnlen(field, size));
}

std::string NameOf(const PluginPanelItem& item) {
  return FieldText(item.FindData.cFileName, sizeof item.FindData.cFileName);
}

// The selected entries in panel order, or else the one under the cursor
// (never ".."): files to send, and directories, which are not sent.
Picked PickFiles(const PanelInfo& pi) {
  Picked picked;
  auto take = [&](const PluginPanelItem& item) {
    if (IsDirectory(item)) {
      if (NameOf(item) != "..") picked.folders.push_back(NameOf(item));
      return;
    }
    picked.items.push_back(&item);
    picked.total += SizeOf(item);
  };
  bool anySelected = false;
  for (int i = 0; i < pi.SelectedItemsNumber && pi.SelectedItems != nullptr; ++i) {
    if (pi.SelectedItems[i].Flags & PPIF_SELECTED) {
      anySelected = true;
      take(pi.SelectedItems[i]);
    }
  }
  if (!anySelected && pi.CurrentItem >= 0 && pi.CurrentItem < pi.ItemsNumber) {
    take(pi.PanelItems[pi.CurrentItem]);
  }
  return picked;
}

// The full name of a panel entry: the panel's directory and the entry's
// long name, as the host spells them.
std::string FullName(const PanelInfo& pi, const PluginPanelItem& item) {
  const char delim = brnet::sys::PathDelim();
  std::string name = FieldText(pi.CurDir, sizeof pi.CurDir);
  if (name.empty() || name.back() != delim) name += delim;
  return name + NameOf(item);
}

struct OutbMapping {
  int pathArg;        // which argument of brInitOutbound gets the path
  std::uint8_t busy;  // busy-flag set, created and scanned
  std::uint8_t type;  // outbound type passed to brAttachFiles
  bool shortNames;
};

// By OutbType: netmail attach, Bink outbound, file boxes, long file boxes.
constexpr OutbMapping kOutbMap[4] = {
    {0, BR_BSY_SEMAPHORE, BR_OUTB_ARCMAIL, true},
    {1, BR_BSY_BINK | BR_BSY_SEMAPHORE, BR_OUTB_BINK, true},
    {2, BR_BSY_SEMAPHORE, BR_OUTB_FILEBOX, false},
    {2, BR_BSY_SEMAPHORE, BR_OUTB_LONGFILEBOX, false},
};

const OutbMapping* MappingFor(std::int32_t outbType) {
  return outbType >= 0 && outbType < 4 ? &kOutbMap[outbType] : nullptr;
}

// The flavour passed and the value kept, by the chosen radio button.
void ChosenFlavor(const std::vector<FarDialogItem>& items, std::uint8_t& flavor,
                  std::int32_t& stored) {
  if (items[ad::Hold].Selected) {
    flavor = BR_FLAVOR_HOLD, stored = 0;
  } else if (items[ad::Normal].Selected) {
    flavor = BR_FLAVOR_NORMAL, stored = 1;
  } else {
    flavor = BR_FLAVOR_DIRECT, stored = 2;
  }
}

// True for a destination the library takes (blanks pasted along with an
// address are no part of it); otherwise warns. A destination the setting
// cannot hold is refused like an invalid one, and so is an empty one: it
// names no node.
bool AcceptedDestination(const Plugin& p, const std::string& dest) {
  if (!dest.empty() && dest.size() <= kAddrMaxLen &&
      BrLibrary::True(p.br.Fn().ValidAddr(dest.c_str()))) {
    return true;
  }
  p.host.Warning({FormatMessage(p.host.Msg(MBadDestAddr), {dest}, "%s")});
  return false;
}

// The attach dialog's handler: Ok with a refused destination warns and
// keeps the dialog open; an accepted one (trimmed) goes into the history,
// which the host then leaves to the handler.
LONG_PTR FARAPI AttachDialogProc(HANDLE dlg, int msg, int param1, LONG_PTR param2) {
  const Plugin& p = State();
  if (msg == DN_CLOSE && param1 == ad::Ok) {
    FarDialogItem edit{};
    p.host.SendDlgMessage(dlg, DM_GETDLGITEM, ad::Address, reinterpret_cast<LONG_PTR>(&edit));
    const std::string dest = TrimmedText(ItemTextOf(edit));
    if (!AcceptedDestination(p, dest)) return 0;
    p.host.SendDlgMessage(dlg, DM_ADDHISTORY, ad::Address,
                          reinterpret_cast<LONG_PTR>(dest.c_str()));
  }
  return p.host.DefDlgProc(dlg, msg, param1, param2);
}

// Shows the dialog until it is cancelled (false) or confirmed with a valid
// destination (true). A host without dialog handlers (before FAR 1.70)
// shows it again after a refusal, and keeps every address in the history.
bool AskDestination(Plugin& p, std::vector<FarDialogItem>& items) {
  if (p.host.HasDialogHandler()) {
    items[ad::Address].Flags |= DIF_MANUALADDHISTORY;
    return p.host.DialogWithHandler(ad::kWidth, ad::kHeight, ad::kHelpTopic, items.data(),
                                    ad::Count, AttachDialogProc) == ad::Ok;
  }
  while (true) {
    const int exit =
        p.host.Dialog(ad::kWidth, ad::kHeight, ad::kHelpTopic, items.data(), ad::Count);
    if (exit != ad::Ok) return false;
    if (AcceptedDestination(p, TrimmedText(ItemTextOf(items[ad::Address])))) return true;
  }
}

// The reason shown for PROBLEM.
std::vector<std::string> ProblemLines(const Host& host, MailerPathProblem problem,
                                      const std::string& why) {
  switch (problem) {
    case MailerPathProblem::kTooLong:
      return {FormatMessage(host.Msg(MPathTooLong), {static_cast<long long>(NM - 1)}, "%d")};
    case MailerPathProblem::kNotInHostCodePage:
      return {host.Msg(MNameNotPassed)};
    case MailerPathProblem::kNotInMailerCodePage:
      return {host.Msg(MNameNotInAnsi)};
    case MailerPathProblem::kTrailingDotOrBlank:
      return {host.Msg(MNameEndsInDot)};
    case MailerPathProblem::kDirectory:
      return {host.Msg(MFoldersRefused)};
    case MailerPathProblem::kNotAFile:
      return {host.Msg(MNotAFile)};
    case MailerPathProblem::kMissing:
    case MailerPathProblem::kNone:
      break;
  }
  return {host.Msg(MFileMissing), why};
}

// Every picked file as the mailer will read it, all or none: the first
// that a mailer could not open is shown, with why, and nothing is sent.
// A path the host's records cut, or spelled with "?" for what its code page
// lacks, would otherwise be queued and never found.
// LONGNAMES gets their long forms where NAMES has short ones.
bool MailerNames(const Plugin& p, const PanelInfo& pi, const Picked& picked,
                 std::vector<std::string>& names, std::vector<std::string>& longNames) {
  const OutbMapping* map = MappingFor(p.settings.OutbType);
  const bool shortForm = map != nullptr && map->shortNames;
  // The library opens box files itself; the others' names are read by the mailer.
  const auto codePage = shortForm ? MailerCodePage::kMailer : MailerCodePage::kFileApis;
  for (const PluginPanelItem* item : picked.items) {
    const std::string full = FullName(pi, *item);
    MailerPathProblem problem = MailerPathProblem::kTooLong;
    std::string why;
    std::string name;
    // A longer one does not fit the record: the host cut its directory.
    if (full.size() <= static_cast<std::size_t>(NM - 1)) {
      name = MailerPath(full, shortForm, codePage, problem, why);
    }
    if (problem != MailerPathProblem::kNone) {
      std::vector<std::string> lines = {p.host.Msg(MFileRefused), full};
      for (std::string& line : ProblemLines(p.host, problem, why)) lines.push_back(line);
      p.host.Warning(lines);
      return false;
    }
    names.push_back(name);
    longNames.push_back(shortForm ? MailerPath(full, false, codePage, problem, why) : name);
  }
  return true;
}

// The library's last error text in the host's code page.
std::string LibraryError(const Plugin& p) {
  return HostTextOf(p.br.Fn().GetLastError());
}

// brSetMainAddr, brInitOutbound and brSetOutboundBsy; false (after the
// warning) when the outbound could not be set up.
bool SetUpOutbound(Plugin& p) {
  const BrEntries& br = p.br.Fn();
  if (!BrLibrary::True(br.SetMainAddr(p.settings.MainAddr.c_str()))) {
    p.host.Warning(
        {FormatMessage(p.host.Msg(MBadMainAddr), {p.settings.MainAddr}, "%s"), LibraryError(p)});
    return false;
  }
  const OutbMapping* map = MappingFor(p.settings.OutbType);
  if (map == nullptr) return true;
  const char* paths[3] = {nullptr, nullptr, nullptr};
  paths[map->pathArg] = p.settings.OutbPath.c_str();
  bool ok = BrLibrary::True(br.InitOutbound(paths[0], paths[1], paths[2]));
  if (ok) ok = BrLibrary::True(br.SetOutboundBsy(nullptr, map->busy, map->busy));
  if (!ok) p.host.Warning({p.host.Msg(MOutboundSetupFailed), LibraryError(p)});
  return ok;
}

// The node's queue, as the settings and the library's reading of the
// addresses give it (the main address matters to Bink's zones only).
NodeQueue QueueOf(const Plugin& p, const std::vector<FarDialogItem>& items, const brAddrRec& dest) {
  NodeQueue q{};
  const OutbMapping* map = MappingFor(p.settings.OutbType);
  q.type = map != nullptr ? map->type : static_cast<std::uint8_t>(p.settings.OutbType);
  q.outbPath = p.settings.OutbPath;
  q.dest = dest;
  if (q.type == BR_OUTB_BINK) {
    brAddrRec main{};
    p.br.Fn().ParseAddr(p.settings.MainAddr.c_str(), &main);
    q.mainZone = main.zone;
  }
  std::int32_t stored;
  ChosenFlavor(items, q.flavor, stored);
  return q;
}

// Files waiting for the node already are not queued again unasked: they
// are named with where they wait, and the operator skips them (the rest is
// attached) or sends them again. False when the operator cancelled or
// nothing is left to attach.
bool SkipQueued(const Plugin& p, const std::vector<FarDialogItem>& items, const brAddrRec& dest,
                std::vector<std::string>& names, const std::vector<std::string>& longNames) {
  const std::vector<WaitingFile> waiting = WaitingFiles(QueueOf(p, items, dest), names, longNames);
  if (waiting.empty()) return true;
  const std::string typed = TrimmedText(ItemTextOf(items[ad::Address]));
  std::vector<std::string> lines = {FormatMessage(p.host.Msg(MAlreadyQueued), {typed}, "%s")};
  for (std::size_t i = 0; i < waiting.size() && i < kShownNames; ++i) {
    lines.push_back(HostTextOf(waiting[i].file));
    lines.push_back(FormatMessage(p.host.Msg(MQueuedIn), {waiting[i].where}, "%s"));
  }
  if (waiting.size() > kShownNames) lines.push_back("...");
  const int answer = p.host.Ask(lines, {MSkipQueued, MQueueAgain});
  if (answer == 1) return true;
  if (answer != 0) return false;
  std::erase_if(names, [&](const std::string& name) {
    return std::any_of(waiting.begin(), waiting.end(),
                       [&](const WaitingFile& w) { return w.file == name; });
  });
  return !names.empty();
}

void Attach(Plugin& p, const brAddrRec& addr, const std::vector<std::string>& names,
            const std::vector<FarDialogItem>& items) {
  const BrEntries& br = p.br.Fn();
  const std::string dest = TrimmedText(ItemTextOf(items[ad::Address]));

  const OutbMapping* map = MappingFor(p.settings.OutbType);
  std::vector<const char*> list;
  for (const std::string& n : names) list.push_back(n.c_str());

  std::uint8_t flavor;
  std::int32_t stored;
  ChosenFlavor(items, flavor, stored);
  // An outbound type outside the table goes to the library as it is.
  const auto type = map != nullptr ? map->type : static_cast<std::uint8_t>(p.settings.OutbType);
  const std::uint8_t mode = items[ad::KillSent].Selected ? BR_SEND_KILL : BR_SEND_NONE;
  if (!BrLibrary::True(br.AttachFiles(brZoneNet(&addr), brNodePoint(&addr), list.data(),
                                      static_cast<std::int32_t>(list.size()), flavor, type,
                                      mode))) {
    p.host.Warning({p.host.Msg(MAttachFailed), LibraryError(p)});
  } else {
    // Done with these files, as the host's own commands are.
    p.host.ClearSelection();
  }
  br.FreeOutbound();

  p.settings.DestAddr = dest;
  p.settings.Flavor = stored;
  SaveAttachSettings(p.rootKey, p.settings);
}

}  // namespace

void AttachCommand(Plugin& p) {
  if (p.settings.MainAddr.empty() || p.settings.OutbPath.empty()) {
    p.host.Warning({p.host.Msg(MNotConfigured1), p.host.Msg(MNotConfigured2)});
    return;
  }
  std::vector<FarDialogItem> items = ExpandItems(p.host, ad::kItems, ad::Count);
  PanelInfo pi{};
  if (!p.host.ActivePanel(pi) || pi.ItemsNumber <= 0 || pi.PanelItems == nullptr) return;
  const Picked picked = PickFiles(pi);
  if (!picked.folders.empty()) {
    // The first few are enough to see which.
    std::vector<std::string> lines = {p.host.Msg(MFoldersRefused)};
    const std::size_t shown = std::min(picked.folders.size(), kShownNames);
    lines.insert(lines.end(), picked.folders.begin(),
                 picked.folders.begin() + static_cast<std::ptrdiff_t>(shown));
    if (picked.folders.size() > shown) lines.push_back("...");
    p.host.Warning(lines);
    return;
  }
  if (picked.items.empty()) return;
  std::vector<std::string> names, longNames;
  if (!MailerNames(p, pi, picked, names, longNames)) return;

  SetItemText(items[ad::Summary],
              FormatMessage(p.host.Msg(MAttachSummary),
                            {static_cast<long long>(picked.items.size()), SizeText(picked.total)},
                            "%d: %s"));
  SetItemText(items[ad::Address], p.settings.DestAddr);
  for (int f = 0; f < 3; ++f) items[ad::Hold + f].Selected = p.settings.Flavor == f;

  if (!AskDestination(p, items)) return;
  if (!SetUpOutbound(p)) return;
  brAddrRec addr{};
  p.br.Fn().ParseAddr(TrimmedText(ItemTextOf(items[ad::Address])).c_str(), &addr);
  if (!SkipQueued(p, items, addr, names, longNames)) {
    p.br.Fn().FreeOutbound();
    return;
  }
  Attach(p, addr, names, items);
}

}  // namespace sendrel
