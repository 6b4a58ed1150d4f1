// Editing a node's queue: whole-file rewrites of flow, request and hold
// files, polls, and box files taken out of or moved between boxes.
#include "outbound/OutbEdit.h"

#include <algorithm>
#include <map>
#include <set>

#include "msgbase/MsgBase.h"
#include "outbound/Outbound.h"
#include "sys/Error.h"
#include "sys/File.h"
#include "sys/FileSystem.h"
#include "sys/Process.h"
#include "util/Files.h"
#include "util/Paths.h"
#include "util/Words.h"

namespace brnet {
namespace {

constexpr char kDelim = sys::PathDelim();

// Splits BELOW into its directory part (with the separator) and its name.
std::pair<std::string, std::string> SplitBelow(std::string_view below) {
  const std::size_t cut = below.find_last_of(kDelim);
  if (cut == std::string_view::npos) return {std::string(), std::string(below)};
  return {std::string(below.substr(0, cut + 1)), std::string(below.substr(cut + 1))};
}

// Makes the directories of BELOW under ROOT that are missing, refusing a
// symbolic link on the way: a link planted in the outbound would take our
// files elsewhere.
void MakeDirsBelow(const std::string& root, std::string_view below) {
  std::string path = root;
  while (true) {
    const std::size_t cut = below.find(kDelim);
    if (cut == std::string_view::npos) return;
    path += below.substr(0, cut);
    below.remove_prefix(cut + 1);
    if (sys::IsSymbolicLink(path)) throw EOutbError(sys::SymbolicLinkRefusedText(path));
    if (!DirectoryPresent(path) && !sys::MakeDir(path)) sys::ThrowLastError(path);
    path += kDelim;
  }
}

// The file a flow-file line names: without its send-mode prefix and the
// trailing blanks the mailer trims.
std::string LinePath(std::string_view line) {
  std::string_view name = SplitSendMode(line).Name;
  while (!name.empty() && static_cast<unsigned char>(name.back()) <= ' ') name.remove_suffix(1);
  return std::string(name);
}

struct FlowFile {
  TBsoPath Path;
  TOutbFlavor Flavor;
  std::vector<std::string> Lines;
};

// The node's flow files of FLAVOR, or of every flavour, with their lines.
std::vector<FlowFile> ReadFlowFiles(const TFidoAddr& addr, const std::string& outPath,
                                    std::optional<TOutbFlavor> flavor) {
  std::vector<FlowFile> files;
  for (int f = 0; f < kFlavorCount; ++f) {
    const auto fl = static_cast<TOutbFlavor>(f);
    if (flavor && *flavor != fl) continue;
    for (TBsoPath& path : FindNodeFiles(addr, outPath, FlowFileExt[f])) {
      std::vector<std::string> lines = ReadLinesBelow(path);
      files.push_back({std::move(path), fl, std::move(lines)});
    }
  }
  return files;
}

// Splits FILE's live lines that TAKE accepts off into TAKEN; what stays
// keeps its order, lines marked done included.
std::vector<std::string> Split(const FlowFile& file, const TEntryFilter& take,
                               std::vector<TQueuedEntry>& taken) {
  std::vector<std::string> kept;
  for (const std::string& line : file.Lines) {
    if (IsLiveFlowLine(line) && take(LinePath(line))) {
      taken.push_back({line, LinePath(line), file.Flavor, file.Path.Full()});
    } else {
      kept.push_back(line);
    }
  }
  return kept;
}

// Writes a flow file's remaining lines; with no live line left it goes, as
// the mailer would remove it after sending the last one.
void RewriteFlowFile(const TBsoPath& path, const std::vector<std::string>& lines) {
  bool live = false;
  for (const std::string& line : lines) live = live || IsLiveFlowLine(line);
  if (live) {
    WriteLinesBelow(path, lines);
  } else {
    RemoveBelow(path);
  }
}

// The node's boxes as (directory below BOXESPATH, flavour) pairs, those
// that exist, of FLAVOR when given (Hold, or any other for the plain box).
std::vector<std::pair<std::string, TOutbFlavor>> ExistingBoxes(const TFidoAddr& addr,
                                                               const std::string& boxesPath,
                                                               std::optional<TOutbFlavor> flavor) {
  std::vector<std::pair<std::string, TOutbFlavor>> boxes;
  for (bool longForm : {false, true}) {
    for (TOutbFlavor f : {flNormal, flHold}) {
      if (flavor && (*flavor == flHold) != (f == flHold)) continue;
      const std::string dir = FileBoxDirName(addr, boxesPath, f, longForm);
      if (DirectoryPresent(dir) && !sys::IsSymbolicLink(DropTrailingSlash(dir))) {
        boxes.emplace_back(dir.substr(boxesPath.size()), f);
      }
    }
  }
  return boxes;
}

std::vector<TQueuedEntry> BoxFiles(const std::string& boxesPath, const std::string& box,
                                   TOutbFlavor flavor, const TEntryFilter& take) {
  std::vector<TQueuedEntry> entries;
  for (const sys::SearchRec& rec : sys::FindAllMatches(boxesPath + box + "*", 0)) {
    if (rec.Name.starts_with('.')) continue;
    const std::string path = boxesPath + box + rec.Name;
    if (take(path)) entries.push_back({path, path, flavor, boxesPath + box});
  }
  return entries;
}

// The flavour attributes of a netmail message, strongest first.
constexpr std::pair<TMsgAttr, TOutbFlavor> kMsgFlavours[] = {
    {maImmediate, flImm}, {maCrash, flCrash}, {maDirect, flDirect}, {maHold, flHold}};

TOutbFlavor MsgFlavour(const TMailMsg& msg) {
  for (const auto& [attr, flavor] : kMsgFlavours) {
    if (msg.Attributes.Contains(attr)) return flavor;
  }
  return flNormal;
}

// Walks BASE's unsent file attaches to ADDR of FLAVOR whose subject TAKE
// accepts; EDIT sees each as the base's current message.
TEditResult EachNetmailEntry(const TFidoAddr& addr, TMsgBase& base,
                             std::optional<TOutbFlavor> flavor, const TEntryFilter& take,
                             const std::function<void(TMailMsg&)>& edit) {
  TEditResult result;
  base.Rewind();
  while (!base.AtEnd()) {
    TMailMsg& msg = base.Next();
    if (!msg.ToAddr || !msg.ToAddr->Matches(&addr) || !msg.Attributes.Contains(maFileAttached) ||
        msg.Attributes.Contains(maSent)) {
      continue;
    }
    const TOutbFlavor f = MsgFlavour(msg);
    if ((flavor && *flavor != f) || !take(msg.Subject())) continue;
    result.Entries.push_back({msg.Subject(), msg.Subject(), f, base.PathName()});
    edit(msg);
  }
  return result;
}

[[noreturn]] void ThrowCode(int code, const std::string& what) {
  throw EInOutError(sys::IoErrorText(code, what), code);
}

// BASE's existing files with extension EXT, each spelling.
std::vector<TBsoPath> BaseFiles(const TBsoPath& base, std::string_view ext) {
  std::vector<TBsoPath> found;
  for (const std::string& path :
       sys::FindUsualSpellings(base.Root, base.Below + std::string(ext))) {
    found.push_back({base.Root, path.substr(base.Root.size())});
  }
  return found;
}

// BASE's file with extension EXT: the existing one, else the name written,
// with its directories made.
TBsoPath BaseFileForWriting(const TBsoPath& base, std::string_view ext) {
  std::vector<TBsoPath> existing = BaseFiles(base, ext);
  if (!existing.empty()) return existing.front();
  const TBsoPath path{base.Root, base.Below + std::string(ext)};
  MakeDirsBelow(path.Root, path.Below);
  return path;
}

// LINES appended to TARGET, written whole; a line TARGET holds already is
// not added again, so that a move run again after it was killed between
// adding and removing leaves each entry once.
void AppendLines(const TBsoPath& target, const std::vector<std::string>& lines) {
  std::vector<std::string> all = ReadLinesBelow(target);
  const std::size_t had = all.size();
  for (const std::string& line : lines) {
    if (std::find(all.begin(), all.end(), line) == all.end()) all.push_back(line);
  }
  if (all.size() != had) WriteLinesBelow(target, all);
}

// The flow lines of one flavour TAKE accepts, moved from FROM to TO.
void MoveFlowLines(const TBsoPath& from, const TBsoPath& to, TOutbFlavor flavor,
                   const TEntryFilter& take, bool dryRun, std::vector<TQueuedEntry>& moved) {
  std::vector<std::pair<FlowFile, std::vector<std::string>>> sources;
  const std::size_t before = moved.size();
  for (TBsoPath& path : BaseFiles(from, FlowFileExt[flavor])) {
    FlowFile file{std::move(path), flavor, {}};
    file.Lines = ReadLinesBelow(file.Path);
    const std::size_t had = moved.size();
    std::vector<std::string> kept = Split(file, take, moved);
    if (moved.size() != had) sources.emplace_back(std::move(file), std::move(kept));
  }
  if (dryRun || moved.size() == before) return;
  std::vector<std::string> lines;
  for (std::size_t i = before; i < moved.size(); ++i) lines.push_back(moved[i].Line);
  AppendLines(BaseFileForWriting(to, FlowFileExt[flavor]), lines);
  for (const auto& [file, kept] : sources) RewriteFlowFile(file.Path, kept);
}

// FROM's packet of FLAVOR moved to TO: under TO's packet name when free,
// else beside it and named by a "^" line of TO's flow file (the line
// first, so that the packet is always queued somewhere).
void MovePacket(const TBsoPath& from, const TBsoPath& to, TOutbFlavor flavor,
                const TEntryFilter& take, bool dryRun, std::vector<TQueuedEntry>& moved) {
  std::string ext = std::string(FlowFileExt[flavor]);
  ext.replace(2, 2, "ut");
  if (flavor == flNormal) ext = ".out";
  for (const TBsoPath& packet : BaseFiles(from, ext)) {
    if (!take(packet.Full())) continue;
    moved.push_back({packet.Full(), packet.Full(), flavor, packet.Full()});
    if (dryRun) continue;
    if (BaseFiles(to, ext).empty()) {
      const TBsoPath target = BaseFileForWriting(to, ext);
      const int rc = sys::RenameNoReplace(packet.Full(), target.Root, target.Below);
      if (rc == 0) continue;
      if (!sys::IsFileExistsError(rc)) ThrowCode(rc, packet.Full());
    }
    int rc = EEXIST;
    for (int n = 1; rc != 0 && n < 100; ++n) {
      const TBsoPath beside{to.Root, to.Below + "-" + std::to_string(n) + ".pkt"};
      if (sys::FileAttributes(beside.Full()) >= 0) continue;
      AppendLines(BaseFileForWriting(to, FlowFileExt[flavor]), {"^" + beside.Full()});
      rc = sys::RenameNoReplace(packet.Full(), beside.Root, beside.Below);
      if (rc != 0 && !sys::IsFileExistsError(rc)) ThrowCode(rc, packet.Full());
    }
    if (rc != 0) ThrowCode(rc, packet.Full());
  }
}

}  // namespace

std::vector<TBsoPath> FindNodeFiles(const TFidoAddr& addr, const std::string& outPath,
                                    std::string_view ext) {
  TBsoPath base = BinkBasePath(addr, outPath);
  base.Below += ext;
  std::vector<TBsoPath> found;
  for (const std::string& path : sys::FindUsualSpellings(base.Root, base.Below)) {
    found.push_back({base.Root, path.substr(base.Root.size())});
  }
  return found;
}

TBsoPath NodeFileForWriting(const TFidoAddr& addr, const std::string& outPath,
                            std::string_view ext) {
  std::vector<TBsoPath> existing = FindNodeFiles(addr, outPath, ext);
  if (!existing.empty()) return existing.front();
  TBsoPath path = BinkBasePath(addr, outPath);
  path.Below += ext;
  MakeDirsBelow(path.Root, path.Below);
  return path;
}

std::vector<std::string> ReadLinesBelow(const TBsoPath& path) {
  const std::optional<std::string> text =
      sys::ReadWholeFileBelow(path.Root, path.Below, sys::kMaxListFileBytes);
  return text ? TextLines(*text) : std::vector<std::string>{};
}

void WriteLinesBelow(const TBsoPath& path, const std::vector<std::string>& lines,
                     std::string_view lineEnd) {
  const auto [dir, name] = SplitBelow(path.Below);
  // What killed edits left beside the file goes first: nobody else would
  // ever remove it.
  RemoveDeadOwnersFiles(path.Root, dir, "." + name + ".", ".tmp");
  const std::string temp = dir + OwnedName("." + name + ".", ".tmp");
  std::string text;
  for (const std::string& line : lines) text += line + std::string(lineEnd);
  sys::File file;
  // One left by a killed run of a process with our number is ours to replace.
  if (!file.OpenBelow(path.Root, temp, sys::FileMode::kCreateExclusive)) {
    sys::RemoveBelow(path.Root, temp);
    if (!file.OpenBelow(path.Root, temp, sys::FileMode::kCreateExclusive)) {
      ThrowCode(EEXIST, path.Root + temp);
    }
  }
  try {
    // One write: a file cut short by a full disk is never renamed in.
    file.Write(text);
    file.Sync();
    file.Close();
    if (const int rc = sys::RenameReplacingBelow(path.Root, temp, path.Below); rc != 0) {
      ThrowCode(rc, path.Full());
    }
  } catch (...) {
    if (file.IsOpen()) {
      try {
        file.Close();
      } catch (const Exception&) {
      }
    }
    sys::RemoveBelow(path.Root, temp);
    throw;
  }
}

void RemoveBelow(const TBsoPath& path) {
  const auto [dir, name] = SplitBelow(path.Below);
  RemoveDeadOwnersFiles(path.Root, dir, "." + name + ".", ".tmp");
  const int rc = sys::RemoveBelow(path.Root, path.Below);
  if (rc != 0 && sys::FileAttributes(path.Full()) >= 0) ThrowCode(rc, path.Full());
}

bool IsLiveFlowLine(std::string_view line) {
  while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.remove_suffix(1);
  return !line.empty() && line.front() != '~';
}

bool MakePoll(const TFidoAddr& addr, const std::string& outPath, TOutbFlavor flavor) {
  if (!FindNodeFiles(addr, outPath, FlowFileExt[flavor]).empty()) return false;
  const TBsoPath path = NodeFileForWriting(addr, outPath, FlowFileExt[flavor]);
  sys::File file;
  if (!file.OpenBelow(path.Root, path.Below, sys::FileMode::kCreateExclusive)) return false;
  file.Close();
  return true;
}

TEditResult DropFlowEntries(const TFidoAddr& addr, const std::string& outPath,
                            std::optional<TOutbFlavor> flavor, const TEntryFilter& take,
                            bool dryRun) {
  TEditResult result;
  for (const FlowFile& file : ReadFlowFiles(addr, outPath, flavor)) {
    const std::size_t before = result.Entries.size();
    const std::vector<std::string> kept = Split(file, take, result.Entries);
    if (!dryRun && result.Entries.size() != before) RewriteFlowFile(file.Path, kept);
  }
  return result;
}

TEditResult ReflavourFlowEntries(const TFidoAddr& addr, const std::string& outPath,
                                 std::optional<TOutbFlavor> from, TOutbFlavor to,
                                 const TEntryFilter& take, bool dryRun) {
  TEditResult result;
  std::vector<std::pair<const FlowFile*, std::vector<std::string>>> sources;
  const std::vector<FlowFile> files = ReadFlowFiles(addr, outPath, from);
  for (const FlowFile& file : files) {
    if (file.Flavor == to) continue;
    const std::size_t before = result.Entries.size();
    std::vector<std::string> kept = Split(file, take, result.Entries);
    if (result.Entries.size() != before) sources.emplace_back(&file, std::move(kept));
  }
  if (dryRun || result.Entries.empty()) return result;
  // An entry that an interrupted reflavour left in two of the sources is
  // first taken out of all but one of them, so that adding it to the target
  // never makes three.
  std::set<std::string> seen;
  for (const auto& [file, kept] : sources) {
    std::vector<std::string> rest;
    for (const std::string& line : file->Lines) {
      if (!IsLiveFlowLine(line) || !take(LinePath(line)) || seen.count(line) == 0) {
        rest.push_back(line);
      }
    }
    if (rest.size() != file->Lines.size()) RewriteFlowFile(file->Path, rest);
    for (const std::string& line : file->Lines) {
      if (IsLiveFlowLine(line) && take(LinePath(line))) seen.insert(line);
    }
  }
  // Added where they go first, then taken from where they were.
  const TBsoPath target = NodeFileForWriting(addr, outPath, FlowFileExt[to]);
  // A line live there already (an interrupted reflavour left it in both
  // places) is not added again: an entry is queued at most twice, however
  // often a reflavour is interrupted.
  std::vector<std::string> lines = ReadLinesBelow(target);
  std::set<std::string> live;
  for (const std::string& line : lines) {
    if (IsLiveFlowLine(line)) live.insert(line);
  }
  for (const TQueuedEntry& entry : result.Entries) {
    if (live.insert(entry.Line).second) lines.push_back(entry.Line);
  }
  WriteLinesBelow(target, lines);
  for (const auto& [file, kept] : sources) RewriteFlowFile(file->Path, kept);
  return result;
}

TEditResult MoveBsoEntries(const TBsoPath& from, const TBsoPath& to, const TEntryFilter& take,
                           bool whole, bool dryRun) {
  TEditResult result;
  for (int f = 0; f < kFlavorCount; ++f) {
    MoveFlowLines(from, to, static_cast<TOutbFlavor>(f), take, dryRun, result.Entries);
    MovePacket(from, to, static_cast<TOutbFlavor>(f), take, dryRun, result.Entries);
  }
  if (!whole) return result;
  for (const TBsoPath& req : BaseFiles(from, ".req")) {
    const std::vector<std::string> lines = ReadLinesBelow(req);
    for (const std::string& line : lines) {
      result.Entries.push_back({line, line, flNormal, req.Full()});
    }
    if (dryRun) continue;
    if (!lines.empty()) AppendLines(BaseFileForWriting(to, ".req"), lines);
    RemoveBelow(req);
  }
  return result;
}

namespace {

// The files TAKE picks in the box BOX (of flavour FL) renamed into
// TARGETBOX (below BOXESPATH, made when missing), added to RESULT.
void MoveBoxFiles(const std::string& boxesPath, const std::string& box, TOutbFlavor fl,
                  const std::string& targetBox, const TEntryFilter& take, bool dryRun,
                  TEditResult& result) {
    for (TQueuedEntry& entry : BoxFiles(boxesPath, box, fl, take)) {
      if (!dryRun) {
        MakeDirsBelow(boxesPath, targetBox);
        const int rc =
            sys::RenameNoReplace(entry.Path, boxesPath, targetBox + ExtractFileName(entry.Path));
        if (rc != 0) ThrowCode(rc, entry.Path);
      }
      result.Entries.push_back(std::move(entry));
    }
}

}  // namespace

TEditResult MoveBoxEntries(const TFidoAddr& from, const TFidoAddr& to, const std::string& boxesPath,
                           const TEntryFilter& take, bool dryRun) {
  TEditResult result;
  for (const auto& [box, fl] : ExistingBoxes(from, boxesPath, std::nullopt)) {
    const bool longForm = BoxFormOf(DropTrailingSlash(box)) == bxLong;
    const std::string targetBox =
        FileBoxDirName(to, boxesPath, fl, longForm).substr(boxesPath.size());
    MoveBoxFiles(boxesPath, box, fl, targetBox, take, dryRun, result);
  }
  return result;
}

TEditResult DropBoxEntries(const TFidoAddr& addr, const std::string& boxesPath,
                           std::optional<TOutbFlavor> flavor, const TEntryFilter& take,
                           bool dryRun) {
  TEditResult result;
  for (const auto& [box, fl] : ExistingBoxes(addr, boxesPath, flavor)) {
    for (TQueuedEntry& entry : BoxFiles(boxesPath, box, fl, take)) {
      const std::string name = ExtractFileName(entry.Path);
      if (!dryRun) {
        // ".NAME", or ".NAME.2" ... when a file dropped before holds that name.
        int rc = sys::RenameNoReplace(entry.Path, boxesPath, box + "." + name);
        for (int n = 2; rc != 0 && sys::IsFileExistsError(rc) && n < 100; ++n) {
          rc = sys::RenameNoReplace(entry.Path, boxesPath,
                                    box + "." + name + "." + std::to_string(n));
        }
        if (rc != 0) ThrowCode(rc, entry.Path);
      }
      result.Entries.push_back(std::move(entry));
    }
  }
  return result;
}

TEditResult ReflavourBoxEntries(const TFidoAddr& addr, const std::string& boxesPath,
                                std::optional<TOutbFlavor> from, TOutbFlavor to,
                                const TEntryFilter& take, bool dryRun) {
  TEditResult result;
  const bool toHold = to == flHold;
  for (const auto& [box, fl] : ExistingBoxes(addr, boxesPath, from)) {
    if ((fl == flHold) == toHold) continue;
    const bool longForm = BoxFormOf(DropTrailingSlash(box)) == bxLong;
    const std::string targetBox =
        FileBoxDirName(addr, boxesPath, to, longForm).substr(boxesPath.size());
    MoveBoxFiles(boxesPath, box, fl, targetBox, take, dryRun, result);
  }
  return result;
}

TEditResult DropNetmailEntries(const TFidoAddr& addr, TMsgBase& base,
                               std::optional<TOutbFlavor> flavor, const TEntryFilter& take,
                               bool dryRun) {
  return EachNetmailEntry(addr, base, flavor, take, [&](TMailMsg&) {
    if (!dryRun) base.Store()->Delete();
  });
}

TEditResult MoveNetmailEntries(const TFidoAddr& from, const TFidoAddr& to, TMsgBase& base,
                               const TEntryFilter& take, bool dryRun) {
  return EachNetmailEntry(from, base, std::nullopt, take, [&](TMailMsg& msg) {
    if (dryRun) return;
    msg.ToAddr = to;
    msg.ToAddr->Domain.clear();
    // A point line of the old address would outlive it: written again.
    std::erase_if(msg.Kludges, [](const std::string& k) { return k.starts_with("TOPT"); });
    base.Save();
  });
}

TEditResult ReflavourNetmailEntries(const TFidoAddr& addr, TMsgBase& base,
                                    std::optional<TOutbFlavor> from, TOutbFlavor to,
                                    const TEntryFilter& take, bool dryRun) {
  const auto other = [&](TOutbFlavor f) { return f != to && (!from || *from == f); };
  TEditResult result;
  for (int f = 0; f < kFlavorCount; ++f) {
    if (!other(static_cast<TOutbFlavor>(f))) continue;
    TEditResult part =
        EachNetmailEntry(addr, base, static_cast<TOutbFlavor>(f), take, [&](TMailMsg& msg) {
          if (dryRun) return;
          for (const auto& [attr, flavor] : kMsgFlavours) msg.Attributes.Exclude(attr);
          for (const auto& [attr, flavor] : kMsgFlavours) {
            if (flavor == to) msg.Attributes.Include(attr);
          }
          base.Save();
        });
    for (TQueuedEntry& e : part.Entries) result.Entries.push_back(std::move(e));
  }
  return result;
}

}  // namespace brnet
