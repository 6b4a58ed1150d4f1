// brnet queue: the library's rescan of every zone, the file boxes and the
// netmail directory, shown node by node, as text or as JSON.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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
#include "QueueView.h"
#include "Spool.h"
#include "msgbase/MsgBase.h"
#include "outbound/Outbound.h"

namespace brnet::cli {
namespace {

constexpr const char* kHelp =
    "Usage: brnet queue [OPTIONS] [ADDRESS...]\n"
    "Shows what waits in the outbound: one row per node with any state there, with\n"
    "the flavours present, the number of files, the size of files and packets, how\n"
    "long the oldest entry has waited, and the node's state (busy flags with their\n"
    "holder, hold, polls, packets, requests, missing files, box files a drop left,\n"
    "binkd's tries), then a total. It covers every zone of the Bink outbound with\n"
    "its points, the file boxes and the netmail directory's file attaches.\n"
    "An entry waits from when it entered the outbound: a flow file's first line\n"
    "since the file was made, its other lines since its last write, a box file\n"
    "since its arrival in the box, a netmail attach since its message was written;\n"
    "the file's own date does not count. With ADDRESS only those nodes\n"
    "(ADDRESS@domain: in that domain's outbound only).\n"
    "\n"
    "      --json                 print one JSON object instead\n"
    "      --older-than DURATION  list only entries that have waited longer (90s, 15m,\n"
    "                             2h, 1d, 1w); exit status 3 when there is one\n"
    "  -v, --verbose              list each entry with its size, mode and wait\n"
    "  -q, --quiet                no warnings of what is expected\n"
    "  -m, --main ADDRESS         your own address (its zone is the outbound's)\n"
    "  -t, --type TYPE            the type --dir is for: bink, netmail, box, longbox\n"
    "  -d, --dir DIR              the directory of that type\n"
    "  -c, --binkd-config FILE    take address and directories from binkd's configuration\n"
    "  -h, --help                 show this text\n";

const std::vector<OptionSpec> kSpecs = {
    {0, "json", false},    {0, "older-than", true},     {'v', "verbose", false},
    {'q', "quiet", false}, {'m', "main", true},         {'t', "type", true},
    {'d', "dir", true},    {'c', "binkd-config", true}, {'h', "help", false},
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
    std::fprintf(stderr, "brnet: queue: %s is not a directory; left out: %s\n", what, dir.c_str());
    return false;
  }
  (outb.*set)(dir);
  return true;
}

// The netmail directory's attaches and requests, read message by message:
// a message that cannot be read is named on standard error and the rest
// is shown.
void ScanNetmail(TOutbound& outb, const std::string& dir, MessageTimes& times) {
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
        const auto& names = base.Store()->FileNames();
        const std::size_t at = static_cast<std::size_t>(base.Position()) - 1;
        struct stat st {};
        if (at < names.size() && ::lstat((dir + "/" + names[at]).c_str(), &st) == 0) {
          times.emplace_back(dest.Format(afDomain) + "\n" + msg.Subject(), st.st_mtime);
        }
      } else if (msg.Attributes.Contains(maFileRequest) && !MainAddress()->Matches(&dest)) {
        outb.FindOrAddNode(&dest).AddRequests(msg.Subject());
      }
    } catch (const std::exception& e) {
      const auto& names = base.Store()->FileNames();
      const std::size_t at = static_cast<std::size_t>(base.Position()) - 1;
      std::fprintf(stderr, "brnet: queue: warning: %s%s: %s; left out\n", dir.c_str(),
                   at < names.size() ? ("/" + names[at]).c_str() : "", e.what());
    }
  }
}

std::string Joined(const std::vector<TOutbFlavor>& flavours) {
  bool present[kFlavorCount] = {};
  for (TOutbFlavor f : flavours) present[f] = true;
  std::string out;
  for (int i = 0; i < kFlavorCount; ++i) {
    if (!present[i]) continue;
    if (!out.empty()) out += ',';
    out += FlavourName(static_cast<TOutbFlavor>(i));
  }
  return out;
}

// Every flavour something of the node waits in: files, packets, polls.
std::string Flavours(const NodeView& node) {
  std::vector<TOutbFlavor> all = node.Polls;
  for (const TOutbFile& f : node.Files) all.push_back(f.Flavor);
  for (const PacketView& p : node.Packets) all.push_back(p.Flavor);
  const std::string out = Joined(all);
  return out.empty() ? "-" : out;
}

