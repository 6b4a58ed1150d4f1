#include "outbound/Outbound.h"

#include <cmath>
#include <utility>

#include "msgbase/MsgBase.h"
#include "sys/Clock.h"
#include "sys/FileSystem.h"
#include "util/Files.h"
#include "util/Paths.h"

namespace brnet {
namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr std::int64_t kNanosPerSecond = 1000000000;

// Days since 1970-01-01 on the local calendar, with the time of day as the
// fraction.
double LocalDays(std::int64_t fileTime) {
  const std::int64_t seconds = fileTime / kNanosPerSecond;
  const double local = static_cast<double>(seconds + sys::UtcOffsetAt(seconds)) +
                       static_cast<double>(fileTime % kNanosPerSecond) / kNanosPerSecond;
  return local / kSecondsPerDay;
}

// The key of an address in the node index: its four numbers.
std::uint64_t NodeKey(const TFidoAddr& addr) {
  auto bits = [](std::int16_t n) {
    return static_cast<std::uint64_t>(static_cast<std::uint16_t>(n));
  };
  return bits(addr.Zone) << 48 | bits(addr.Net) << 32 | bits(addr.Node) << 16 | bits(addr.Point);
}

// The node's own copy of ADDR; a missing address is the outbound's
// precondition failure.
TFidoAddr NodeAddr(const TFidoAddr* addr) {
  BR_ASSERT(addr != nullptr, "Outbound");
  return TFidoAddr::CreateCopy(addr);
}

}  // namespace

std::int32_t FileAgeInDays(std::int64_t fileTime, std::int64_t now) {
  const double todayMidnight = std::floor(LocalDays(now));
  // nearbyint rounds halves to even in the default rounding mode.
  return static_cast<std::int32_t>(std::nearbyint(todayMidnight - LocalDays(fileTime)));
}

TOutbFile TOutbFile::FromText(std::string_view text) {
  TOutbFile file;
  const TFlowEntry entry = SplitSendMode(text);
  file.SendMode = entry.SendMode;
  file.FullName = std::string(entry.Name);
  file.Name = ExtractFileName(file.FullName);
  file.Kind = FileKindOf(file.Name);
  // Size and age come from one entry, so they belong together. The name as
  // written takes one lookup; only a name that is not there so is searched
  // for in its directory, which finds it in another case as Windows would.
  auto found = sys::EntryInfo(file.FullName);
  if (!found) found = sys::FindFirstMatch(ExpandFileName(file.FullName), sys::faAnyFile);
  if (!found) return file;
  file.Size = found->Size;
  if ((found->Attr & sys::faDirectory) == 0) {
    file.Age = FileAgeInDays(found->Time, sys::NowFileTime());
  }
  return file;
}

TOutbNode::TOutbNode(TOutbound* outbound, const TFidoAddr* addr)
    : outbound_(outbound), addr_(NodeAddr(addr)) {
  BR_ASSERT(outbound != nullptr, "Outbound");
}

TOutbFile& TOutbNode::AddFile(std::string_view fileName, TOutbFlavor flavor, TOutbType outbType) {
  AddFileRecord(TOutbFile::FromText(fileName), flavor, outbType);
  return files_.back();
}

void TOutbNode::AddFileRecord(TOutbFile file, TOutbFlavor flavor, TOutbType outbType) {
  file.Flavor = flavor;
  file.OutbType = outbType;
  if (file.Size != -1) totalSize_ += file.Size;
  files_.push_back(std::move(file));
}

void TOutbNode::DoLog(char logLevel, std::string_view logString) {
  if (outbound_->OnLogString()) outbound_->OnLogString()(this, logLevel, logString);
}

std::string TOutbNode::BinkBaseName() const {
  return brnet::BinkBaseName(addr_, outbound_->BinkOutPath());
}

TOutbound::TOutbound() = default;

TOutbound::~TOutbound() {
  ClearNodes();
  netmailBase_.reset();
}

void TOutbound::SetNetmailPath(std::string_view path) {
  const std::string before = netmailPath_;
  SetPath(netmailPath_, path);
  // The open base lists the old directory; the next scan or attach opens
  // the new one.
  if (netmailPath_ != before) netmailBase_.reset();
}

void TOutbound::SetPath(std::string& member, std::string_view path) {
  member = WithTrailingSlash(path);
  if (!path.empty() && !DirectoryPresent(std::string(path))) MakeDirPath(member);
}

TBusyFlagSetup TOutbound::BusySetup() const {
  if (!busyFlagsChosen_ && !binkOutPath_.empty()) {
    constexpr TBusyFlags bink = BusyFlagBit(bfBink);
    return TBusyFlagSetup{bink, bink, flagsPath_, binkOutPath_};
  }
  return TBusyFlagSetup{busyFlagsScan_, busyFlagsCreate_, flagsPath_, binkOutPath_};
}

void TOutbound::ClearNodes() {
  nodeIndex_.clear();
  wildcardNodes_ = 0;
  nodes_.clear();
}

TOutbNode& TOutbound::GetNodes(std::int32_t index) const {
  if (index < 0 || index >= NodeCount()) {
    throw EOutbError("TOutbound.GetNodes: index out of bounds");
  }
  return *nodes_[static_cast<std::size_t>(index)];
}

TOutbNode* TOutbound::FindNode(const TFidoAddr* addr) const {
  BR_ASSERT(addr != nullptr, "Outbound");
  // Without wildcard nodes a node matches exactly the address with its own
  // four numbers, and no two nodes have the same numbers: the index gives
  // the one node the walk below would find first.
  if (wildcardNodes_ == 0) {
    const auto it = nodeIndex_.find(NodeKey(*addr));
    return it == nodeIndex_.end() ? nullptr : it->second;
  }
  for (const auto& node : nodes_) {
    if (node->Addr().Matches(addr)) return node.get();
  }
  return nullptr;
}

TOutbNode& TOutbound::FindOrAddNode(const TFidoAddr* addr) {
  if (TOutbNode* node = FindNode(addr)) return *node;
  nodes_.push_back(std::make_unique<TOutbNode>(this, addr));
  TOutbNode& node = *nodes_.back();
  nodeIndex_.emplace(NodeKey(node.Addr()), &node);
  if (node.Addr().HasWildcard()) ++wildcardNodes_;
  return node;
}

TMsgBase& TOutbound::OpenNetmailBase() {
  if (netmailBase_) return *netmailBase_;
  if (netmailPath_.empty() || !DirectoryPresent(netmailPath_)) {
    throw EOutbError("Invalid netmail path");
  }
  auto base = std::make_unique<TMsgBase>();
  base->SetPathName(netmailPath_);
  base->SetPID(kOutboundPID);
  base->Open();
  netmailBase_ = std::move(base);
  return *netmailBase_;
}

}  // namespace brnet
