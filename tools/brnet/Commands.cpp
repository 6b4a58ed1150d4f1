// brnet's entry: the command dispatch, help texts and what the commands share.
#include "Commands.h"

#include <cstdio>
#include <exception>
#include <memory>

#include "Args.h"
#include "Check.h"
#include "CliError.h"
#include "Manage.h"
#include "util/Ascii.h"

namespace brnet::cli {
namespace {

constexpr const char* kUsage =
    "Usage: brnet COMMAND [OPTIONS] [ARGUMENTS]\n"
    "Attaches files to FidoNet nodes for the mailer to send and shows what waits\n"
    "in the outbound.\n"
    "\n"
    "Commands:\n"
    "  attach ADDRESS FILE...  attach files to a node\n"
    "  queue                   show what waits, node by node\n"
    "  addr ADDRESS...         show an address in full and where its mail lives\n"
    "  poll ADDRESS...         make the mailer call the nodes\n"
    "  request ADDRESS FILE... ask a node for files\n"
    "  hold ADDRESS            keep the mailer from calling a node for a while\n"
    "  unhold ADDRESS...       let the mailer call the nodes again\n"
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
  if (text.empty()) throw Failure("empty address: give zone:net/node, net/node or node");
  TFidoAddr addr;
  try {
    addr = TFidoAddr::CreateFromText(text, false);
  } catch (const std::exception& e) {
    throw Failure(e.what());
  }
  // An empty text parses, to an address with nothing given.
  if (addr.Zone < 0 || addr.Net < 0 || addr.Node < 0) throw Failure("Invalid address " + text);
  if (addr.Zone == 0) throw Failure("Invalid address " + text + ": there is no zone 0");
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
  throw UsageError("unknown type \"" + text + "\" (bink, netmail, box or longbox)");
}

int RunBrnet(const std::vector<std::string>& args, const SetupSources& sources) {
  try {
    if (args.empty()) {
      std::fputs(kUsage, stderr);
      return kExitUsage;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "-h" || command == "--help" || command == "help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (command == "-V" || command == "--version") {
      std::printf("brnet %s\n", BRNET_VERSION);
      return 0;
    }
    if (command == "attach") return AttachCommand(rest, sources);
    if (command == "queue") return QueueCommand(rest, sources);
    if (command == "addr") return AddrCommand(rest, sources);
    if (command == "poll") return PollCommand(rest, sources);
    if (command == "request") return RequestCommand(rest, sources);
    if (command == "hold") return HoldCommand(rest, sources);
    if (command == "unhold") return UnholdCommand(rest, sources);
    if (command == "drop") return DropCommand(rest, sources);
    if (command == "reflavour") return ReflavourCommand(rest, sources);
    if (command == "check") return CheckCommand(rest, sources);
    if (command == "move") return MoveCommand(rest, sources);
    throw UsageError("unknown command \"" + command + "\" (see brnet --help)");
  } catch (const CliError& e) {
    std::fprintf(stderr, "brnet: %s\n", e.what());
    if (e.Status() == kExitUsage) std::fputs("Try brnet --help.\n", stderr);
    return e.Status();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "brnet: %s\n", e.what());
    return kExitFailed;
  }
}

}  // namespace brnet::cli
