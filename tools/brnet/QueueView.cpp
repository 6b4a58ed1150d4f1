// Gathering what waits for each node, with binkd's state beside it.
#include "QueueView.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <tuple>

#include "Commands.h"
#include "outbound/OutbEdit.h"
#include "sys/FileSystem.h"
#include "util/Ascii.h"

namespace brnet::cli {
namespace {

constexpr std::size_t kStateHead = 512;

std::string Slashed(const std::string& dir) {
  return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

struct Stat {
  bool Found = false;
  bool Regular = false;
  std::int64_t Size = 0, Mtime = -1, Ctime = -1;
};

Stat StatOf(const std::string& path) {
  struct stat st {};
  Stat s;
  if (::lstat(path.c_str(), &st) != 0) return s;
  s.Found = true;
  s.Regular = S_ISREG(st.st_mode);
  s.Size = st.st_size;
  s.Mtime = st.st_mtime;
  s.Ctime = st.st_ctime;
  return s;
}

std::string Head(const TBsoPath& path) {
  return sys::ReadFileHead(path.Root, path.Below, kStateHead).value_or("");
}

// binkd's .hld and .try beside the node's flow files.
void ReadHoldAndTries(NodeView& view, const std::string& out) {
  for (const TBsoPath& hld : FindNodeFiles(view.Addr, out, ".hld")) {
    view.HoldUntil = std::max<std::int64_t>(view.HoldUntil, std::atoll(Head(hld).c_str()));
  }
  for (const TBsoPath& path : FindNodeFiles(view.Addr, out, ".try")) {
    const std::optional<BinkdTries> tries = ParseTries(Head(path));
    if (!tries) continue;
    view.TriesOk = tries->Ok;
    view.TriesFailed = tries->Failed;
    view.TryComment = tries->Comment;
  }
}

// When a flow file was made, as the file system recorded it; -1 unknown.
std::int64_t BirthTime(const std::string& path) {
  struct statx stx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &stx) != 0 ||
      (stx.stx_mask & STATX_BTIME) == 0) {
    return -1;
  }
  return stx.stx_btime.tv_sec;
}

// What the node's flow file of one flavour tells of its lines' times: no
// line is younger than its last write, and its first line, when still
// live, is as old as the file itself.
struct FlowTime {
  std::int64_t Written = -1;
  std::int64_t Born = -1;
  std::string First;  // the file the first line names, when it is live
};

FlowTime FlowTimeOf(const TBsoPath& flow) {
  FlowTime t;
  t.Written = StatOf(flow.Full()).Mtime;
  try {
    const std::vector<std::string> lines = ReadLinesBelow(flow);
    if (lines.empty() || !IsLiveFlowLine(lines.front())) return t;
    std::string_view first = lines.front();
    while (!first.empty() && static_cast<unsigned char>(first.back()) <= ' ')
      first.remove_suffix(1);
    t.First = std::string(SplitSendMode(first).Name);
    t.Born = BirthTime(flow.Full());
  } catch (const std::exception&) {
    // Unreadable: the rescan names it; its last write is all there is.
  }
  return t;
}

// Each flavour's flow file; with several spellings only their newest write.
std::vector<FlowTime> FlowTimes(const TFidoAddr& addr, const std::string& out) {
  std::vector<FlowTime> times(kFlavorCount);
  for (int f = 0; f < kFlavorCount; ++f) {
    const std::vector<TBsoPath> flows = FindNodeFiles(addr, out, FlowFileExt[f]);
    if (flows.size() == 1) times[f] = FlowTimeOf(flows.front());
    for (const TBsoPath& flow : flows) {
      times[f].Written = std::max(times[f].Written, StatOf(flow.Full()).Mtime);
    }
  }
  return times;
}

// A Bink entry's time: its flow file's birth for the first line (once),
// its last write for the others.
std::int64_t BinkQueuedAt(const TOutbFile& f, std::vector<FlowTime>& flows) {
  FlowTime& flow = flows[f.Flavor];
  if (flow.Born >= 0 && f.FullName == flow.First) {
    flow.First.clear();
    return std::min(flow.Born, flow.Written);
  }
  return flow.Written;
}

std::int64_t QueuedAt(const TOutbFile& f, std::vector<FlowTime>& flows,
                      const MessageTimes& messages, const std::string& address) {
  switch (f.OutbType) {
    case otBink:
      return BinkQueuedAt(f, flows);
    case otFileBox:
    case otLongFileBox:
      // The rename that gave it its name in the box changed its status.
      return StatOf(f.FullName).Ctime;
    case otArcMail:
      for (const auto& [key, time] : messages) {
        if (key == address + "\n" + f.FullName) return time;
      }
      break;
  }
  return -1;
}

void AddFiles(NodeView& view, const TOutbNode& node, std::vector<FlowTime> flows,
              const MessageTimes& messages) {
  for (TOutbFile f : node.Files()) {
    // A file box has a plain box and a hold box: normal and hold.
    if (f.OutbType != otBink && f.OutbType != otArcMail && f.Flavor != flHold) f.Flavor = flNormal;
    view.Queued.push_back(QueuedAt(f, flows, messages, view.Addr.Format(afDomain)));
    if (f.Size < 0) ++view.Missing;
    if (f.Size > 0) view.Size += f.Size;
    view.Files.push_back(std::move(f));
  }
}

TOutbFlavor PacketFlavour(const std::string& name) {
  const char c = name.size() >= 3 ? ToAsciiLower(name[name.size() - 3]) : 'o';
  return c == 'i' ? flImm : c == 'c' ? flCrash : c == 'd' ? flDirect : c == 'h' ? flHold : flNormal;
}

void AddPackets(NodeView& view, const TOutbNode& node, const std::string& flowDir) {
  for (const std::string& name : node.Packets()) {
    const Stat s = StatOf(flowDir + name);
    view.Packets.push_back({flowDir + name, s.Size, PacketFlavour(name), s.Mtime});
    view.Size += s.Size;
  }
}

// Flow files without a live line make the mailer call all the same.
void AddPolls(NodeView& view, const std::string& out) {
  for (int f = 0; f < kFlavorCount; ++f) {
    for (const TBsoPath& flow : FindNodeFiles(view.Addr, out, FlowFileExt[f])) {
      bool live = false;
      try {
        for (const std::string& line : ReadLinesBelow(flow)) live = live || IsLiveFlowLine(line);
      } catch (const std::exception&) {
        live = true;  // unreadable: the rescan names it
      }
      if (!live) view.Polls.push_back(static_cast<TOutbFlavor>(f));
      if (!live) break;
    }
  }
}

void AddState(NodeView& view, const std::string& out, const std::string& boxes) {
  if (!out.empty()) {
    ReadHoldAndTries(view, out);
    AddPolls(view, out);
    view.Flags = NodeBusyFlags(view.Addr, out);
  }
  if (!boxes.empty()) view.Dropped = DroppedLeftovers(view.Addr, boxes);
}

// Addresses of BSO names "NNNNnnnn.EXT" in DIR (points in POINTDIR) that
// carry binkd's state or a poll: files the library's rescan passes by.
void StateAddresses(const std::string& dir, std::int16_t zone, const std::string* pointDir,
                    std::vector<TFidoAddr>& found) {
  for (const sys::SearchRec& rec : sys::FindAllMatches(dir + "*.*", 0)) {
    if (rec.Name.size() != 12 || rec.Name[8] != '.') continue;
    const std::string ext = ToAsciiLower(rec.Name.substr(9));
    const bool state = ext == "hld" || ext == "bsy" || ext == "csy" || ext == "try" ||
                       (ext[1] == 'l' && ext[2] == 'o') || ext == "req";
    const bool hex = std::all_of(rec.Name.begin(), rec.Name.begin() + 8,
                                 [](char c) { return HexDigitValue(c) >= 0; });
    if (!state || !hex) continue;
    found.push_back(pointDir ? BinkPointNameToAddr(*pointDir, rec.Name, zone)
                             : BinkNameToAddr(rec.Name, zone));
  }
}

// Every address with state in the outbound OUT: its own zone's directory
// (and points) and the other zones' beside it.
std::vector<TFidoAddr> StateNodes(const std::string& out, std::int16_t mainZone) {
  std::vector<std::pair<std::string, std::int16_t>> dirs = {{out, mainZone}};
  const std::string outDir = out.substr(0, out.size() - 1);
  const std::string parent = outDir.substr(0, outDir.find_last_of('/') + 1);
  const std::size_t prefix = outDir.size() - parent.size() + 1;  // "out."
  for (const sys::SearchRec& rec : sys::FindAllMatches(outDir + ".*", sys::faDirectory)) {
    if ((rec.Attr & sys::faDirectory) == 0 || rec.Name.size() <= prefix) continue;
    const std::string digits = rec.Name.substr(prefix);
    const bool hex =
        std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigitValue(c) >= 0; });
    const auto zone = static_cast<std::int16_t>(hex ? HexVal(digits) : 0);
    if (hex && digits.size() >= 3 && digits.size() <= 4 && zone != mainZone) {
      dirs.emplace_back(parent + rec.Name + "/", zone);
    }
  }
  std::vector<TFidoAddr> found;
  for (const auto& [dir, zone] : dirs) {
    StateAddresses(dir, zone, nullptr, found);
    for (const sys::SearchRec& rec : sys::FindAllMatches(dir + "*.pnt", sys::faDirectory)) {
      if (rec.Attr & sys::faDirectory) StateAddresses(dir + rec.Name + "/", zone, &rec.Name, found);
    }
  }
  return found;
}

}  // namespace

