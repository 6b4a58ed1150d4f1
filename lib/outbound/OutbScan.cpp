// Rescanning the outbound: the BSO tree, the file boxes and the netmail
// directory, into nodes with their files, requests and packets.
#include <algorithm>

#include "msgbase/MsgBase.h"
#include "outbound/Outbound.h"
#include "sys/File.h"
#include "sys/FileSystem.h"
#include "util/Ascii.h"
#include "util/Paths.h"
#include "util/Words.h"

namespace brnet {
namespace {

constexpr char kDelim = sys::PathDelim();

// Reads a whole list file written by whoever may write the outbound: no
// link is followed, nothing but an ordinary file of a sane size is read,
// and a file gone meanwhile is not found (noted as unreadable by a rescan).
// ROOTLENGTH is the length of PATH's trusted prefix, a configured directory
// (npos: its directory); no link is followed below it.
std::string ReadTextFile(const std::string& path, std::size_t rootLength) {
  if (rootLength == std::string::npos) rootLength = path.size() - ExtractFileName(path).size();
  std::optional<std::string> text =
      sys::ReadWholeFileBelow(path.substr(0, rootLength), std::string_view(path).substr(rootLength),
                              sys::kMaxListFileBytes);
  if (!text) {
    throw EInOutError(sys::RunErrorMessage(sys::reFileNotFound) + ": " + path, sys::reFileNotFound);
  }
  return std::move(*text);
}

std::string_view TrimControls(std::string_view s) {
  auto isSpace = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Plain files only: directories, hidden and system entries are skipped.
std::vector<sys::SearchRec> PlainFiles(const std::string& pattern) {
  return sys::FindAllMatches(pattern, 0);
}

std::vector<sys::SearchRec> Directories(const std::string& pattern) {
  std::vector<sys::SearchRec> dirs = sys::FindAllMatches(pattern, sys::faDirectory);
  std::erase_if(dirs, [](const sys::SearchRec& r) { return (r.Attr & sys::faDirectory) == 0; });
  return dirs;
}

// Whether NAME is one binkd reads in a BSO directory: eight hexadecimal
// digits, a dot and a three-letter extension ("139c04d2.flo"). binkd skips
// any other name, so another user's "139c04d2-x.flo" or "\x1b[2J.flo" is
// nobody's mail and is not shown as a node's.
bool BsoName(const std::string& name) {
  return name.size() == 12 && name[8] == '.' && name.find('.', 9) == std::string::npos &&
         std::all_of(name.begin(), name.begin() + 8, [](char c) { return HexDigitValue(c) >= 0; });
}

// The files of PATTERN with such names.
std::vector<sys::SearchRec> BsoFiles(const std::string& pattern) {
  std::vector<sys::SearchRec> files = PlainFiles(pattern);
  std::erase_if(files, [](const sys::SearchRec& r) { return !BsoName(r.Name); });
  return files;
}

// Byte order with the letters a-z folded to upper case, nothing else.
bool NameLess(const std::string& a, const std::string& b) {
  return CompareAsciiNoCase(a, b) < 0;
}

}  // namespace

void TOutbNode::ReadLO(const std::string& fileName, std::size_t rootLength) {
  const std::optional<TOutbFlavor> flavor = FlowFileFlavor(fileName);
  if (!flavor) throw EOutbError("TOutbNode.ReadLO: " + fileName + ": unknown file extension");
  for (const std::string& raw : TextLines(ReadTextFile(fileName, rootLength))) {
    std::string_view line = TrimControls(raw);
    if (line.empty() || line.front() == '~') continue;
    AddFile(line, *flavor, otBink);
  }
}

void TOutbNode::ReadREQ(const std::string& fileName, std::size_t rootLength) {
  for (std::string& line : TextLines(ReadTextFile(fileName, rootLength))) {
    requests_.push_back(std::move(line));
  }
}

void TOutbNode::ReadListFile(const std::string& fileName, std::size_t rootLength, bool request) {
  try {
    if (request) {
      ReadREQ(fileName, rootLength);
    } else {
      ReadLO(fileName, rootLength);
    }
  } catch (const EInOutError& e) {
    unreadable_.push_back(e.what());
    DoLog('!', e.what());
  }
}

void TOutbNode::AddRequests(std::string_view text) {
  const TCharSet blank = MakeCharSet(" ");
  const int words = CountWords(text, blank);
  for (int i = 1; i <= words; ++i) requests_.push_back(GetWord(i, text, blank));
}

void TOutbNode::ScanBox(const std::string& dir, TOutbFlavor flavor, bool longForm) {
  const std::string prefix = dir + kDelim;
  for (const sys::SearchRec& rec : PlainFiles(prefix + "*.*")) {
    AddFile(prefix + rec.Name, flavor, longForm ? otLongFileBox : otFileBox);
  }
}

void TOutbNode::SortFiles(TOutbNodeSortMode mode) {
  auto sortBy = [&](auto less) { std::sort(files_.begin(), files_.end(), less); };
  switch (mode) {
    case onsNone:
      break;
    case onsName:
      sortBy([](const TOutbFile& a, const TOutbFile& b) { return NameLess(a.Name, b.Name); });
      break;
    case onsSize:
      // Unknown sizes (-1) sort after every known one.
      sortBy([](const TOutbFile& a, const TOutbFile& b) { return a.Size > b.Size; });
      break;
    case onsFlavor:
      sortBy([](const TOutbFile& a, const TOutbFile& b) { return a.Flavor < b.Flavor; });
      break;
    case onsAge:
      sortBy([](const TOutbFile& a, const TOutbFile& b) { return a.Age < b.Age; });
      break;
  }
}

void TOutbound::Rescan() {
  ClearNodes();
  if (!binkOutPath_.empty()) ScanBink();
  if (!fileBoxesPath_.empty()) ScanFileBoxes();
  if (!netmailPath_.empty()) ScanNetmail();
  SortNodes();
  std::int64_t total = 0;
  for (const auto& node : nodes_) total += node->TotalSize();
  totalSize_ = total;
}

void TOutbound::ScanBink() {
  // The outbound directory belongs to the main address's zone; without one
  // every file there would be filed under a guessed zone.
  const TFidoAddr* main = MainAddress();
  if (main == nullptr) {
    throw EOutbError("Cannot scan the Bink outbound " + binkOutPath_ +
                     ": no main address set to give its zone");
  }
  ScanBinkZone(main->Zone, true);
  if (scanAllZones_) ScanOtherZones(main->Zone);
}

// The directories beside the outbound named after it with "." and a zone in
// three or four hexadecimal digits (binkd's "out.001"), in any case.
void TOutbound::ScanOtherZones(std::int16_t mainZone) {
  const std::string outDir = DropTrailingSlash(binkOutPath_);
  const std::string parent = ExtractFilePath(outDir);
  const std::string prefix = ExtractFileName(outDir) + ".";
  for (const sys::SearchRec& rec : Directories(parent + prefix + "*")) {
    // The pattern "out.*" also matches "out" itself, as on Windows.
    if (rec.Name.size() <= prefix.size()) continue;
    const std::string_view digits = std::string_view(rec.Name).substr(prefix.size());
    const bool hex =
        std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigitValue(c) >= 0; });
    if (digits.size() < 3 || digits.size() > 4 || !hex) continue;
    const auto zone = static_cast<std::int16_t>(HexVal(digits));
    if (zone != mainZone) ScanBinkZone(zone, false);
  }
}