// The longest wait of the node's entries; -1 when none has a known time.
std::int64_t OldestQueued(const NodeView& node) {
  std::int64_t oldest = -1;
  const auto take = [&](std::int64_t t) {
    if (t >= 0 && (oldest < 0 || t < oldest)) oldest = t;
  };
  for (std::int64_t t : node.Queued) take(t);
  for (const PacketView& p : node.Packets) take(p.Queued);
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

std::string BusyState(const NodeView& node, std::int64_t now, std::int64_t killOldBsy) {
  std::string out;
  for (const BusyFlagView& flag : node.Flags) {
    const std::string holder = flag.Pid == 0 ? std::string("no pid")
                                             : "pid " + std::to_string(flag.Pid) +
                                                   (flag.Ours ? " on " + flag.Host : " (mailer)");
    const bool stale = !StaleFlagReason(flag, killOldBsy, now).empty();
    out += out.empty() ? "" : ", ";
    out += std::string(stale ? "stale " : "") + "busy by " + holder + " for " +
           AgeWords(now - flag.Mtime);
  }
  return out;
}

std::string StateText(const NodeView& node, std::int64_t now, std::int64_t killOldBsy) {
  std::string out;
  const auto add = [&](const std::string& part) {
    if (!part.empty()) out += (out.empty() ? "" : ", ") + part;
  };
  add(BusyState(node, now, killOldBsy));
  if (node.HoldUntil > now) add("hold until " + TimeText(node.HoldUntil));
  if (!node.Polls.empty()) add("poll " + Joined(node.Polls));
  if (!node.Packets.empty()) add(Plural(node.Packets.size(), "packet", "packets"));
  if (!node.Requests.empty()) add(Plural(node.Requests.size(), "request", "requests"));
  if (node.Missing > 0) {
    add(std::to_string(node.Missing) + " missing (binkd will skip " +
        (node.Missing == 1 ? "it)" : "them)"));
  }
  if (!node.Dropped.empty()) {
    std::int64_t size = 0;
    for (const LeftoverView& l : node.Dropped) size += l.Size;
    add(std::to_string(node.Dropped.size()) + " dropped in boxes (" + HumanSize(size) +
        "; drop --leftovers removes)");
  }
  if (node.TriesOk >= 0) {
    // binkd's comment, with control characters shown as "?".
    std::string comment = node.TryComment;
    for (char& c : comment) c = static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    add("tries " + std::to_string(node.TriesOk) + " ok, " + std::to_string(node.TriesFailed) +
        " failed" + (comment.empty() ? "" : " (" + comment + ")"));
  }
  return out;
}

struct Totals {
  std::size_t Files = 0, Packets = 0, Missing = 0, Dropped = 0;
  std::int64_t Size = 0;
};

Totals Sum(const std::vector<NodeView>& nodes) {
  Totals t;
  for (const NodeView& node : nodes) {
    t.Files += node.Files.size();
    t.Packets += node.Packets.size();
    t.Missing += static_cast<std::size_t>(node.Missing);
    t.Dropped += node.Dropped.size();
    t.Size += node.Size;
  }
  return t;
}

void PrintEntries(const NodeView& node, std::int64_t now) {
  for (std::size_t i = 0; i < node.Files.size(); ++i) {
    const TOutbFile& f = node.Files[i];
    const std::string size = f.Size < 0 ? "missing" : std::to_string(f.Size);
    std::printf("    %12s  %-9s %-7s %-5s %-7s %s\n", size.c_str(), FlavourName(f.Flavor).c_str(),
                TypeName(f.OutbType).c_str(), ModeName(f.SendMode).c_str(),
                node.Queued[i] < 0 ? "-" : AgeWords(now - node.Queued[i]).c_str(),
                Escaped(f.FullName).c_str());
  }
  for (const PacketView& p : node.Packets) {
    std::printf("    %12s  %-9s %-7s %-5s %-7s %s\n", std::to_string(p.Size).c_str(),
                FlavourName(p.Flavor).c_str(), "packet", "-",
                p.Queued < 0 ? "-" : AgeWords(now - p.Queued).c_str(), Escaped(p.Path).c_str());
  }
  for (const std::string& r : node.Requests) {
    std::printf("    %12s  %s\n", "request", Escaped(r).c_str());
  }
  for (const LeftoverView& l : node.Dropped) {
    std::printf("    %12s  dropped   %s\n", std::to_string(l.Size).c_str(), Escaped(l.Path).c_str());
  }
}

void PrintText(const std::vector<NodeView>& nodes, bool verbose, std::int64_t now,
               std::int64_t killOldBsy) {
  std::size_t width = 8;
  for (const NodeView& n : nodes) width = std::max(width, Flavours(n).size());
  const int w = static_cast<int>(width);
  std::printf("%-24s %-*s %5s %10s  %-8s %s\n", "ADDRESS", w, "FLAVOURS", "FILES", "SIZE",
              "WAITING", "STATE");
  for (const NodeView& node : nodes) {
    const std::int64_t oldest = OldestQueued(node);
    std::printf("%-24s %-*s %5zu %10s  %-8s %s\n", node.Address.c_str(), w, Flavours(node).c_str(),
                node.Files.size(), HumanSize(node.Size).c_str(),
                oldest < 0 ? "-" : AgeWords(now - oldest).c_str(),
                StateText(node, now, killOldBsy).c_str());
    if (verbose) PrintEntries(node, now);
  }
  const Totals t = Sum(nodes);
  std::printf("total: %s, %s, %s, %s", Plural(nodes.size(), "node", "nodes").c_str(),
              Plural(t.Files, "file", "files").c_str(),
              Plural(t.Packets, "packet", "packets").c_str(), HumanSize(t.Size).c_str());
  if (t.Missing > 0) std::printf(", %zu missing (binkd will skip them)", t.Missing);
  if (t.Dropped > 0) std::printf(", %zu dropped in boxes", t.Dropped);
  std::printf("\n");
}

std::string AgeJson(std::int64_t queued, std::int64_t now) {
  if (queued < 0) return "\"age\":null,\"time\":null";
  return "\"age\":" + std::to_string(now - queued) + ",\"time\":" + JsonString(TimeText(queued));
}

std::string FlagsJson(const NodeView& node, std::int64_t now, std::int64_t killOldBsy) {
  std::string out = "[";
  for (std::size_t i = 0; i < node.Flags.size(); ++i) {
    const BusyFlagView& f = node.Flags[i];
    const std::string stale = StaleFlagReason(f, killOldBsy, now);
    out += i ? ",{" : "{";
    out +=
        JsonField("path", f.Path.Full()) + ",\"pid\":" + (f.Pid ? std::to_string(f.Pid) : "null") +
        ",\"host\":" + (f.Host.empty() ? "null" : JsonString(f.Host)) +
        ",\"ours\":" + (f.Ours ? "true" : "false") + ",\"age\":" + std::to_string(now - f.Mtime) +
        ",\"stale\":" + (stale.empty() ? "null" : JsonString(stale)) + "}";
  }
  return out + "]";
}

std::string FilesJson(const NodeView& node, std::int64_t now) {
  std::string out = "[";
  for (std::size_t i = 0; i < node.Files.size(); ++i) {
    const TOutbFile& f = node.Files[i];
    out += i ? ",{" : "{";
    out += JsonField("path", f.FullName) +
           ",\"size\":" + (f.Size < 0 ? "null" : std::to_string(f.Size)) +
           ",\"missing\":" + (f.Size < 0 ? "true" : "false") +
           ",\"flavour\":" + JsonString(FlavourName(f.Flavor)) +
           ",\"type\":" + JsonString(TypeName(f.OutbType)) +
           ",\"after\":" + JsonString(ModeName(f.SendMode)) + "," + AgeJson(node.Queued[i], now) +
           "}";
  }
  return out + "]";
}

std::string NodeJson(const NodeView& node, std::int64_t now, std::int64_t killOldBsy) {
  std::string out(1, '{');
  out += JsonField("address", node.Address) + ",\"size\":" + std::to_string(node.Size) +
         ",\"missing\":" + std::to_string(node.Missing) +
         ",\"busy\":" + (node.Flags.empty() ? "false" : "true") +
         ",\"flags\":" + FlagsJson(node, now, killOldBsy) +
         ",\"hold_until\":" + (node.HoldUntil > now ? std::to_string(node.HoldUntil) : "null");
  if (node.TriesOk >= 0) {
    out += ",\"tries\":{\"ok\":" + std::to_string(node.TriesOk) +
           ",\"failed\":" + std::to_string(node.TriesFailed) + "," +
           JsonField("comment", node.TryComment) + "}";
  }
  out += ",\"polls\":[";
  for (std::size_t i = 0; i < node.Polls.size(); ++i) {
    out += i ? "," : "";
    out += JsonString(FlavourName(node.Polls[i]));
  }
  out += "],\"files\":" + FilesJson(node, now) + ",\"packets\":[";
  for (std::size_t i = 0; i < node.Packets.size(); ++i) {
    const PacketView& p = node.Packets[i];
    out += i ? ",{" : "{";
    out += JsonField("path", p.Path) + ",\"size\":" + std::to_string(p.Size) +
           ",\"flavour\":" + JsonString(FlavourName(p.Flavor)) + "," + AgeJson(p.Queued, now) + "}";
  }
  out += "],\"requests\":[";
  for (std::size_t i = 0; i < node.Requests.size(); ++i) {
    out += i ? "," : "";
    out += JsonString(node.Requests[i]);
  }
  out += "],\"dropped\":[";
  for (std::size_t i = 0; i < node.Dropped.size(); ++i) {
    out += i ? ",{" : "{";
    out += JsonField("path", node.Dropped[i].Path) +
           ",\"size\":" + std::to_string(node.Dropped[i].Size) + "}";
  }
  return out + "]}";
}

void PrintJson(const std::vector<NodeView>& nodes, std::int64_t now, std::int64_t killOldBsy) {
  std::string out = "{\"nodes\":[";
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    out += n ? "," : "";
    out += NodeJson(nodes[n], now, killOldBsy);
  }
  const Totals t = Sum(nodes);
  out += "],\"size\":" + std::to_string(t.Size) + ",\"missing\":" + std::to_string(t.Missing) +
         ",\"packets\":" + std::to_string(t.Packets) + "}\n";
  std::fputs(out.c_str(), stdout);
}