bool NodeView::Empty() const {
  return Files.empty() && Packets.empty() && Requests.empty() && Polls.empty() && Flags.empty() &&
         Dropped.empty() && HoldUntil == 0 && TriesOk < 0;
}

bool IsDroppedName(const std::string& name) {
  return name.size() > 1 && name[0] == '.' && name != "..";
}

std::vector<LeftoverView> DroppedLeftovers(const TFidoAddr& addr, const std::string& boxes) {
  std::vector<LeftoverView> found;
  for (bool longForm : {false, true}) {
    for (TOutbFlavor f : {flNormal, flHold}) {
      const std::string box = FileBoxDirName(addr, Slashed(boxes), f, longForm);
      if (!StatOf(box.substr(0, box.size() - 1)).Found) continue;
      for (const sys::SearchRec& rec : sys::FindAllMatches(box + ".*", sys::faHidden)) {
        const Stat s = StatOf(box + rec.Name);
        if (!IsDroppedName(rec.Name) || !s.Regular) continue;
        found.push_back({box + rec.Name, s.Size, s.Ctime});
      }
    }
  }
  return found;
}

std::optional<BinkdTries> ParseTries(std::string_view text) {
  if (text.size() < 5) return std::nullopt;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  BinkdTries tries;
  tries.Ok = byte(0) | byte(1) << 8;
  tries.Failed = byte(2) | byte(3) << 8;
  tries.Comment = std::string(text.substr(5, std::min<std::size_t>(byte(4), text.size() - 5)));
  return tries;
}

