// The in-memory outbound: every destination node with the files, requests
// and packets waiting for it, gathered from the BinkleyTerm-style outbound
// tree, the file boxes and the *.MSG netmail directory; and the entry point
// of the attach operation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "addr/FidoAddr.h"
#include "log/FidoLog.h"
#include "outbound/BusyFlags.h"
#include "outbound/OutbNaming.h"
#include "sys/Error.h"
#include "sys/FileSystem.h"

namespace brnet {

class TMsgBase;
class TOutbound;

// A failure of the outbound ("Invalid netmail path", "Node %s is busy", ...).
class EOutbError : public Exception {
  using Exception::Exception;
};

// "Node %s is busy": another program holds a busy flag of the node. A
// caller may wait and try again; every other failure is final.
class ENodeBusy : public EOutbError {
  using EOutbError::EOutbError;
};

enum TOutbSortMode : std::uint8_t { osNone = 0, osAddress = 1 };
enum TOutbNodeSortMode : std::uint8_t {
  onsNone = 0,
  onsName = 1,
  onsSize = 2,    // largest first, unknown sizes last
  onsFlavor = 3,  // Imm, Crash, Direct, Normal, Hold
  onsAge = 4,     // youngest first
};

// One queued file.
struct TOutbFile {
  std::string FullName;  // as listed, without a send-mode prefix
  std::string Name;      // FullName without its directory
  TOutbSendMode SendMode = smNone;
  TOutbFlavor Flavor = flNormal;
  TOutbType OutbType = otBink;
  TOutbFileKind Kind = fkOther;
  std::int64_t Size = -1;  // bytes; -1 when the file cannot be found
  std::int32_t Age = 0;    // whole days since last written; 0 when not found

  // Builds an entry from a flow-file text: a leading "^" or "#" gives the
  // send mode; size, kind and age come from the file named.
  static TOutbFile FromText(std::string_view text);
};

// Whole days between today's local midnight and TIME (local), rounded to
// the nearest whole number with halves to even.
std::int32_t FileAgeInDays(std::int64_t fileTime, std::int64_t now);

// One destination node.
class TOutbNode {
 public:
  TOutbNode(TOutbound* outbound, const TFidoAddr* addr);
  TOutbNode(const TOutbNode&) = delete;
  TOutbNode& operator=(const TOutbNode&) = delete;

  TOutbound& Outbound() const { return *outbound_; }
  const TFidoAddr& Addr() const { return addr_; }
  const std::vector<TOutbFile>& Files() const { return files_; }
  std::vector<std::string>& Requests() { return requests_; }
  const std::vector<std::string>& Requests() const { return requests_; }
  std::vector<std::string>& Packets() { return packets_; }
  const std::vector<std::string>& Packets() const { return packets_; }
  // The flow and request files of the node a rescan could not read (a link,
  // no ordinary file, too large, no access), each as its error's text; the
  // rest of the node and of the outbound is read all the same.
  const std::vector<std::string>& Unreadable() const { return unreadable_; }
  std::int64_t TotalSize() const { return totalSize_; }

  // Records a file; its size counts towards TotalSize when known.
  TOutbFile& AddFile(std::string_view fileName, TOutbFlavor flavor, TOutbType outbType);
  // Scanner steps: a flow file, a request file, the words of a netmail
  // request subject, a file box directory.
  // ROOTLENGTH: how much of FILENAME is a configured directory, below which
  // no link is followed (npos: its own directory).
  void ReadLO(const std::string& fileName, std::size_t rootLength = std::string::npos);
  void ReadREQ(const std::string& fileName, std::size_t rootLength = std::string::npos);
  // ReadLO or ReadREQ; a file that cannot be read is noted in Unreadable.
  void ReadListFile(const std::string& fileName, std::size_t rootLength, bool request);
  void AddRequests(std::string_view text);
  void ScanBox(const std::string& dir, TOutbFlavor flavor, bool longForm);
  void SortFiles(TOutbNodeSortMode mode);
  // Reports a line through the outbound's OnLogString, when connected.
  void DoLog(char logLevel, std::string_view logString);
  std::string BinkBaseName() const;

  // Attaches FILES by OUTBTYPE under the node's busy flags.
  void AttachFiles(const std::vector<std::string>& files, TOutbFlavor flavor, TOutbType outbType,
                   TOutbSendMode mode);

 private:
  void AttachBink(const std::vector<std::string>& files, TOutbFlavor flavor, TOutbSendMode mode,
                  std::vector<TOutbFile>& records);
  // Records FILE, made by TOutbFile::FromText, as AddFile does.
  void AddFileRecord(TOutbFile file, TOutbFlavor flavor, TOutbType outbType);
  void AttachNetmail(const std::vector<std::string>& files, TOutbFlavor flavor, TOutbSendMode mode);
  // Box copies written before the node is locked, for the first files of a
  // list; ERROR is the failure of the copy of the file after them (0: that
  // one and the rest are copied under the lock).
  struct TStagedCopies {
    std::vector<std::unique_ptr<sys::StagedCopy>> Copies;
    int Error = 0;
  };
  void AttachFileBox(const std::vector<std::string>& files, TOutbFlavor flavor, TOutbType outbType,
                     TOutbSendMode mode, TStagedCopies& staged);
  TStagedCopies StageBoxCopies(const std::vector<std::string>& files, TOutbFlavor flavor,
                               TOutbType outbType, TOutbSendMode mode) const;

