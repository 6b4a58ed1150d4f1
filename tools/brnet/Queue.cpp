// brnet queue: the library's rescan of every zone, the file boxes and the
// netmail directory, shown node by node, as text or as JSON.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "Args.h"
#include "Check.h"
#include "CliError.h"
#include "Commands.h"
#include "Json.h"
#include "Manage.h"
#include "Progress.h"
#include "Spool.h"
#include "msgbase/MsgBase.h"
#include "outbound/Outbound.h"

namespace brnet::cli {
namespace {

constexpr const char* kHelp =
    "Usage: brnet queue [OPTIONS] [ADDRESS...]\n"
    "Shows what waits in the outbound: one row per node with the flavours present,\n"
    "the number of files, their total size and the age of the oldest, then a total.\n"
    "It covers every zone of the Bink outbound with its points, the file boxes and\n"
    "the netmail directory's file attaches, whichever are configured; with ADDRESS\n"
    "only those nodes (ADDRESS@domain: in that domain's outbound only).\n"
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

// One node as the queue shows it, gathered from the library's picture and
// the state files binkd keeps beside the flow files.
struct NodeView {
  std::string Address;
  std::vector<TOutbFile> Files;
  std::vector<std::int64_t> Mtimes;  // per file; -1 when missing
  std::vector<std::string> Packets;  // full paths
  std::vector<std::string> Requests;
  std::int64_t Size = 0;
  int Missing = 0;
  bool Busy = false;
  std::int64_t HoldUntil = 0;  // 0: no .hld
  int TriesOk = -1, TriesFailed = -1;
  std::string TryComment;
};

std::int64_t MtimeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return st.st_mtime;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string ReadSmall(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text(512, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

// binkd's state files beside BASE (the node's flow-file base).
void ReadNodeState(NodeView& view, const std::string& base) {
  for (const char* ext : {".bsy", ".csy", ".BSY", ".CSY"})
    view.Busy = view.Busy || Exists(base + ext);
  const std::string hold = ReadSmall(base + ".hld");
  if (!hold.empty()) view.HoldUntil = std::atoll(hold.c_str());
  // Two 16-bit little-endian counts, a length byte and the comment.
  const std::string tried = ReadSmall(base + ".try");
  if (tried.size() >= 5) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(tried[i]); };
    view.TriesOk = byte(0) | byte(1) << 8;
    view.TriesFailed = byte(2) | byte(3) << 8;
    view.TryComment = tried.substr(5, std::min<std::size_t>(byte(4), tried.size() - 5));
  }
}

void AddFiles(NodeView& view, const TOutbNode& node) {
  for (const TOutbFile& f : node.Files()) {
    view.Files.push_back(f);
    const std::int64_t mtime = f.Size < 0 ? -1 : MtimeOf(f.FullName);
    view.Mtimes.push_back(mtime);
    if (f.Size < 0) ++view.Missing;
    if (f.Size > 0) view.Size += f.Size;
  }
}

std::string FlowDir(const std::string& base) {
  return base.substr(0, base.find_last_of('/') + 1);
}

// The nodes of one place's outbound (with the boxes and the netmail
// attaches of the main place), in address order.
void Gather(const TOutbound& outb, const OutboundPlace& place, const NodeFilter* filter,
            std::vector<NodeView>& views) {
  for (int i = 0; i < outb.NodeCount(); ++i) {
    const TOutbNode& node = outb.GetNodes(i);
    if (node.Files().empty() && node.Packets().empty() && node.Requests().empty()) continue;
    if (filter != nullptr && !filter->Takes(node.Addr(), place)) continue;
    NodeView view;
    TFidoAddr shown = node.Addr();
    shown.Domain = place.Main ? std::string() : place.Domain;
    view.Address = shown.Format(afDomain);
    AddFiles(view, node);
    view.Requests = node.Requests();
    if (!place.Dir.empty()) {
      const std::string base =
          BinkBaseName(node.Addr(), place.Dir + (place.Dir.back() == '/' ? "" : "/"));
      for (const std::string& p : node.Packets()) view.Packets.push_back(FlowDir(base) + p);
      ReadNodeState(view, base);
    }
    views.push_back(std::move(view));
  }
}

// The netmail directory's attaches and requests, read message by message:
// a message that cannot be read is named on standard error and the rest
// is shown.
void ScanNetmail(TOutbound& outb, const std::string& dir) {
  TMsgBase base;
  base.SetPathName(dir);
  base.Open();
  while (!base.AtEnd()) {
    try {
      TMailMsg& msg = base.Next();
      if (!msg.ToAddr) continue;
      const TFidoAddr& dest = *msg.ToAddr;
      if (msg.Attributes.Contains(maFileAttached)) {
        const TOutbFlavor flavor = msg.Attributes.Contains(maHold)        ? flHold
                                   : msg.Attributes.Contains(maCrash)     ? flCrash
                                   : msg.Attributes.Contains(maImmediate) ? flImm
                                   : msg.Attributes.Contains(maDirect)    ? flDirect
                                                                          : flNormal;
        outb.FindOrAddNode(&dest).AddFile(msg.Subject(), flavor, otArcMail);
      } else if (msg.Attributes.Contains(maFileRequest) && !MainAddress()->Matches(&dest)) {
        outb.FindOrAddNode(&dest).AddRequests(msg.Subject());
      }
    } catch (const std::exception& e) {
      const auto& names = base.Store()->FileNames();
      const std::size_t at = static_cast<std::size_t>(base.Position()) - 1;
      std::fprintf(stderr, "brnet: warning: %s%s: %s; left out\n", dir.c_str(),
                   at < names.size() ? ("/" + names[at]).c_str() : "", e.what());
    }
  }
}

std::string Flavours(const NodeView& node) {
  bool present[kFlavorCount] = {};
  for (const TOutbFile& f : node.Files) present[f.Flavor] = true;
  std::string out;
  for (int i = 0; i < kFlavorCount; ++i) {
    if (present[i]) out += (out.empty() ? "" : ",") + FlavourName(static_cast<TOutbFlavor>(i));
  }
  return out.empty() ? "-" : out;
}

constexpr std::int64_t kNanos = 1000000000;

// Days are counted from midnight and rounded, as the library counts them: a
// file written earlier today is 0 or -1 days old.
std::string AgeText(std::int64_t mtime, std::int64_t now) {
  if (mtime < 0) return "-";
  const std::int32_t days = FileAgeInDays(mtime * kNanos, now * kNanos);
  if (days <= 0) return "today";
  return std::to_string(days) + (days == 1 ? " day" : " days");
}

std::int64_t OldestMtime(const NodeView& node) {
  std::int64_t oldest = -1;
  for (std::int64_t m : node.Mtimes) {
    if (m >= 0 && (oldest < 0 || m < oldest)) oldest = m;
  }
  for (const std::string& p : node.Packets) {
    const std::int64_t m = MtimeOf(p);
    if (m >= 0 && (oldest < 0 || m < oldest)) oldest = m;
  }
  return oldest;
}

std::string TimeText(std::int64_t t) {
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  ::localtime_r(&tt, &tm);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &tm);
  return text;
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string StateText(const NodeView& node, std::int64_t now) {
  std::string out;
  const auto add = [&](const std::string& part) { out += (out.empty() ? "" : ", ") + part; };
  if (node.Busy) add("busy");
  if (node.HoldUntil > now) add("hold until " + TimeText(node.HoldUntil));
  if (!node.Packets.empty()) add(Plural(node.Packets.size(), "packet", "packets"));
  if (!node.Requests.empty()) add(Plural(node.Requests.size(), "request", "requests"));
  if (node.Missing > 0) {
    add(std::to_string(node.Missing) + " missing (binkd will skip " +
        (node.Missing == 1 ? "it)" : "them)"));
  }
  if (node.TriesFailed > 0) add(std::to_string(node.TriesFailed) + " failed tries");
  return out;
}

void PrintText(const std::vector<NodeView>& nodes, bool verbose, std::int64_t now) {
  std::size_t width = 8;
  for (const NodeView& n : nodes) width = std::max(width, Flavours(n).size());
  const int w = static_cast<int>(width);
  std::printf("%-24s %-*s %5s %10s  %-8s %s\n", "ADDRESS", w, "FLAVOURS", "FILES", "SIZE", "OLDEST",
              "STATE");
  std::size_t files = 0, missing = 0;
  std::int64_t total = 0;
  for (const NodeView& node : nodes) {
    files += node.Files.size();
    missing += static_cast<std::size_t>(node.Missing);
    total += node.Size;
    const std::int64_t oldest = OldestMtime(node);
    std::printf("%-24s %-*s %5zu %10s  %-8s %s\n", node.Address.c_str(), w, Flavours(node).c_str(),
                node.Files.size(), HumanSize(node.Size).c_str(), AgeText(oldest, now).c_str(),
                StateText(node, now).c_str());
    if (!verbose) continue;
    for (const TOutbFile& f : node.Files) {
      const std::string size = f.Size < 0 ? "missing" : std::to_string(f.Size);
      std::printf("    %12s  %-9s %-7s %-5s %s\n", size.c_str(), FlavourName(f.Flavor).c_str(),
                  TypeName(f.OutbType).c_str(), ModeName(f.SendMode).c_str(), f.FullName.c_str());
    }
    for (const std::string& p : node.Packets) std::printf("    %12s  %s\n", "packet", p.c_str());
    for (const std::string& r : node.Requests) std::printf("    %12s  %s\n", "request", r.c_str());
  }
  std::printf("total: %s, %s, %s", Plural(nodes.size(), "node", "nodes").c_str(),
              Plural(files, "file", "files").c_str(), HumanSize(total).c_str());
  if (missing > 0) std::printf(", %zu missing (binkd will skip them)", missing);
  std::printf("\n");
}

std::string AgeJson(std::int64_t mtime, std::int64_t now) {
  if (mtime < 0) return "\"age\":null,\"time\":null";
  return "\"age\":" + std::to_string(now - mtime) + ",\"time\":" + JsonString(TimeText(mtime));
}

void PrintJson(const std::vector<NodeView>& nodes, std::int64_t now) {
  std::string out = "{\"nodes\":[";
  std::int64_t total = 0;
  std::size_t missing = 0;
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    const NodeView& node = nodes[n];
    total += node.Size;
    missing += static_cast<std::size_t>(node.Missing);
    out += n ? "," : "";
    out += "{" + JsonField("address", node.Address) + ",\"size\":" + std::to_string(node.Size) +
           ",\"missing\":" + std::to_string(node.Missing) +
           ",\"busy\":" + (node.Busy ? "true" : "false") +
           ",\"hold_until\":" + (node.HoldUntil > now ? std::to_string(node.HoldUntil) : "null");
    if (node.TriesOk >= 0) {
      out += ",\"tries\":{\"ok\":" + std::to_string(node.TriesOk) +
             ",\"failed\":" + std::to_string(node.TriesFailed) + "," +
             JsonField("comment", node.TryComment) + "}";
    }
    out += ",\"files\":[";
    for (std::size_t i = 0; i < node.Files.size(); ++i) {
      const TOutbFile& f = node.Files[i];
      out += i ? "," : "";
      out += "{" + JsonField("path", f.FullName) +
             ",\"size\":" + (f.Size < 0 ? "null" : std::to_string(f.Size)) +
             ",\"missing\":" + (f.Size < 0 ? "true" : "false") +
             ",\"flavour\":" + JsonString(FlavourName(f.Flavor)) +
             ",\"type\":" + JsonString(TypeName(f.OutbType)) +
             ",\"after\":" + JsonString(ModeName(f.SendMode)) + "," + AgeJson(node.Mtimes[i], now) +
             "}";
    }
    out += "],\"packets\":[";
    for (std::size_t i = 0; i < node.Packets.size(); ++i) {
      out += (i ? ",{" : "{") + JsonField("path", node.Packets[i]) + "," +
             AgeJson(MtimeOf(node.Packets[i]), now) + "}";
    }
    out += "],\"requests\":[";
    for (std::size_t i = 0; i < node.Requests.size(); ++i) {
      out += (i ? "," : "") + JsonString(node.Requests[i]);
    }
    out += "]}";
  }
  out += "],\"size\":" + std::to_string(total) + ",\"missing\":" + std::to_string(missing) + "}\n";
  std::fputs(out.c_str(), stdout);
}

// --older-than: the entries whose file was last written more than SECONDS
// ago, for cron and monitoring, which judge by the exit status (1: some).
// A file that is gone has no age; the full queue shows it as missing.
int PrintOlder(const std::vector<NodeView>& nodes, std::int64_t seconds, bool json,
               std::int64_t now) {
  std::string out = json ? "{\"older\":[" : "";
  int count = 0;
  for (const NodeView& node : nodes) {
    for (std::size_t i = 0; i < node.Files.size(); ++i) {
      const TOutbFile& f = node.Files[i];
      if (node.Mtimes[i] < 0 || now - node.Mtimes[i] <= seconds) continue;
      const std::int64_t age = now - node.Mtimes[i];
      if (json) {
        out += std::string(count == 0 ? "{" : ",{") + JsonField("address", node.Address) + "," +
               JsonField("path", f.FullName) + ",\"flavour\":" + JsonString(FlavourName(f.Flavor)) +
               ",\"age_seconds\":" + std::to_string(age) + "}";
      } else {
        out += node.Address + " " + FlavourName(f.Flavor) + " " + std::to_string(age / 3600) +
               "h " + f.FullName + "\n";
      }
      ++count;
    }
  }
  if (json) out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return count > 0 ? 1 : 0;
}

int Queue(const ParsedArgs& args, const SetupSources& sources) {
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
  if (!args.Operands.empty() && !main) throw Failure(NoMainAddressText());
  std::unique_ptr<NodeFilter> filter;
  if (!args.Operands.empty()) filter = std::make_unique<NodeFilter>(setup, *main, args.Operands);

  std::vector<OutboundPlace> places = Places(setup);
  if (places.empty()) places.push_back({});  // boxes and netmail only
  std::vector<NodeView> nodes;
  for (const OutboundPlace& place : places) {
    TOutbound outb;
    outb.SetScanAllZones(true);
    if (main) main->NameZone(place.Main ? 0 : place.DefaultZone);
    AddPlace(place.Dir, "outbound", &TOutbound::SetBinkOutPath, outb);
    if (place.Main || place.Dir.empty()) {
      AddPlace(setup.Boxes, "file-box directory", &TOutbound::SetFileBoxesPath, outb);
    }
    try {
      outb.Rescan();
      if (place.Main || place.Dir.empty()) {
        if (!setup.Netmail.empty() && IsDirectory(setup.Netmail) && main) {
          ScanNetmail(outb, setup.Netmail);
        } else if (!setup.Netmail.empty() && !IsDirectory(setup.Netmail)) {
          std::fprintf(stderr, "brnet: netmail directory %s is not a directory; left out\n",
                       setup.Netmail.c_str());
        }
      }
    } catch (const std::exception& e) {
      throw Failure(e.what());
    }
    Gather(outb, place, filter.get(), nodes);
  }
  const std::int64_t now = std::time(nullptr);
  if (older >= 0) return PrintOlder(nodes, older, args.Has("json"), now);
  if (args.Has("json")) {
    PrintJson(nodes, now);
  } else {
    PrintText(nodes, args.Has("verbose"), now);
  }
  return 0;
}

}  // namespace

int QueueCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  return RunCommand(args, kSpecs, kHelp,
                    [&](const ParsedArgs& parsed) { return Queue(parsed, sources); });
}

}  // namespace brnet::cli