// One entry waiting longer than --older-than asks.
struct OldEntry {
  const NodeView* Node;
  std::string Path;
  TOutbFlavor Flavor;
  std::int64_t Age;
};

std::vector<OldEntry> OldEntries(const std::vector<NodeView>& nodes, std::int64_t seconds,
                                 std::int64_t now) {
  std::vector<OldEntry> old;
  for (const NodeView& node : nodes) {
    for (std::size_t i = 0; i < node.Files.size(); ++i) {
      if (node.Queued[i] >= 0 && now - node.Queued[i] > seconds) {
        old.push_back({&node, node.Files[i].FullName, node.Files[i].Flavor, now - node.Queued[i]});
      }
    }
    for (const PacketView& p : node.Packets) {
      if (p.Queued >= 0 && now - p.Queued > seconds)
        old.push_back({&node, p.Path, p.Flavor, now - p.Queued});
    }
  }
  return old;
}

// --older-than: the entries that have waited in the outbound more than
// SECONDS, for cron and monitoring, which judge by the exit status.
int PrintOlder(const std::vector<NodeView>& nodes, std::int64_t seconds, bool json,
               std::int64_t now) {
  const std::vector<OldEntry> old = OldEntries(nodes, seconds, now);
  std::string out = json ? "{\"older\":[" : "";
  for (std::size_t i = 0; i < old.size(); ++i) {
    const OldEntry& e = old[i];
    if (json) {
      out += i == 0 ? "{" : ",{";
      out += JsonField("address", e.Node->Address) + "," + JsonField("path", e.Path) +
             ",\"flavour\":" + JsonString(FlavourName(e.Flavor)) +
             ",\"age_seconds\":" + std::to_string(e.Age) + "}";
    } else {
      out += e.Node->Address + " " + FlavourName(e.Flavor) + " " + AgeWords(e.Age) + " " +
             Escaped(e.Path) + "\n";
    }
  }
  if (json) out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return old.empty() ? 0 : kExitOldEntries;
}