void GatherNodes(const TOutbound& outb, const OutboundPlace& place, const std::string& boxes,
                 const MessageTimes& messages, std::int64_t now, std::vector<NodeView>& views) {
  const std::string out = Slashed(place.Dir);
  std::map<std::string, NodeView> byAddress;
  const auto viewOf = [&](const TFidoAddr& addr) -> NodeView& {
    NodeView& view = byAddress[addr.Format(afDomain)];
    view.Addr = addr;
    TFidoAddr shown = addr;
    shown.Domain = place.Main ? std::string() : place.Domain;
    view.Address = shown.Format(afDomain);
    return view;
  };
  for (int i = 0; i < outb.NodeCount(); ++i) {
    const TOutbNode& node = outb.GetNodes(i);
    for (const std::string& why : node.Unreadable()) {
      std::fprintf(stderr, "brnet: warning: %s; left out\n", Escaped(PlatformWording(why)).c_str());
    }
    NodeView& view = viewOf(node.Addr());
    AddFiles(view, node,
             out.empty() ? std::vector<FlowTime>(kFlavorCount) : FlowTimes(node.Addr(), out),
             messages);
    view.Requests = node.Requests();
    if (!out.empty()) {
      const std::string base = BinkBaseName(node.Addr(), out);
      AddPackets(view, node, base.substr(0, base.find_last_of('/') + 1));
    }
  }
  if (!out.empty() && MainAddress() != nullptr) {
    for (const TFidoAddr& addr : StateNodes(out, MainAddress()->Zone)) viewOf(addr);
  }
  std::vector<NodeView> gathered;
  for (auto& [key, view] : byAddress) {
    AddState(view, out, boxes);
    if (view.HoldUntil <= now) view.HoldUntil = 0;  // binkd removes it, and calls
    if (!view.Empty()) gathered.push_back(std::move(view));
  }
  std::stable_sort(gathered.begin(), gathered.end(), [](const NodeView& a, const NodeView& b) {
    return std::tie(a.Addr.Zone, a.Addr.Net, a.Addr.Node, a.Addr.Point) <
           std::tie(b.Addr.Zone, b.Addr.Net, b.Addr.Node, b.Addr.Point);
  });
  for (NodeView& view : gathered) views.push_back(std::move(view));
}

}  // namespace brnet::cli
