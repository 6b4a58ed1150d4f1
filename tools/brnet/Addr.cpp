// brnet addr: an address in full and the names its mail goes under.
#include <cstdio>

#include "Args.h"
#include "CliError.h"
#include "Commands.h"
#include "Spool.h"
#include "outbound/OutbNaming.h"

namespace brnet::cli {
namespace {

constexpr const char* kHelp =
    "Usage: brnet addr [OPTIONS] ADDRESS...\n"
    "Shows each ADDRESS in full (parts left out are the main address's) and where\n"
    "its mail lives: the flow-file base, the busy-flag names and the short and\n"
    "long file-box names. Names are shown without a directory when it is unknown.\n"
    "\n"
    "  -m, --main ADDRESS         your own address\n"
    "  -t, --type TYPE            the type --dir is for: bink, netmail, box, longbox\n"
    "  -d, --dir DIR              the directory of that type\n"
    "  -c, --binkd-config FILE    take address and directories from binkd's configuration\n"
    "  -q, --quiet                no warnings of what is expected\n"
    "  -h, --help                 show this text\n";

const std::vector<OptionSpec> kSpecs = {
    {'m', "main", true},         {'t', "type", true},   {'d', "dir", true},
    {'c', "binkd-config", true}, {'q', "quiet", false}, {'h', "help", false},
};

std::string Slashed(const std::string& dir) {
  return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

void Show(const Destination& dest, const Resolved& setup) {
  const TFidoAddr& addr = dest.Addr;
  const std::string out = Slashed(dest.Place.Dir);
  const std::string boxes = Slashed(setup.Boxes);
  const std::string base = BinkBaseName(addr, out);
  const std::string box = FileBoxDirName(addr, boxes, flNormal, false);
  const std::string longBox = FileBoxDirName(addr, boxes, flNormal, true);
  std::printf("%s\n", dest.Text().c_str());
  std::printf("  flow files   %s.?lo (%s)\n", base.c_str(), "ilo clo dlo flo hlo");
  std::printf("  busy flags   %s%s %s%s\n", base.c_str(), BsoFlagExt(bkBsy).c_str(), base.c_str(),
              BsoFlagExt(bkCsy).c_str());
  std::printf("  semaphores   %s %s\n", SemaphoreName(addr, bkBsy).c_str(),
              SemaphoreName(addr, bkCsy).c_str());
  std::printf("  hash flags   %s %s\n", NormalFlagName(addr, "", bkBsy).c_str(),
              NormalFlagName(addr, "", bkCsy).c_str());
  std::printf("  short box    %s (hold: %s)\n", box.c_str(),
              FileBoxDirName(addr, boxes, flHold, false).c_str());
  std::printf("  long box     %s (hold: %s)\n", longBox.c_str(),
              FileBoxDirName(addr, boxes, flHold, true).c_str());
}

int Addr(const ParsedArgs& args, const SetupSources& sources) {
  if (args.Operands.empty()) throw UsageError("missing ADDRESS (brnet addr ADDRESS...)");
  SetupOptions options = SetupOptionsFrom(args);
  options.AllPlaces = true;
  const Resolved setup = ResolveSetup(options, sources);
  if (setup.MainAddress.empty()) throw Failure(NoMainAddressText());
  MainAddressScope main(setup.MainAddress);
  for (const std::string& text : args.Operands) Show(ResolveDestination(setup, main, text), setup);
  return 0;
}

}  // namespace

int AddrCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  return RunCommand(args, kSpecs, kHelp,
                    [&](const ParsedArgs& parsed) { return Addr(parsed, sources); });
}

}  // namespace brnet::cli