// One domain's outbound rescanned (the main one's with the file boxes and
// the netmail directory), its nodes added to NODES.
void ScanPlace(const OutboundPlace& place, const Resolved& setup, MainAddressScope* main,
               const NodeFilter* filter, std::int64_t now, std::vector<NodeView>& nodes) {
  TOutbound outb;
  outb.SetScanAllZones(true);
  if (main) main->NameZone(place.Main ? 0 : place.DefaultZone);
  AddPlace(place.Dir, "outbound", &TOutbound::SetBinkOutPath, outb);
  const bool first = place.Main || place.Dir.empty();
  if (first) AddPlace(setup.Boxes, "file-box directory", &TOutbound::SetFileBoxesPath, outb);
  MessageTimes messages;
  try {
    outb.Rescan();
    if (first && !setup.Netmail.empty() && !IsDirectory(setup.Netmail)) {
      std::fprintf(stderr, "brnet: queue: netmail directory is not a directory; left out: %s\n",
                   setup.Netmail.c_str());
    } else if (first && !setup.Netmail.empty() && main) {
      ScanNetmail(outb, setup.Netmail, messages);
    }
  } catch (const std::exception& e) {
    throw Failure(e.what());
  }
  std::vector<NodeView> gathered;
  GatherNodes(outb, place, first ? outb.FileBoxesPath() : std::string(), messages, now, gathered);
  for (NodeView& view : gathered) {
    if (filter == nullptr || filter->Takes(view.Addr, place)) nodes.push_back(std::move(view));
  }
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
  const std::int64_t now = std::time(nullptr);
  for (const OutboundPlace& place : places) ScanPlace(place, setup, main.get(), filter.get(), now, nodes);
  if (older >= 0) return PrintOlder(nodes, older, args.Has("json"), now);
  if (args.Has("json")) {
    PrintJson(nodes, now, setup.KillOldBsy);
  } else {
    PrintText(nodes, args.Has("verbose"), now, setup.KillOldBsy);
  }
  return 0;
}

}  // namespace

int QueueCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  return RunCommand(args, kSpecs, kHelp,
                    [&](const ParsedArgs& parsed) { return Queue(parsed, sources); });
}

}  // namespace brnet::cli