  TOutbound* outbound_;
  TFidoAddr addr_;
  std::vector<TOutbFile> files_;
  std::vector<std::string> requests_;
  std::vector<std::string> packets_;
  std::vector<std::string> unreadable_;
  std::int64_t totalSize_ = 0;
};

class TOutbound {
 public:
  TOutbound();
  ~TOutbound();
  TOutbound(const TOutbound&) = delete;
  TOutbound& operator=(const TOutbound&) = delete;

  // The path properties store the path ending in the separator and create
  // the directory with its parents when missing (a failure is ignored).
  const std::string& BinkOutPath() const { return binkOutPath_; }
  void SetBinkOutPath(std::string_view path) { SetPath(binkOutPath_, path); }
  const std::string& FileBoxesPath() const { return fileBoxesPath_; }
  void SetFileBoxesPath(std::string_view path) { SetPath(fileBoxesPath_, path); }
  const std::string& NetmailPath() const { return netmailPath_; }
  // A different path closes the netmail base opened for the old one.
  void SetNetmailPath(std::string_view path);
  const std::string& FlagsPath() const { return flagsPath_; }
  void SetFlagsPath(std::string_view path) { SetPath(flagsPath_, path); }

  TOutbSortMode SortMode() const { return sortMode_; }
  void SetSortMode(TOutbSortMode mode) { sortMode_ = mode; }
  // Whether a rescan also lists the other zones' directories beside the
  // outbound ("out.001", ...); off by default, when only the main address's
  // zone is scanned.
  bool ScanAllZones() const { return scanAllZones_; }
  void SetScanAllZones(bool all) { scanAllZones_ = all; }
  TOutbNodeSortMode NodeSortMode() const { return nodeSortMode_; }
  void SetNodeSortMode(TOutbNodeSortMode mode) { nodeSortMode_ = mode; }
  TBusyFlags BusyFlagsCreate() const { return busyFlagsCreate_; }
  void SetBusyFlagsCreate(TBusyFlags flags) {
    busyFlagsCreate_ = flags;
    busyFlagsChosen_ = true;
  }
  TBusyFlags BusyFlagsScan() const { return busyFlagsScan_; }
  void SetBusyFlagsScan(TBusyFlags flags) {
    busyFlagsScan_ = flags;
    busyFlagsChosen_ = true;
  }
  const TLogStringEvent& OnLogString() const { return onLogString_; }
  void SetOnLogString(TLogStringEvent event) { onLogString_ = std::move(event); }
  // What locking a node needs: the two flag sets and the two flag paths.
  // While no set was chosen, a Bink outbound uses {bfBink} for both, the
  // flags every BSO mailer honours.
  TBusyFlagSetup BusySetup() const;

  // Rebuilds the node list from disk, then sorts it.
  void Rescan();
  std::int32_t NodeCount() const { return static_cast<std::int32_t>(nodes_.size()); }
  // "TOutbound.GetNodes: index out of bounds" for a bad index.
  TOutbNode& GetNodes(std::int32_t index) const;
  std::int64_t TotalSize() const { return totalSize_; }

  // The first node whose address equals ADDR (domain ignored), or null.
  TOutbNode* FindNode(const TFidoAddr* addr) const;
  // FindNode, or a new node for a copy of ADDR appended to the list.
  TOutbNode& FindOrAddNode(const TFidoAddr* addr);
  // Opens the netmail directory as a message base, once; "Invalid netmail
  // path" when NetmailPath is empty or not a directory.
  TMsgBase& OpenNetmailBase();

  // Attaches FILES to ADDR (see TOutbNode::AttachFiles); an empty list does
  // nothing at all.
  void AttachFiles(const TFidoAddr* addr, const std::vector<std::string>* files, TOutbFlavor flavor,
                   TOutbType outbType, TOutbSendMode mode);

 private:
  static void SetPath(std::string& member, std::string_view path);
  void ClearNodes();
  void ScanBink();
  void ScanBinkZone(std::int16_t zone, bool isDefault);
  void ScanOtherZones(std::int16_t mainZone);
  void ScanBinkDir(const std::string& dir, std::int16_t zone, const std::string* pointDir);
  void ScanFileBoxes();
  void ScanNetmail();
  void SortNodes();

  std::string binkOutPath_;
  std::string fileBoxesPath_;
  std::string netmailPath_;
  std::string flagsPath_;
  std::vector<std::unique_ptr<TOutbNode>> nodes_;
  // The nodes by their four numbers, beside the ordered list, so that
  // finding or adding a node does not walk the list (a rescan of a hub's
  // outbound meets tens of thousands of entries).
  std::unordered_map<std::uint64_t, TOutbNode*> nodeIndex_;
  // Nodes whose address holds a wildcard number (a scanned "fffe" reads as
  // -2): such a node matches more than its own numbers, and while there is
  // one, lookups walk the list.
  std::size_t wildcardNodes_ = 0;
  std::unique_ptr<TMsgBase> netmailBase_;
  std::int64_t totalSize_ = 0;
  TOutbSortMode sortMode_ = osAddress;
  TOutbNodeSortMode nodeSortMode_ = onsNone;
  bool scanAllZones_ = false;
  TBusyFlags busyFlagsCreate_ = 0;
  TBusyFlags busyFlagsScan_ = 0;
  bool busyFlagsChosen_ = false;
  TLogStringEvent onLogString_;
};

// The PID the outbound gives the netmail messages it writes.
inline constexpr std::string_view kOutboundPID = "Brennor Outbound";

}  // namespace brnet
