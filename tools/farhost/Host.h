// The host: one plug-in loaded, its startup record, the services behind
// it, and the commands that call its entry points.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Answers.h"
#include "FarApi.h"
#include "LangFile.h"
#include "Panel.h"

namespace farhost {

struct Options {
  std::string plugin;
  std::string command;
  std::vector<std::string> files;
  std::string panelDir;
  std::string cursor;
  int entry = 0;
  std::string language;  // empty: from the registry, else English
  std::string rootKey = "Software\\Far\\Plugins";
  bool batch = false;  // no person: answers only
  // A startup record that ends after CmpName, as before FAR 1.70: no
  // dialogs with a handler.
  bool oldRecord = false;
  Answers answers;
};

// Runs OPTIONS.command; the process's exit status.
int RunHost(Options& options);

}  // namespace farhost
