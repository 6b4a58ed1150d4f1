// brnet's entry: the command dispatch, help texts and what the commands share.
#include "Commands.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <regex>

#include "Args.h"
#include "Check.h"
#include "CliError.h"
#include "Manage.h"
#include "sys/FileSystem.h"
#include "util/Ascii.h"
#include "util/Words.h"

namespace brnet::cli {
namespace {

constexpr const char* kUsage =
    "Usage: brnet COMMAND [OPTIONS] [ARGUMENTS]\n"
    "Attaches files to FidoNet nodes for the mailer to send and shows what waits\n"
    "in the outbound.\n"
    "\n"
    "Commands:\n"
    "  attach ADDRESS FILE...  attach files to a node\n"
    "  queue [ADDRESS...]      show what waits, node by node\n"
    "  addr ADDRESS...         show an address in full and where its mail lives\n"
    "  poll ADDRESS...         make the mailer call the nodes\n"
    "  request ADDRESS FILE... ask a node for files\n"
    "  hold ADDRESS...         keep the mailer from calling the nodes for a while\n"
    "  unhold ADDRESS...       let the mailer call the nodes again\n"
    "  unlock ADDRESS...       remove busy flags whose holder is gone\n"
    "  drop ADDRESS [PATTERN...]\n"
    "                          take queued entries of a node out of the queue\n"
    "  reflavour ADDRESS FLAVOUR [PATTERN...]\n"
    "                          move queued entries of a node to another flavour\n"
    "  check [ADDRESS...]      list what binkd will never send, and why\n"
    "  move FROM TO [PATTERN...]\n"
    "                          move queued entries of a node to another node\n"
    "\n"
    "  -h, --help     show this text; brnet COMMAND --help shows a command's options\n"
    "  -V, --version  show the version\n"
    "\n"
    "Settings come from the options, then --binkd-config FILE, then the sendrel\n"
    "plug-in's saved settings, then /etc/binkd/binkd.cfg. See brnet(1).\n";

}  // namespace

MainAddressScope::MainAddressScope(const std::string& text) {
  try {
    addr_ = std::make_unique<TFidoAddr>(TFidoAddr::CreateFromText(text, false));
  } catch (const std::exception& e) {
    throw Failure("main address " + text + ": " + e.what());
  }
  if (addr_->Zone < 0 || addr_->Net < 0 || addr_->Node < 0) {
    throw Failure("main address " + text + ": give zone, net and node (zone:net/node)");
  }
  SetMainAddressRef(addr_.get());
}

void MainAddressScope::NameZone(int zone) {
  if (zone == 0 || zone == addr_->Zone) {
    SetMainAddressRef(addr_.get());
    return;
  }
  naming_ = std::make_unique<TFidoAddr>(*addr_);
  naming_->Zone = static_cast<std::int16_t>(zone);
  naming_->Domain.clear();
  SetMainAddressRef(naming_.get());
}

TFidoAddr ParseDestination(const std::string& text) {
  const std::string form = "; give zone:net/node[.point][@domain], net/node or node";
  if (text.empty()) throw Failure("empty address" + form);
  const std::string shown = "invalid address '" + text + "'";
  TFidoAddr addr;
  try {
    addr = TFidoAddr::CreateFromText(text, false);
  } catch (const std::exception& e) {
    // The parser's own text repeats the address; any other names the part.
    const std::string why = e.what();
    throw Failure(shown + (why.starts_with("Invalid address") ? "" : " (" + why + ")") + form);
  }
  // An empty text parses, to an address with nothing given.
  if (addr.Zone < 0 || addr.Net < 0 || addr.Node < 0) throw Failure(shown + form);
  if (addr.Zone == 0) throw Failure(shown + ": there is no zone 0" + form);
  return addr;
}

void CheckDefaultZone(const Resolved& setup, const TFidoAddr& main) {
  if (setup.BinkDefaultZone == 0 || setup.BinkDefaultZone == main.Zone) return;
  throw Failure("the outbound " + setup.BinkOut + " belongs to zone " +
                std::to_string(setup.BinkDefaultZone) + " in " + setup.BinkFrom +
                ", but the main address " + main.ToString() + " is in zone " +
                std::to_string(main.Zone) + "; give --main with an address of zone " +
                std::to_string(setup.BinkDefaultZone));
}

std::string Escaped(std::string_view text, bool keepLines) {
  if (!keepLines) return EscapeControls(text);
  std::string out;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    out += EscapeControls(text.substr(start, end - start));
    if (end == std::string_view::npos) return out;
    out += '\n';
    start = end + 1;
  }
}

