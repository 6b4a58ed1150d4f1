#include "Plugin.h"

#include "Messages.h"

namespace sendrel {

Plugin& State() {
  static Plugin plugin;
  return plugin;
}

void Start(const farapi::PluginStartupInfo* info) {
  Plugin& p = State();
  p.host.Start(info);
  p.rootKey = PluginRootKey(p.host.RootKey());
  p.settings = ReadSettings(p.rootKey);
  if (p.br.Bind()) {
    p.ready = true;
  } else {
    p.host.Warning({p.host.Msg(MLibraryUnusable)});
  }
}

}  // namespace sendrel
