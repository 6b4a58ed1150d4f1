// farhost: a small stand-in for the file manager on Linux, enough to run a
// plug-in of the FAR Manager 1.7x interface: it loads the plug-in, hands it
// a startup record with working GetMsg, Dialog, Message and Control, and
// calls its entry points for one command.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Host.h"
#include "Terminal.h"
#include "sys/HostFs.h"
#include "sys/Path.h"

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
    "  -1, --old-record     a startup record that ends after CmpName (FAR 1.5x):\n"
    "                       no dialogs with a handler\n"
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

std::string Canonical(const std::string& path) {
  std::string why;
  const std::string canonical = brnet::sys::host::CanonicalPath(path, why);
  return canonical.empty() ? path : canonical;
}

bool HasDirectory(const std::string& path) {
  return path.find_first_of(brnet::sys::PathSeparators()) != std::string::npos;
}

// Every FILE must lie in the panel's directory; the panel selects them by name.
bool PlaceFiles(farhost::Options& o, std::string& why) {
  std::vector<std::string> names;
  for (const std::string& f : o.files) {
    const bool hasDir = HasDirectory(f);
    const std::string dir = brnet::sys::ParentDir(f);
    if (o.panelDir.empty()) o.panelDir = hasDir ? dir : ".";
    if (hasDir && Canonical(dir) != Canonical(o.panelDir)) {
      why = f + ": not in the panel directory " + o.panelDir;
      return false;
    }
    names.push_back(brnet::sys::LastPathName(f));
  }
  o.files = names;
  return true;
}

struct CommandLine {
  farhost::Options options;
  bool answersGiven = false;
  std::vector<std::string> words;  // what is not an option
};

// Takes the option ARGV[I], and its value (moving I on to it), into CL. An
// exit status when the program ends here (help, a mistake), else -1.
int TakeOption(int argc, char** argv, int& i, CommandLine& cl) {
  farhost::Options& o = cl.options;
  const std::string a = argv[i];
  auto value = [&](const char* what) -> const char* {
    if (i + 1 >= argc) {
      std::fprintf(stderr, "farhost: %s needs %s\n", a.c_str(), what);
      std::exit(2);
    }
    return argv[++i];
  };
  if (a == "-h" || a == "--help") {
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
    cl.answersGiven = true;
  } else if (a == "-A" || a == "--answers") {
    std::string why;
    if (!o.answers.AddFile(value("a file"), why)) return Usage(why.c_str());
    cl.answersGiven = true;
  } else if (a == "-b" || a == "--batch") {
    o.batch = true;
  } else if (a == "-l" || a == "--lang") {
    o.language = value("a language");
  } else if (a == "-r" || a == "--root-key") {
    o.rootKey = value("a key");
  } else if (a == "-1" || a == "--old-record") {
    o.oldRecord = true;
  } else {
    return Usage(("unknown option " + a).c_str());
  }
  return -1;
}

// Options and words of the command line into CL; an exit status when the
// program ends here, else -1.
int ParseCommandLine(int argc, char** argv, CommandLine& cl) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
      cl.words.push_back(a);
    } else if (a == "--") {
      optionsEnded = true;
    } else if (const int status = TakeOption(argc, argv, i, cl); status >= 0) {
      return status;
    }
  }
  return -1;
}

// PLUGIN COMMAND [FILE...] from the words; an exit status when they do not
// make a command, else -1.
int TakeCommand(CommandLine& cl) {
  farhost::Options& o = cl.options;
  if (cl.words.size() < 2) return Usage("a plug-in and a command are needed");
  o.plugin = cl.words[0];
  o.command = cl.words[1];
  o.files.assign(cl.words.begin() + 2, cl.words.end());
  if (o.command != "info" && o.command != "configure" && o.command != "attach") {
    return Usage(("unknown command " + o.command).c_str());
  }
  if (o.command != "attach" && !o.files.empty()) return Usage("only attach takes files");
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine cl;
  if (const int status = ParseCommandLine(argc, argv, cl); status >= 0) return status;
  if (const int status = TakeCommand(cl); status >= 0) return status;
  farhost::Options& o = cl.options;
  std::string why;
  if (!PlaceFiles(o, why)) {
    std::fprintf(stderr, "farhost: %s\n", why.c_str());
    return 2;
  }
  if (cl.answersGiven || !farhost::HaveTerminal()) o.batch = true;
  return farhost::RunHost(o);
}
