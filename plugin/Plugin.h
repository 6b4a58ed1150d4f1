// The plug-in's process-wide state, alive from SetStartupInfo until the
// plug-in is unloaded, and its two commands.
#pragma once

#include <string>

#include "BrLibrary.h"
#include "Host.h"
#include "Settings.h"

namespace sendrel {

struct Plugin {
  Host host;
  std::string rootKey;  // the plug-in's registry key
  Settings settings;
  BrLibrary br;
  bool ready = false;  // set once the library is completely bound
};

Plugin& State();

// SetStartupInfo's work: copy the record, read the settings, bind the
// library; a warning (message 27 and the folder) when the binding fails.
void Start(const farapi::PluginStartupInfo* info);

// True when the library is bound; otherwise binds it again, and warns
// (naming the plug-in's folder) when that fails too.
bool Ready(Plugin& p);
void WarnLibraryUnusable(const Plugin& p);

// The attach command behind the plug-in menu entry.
void AttachCommand(Plugin& p);

// The configuration dialog: 1 when the settings were saved, 0 when the
// operator cancelled.
int ConfigDialog(Plugin& p);

}  // namespace sendrel
