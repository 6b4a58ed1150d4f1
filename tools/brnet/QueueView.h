// What waits for each node, as brnet queue shows it: the library's rescan
// (files, requests, packets) joined with what only the directory listing
// tells: binkd's state files (hold, busy, tries), polls, and box files a
// drop left behind; each entry with the time it entered the outbound.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Flags.h"
#include "Spool.h"
#include "outbound/Outbound.h"

namespace brnet::cli {

// binkd's .try file: two 16-bit little-endian counts (calls that went
// well, calls that failed), a length byte and the last call's comment.
struct BinkdTries {
  int Ok = 0, Failed = 0;
  std::string Comment;
};

// TEXT read as a .try file; none when it is too short to be one.
std::optional<BinkdTries> ParseTries(std::string_view text);

struct PacketView {
  std::string Path;
  std::int64_t Size = 0;
  TOutbFlavor Flavor = flNormal;
  std::int64_t Queued = -1;
};

struct LeftoverView {
  std::string Path;
  std::int64_t Size = 0;
  std::int64_t Dropped = -1;  // when it was renamed
};

struct NodeView {
  TFidoAddr Addr;
  std::string Address;  // as shown, with @domain for another domain
  std::vector<TOutbFile> Files;
  // When each file's entry entered the outbound: its flow file's last write
  // (a line is never younger than that), a box file getting its name, a
  // netmail message written; -1 when unknown.
  std::vector<std::int64_t> Queued;
  std::vector<PacketView> Packets;
  std::vector<std::string> Requests;
  std::vector<TOutbFlavor> Polls;  // flow files with no live line
  std::vector<BusyFlagView> Flags;
  std::vector<LeftoverView> Dropped;  // renamed out of the node's boxes by drop
  std::int64_t Size = 0;              // files and packets
  int Missing = 0;
  std::int64_t HoldUntil = 0;  // 0: no .hld
  int TriesOk = -1, TriesFailed = -1;
  std::string TryComment;

  bool Empty() const;
};

// Netmail messages' write times, by destination and subject.
using MessageTimes = std::vector<std::pair<std::string, std::int64_t>>;

// The nodes of OUTB (rescanned, in PLACE's naming) with the state of its
// Bink directory and the boxes in BOXES; NOW judges holds. Appended to VIEWS.
void GatherNodes(const TOutbound& outb, const OutboundPlace& place, const std::string& boxes,
                 const MessageTimes& messages, std::int64_t now, std::vector<NodeView>& views);

// A box file a drop left behind: "." before the name, ".N" maybe after.
bool IsDroppedName(const std::string& name);

// The leftovers in ADDR's boxes under BOXES: the regular files whose name
// begins with "." (the mailer skips them; this library stages its copies
// elsewhere).
std::vector<LeftoverView> DroppedLeftovers(const TFidoAddr& addr, const std::string& boxes);

}  // namespace brnet::cli
