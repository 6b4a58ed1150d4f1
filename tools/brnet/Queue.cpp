// brnet queue: the library's rescan of every zone, the file boxes and the
// netmail directory, shown node by node, as text or as JSON.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "Args.h"
#include "CliError.h"
#include "Commands.h"
#include "Json.h"
#include "Manage.h"
#include "Progress.h"
#include "outbound/Outbound.h"

namespace brnet::cli {
namespace {

constexpr const char* kHelp =
    "Usage: brnet queue [OPTIONS]\n"
    "Shows what waits in the outbound: one row per node with the flavours present,\n"
    "the number of files, their total size and the age of the oldest, then a total.\n"
    "It covers every zone of the Bink outbound with its points, the file boxes and\n"
    "the netmail directory's file attaches, whichever are configured.\n"
    "\n"
    "      --json                 print one JSON object instead\n"
    "      --older-than DURATION  list only entries waiting longer (90s, 15m, 2h, 1d,\n"
    "                             1w); exit status 1 when there is one\n"
    "  -v, --verbose              list each file with its size and after-sending mode\n"
    "  -m, --main ADDRESS         your own address (its zone is the outbound's)\n"
    "  -t, --type TYPE            the type --dir is for: bink, netmail, box, longbox\n"
    "  -d, --dir DIR              the directory of that type\n"
    "  -c, --binkd-config FILE    take address and directories from binkd's configuration\n"
    "  -h, --help                 show this text\n";

const std::vector<OptionSpec> kSpecs = {
    {0, "json", false},  {0, "older-than", true}, {'v', "verbose", false},     {'m', "main", true},
    {'t', "type", true}, {'d', "dir", true},      {'c', "binkd-config", true}, {'h', "help", false},
};

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Sets the places that exist; a missing one is named on standard error and
// left out (a view creates no directories).
bool AddPlace(const std::string& dir, const char* what, void (TOutbound::*set)(std::string_view),
              TOutbound& outb) {
  if (dir.empty()) return false;
  if (!IsDirectory(dir)) {
    std::fprintf(stderr, "brnet: %s %s is not a directory; left out\n", what, dir.c_str());
    return false;
  }
  (outb.*set)(dir);
  return true;
}

std::string Flavours(const TOutbNode& node) {
  bool present[kFlavorCount] = {};
  for (const TOutbFile& f : node.Files()) present[f.Flavor] = true;
  std::string out;
  for (int i = 0; i < kFlavorCount; ++i) {
    if (present[i]) out += (out.empty() ? "" : ",") + FlavourName(static_cast<TOutbFlavor>(i));
  }
  return out;
}

// The age in days of the oldest file that exists; none when none exists.
std::optional<int> OldestAge(const TOutbNode& node) {
  std::optional<int> oldest;
  for (const TOutbFile& f : node.Files()) {
    if (f.Size >= 0) oldest = std::max(oldest.value_or(f.Age), static_cast<int>(f.Age));
  }
  return oldest;
}

// A file written earlier today has the age 0 or -1 (days are counted from
// midnight and rounded).
std::string AgeText(std::optional<int> days) {
  if (!days) return "-";
  if (*days <= 0) return "today";
  return std::to_string(*days) + (*days == 1 ? " day" : " days");
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

void PrintText(const TOutbound& outb, bool verbose) {
  std::printf("%-24s %-28s %5s %10s  %s\n", "ADDRESS", "FLAVOURS", "FILES", "SIZE", "OLDEST");
  std::size_t files = 0, nodes = 0;
  for (int i = 0; i < outb.NodeCount(); ++i) {
    const TOutbNode& node = outb.GetNodes(i);
    if (node.Files().empty()) continue;
    ++nodes;
    files += node.Files().size();
    std::printf("%-24s %-28s %5zu %10s  %s\n", node.Addr().ToString().c_str(),
                Flavours(node).c_str(), node.Files().size(), HumanSize(node.TotalSize()).c_str(),
                AgeText(OldestAge(node)).c_str());
    if (!verbose) continue;
    for (const TOutbFile& f : node.Files()) {
      const std::string size = f.Size < 0 ? "missing" : std::to_string(f.Size);
      std::printf("    %12s  %-9s %-7s %-5s %s\n", size.c_str(), FlavourName(f.Flavor).c_str(),
                  TypeName(f.OutbType).c_str(), ModeName(f.SendMode).c_str(), f.FullName.c_str());
    }
  }
  std::printf("total: %s, %s, %s\n", Plural(nodes, "node", "nodes").c_str(),
              Plural(files, "file", "files").c_str(), HumanSize(outb.TotalSize()).c_str());
}

void PrintJson(const TOutbound& outb) {
  std::string out = "{\"nodes\":[";
  bool firstNode = true;
  for (int i = 0; i < outb.NodeCount(); ++i) {
    const TOutbNode& node = outb.GetNodes(i);
    if (node.Files().empty()) continue;
    out += firstNode ? "" : ",";
    firstNode = false;
    out += "{\"address\":" + JsonString(node.Addr().ToString()) +
           ",\"size\":" + std::to_string(node.TotalSize()) + ",\"files\":[";
    bool firstFile = true;
    for (const TOutbFile& f : node.Files()) {
      out += firstFile ? "" : ",";
      firstFile = false;
      out += "{\"path\":" + JsonString(f.FullName) +
             ",\"size\":" + (f.Size < 0 ? "null" : std::to_string(f.Size)) +
             ",\"flavour\":" + JsonString(FlavourName(f.Flavor)) +
             ",\"type\":" + JsonString(TypeName(f.OutbType)) +
             ",\"after\":" + JsonString(ModeName(f.SendMode)) + "}";
    }
    out += "]}";
  }
  out += "],\"size\":" + std::to_string(outb.TotalSize()) + "}\n";
  std::fputs(out.c_str(), stdout);
}

int Queue(const ParsedArgs& args, const SetupSources& sources) {
  if (!args.Operands.empty()) throw UsageError("queue takes no operands: " + args.Operands[0]);
  const std::int64_t older =
      args.Has("older-than") ? ParseDuration(args.Value("older-than"), "--older-than") : -1;
  SetupOptions options = SetupOptionsFrom(args);
  options.AllPlaces = true;
  const Resolved setup = ResolveSetup(options, sources);
  if (setup.BinkOut.empty() && setup.Boxes.empty() && setup.Netmail.empty()) {
    throw Failure(NoDirectoryText(otBink));
  }
  std::unique_ptr<MainAddressScope> main;
  if (!setup.MainAddress.empty()) main = std::make_unique<MainAddressScope>(setup.MainAddress);
  if (!setup.BinkOut.empty() && !main) throw Failure(NoMainAddressText());
  if (main && !setup.BinkOut.empty()) CheckDefaultZone(setup, main->Addr());

  TOutbound outb;
  AddPlace(setup.BinkOut, "outbound", &TOutbound::SetBinkOutPath, outb);
  AddPlace(setup.Boxes, "file-box directory", &TOutbound::SetFileBoxesPath, outb);
  AddPlace(setup.Netmail, "netmail directory", &TOutbound::SetNetmailPath, outb);
  outb.SetScanAllZones(true);
  try {
    outb.Rescan();
  } catch (const std::exception& e) {
    throw Failure(e.what());
  }
  if (older >= 0) return ReportOlder(outb, older, args.Has("json"));
  if (args.Has("json")) {
    PrintJson(outb);
  } else {
    PrintText(outb, args.Has("verbose"));
  }
  return 0;
}

}  // namespace

int QueueCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  return RunCommand(args, kSpecs, kHelp,
                    [&](const ParsedArgs& parsed) { return Queue(parsed, sources); });
}

}  // namespace brnet::cli