void TOutbound::ScanBinkZone(std::int16_t zone, bool isDefault) {
  const TBsoPath zonePath = BinkZoneScanPath(binkOutPath_, zone, isDefault);
  std::vector<std::string> dirs = {zonePath.Full()};
  if (!zonePath.Below.empty()) dirs = sys::FindPathsIgnoringCase(zonePath.Root, zonePath.Below);
  for (const std::string& found : dirs) {
    const std::string dir = WithTrailingSlash(found);
    ScanBinkDir(dir, zone, nullptr);
    for (const sys::SearchRec& rec : Directories(dir + "*.pnt")) {
      if (!BsoName(rec.Name)) continue;
      ScanBinkDir(dir + rec.Name + kDelim, zone, &rec.Name);
    }
  }
}

// Flow files, request files and packets of one BSO directory: the zone's,
// or a node's point directory (POINTDIR names it).
void TOutbound::ScanBinkDir(const std::string& dir, std::int16_t zone,
                            const std::string* pointDir) {
  auto nodeFor = [&](const std::string& fileName) -> TOutbNode& {
    const TFidoAddr addr =
        pointDir ? BinkPointNameToAddr(*pointDir, fileName, zone) : BinkNameToAddr(fileName, zone);
    return FindOrAddNode(&addr);
  };
  // What lies below the outbound, or below its parent for another zone's
  // directory, is read without following a link: a zone or point directory
  // replaced by a link leads nowhere.
  const std::string out = WithTrailingSlash(binkOutPath_);
  const std::string parent = ExtractFilePath(DropTrailingSlash(binkOutPath_));
  const std::size_t rootLength = dir.starts_with(out)      ? out.size()
                                 : dir.starts_with(parent) ? parent.size()
                                                           : std::string::npos;
  for (const sys::SearchRec& rec : BsoFiles(dir + "*.?lo")) {
    if (rec.Size > 0) nodeFor(rec.Name).ReadListFile(dir + rec.Name, rootLength, false);
  }
  for (const sys::SearchRec& rec : BsoFiles(dir + "*.req")) {
    if (rec.Size > 0) nodeFor(rec.Name).ReadListFile(dir + rec.Name, rootLength, true);
  }
  for (const sys::SearchRec& rec : BsoFiles(dir + "*.?ut")) {
    nodeFor(rec.Name).Packets().push_back(rec.Name);
  }
}