std::string PlatformWording(std::string text) {
  static const std::regex ioError("I/O error ([0-9]+)");
  static const std::regex win32Error("Win32 Error\\.  Code: [0-9]+\\.\n");
  text = std::regex_replace(text, win32Error, "");
  std::smatch m;
  while (std::regex_search(text, m, ioError)) {
    text.replace(static_cast<std::size_t>(m.position(0)), static_cast<std::size_t>(m.length(0)),
                 sys::SystemErrorMessage(std::stoi(m[1].str())));
  }
  return text;
}

std::string FlavourName(TOutbFlavor flavor) {
  static constexpr const char* kNames[] = {"immediate", "crash", "direct", "normal", "hold"};
  return flavor < kFlavorCount ? kNames[flavor] : "?";
}

std::string TypeName(TOutbType type) {
  static constexpr const char* kNames[] = {"bink", "box", "netmail", "longbox"};
  return type < kOutbTypeCount ? kNames[type] : "?";
}

std::string ModeName(TOutbSendMode mode) {
  static constexpr const char* kNames[] = {"none", "kill", "trunc"};
  return mode < kSendModeCount ? kNames[mode] : "?";
}

SetupOptions SetupOptionsFrom(const ParsedArgs& args) {
  SetupOptions options;
  options.Main = args.Value("main");
  options.Dir = args.Value("dir");
  options.BinkdConfig = args.Value("binkd-config");
  options.Quiet = args.Has("quiet");
  if (args.Has("type")) options.Type = ParseType(args.Value("type"));
  if (args.Has("dir") && options.Dir.empty()) throw UsageError("--dir needs a directory");
  if (args.Has("binkd-config") && options.BinkdConfig.empty()) {
    throw UsageError("--binkd-config needs a file name");
  }
  return options;
}

TOutbType ParseType(const std::string& text) {
  const std::string t = ToAsciiLower(text);
  if (t == "bink") return otBink;
  if (t == "netmail") return otArcMail;
  if (t == "box") return otFileBox;
  if (t == "longbox") return otLongFileBox;
  throw UsageError("unknown type: \"" + text + "\"; give bink, netmail, box or longbox");
}

namespace {

std::string currentCommand = "brnet";

using CommandFn = int (*)(const std::vector<std::string>&, const SetupSources&);

CommandFn FindCommand(const std::string& name) {
  static const std::pair<const char*, CommandFn> kCommands[] = {
      {"attach", AttachCommand},       {"queue", QueueCommand},     {"addr", AddrCommand},
      {"poll", PollCommand},           {"request", RequestCommand}, {"hold", HoldCommand},
      {"unhold", UnholdCommand},       {"unlock", UnlockCommand},   {"drop", DropCommand},
      {"reflavour", ReflavourCommand}, {"check", CheckCommand},     {"move", MoveCommand},
  };
  for (const auto& [known, run] : kCommands) {
    if (name == known) return run;
  }
  return nullptr;
}

int Dispatch(const std::vector<std::string>& args, const SetupSources& sources) {
  const std::string& command = args[0];
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "-V" || command == "--version") {
    std::printf("brnet %s\n", BRNET_VERSION);
    return 0;
  }
  const CommandFn run = FindCommand(command);
  if (run == nullptr) {
    throw UsageError("unknown command: \"" + command + "\"; the commands are in brnet --help");
  }
  currentCommand = command;
  return run({args.begin() + 1, args.end()}, sources);
}

}  // namespace

// Root works as the spool's owner (EnterSpool): a refusal then names that
// user, whose rights it was.
std::string ActingAs(uid_t started) {
  const uid_t now = ::getuid();
  if (now == started) return {};
  const struct passwd* pw = ::getpwuid(now);
  const std::string name = pw != nullptr ? pw->pw_name : std::to_string(now);
  return " (working as " + name + ", the owner of the spool directory)";
}

const std::string& CurrentCommand() {
  return currentCommand;
}

int RunBrnet(const std::vector<std::string>& args, const SetupSources& sources) {
  currentCommand = "brnet";
  if (args.empty()) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  // Every message: "brnet: COMMAND: what happened: operand".
  const uid_t started = ::getuid();
  try {
    return Dispatch(args, sources);
  } catch (const CliError& e) {
    const bool known = currentCommand != "brnet";
    const std::string as = e.Status() == kExitFailed ? ActingAs(started) : "";
    std::fprintf(stderr, "brnet: %s%s%s\n", known ? (currentCommand + ": ").c_str() : "",
                 Escaped(PlatformWording(e.what()), true).c_str(), as.c_str());
    if (e.Status() == kExitUsage && known) {
      std::fprintf(stderr, "Try 'brnet %s --help'.\n", currentCommand.c_str());
    }
    return e.Status();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "brnet: %s: %s%s\n", currentCommand.c_str(),
                 Escaped(PlatformWording(e.what()), true).c_str(), ActingAs(started).c_str());
    return kExitFailed;
  }
}

}  // namespace brnet::cli
