#include "Host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "DialogView.h"
#include "Terminal.h"
#include "Text.h"
#include "sys/HostFs.h"
#include "sys/Loader.h"
#include "sys/Path.h"
#include "sys/Registry.h"

namespace farhost {

using namespace farapi;

namespace {

// The host's version as a plug-in sees it: 1.75 build 2634.
constexpr int kFarVersion = 0x0A4A014B;

struct HostState {
  Options* options = nullptr;
  std::string moduleDir;
  std::optional<LangFile> lang;
  bool langLoaded = false;
  Panel panel;
  bool panelLoaded = false;
  int warnings = 0;
  std::string emptyText;
  std::map<std::string, std::vector<std::string>> history;
};

HostState host;

void HostWarning(const std::string& text) {
  std::fprintf(stderr, "farhost: warning: %s\n", text.c_str());
  ++host.warnings;
}

void Print(FILE* out, const std::string& header, const std::vector<std::string>& lines) {
  std::fprintf(out, "--- %s\n", header.c_str());
  for (const std::string& l : lines) std::fprintf(out, "%s\n", l.c_str());
  std::fflush(out);
}

bool Interactive() {
  return !host.options->batch;
}

std::string LanguageSetting() {
  if (!host.options->language.empty()) return host.options->language;
  if (auto key = brnet::sys::RegKey::Open("Software\\Far\\Language")) {
    if (auto main = brnet::sys::RegText(key->Query("Main")); main && !main->empty()) return *main;
  }
  return "English";
}

// --- services -----------------------------------------------------------

const char* FARAPI GetMsg(INT_PTR pluginNumber, int msgId) {
  if (pluginNumber != 0) return host.emptyText.c_str();
  if (!host.langLoaded) {
    host.langLoaded = true;
    host.lang = FindLangFile(host.moduleDir, LanguageSetting());
    if (host.lang) {
      for (std::string& m : host.lang->messages) m = OemToUtf8(m);
    }
  }
  if (!host.lang) return host.emptyText.c_str();
  if (msgId < 0 || msgId >= static_cast<int>(host.lang->messages.size())) {
    HostWarning("Incorrect or damaged " + host.lang->path + ": message " + std::to_string(msgId) +
                " not found");
    return host.emptyText.c_str();
  }
  return host.lang->messages[static_cast<std::size_t>(msgId)].c_str();
}

std::string CloseText(const DialogView& view, int exit) {
  if (exit < 0) return "cancelled";
  return "closed by item " + std::to_string(exit) + " \"" + view.Label(exit) + "\"";
}

// A dialog shown: the plug-in's handler, if any, and the handle it gets.
struct ShownDialog {
  DialogView* view;
  FARWINDOWPROC proc;
};

// An edit's history: every text added, shown as it is added.
void AddHistory(const char* name, const std::string& text) {
  if (name == nullptr || *name == '\0' || text.empty()) return;
  host.history[name].push_back(text);
  std::printf("--- history %s: %s\n", name, text.c_str());
  std::fflush(stdout);
}

// Whether the dialog may close with EXIT: the handler hears DN_CLOSE (the
// one event this host sends) and may keep it open.
bool MayClose(ShownDialog& d, int exit) {
  return exit < 0 || d.proc == nullptr || d.proc(&d, DN_CLOSE, exit, 0) != 0;
}

// Closed with EXIT: the edits with a history, unless the plug-in adds to it
// itself, add their text, as the file manager does.
void Closed(DialogView& view, int exit) {
  if (exit < 0) return;
  for (int i = 0; i < view.Count(); ++i) {
    const FarDialogItem& it = view.Item(i);
    if (view.IsEdit(i) && (it.Flags & DIF_HISTORY) && !(it.Flags & DIF_MANUALADDHISTORY)) {
      AddHistory(it.History, view.EditText(i));
    }
  }
}

int BatchDialog(ShownDialog& d, const std::string& name) {
  DialogView& view = *d.view;
  Print(stdout, "dialog " + name, view.Render(false).Lines("_"));
  while (true) {
    const std::optional<std::string> action = host.options->answers.Next();
    if (!action) {
      HostWarning("no answer left for dialog " + name + "; cancelled");
      return -1;
    }
    int exit = -1;
    std::string why;
    switch (ApplyToDialog(view, *action, exit, why)) {
      case Step::Continue:
        continue;
      case Step::Closed:
        if (!MayClose(d, exit)) {
          // Kept open by the plug-in: shown again as it stands.
          Print(stdout, "dialog " + name, view.Render(false).Lines("_"));
          continue;
        }
        view.Finish();
        Print(stdout, name + " " + CloseText(view, exit), view.Render(false).Lines("_"));
        return exit;
      case Step::Error:
        HostWarning(why + " (dialog " + name + "); cancelled");
        return -1;
    }
  }
}

int ShowDialog(int x1, int y1, int x2, int y2, const char* helpTopic, FarDialogItem* items,
               int count, FARWINDOWPROC proc) {
  const int width = x1 == -1 ? x2 : x2 - x1 + 1;
  const int height = y1 == -1 ? y2 : y2 - y1 + 1;
  DialogView view(items, count, width, height);
  ShownDialog d{&view, proc};
  const std::string name = std::string(1, '"').append(helpTopic ? helpTopic : "").append(1, '"');
  int exit;
  if (Interactive()) {
    do exit = RunDialog(view);
    while (!MayClose(d, exit));
  } else {
    exit = BatchDialog(d, name);
  }
  Closed(view, exit);
  return exit;
}

int FARAPI Dialog(INT_PTR pluginNumber, int x1, int y1, int x2, int y2, const char* helpTopic,
                  FarDialogItem* items, int count) {
  if (pluginNumber != 0 || items == nullptr || count <= 0 || x2 < 0 || y2 < 0) return -1;
  return ShowDialog(x1, y1, x2, y2, helpTopic, items, count, nullptr);
}

int FARAPI DialogEx(INT_PTR pluginNumber, int x1, int y1, int x2, int y2, const char* helpTopic,
                    FarDialogItem* items, int count, DWORD, DWORD, FARWINDOWPROC proc, LONG_PTR) {
  if (pluginNumber != 0 || items == nullptr || count <= 0 || x2 < 0 || y2 < 0) return -1;
  return ShowDialog(x1, y1, x2, y2, helpTopic, items, count, proc);
}

LONG_PTR FARAPI DefDlgProc(HANDLE, int msg, int, LONG_PTR) {
  return msg == DN_CLOSE ? 1 : 0;
}

// The messages a handler needs of its dialog: an item (text included) and
// a text for an edit's history.
LONG_PTR FARAPI SendDlgMessage(HANDLE dlg, int msg, int param1, LONG_PTR param2) {
  auto* d = static_cast<ShownDialog*>(dlg);
  if (d == nullptr || param1 < 0 || param1 >= d->view->Count() || param2 == 0) return 0;
  const FarDialogItem& item = d->view->Item(param1);
  if (msg == DM_GETDLGITEM) {
    *reinterpret_cast<FarDialogItem*>(param2) = item;
    return 1;
  }
  if (msg == DM_ADDHISTORY && d->view->IsEdit(param1) && (item.Flags & DIF_HISTORY)) {
    AddHistory(item.History, reinterpret_cast<const char*>(param2));
    return 1;
  }
  return 0;
}

MessageView MakeMessage(DWORD flags, const char* const* items, int count, int buttons) {
  MessageView msg;
  msg.warning = (flags & FMSG_WARNING) != 0;
  msg.leftAlign = (flags & FMSG_LEFTALIGN) != 0;
  std::vector<std::string> all;
  if (flags & FMSG_ALLINONE) {
    std::string text = reinterpret_cast<const char*>(items);
    std::size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
      all.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    all.push_back(text.substr(start));
  } else {
    for (int i = 0; i < count; ++i) all.emplace_back(items[i] ? items[i] : "");
  }
  static const std::vector<std::vector<std::string>> kStandard = {{},
                                                                  {"Ok"},
                                                                  {"Ok", "Cancel"},
                                                                  {"Abort", "Retry", "Ignore"},
                                                                  {"Yes", "No"},
                                                                  {"Yes", "No", "Cancel"},
                                                                  {"Retry", "Cancel"}};
  const DWORD mb = (flags & FMSG_MB_MASK) >> 16;
  if (mb != 0) buttons = 0;
  buttons = std::clamp(buttons, 0, std::max(0, static_cast<int>(all.size()) - 1));
  if (!all.empty()) msg.title = all[0];
  for (std::size_t i = 1; i + buttons < all.size(); ++i) msg.lines.push_back(all[i]);
  for (std::size_t i = all.size() - buttons; i < all.size(); ++i) msg.buttons.push_back(all[i]);
  if (mb != 0 && mb < kStandard.size()) msg.buttons = kStandard[mb];
  return msg;
}

int BatchMessage(const MessageView& msg) {
  if (msg.buttons.size() <= 1) return 0;
  const std::optional<std::string> action = host.options->answers.Next();
  if (!action) {
    HostWarning("no answer left for a message; cancelled");
    return -1;
  }
  int exit = -1;
  std::string why;
  if (ApplyToMessage(msg, *action, exit, why) == Step::Error) {
    HostWarning(why + "; cancelled");
    return -1;
  }
  return exit;
}

int FARAPI Message(INT_PTR pluginNumber, DWORD flags, const char* /*helpTopic*/,
                   const char* const* items, int count, int buttons) {
  if (pluginNumber != 0 || items == nullptr) return -1;
  if (count < 2 && !(flags & (FMSG_ALLINONE | FMSG_ERRORTYPE))) return -1;
  const MessageView msg = MakeMessage(flags, items, count, buttons);
  std::string summary = msg.title;
  for (const std::string& l : msg.lines) summary += (summary.empty() ? "" : ": ") + l;
  if (msg.warning) ++host.warnings;
  if (Interactive() && !msg.buttons.empty()) {
    const int result = RunMessage(msg);
    // What was on the screen stays readable after the host ends.
    if (msg.warning) std::fprintf(stderr, "farhost: warning: %s\n", summary.c_str());
    return result;
  }
  Print(msg.warning ? stderr : stdout, msg.warning ? "warning" : "message",
        msg.Render(-1).Lines(" "));
  const int result = Interactive() ? 0 : BatchMessage(msg);
  return result;
}

// The panel: the directory, the named files selected, the cursor placed.
bool PreparePanel(std::string& why) {
  host.panelLoaded = true;
  const Options& o = *host.options;
  if (!host.panel.Load(o.panelDir.empty() ? "." : o.panelDir, why)) return false;
  for (const std::string& name : o.files) {
    if (!host.panel.Select(name)) {
      why = name + ": not an entry of the panel directory " + host.panel.Dir();
      return false;
    }
  }
  if (!o.cursor.empty() && !host.panel.SetCursor(o.cursor)) {
    why = o.cursor + ": not an entry of the panel directory " + host.panel.Dir();
    return false;
  }
  return true;
}

bool EnsurePanel() {
  if (host.panelLoaded) return true;
  std::string why;
  if (!PreparePanel(why)) {
    HostWarning(why);
    return false;
  }
  return true;
}

// FCTL_SETSELECTION: the selection marks of the items PI lists, shown.
int SetSelection(const PanelInfo& pi) {
  if (!host.panel.SetSelection(pi)) return 0;
  std::vector<std::string> names = host.panel.SelectedNames();
  if (names.empty()) names.push_back("(none)");
  Print(stdout, "panel selection", names);
  return 1;
}

int FARAPI Control(HANDLE hPlugin, int command, void* param) {
  if (hPlugin != INVALID_HANDLE_VALUE || !EnsurePanel()) return 0;
  if (command == FCTL_REDRAWPANEL) return 1;
  if (param == nullptr) return 0;
  if (command == FCTL_SETSELECTION) return SetSelection(*static_cast<const PanelInfo*>(param));
  if (command != FCTL_GETPANELINFO && command != FCTL_GETPANELSHORTINFO) return 0;
  auto* pi = static_cast<PanelInfo*>(param);
  host.panel.Fill(*pi);
  if (command == FCTL_GETPANELSHORTINFO) {
    pi->PanelItems = pi->SelectedItems = nullptr;
  }
  return 1;
}

// The services of the 1.50 generation this host does not offer answer as
// the file manager does when it cannot help.
int FARAPI Menu(INT_PTR, int, int, int, DWORD, const char*, const char*, const char*, const int*,
                int*, const FarMenuItem*, int) {
  return -1;
}
HANDLE FARAPI SaveScreen(int, int, int, int) {
  return nullptr;
}
void FARAPI RestoreScreen(HANDLE) {}
int FARAPI GetDirList(const char*, PluginPanelItem** items, int* count) {
  if (items) *items = nullptr;
  if (count) *count = 0;
  return 0;
}
int FARAPI GetPluginDirList(INT_PTR, HANDLE, const char*, PluginPanelItem** items, int* count) {
  return GetDirList(nullptr, items, count);
}
void FARAPI FreeDirList(const PluginPanelItem*) {}
int FARAPI Viewer(const char*, const char*, int, int, int, int, DWORD) {
  return 0;
}
int FARAPI Editor(const char*, const char*, int, int, int, int, DWORD, int, int) {
  return 0;
}
int FARAPI CmpName(const char* pattern, const char* string, int skipPath) {
  if (pattern == nullptr || string == nullptr) return 0;
  const char* name = string;
  if (skipPath) {
    for (const char* p = string; *p != '\0'; ++p) {
      if (brnet::sys::IsPathSeparator(*p)) name = p + 1;
    }
  }
  return brnet::sys::host::MatchesWildcard(pattern, name);
}

// --- the plug-in --------------------------------------------------------

struct Entries {
  SetStartupInfo_t SetStartupInfo = nullptr;
  GetPluginInfo_t GetPluginInfo = nullptr;
  OpenPlugin_t OpenPlugin = nullptr;
  Configure_t Configure = nullptr;
  ExitFAR_t ExitFAR = nullptr;
  GetMinFarVersion_t GetMinFarVersion = nullptr;
};

template <class F>
void Bind(brnet::sys::ModuleHandle module, F& fn, const char* name) {
  fn = reinterpret_cast<F>(brnet::sys::ModuleSymbol(module, name));
}

Entries BindEntries(brnet::sys::ModuleHandle module) {
  Entries e;
  Bind(module, e.SetStartupInfo, "SetStartupInfo");
  Bind(module, e.GetPluginInfo, "GetPluginInfo");
  Bind(module, e.OpenPlugin, "OpenPlugin");
  Bind(module, e.Configure, "Configure");
  Bind(module, e.ExitFAR, "ExitFAR");
  Bind(module, e.GetMinFarVersion, "GetMinFarVersion");
  return e;
}

// True when the entries make a plug-in this host can run; otherwise says
// why not.
bool CanRun(const Entries& e, const std::string& module) {
  if (!e.SetStartupInfo && !e.GetPluginInfo && !e.OpenPlugin && !e.ExitFAR) {
    std::fprintf(stderr, "farhost: %s is not a plug-in\n", module.c_str());
    return false;
  }
  if (e.GetMinFarVersion) {
    const unsigned need = static_cast<unsigned>(e.GetMinFarVersion());
    const unsigned have = kFarVersion;
    if ((need & 0xFFFF) > (have & 0xFFFF) ||
        ((need & 0xFFFF) == (have & 0xFFFF) && (need >> 16) > (have >> 16))) {
      std::fprintf(stderr, "farhost: the plug-in needs a newer file manager\n");
      return false;
    }
  }
  return true;
}

PluginStartupInfo StartupInfo(const std::string& module, const Options& o) {
  PluginStartupInfo info{};
  info.StructSize = sizeof info;
  std::strncpy(info.ModuleName, module.c_str(), sizeof info.ModuleName - 1);
  info.ModuleNumber = 0;
  info.RootKey = o.rootKey.c_str();
  info.Menu = Menu;
  info.Dialog = Dialog;
  info.Message = Message;
  info.GetMsg = GetMsg;
  info.Control = Control;
  info.SaveScreen = SaveScreen;
  info.RestoreScreen = RestoreScreen;
  info.GetDirList = GetDirList;
  info.GetPluginDirList = GetPluginDirList;
  info.FreeDirList = FreeDirList;
  info.Viewer = Viewer;
  info.Editor = Editor;
  info.CmpName = CmpName;
  // A host of the 1.50 generation ends its record there.
  if (o.oldRecord) {
    info.StructSize = static_cast<int>(kStartupInfoPrefixSize);
    return info;
  }
  info.DialogEx = DialogEx;
  info.SendDlgMessage = SendDlgMessage;
  info.DefDlgProc = DefDlgProc;
  return info;
}

void PrintMenu(const char* title, const char* const* strings, int count) {
  std::printf("%s:", title);
  if (count <= 0 || strings == nullptr) std::printf(" none");
  std::printf("\n");
  for (int i = 0; i < count && strings != nullptr; ++i) {
    std::printf("  [%d] %s\n", i, strings[i] ? strings[i] : "(null)");
  }
}

int RunCommand(const Entries& e, const Options& o) {
  PluginInfo info{};
  if (e.GetPluginInfo) e.GetPluginInfo(&info);
  if (o.command == "info") {
    std::printf("StructSize: %d\nFlags: 0x%X\n", info.StructSize, info.Flags);
    PrintMenu("Plug-in menu", info.PluginMenuStrings, info.PluginMenuStringsNumber);
    PrintMenu("Configuration menu", info.PluginConfigStrings, info.PluginConfigStringsNumber);
    PrintMenu("Disk menu", info.DiskMenuStrings, info.DiskMenuStringsNumber);
    std::printf("Command prefix: %s\n", info.CommandPrefix ? info.CommandPrefix : "none");
    return 0;
  }
  if (o.command == "configure") {
    if (!e.Configure || o.entry >= info.PluginConfigStringsNumber) {
      HostWarning("the plug-in offers no configuration entry " + std::to_string(o.entry));
      return 0;
    }
    const int changed = e.Configure(o.entry);
    std::printf("Configure: %s\n", changed ? "settings changed" : "nothing changed");
    return 0;
  }
  if (!e.OpenPlugin || o.entry >= info.PluginMenuStringsNumber) {
    HostWarning("the plug-in offers no menu entry " + std::to_string(o.entry));
    return 0;
  }
  const HANDLE h = e.OpenPlugin(OPEN_PLUGINSMENU, o.entry);
  if (h == nullptr)
    HostWarning("OpenPlugin returned NULL, which the file manager takes as a fault");
  if (h != nullptr && h != INVALID_HANDLE_VALUE) HostWarning("panel plug-ins are not supported");
  return 0;
}

// The plug-in's module as an absolute path, its directory noted for the
// language files; empty, and said why, when it cannot be had.
std::string FindModule(const Options& o) {
  const std::string module = brnet::sys::host::AbsolutePath(o.plugin);
  if (module.empty() || module.size() >= static_cast<std::size_t>(NM)) {
    std::fprintf(stderr, "farhost: %s: no such plug-in (or its path is too long)\n",
                 o.plugin.c_str());
    return {};
  }
  host.moduleDir = brnet::sys::ParentDir(module);
  return module;
}

// The attach command's panel, before the plug-in is loaded.
bool PanelForCommand(const Options& o) {
  if (o.command != "attach") return true;
  std::string why;
  if (PreparePanel(why)) return true;
  std::fprintf(stderr, "farhost: %s\n", why.c_str());
  return false;
}

// The command's status, else 1 when there were warnings.
int ExitStatus(int status, const Options& o) {
  if (o.answers.Remaining() > 0) {
    HostWarning(std::to_string(o.answers.Remaining()) + " answer(s) left unused");
  }
  if (status != 0) return status;
  return host.warnings > 0 ? 1 : 0;
}

}  // namespace

int RunHost(Options& o) {
  host.options = &o;
  const std::string module = FindModule(o);
  if (module.empty() || !PanelForCommand(o)) return 2;
  brnet::sys::ModuleHandle handle = brnet::sys::LoadModule(module);
  if (handle == nullptr) {
    std::fprintf(stderr, "farhost: %s\n", brnet::sys::ModuleError().c_str());
    return 2;
  }
  const Entries e = BindEntries(handle);
  if (!CanRun(e, module)) {
    brnet::sys::FreeModule(handle);
    return 2;
  }
  PluginStartupInfo info = StartupInfo(module, o);
  if (e.SetStartupInfo) e.SetStartupInfo(&info);
  const int status = RunCommand(e, o);
  if (e.ExitFAR) e.ExitFAR();
  brnet::sys::FreeModule(handle);
  return ExitStatus(status, o);
}

}  // namespace farhost
