#include "Plugin.h"

#include "Messages.h"
#include "sys/Path.h"

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
  p.ready = p.br.Bind();
  if (!p.ready) WarnLibraryUnusable(p);
}

void WarnLibraryUnusable(const Plugin& p) {
  const std::string folder = brnet::sys::ParentDir(p.host.ModuleName());
  p.host.Warning({p.host.Msg(MLibraryUnusable), p.host.Msg(MLibraryFolder), folder});
}

bool Ready(Plugin& p) {
  if (p.ready) return true;
  // The library may have been put in place since: bound afresh, or the
  // warning again, at every use.
  p.br.Unbind();
  p.ready = p.br.Bind();
  if (!p.ready) WarnLibraryUnusable(p);
  return p.ready;
}

}  // namespace sendrel
