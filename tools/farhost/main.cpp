// farhost: a small stand-in for the file manager on Linux, enough to run a
// plug-in of the FAR Manager 1.7x interface: it loads the plug-in, hands it
// a startup record with working GetMsg, Dialog, Message and Control, and
// calls its entry points for one command.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Host.h"
#include "Platform.h"
#include "Terminal.h"

namespace {

const char kUsage[] =
    "usage: farhost [OPTIONS] PLUGIN COMMAND [ARGS]\n"
    "\n"
    "Runs one command of the plug-in PLUGIN (a shared object of the FAR Manager 1.7x\n"
    "plug-in interface; its language files *.lng lie beside it).\n"
    "\n"
    "Commands:\n"
    "  info              what the plug-in offers (GetPluginInfo)\n"
    "  configure         its configuration entry (Configure)\n"
    "  attach [FILE...]  its plug-in menu entry (OpenPlugin) on a panel of the\n"
    "                    directory that holds the FILEs, with the FILEs selected\n"
    "\n"
    "Options:\n"
    "  -p, --panel DIR      the panel's directory (default: that of the first FILE,\n"
    "                       else the current one); plain FILE names are taken in it\n"
    "  -c, --cursor NAME    the panel cursor on NAME (with no FILE: nothing selected)\n"
    "  -e, --entry N        which menu or configuration entry (default 0)\n"
    "  -a, --answer ACTION  an answer for the next dialog step; repeatable\n"
    "  -A, --answers FILE   answers, one per line (\"-\": standard input)\n"
    "  -b, --batch          no person at the keyboard: only answers are used\n"
    "  -l, --lang NAME      interface language (default: the registry's\n"
    "                       Software\\Far\\Language\\Main, else English)\n"
    "  -r, --root-key KEY   registry key for plug-ins (default Software\\Far\\Plugins)\n"
    "\n"
    "Dialogs are interactive on a terminal (Tab moves, Space ticks and chooses,\n"
    "Enter confirms, Esc cancels). With answers, or without a terminal, they take\n"
    "the answers:\n"
    "  #N=TEXT, field K=TEXT, select LABEL, check LABEL, uncheck LABEL,\n"
    "  press LABEL, enter, esc (an empty answer is esc too)\n"
    "\n"
    "Warnings go to standard error and make the exit status 1; 2 means the\n"
    "command could not be run.\n";

int Usage(const char* why) {
  if (why != nullptr) std::fprintf(stderr, "farhost: %s\n", why);
  std::fputs(kUsage, why ? stderr : stdout);
  return 2;
}

using farhost::platform::BaseOf;
using farhost::platform::DirOf;

std::string Canonical(const std::string& path) {
  std::string why;
  const std::string canonical = farhost::platform::CanonicalPath(path, why);
  return canonical.empty() ? path : canonical;
}

bool HasDirectory(const std::string& path) {
  for (char c : path) {
    if (farhost::platform::IsDirSep(c)) return true;
  }
  return false;
}

// Every FILE must lie in the panel's directory; the panel selects them by name.
bool PlaceFiles(farhost::Options& o, std::string& why) {
  std::vector<std::string> names;
  for (const std::string& f : o.files) {
    const bool hasDir = HasDirectory(f);
    if (o.panelDir.empty()) o.panelDir = hasDir ? DirOf(f) : ".";
    if (hasDir && Canonical(DirOf(f)) != Canonical(o.panelDir)) {
      why = f + ": not in the panel directory " + o.panelDir;
      return false;
    }
    names.push_back(BaseOf(f));
  }
  o.files = names;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  farhost::Options o;
  bool answersGiven = false;
  std::vector<std::string> rest;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "farhost: %s needs %s\n", a.c_str(), what);
        std::exit(2);
      }
      return argv[++i];
    };
    if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
      rest.push_back(a);
    } else if (a == "-h" || a == "--help") {
      Usage(nullptr);
      return 0;
    } else if (a == "-p" || a == "--panel") {
      o.panelDir = value("a directory");
    } else if (a == "-c" || a == "--cursor") {
      o.cursor = value("a name");
    } else if (a == "-e" || a == "--entry") {
      o.entry = std::atoi(value("a number"));
    } else if (a == "-a" || a == "--answer") {
      o.answers.Add(value("an action"));
      answersGiven = true;
    } else if (a == "-A" || a == "--answers") {
      std::string why;
      if (!o.answers.AddFile(value("a file"), why)) return Usage(why.c_str());
      answersGiven = true;
    } else if (a == "-b" || a == "--batch") {
      o.batch = true;
    } else if (a == "-l" || a == "--lang") {
      o.language = value("a language");
    } else if (a == "-r" || a == "--root-key") {
      o.rootKey = value("a key");
    } else if (a == "--") {
      optionsEnded = true;
    } else {
      return Usage(("unknown option " + a).c_str());
    }
  }
  if (rest.size() < 2) return Usage("a plug-in and a command are needed");
  o.plugin = rest[0];
  o.command = rest[1];
  o.files.assign(rest.begin() + 2, rest.end());
  if (o.command != "info" && o.command != "configure" && o.command != "attach") {
    return Usage(("unknown command " + o.command).c_str());
  }
  if (o.command != "attach" && !o.files.empty()) return Usage("only attach takes files");
  std::string why;
  if (!PlaceFiles(o, why)) {
    std::fprintf(stderr, "farhost: %s\n", why.c_str());
    return 2;
  }
  if (answersGiven || !farhost::HaveTerminal()) o.batch = true;
  return farhost::RunHost(o);
}