void TOutbound::ScanFileBoxes() {
  for (const sys::SearchRec& rec : Directories(fileBoxesPath_ + "*")) {
    if (rec.Name.starts_with('.')) continue;
    const std::optional<TBoxName> box = BoxNameToAddr(rec.Name);
    if (!box) continue;
    FindOrAddNode(&box->Addr).ScanBox(fileBoxesPath_ + rec.Name, box->Flavor, box->Long);
  }
}

void TOutbound::ScanNetmail() {
  // A rescan rebuilds the picture from disk: the base lists its files when it
  // opens, so reopen it, or messages written since by other programs (a
  // tosser, another attach) would stay invisible.
  if (netmailBase_) netmailBase_->Close();
  netmailBase_.reset();
  TMsgBase& base = OpenNetmailBase();
  base.Rewind();
  while (!base.AtEnd()) {
    TMailMsg& msg = base.Next();
    if (!msg.ToAddr) continue;
    const TFidoAddr& dest = *msg.ToAddr;
    if (msg.Attributes.Contains(maFileAttached)) {
      const TOutbFlavor flavor = msg.Attributes.Contains(maHold) ? flHold : flNormal;
      FindOrAddNode(&dest).AddFile(msg.Subject(), flavor, otArcMail);
    } else if (msg.Attributes.Contains(maFileRequest)) {
      const TFidoAddr* main = MainAddress();
      if (main == nullptr || !main->Matches(&dest)) FindOrAddNode(&dest).AddRequests(msg.Subject());
    }
  }
}

void TOutbound::SortNodes() {
  if (sortMode_ == osAddress) {
    std::sort(nodes_.begin(), nodes_.end(),
              [](const auto& a, const auto& b) { return CompareAddr(a->Addr(), b->Addr()) < 0; });
  }
  for (const auto& node : nodes_) node->SortFiles(nodeSortMode_);
}

}  // namespace brnet
