// Attaching files to a node: a line per file in its flow file, a copy (or a
// move) in its file box, or a netmail file-attach message per file, always
// under the node's busy flags.
#include <algorithm>

#include "msgbase/MsgBase.h"
#include "outbound/Outbound.h"
#include "sys/Debug.h"
#include "sys/File.h"
#include "sys/FileSystem.h"
#include "sys/SpoolAccess.h"
#include "util/Files.h"
#include "util/Paths.h"
#include "util/Words.h"

namespace brnet {
namespace {

// Characters the mailer reads as a command at the start of a flow-file line:
// "~" and "!" skip the line, "^" and "-" delete the file after sending, "#"
// truncates it, "@" and "$" are taken off and change how it is sent.
constexpr std::string_view kFlowLinePrefixes = "~!^-#@$";

// A path becomes one line that the mailer acts on; refuse what would make it
// several lines, or a line the mailer reads as a command for another file.
// The mailer trims blanks and control characters off both ends of a line,
// so a path beginning or ending in one names another file to it (binkd
// would send "/dir/rep" for "/dir/rep ", and delete it after a "^"); one
// with a control character inside is refused as well: no sysop means it,
// and a DOS-era reader stops at ^Z.
void CheckFlowLinePath(std::string_view path) {
  if (path.find_first_of("\r\n") != std::string_view::npos) {
    throw EOutbError("Cannot attach " + EscapeControls(path) + ": the path contains a line break");
  }
  const auto blank = [](char c) { return c == ' ' || IsControlChar(c); };
  if (!path.empty() && (blank(path.front()) || blank(path.back()))) {
    throw EOutbError("Cannot attach \"" + EscapeControls(path) +
                     "\": the path begins or ends with a blank or control character, which the "
                     "mailer trims off and so would take another file");
  }
  if (std::any_of(path.begin(), path.end(), IsControlChar)) {
    throw EOutbError("Cannot attach " + EscapeControls(path) +
                     ": the path contains a control character");
  }
  if (!path.empty() && kFlowLinePrefixes.find(path.front()) != std::string_view::npos) {
    throw EOutbError("Cannot attach " + std::string(path) + ": a path beginning with \"" +
                     path.front() + "\" would be read by the mailer as a command");
  }
}

// A netmail attach names its file in the subject, which the tosser turns
// into a flow-file line and splits at blanks.
void CheckNetmailPath(const std::string& path) {
  CheckFlowLinePath(path);
  // Tossers read an attach subject as a list of files separated by blanks
  // (crashmail sends "/x/my" and "file.zip" for "/x/my file.zip"): the file
  // would never go.
  if (path.find_first_of(" \t") != std::string::npos) {
    throw EOutbError("Cannot attach " + path +
                     ": a netmail attach names its files separated by blanks");
  }
  if (path.size() > TMailMsg::kMaxSubjectLength) {
    throw EOutbError("Cannot attach " + path + ": a netmail subject holds at most " +
                     std::to_string(TMailMsg::kMaxSubjectLength) + " characters");
  }
}

// A file box receives files: a directory would be copied or moved whole.
void CheckBoxPath(const std::string& path) {
  const int attr = sys::FileAttributes(path);
  if (attr >= 0 && (attr & sys::faDirectory) != 0) {
    throw EOutbError("Cannot attach " + path + ": it is a directory");
  }
}

// Every entry of FILES must be attachable by OUTBTYPE before anything is
// written, so that a refused list leaves no flow file, copy or message and a
// retry of the caller sends nothing twice.
void CheckFiles(const std::vector<std::string>& files, TOutbType outbType) {
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& path = files[i];
    if (path.empty()) {
      throw EOutbError("Cannot attach entry " + std::to_string(i + 1) + ": the file name is empty");
    }
    switch (outbType) {
      case otBink:
        CheckFlowLinePath(path);
        break;
      case otArcMail:
        CheckNetmailPath(path);
        break;
      case otFileBox:
      case otLongFileBox:
        CheckBoxPath(path);
        break;
    }
  }
}

// A part that was not given (65535 in the packed record) would name a node
// nobody meant, such as OUT.ffff/ffffffff.flo.
void CheckDestination(const TFidoAddr& addr) {
  if (addr.Zone == AddrNotGiven || addr.Net == AddrNotGiven || addr.Node == AddrNotGiven) {
    throw EOutbError("Cannot attach to " + addr.ToString() +
                     ": the destination's zone, net and node must be given");
  }
}

// The directory the type writes into must have been given: an empty one
// would put the files at the file-system root or in the current directory.
void CheckTypePath(const TOutbound& outbound, TOutbType outbType) {
  if (outbType == otBink && outbound.BinkOutPath().empty()) {
    throw EOutbError("Cannot attach: no Bink outbound directory is set");
  }
  if ((outbType == otFileBox || outbType == otLongFileBox) && outbound.FileBoxesPath().empty()) {
    throw EOutbError("Cannot attach: no file-box directory is set");
  }
}

void CheckEnumValues(TOutbFlavor flavor, TOutbType outbType, TOutbSendMode mode) {
  if (flavor >= kFlavorCount) {
    throw EOutbError("Unknown flavour " + std::to_string(static_cast<int>(flavor)));
  }
  if (outbType >= kOutbTypeCount) {
    throw EOutbError("Unknown outbound type " + std::to_string(static_cast<int>(outbType)));
  }
  if (mode >= kSendModeCount) {
    throw EOutbError("Unknown after-sending mode " + std::to_string(static_cast<int>(mode)));
  }
}

// The directory the mailer of OUTBTYPE serves, which it sends FILES from
// by their paths; empty for a box copy, the mailer's own file.
std::string MailerSpool(const TOutbound& outbound, TOutbType outbType, TOutbSendMode mode) {
  switch (outbType) {
    case otBink:
      return outbound.BinkOutPath();
    case otArcMail:
      return outbound.NetmailPath();
    case otFileBox:
    case otLongFileBox:
      return mode == smKillSent ? outbound.FileBoxesPath() : std::string();
  }
  return {};
}

// The mailer (the spool directory's owner) must be able to send every file
// and do with it what MODE asks afterwards, or it would mark the attach
// done and the node would get nothing: the whole list is refused first.
// A moved file keeps its mode in the box and is deleted from there.
void CheckMailerCanSend(const TOutbound& outbound, const std::vector<std::string>& files,
                        TOutbType outbType, TOutbSendMode mode) {
  const std::string spool = MailerSpool(outbound, outbType, mode);
  if (spool.empty()) return;
  const bool moved = outbType == otFileBox || outbType == otLongFileBox;
  const sys::MailerNeeds needs = moved || mode == smNone ? sys::MailerNeeds::kRead
                                 : mode == smKillSent    ? sys::MailerNeeds::kReadDelete
                                                         : sys::MailerNeeds::kReadTruncate;
  for (const std::string& path : files) {
    const std::string why = sys::MailerCannot(spool, path, needs);
    if (!why.empty()) throw EOutbError("Cannot attach " + path + ": " + why);
  }
}

// The nearest existing directory of DIR and those above it, down to ROOT.
std::string ExistingDirUpTo(std::string dir, const std::string& root) {
  while (dir.size() > root.size() && !DirectoryPresent(dir)) {
    dir = DropTrailingSlash(ExtractFilePath(DropTrailingSlash(dir)));
  }
  return dir;
}

// Why the caller may not write where the node's files go: whose the
// directory is and what to change; empty when it may. Asked after a
// failure, so that the usual attach pays nothing for it.
std::string WriteAccessHint(const TOutbound& outbound, const TFidoAddr& addr, TOutbFlavor flavor,
                            TOutbType outbType) {
  std::string dir;
  if (outbType == otBink) {
    const TBsoPath base = BinkBasePath(addr, outbound.BinkOutPath());
    dir = ExistingDirUpTo(ExtractFilePath(base.Full()), base.Root);
  } else if (outbType == otArcMail) {
    dir = outbound.NetmailPath();
  } else {
    const std::string& root = outbound.FileBoxesPath();
    dir = ExistingDirUpTo(FileBoxDirName(addr, root, flavor, outbType == otLongFileBox), root);
  }
  return sys::CannotWriteIn(DropTrailingSlash(dir));
}

std::string SendModePrefix(TOutbSendMode mode) {
  return mode == smKillSent ? "^" : (mode == smTruncSent ? "#" : "");
}

// Refuses a symbolic link on the way from ROOT down BELOW's directories
// (and BELOW's last component when WHOLE): inside the outbound and the file
// boxes nothing is reached through one, so that a link another user planted
// there cannot send the library's files (or directories it makes) elsewhere.
// ROOT itself, configured by the user, may be a link. The opens below check
// again without a gap; this check names the link before anything is made.
void RefuseLinksBelow(const std::string& root, std::string_view below, bool whole) {
  std::string path = root;
  const char delim = sys::PathDelim();
  while (!below.empty()) {
    const std::size_t cut = below.find(delim);
    const std::string_view part = below.substr(0, cut);
    below = cut == std::string_view::npos ? std::string_view{} : below.substr(cut + 1);
    if (part.empty()) continue;
    if (below.empty() && !whole) return;
    path += part;
    if (sys::IsSymbolicLink(path)) throw EOutbError(sys::SymbolicLinkRefusedText(path));
    path += delim;
  }
}

// Makes the zone and point directories DIR consists of, each like the
// outbound OUTPATH (its owner, group and group rights).
void MakeOutboundDirs(const std::string& dir, const std::string& outPath) {
  for (const std::string& prefix : DirPathPrefixes(ExpandFileName(WithTrailingSlash(dir)))) {
    if (DirectoryPresent(prefix)) continue;
    const bool made = sys::MakeDir(prefix, DropTrailingSlash(outPath));
    // Another process may make the same level at the same moment.
    if (!made && !DirectoryPresent(prefix)) sys::ThrowLastError(DropTrailingSlash(prefix));
  }
}

// The node's flow file of FLAVOR, as its directory (the outbound, or the
// outbound's parent for another zone) and the path below it; one that
// another program wrote in another case is used as it is. The spellings
// looked for are those of the busy flags (lower, upper or capitalised name
// and extension), looked up one by one rather than by reading the outbound
// directory; the node's busy flags keep other programs from creating the
// file meanwhile. A new one gets the zone and point directories it needs
// (those of a usual other spelling are used as they are).
TBsoPath FlowFilePath(const TFidoAddr& addr, const std::string& outPath, TOutbFlavor flavor) {
  TBsoPath base = BinkBasePath(addr, outPath);
  base.Below += FlowFileExt[flavor];
  std::vector<std::string> existing = sys::FindUsualSpellings(base.Root, base.Below, 1);
  if (!existing.empty()) return {base.Root, existing.front().substr(base.Root.size())};
  const std::size_t slash = base.Below.find_last_of(sys::PathDelim());
  if (slash == std::string::npos) return base;
  const std::string dirBelow = base.Below.substr(0, slash);
  std::vector<std::string> dirs = sys::FindUsualSpellings(base.Root, dirBelow, 1);
  std::string dir = dirs.empty() ? base.Root + dirBelow : dirs.front();
  if (dirs.empty()) {
    RefuseLinksBelow(base.Root, dirBelow, true);
    MakeOutboundDirs(dir, outPath);
  }
  if (dir.back() == sys::PathDelim()) dir.pop_back();
  return {base.Root, dir.substr(base.Root.size()) + base.Below.substr(slash)};
}

// The line end that must come first: a flow file written by hand or by a
// script may lack one after its last line, and our line would be glued to
// that one.
std::string_view LeadingLineEnd(sys::File& flow, std::int64_t size) {
  if (size == 0 || flow.ReadAt(size - 1, 1) == "\n") return {};
  return "\r\n";
}

// The system's text for a failed copy, then the file it concerns: the
// target that exists already, or else the source and the target.
[[noreturn]] void ThrowCopyError(int code, const std::string& path, const std::string& target) {
  const std::string files = sys::IsFileExistsError(code) ? target : path + " to " + target;
  throw EOutbError("Win32 Error.  Code: " + std::to_string(code) + ".\n" +
                   sys::SystemErrorMessage(code) + ": " + files);
}

// Moves PATH into the box as TARGET (ROOT, the file-box directory,
// followed by BELOW) and never replaces a file already waiting there under
// that name.
void MoveIntoBox(const std::string& path, const std::string& root, const std::string& below) {
  const std::string target = root + below;
  const std::string moveError = "Error moving " + path + " to " + target;
  if (sys::FileAttributes(path) < 0) throw EOutbError(moveError);
  const int rc = sys::RenameNoReplace(path, root, below);
  if (rc == 0) return;
  if (sys::IsFileExistsError(rc) || sys::FileAttributes(target) >= 0) throw EOutbError(moveError);
  // Another file system: copy without replacing, then delete the source.
  if (const int copyRc = sys::CopyNoReplace(path, root, below); copyRc != 0) {
    if (sys::IsFileExistsError(copyRc)) throw EOutbError(moveError);
    throw EInOutError(sys::IoErrorText(copyRc, target), copyRc);
  }
  sys::SetReadOnly(path, false);
  sys::RemoveFile(path);
}

}  // namespace

void TOutbound::AttachFiles(const TFidoAddr* addr, const std::vector<std::string>* files,
                            TOutbFlavor flavor, TOutbType outbType, TOutbSendMode mode) {
  BR_ASSERT(addr != nullptr, "Outbound");
  BR_ASSERT(!addr->HasWildcard(), "Outbound");
  BR_ASSERT(files != nullptr, "Outbound");
  if (files->empty()) return;
  // Values outside the tables would name no flow file or box: refuse them
  // rather than report an attach that did nothing.
  CheckEnumValues(flavor, outbType, mode);
  CheckDestination(*addr);
  CheckTypePath(*this, outbType);
  CheckFiles(*files, outbType);
  CheckMailerCanSend(*this, *files, outbType, mode);
  // The netmail directory and the origin address are checked before the
  // node is flagged.
  if (outbType == otArcMail) {
    OpenNetmailBase();
    BR_ASSERT(MainAddress() != nullptr, "FidoAddr");
  }
  try {
    FindOrAddNode(addr).AttachFiles(*files, flavor, outbType, mode);
  } catch (const EFileLocked&) {
    throw;
  } catch (const EInOutError& e) {
    const std::string hint = WriteAccessHint(*this, *addr, flavor, outbType);
    if (hint.empty()) throw;
    throw EInOutError(std::string(e.what()) + ": " + hint, e.ErrorCode());
  }
}

void TOutbNode::AttachFiles(const std::vector<std::string>& files, TOutbFlavor flavor,
                            TOutbType outbType, TOutbSendMode mode) {
  const TBusyFlagSetup setup = outbound_->BusySetup();
  // The node's flags go into its zone and point directories: a link planted
  // there would take them elsewhere.
  if (!outbound_->BinkOutPath().empty()) {
    const TBsoPath base = BinkBasePath(addr_, outbound_->BinkOutPath());
    RefuseLinksBelow(base.Root, base.Below, false);
  }
  // Box copies are written before the node is locked: binkd refuses a
  // whole session while a called-in node's flag exists, and a copy of a
  // large file takes seconds. They are written where the mailer never looks
  // and get their names in the box only under the lock, so the guarantees
  // stay: no partial file under a name the mailer reads, nothing left when
  // the attach fails or the node is busy (the staged copies go with them).
  TStagedCopies staged = StageBoxCopies(files, flavor, outbType, mode);
  // So are the model's records of a Bink attach (a look at each file for
  // its size and date): they read the caller's files, not the outbound, and
  // the flags then cover only the lines written.
  std::vector<TOutbFile> records;
  if (outbType == otBink) {
    records.reserve(files.size());
    for (const std::string& file : files) records.push_back(TOutbFile::FromText(file));
  }
  const auto log = [this](char level, const std::string& text) { DoLog(level, text); };
  if (!LockNode(setup, &addr_, bkBsy, log)) {
    const std::string busy = "Node " + addr_.ToString() + " is busy";
    sys::DebugOutput(busy);
    throw ENodeBusy(busy);
  }
  try {
    switch (outbType) {
      case otBink:
        AttachBink(files, flavor, mode, records);
        break;
      case otArcMail:
        AttachNetmail(files, flavor, mode);
        break;
      case otFileBox:
      case otLongFileBox:
        AttachFileBox(files, flavor, outbType, mode, staged);
        break;
    }
  } catch (...) {
    UnlockNode(setup, &addr_);
    throw;
  }
  UnlockNode(setup, &addr_);
}

// Takes back the lines of a list that could not be written whole: the flow
// file is cut to WHOLE, its length before them, and removed when this
// attach created it. A failure here changes nothing more;
// the write's own failure is what the caller hears of.
void UndoFlowLine(sys::File& flow, const TBsoPath& path, std::int64_t whole) {
  const bool remove = whole == 0 && flow.Created();
  try {
    // A close that failed has let the file go: it is opened again to be cut.
    if (!flow.IsOpen()) flow.OpenBelow(path.Root, path.Below, sys::FileMode::kAppend);
    flow.Truncate(whole);
    flow.Close();
    if (remove) sys::File::Remove(path.Full());
  } catch (const Exception&) {
  }
}

void TOutbNode::AttachBink(const std::vector<std::string>& files, TOutbFlavor flavor,
                           TOutbSendMode mode, std::vector<TOutbFile>& records) {
  // The flow file in the spelling we write is opened at once: it is there
  // for most attaches (a node with files waiting), and the open alone,
  // which follows no link, shows it. Only a file missing under that name
  // is looked for in the other spellings, or created; any other failure to
  // open it (a link refused, no access, locked) is the error.
  TBsoPath path = BinkBasePath(addr_, outbound_->BinkOutPath());
  path.Below += FlowFileExt[flavor];
  sys::File flow;
  try {
    bool opened = false;
    try {
      opened = flow.OpenBelow(path.Root, path.Below, sys::FileMode::kAppend);
    } catch (const EInOutError&) {
      // Locked, a link, no access: the error, unless there is no such file.
      if (sys::EntryInfo(path.Full())) throw;
    }
    if (!opened) {
      path = FlowFilePath(addr_, outbound_->BinkOutPath(), flavor);
      flow.OpenBelow(path.Root, path.Below, sys::FileMode::kAppendOrCreate);
    }
  } catch (const EFileLocked& e) {
    // Whoever keeps the flow file locked is working on the node without
    // its flags: the node is busy, and our flags go again at once.
    throw ENodeBusy("Node " + addr_.ToString() + " is busy: " + e.what());
  }
  // The length before this attach: a list is attached whole or not at all,
  // so a failure at any line cuts the file back to here, and only then are
  // the lines logged as attached. A file this attach created is empty
  // (nobody else writes it while the node's flags are up and the append
  // lock is held), so only an existing one is measured.
  const std::int64_t start = flow.Created() ? 0 : flow.Size();
  // Should this process be killed in the middle of the lines, the next lock
  // of the node cuts the flow file back to here.
  std::string lineEnd(LeadingLineEnd(flow, start));
  std::int64_t end = start + static_cast<std::int64_t>(lineEnd.size());
  for (const std::string& file : files) {
    end += static_cast<std::int64_t>(SendModePrefix(mode).size() + file.size() + 2);
  }
  NoteFlowAppend(addr_, path.Below, start, end);
  try {
    for (const std::string& file : files) {
      // One write per line: a line is in the file whole or not at all once
      // a failure is undone.
      flow.Write(lineEnd + SendModePrefix(mode) + file + "\r\n");
      lineEnd.clear();
    }
    flow.Close();
  } catch (...) {
    UndoFlowLine(flow, path, start);
    throw;
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    AddFileRecord(std::move(records[i]), flavor, otBink);
    DoLog('+', "Created Bink attach " + files[i] + " to " + addr_.ToString());
  }
}

void TOutbNode::AttachNetmail(const std::vector<std::string>& files, TOutbFlavor flavor,
                              TOutbSendMode mode) {
  TMsgBase& base = outbound_->OpenNetmailBase();
  // The messages this call saved, by their index in the base: taken back
  // when a later one fails, so that the list is attached whole or not at all.
  std::vector<std::int32_t> saved;
  try {
    for (const std::string& path : files) {
      TMailMsg& msg = base.New();
      msg.SetFromName("SysOp");
      msg.FromAddr = TFidoAddr::CreateCopy(MainAddress());
      msg.SetToName("SysOp");
      msg.ToAddr = TFidoAddr::CreateCopy(&addr_);
      msg.SetSubject(path);
      msg.Attributes = TMsgAttrs{maPrivate, maFileAttached, maKillSent, maLocal};
      if (mode == smKillSent) msg.Attributes.Include(maKillFileSent);
      if (mode == smTruncSent) msg.Attributes.Include(maTruncFileSent);
      // The flavour travels with the message: the tosser packs a crash
      // attach as crash and an immediate one as IMM.
      if (flavor == flCrash) msg.Attributes.Include(maCrash);
      if (flavor == flImm) msg.Attributes.Include(maImmediate);
      if (flavor == flDirect) msg.Attributes.Include(maDirect);
      if (flavor == flHold) msg.Attributes.Include(maHold);
      base.Save();
      saved.push_back(static_cast<std::int32_t>(base.Store()->FileNames().size()));
    }
  } catch (...) {
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
      try {
        base.Store()->Read(*it);
        base.Store()->Delete();
      } catch (const Exception&) {
      }
    }
    throw;
  }
  for (const std::string& path : files) {
    AddFile(path, flavor, otArcMail);
    DoLog('+', "Created netmail attach " + path + " to " + addr_.ToString());
  }
}

TOutbNode::TStagedCopies TOutbNode::StageBoxCopies(const std::vector<std::string>& files,
                                                   TOutbFlavor flavor, TOutbType outbType,
                                                   TOutbSendMode mode) const {
  TStagedCopies staged;
  // A move is a rename, quick already; only copies are staged.
  if ((outbType != otFileBox && outbType != otLongFileBox) || mode == smKillSent) return staged;
  // Each staged copy holds a descriptor until it is named: a long list
  // stages its first files and copies the others under the lock.
  constexpr std::size_t kMaxStaged = 64;
  const std::string& root = outbound_->FileBoxesPath();
  const std::string boxBelow =
      FileBoxDirName(addr_, root, flavor, outbType == otLongFileBox).substr(root.size());
  for (std::size_t i = 0; i < files.size() && i < kMaxStaged; ++i) {
    auto copy = std::make_unique<sys::StagedCopy>();
    const int rc = copy->Stage(files[i], root, boxBelow + ExtractFileName(files[i]));
    if (rc != 0) {
      // A copy that failed is reported under the lock, after the files
      // before it got their names, as the copies made there would be; one
      // that could not be staged is made there.
      if (rc != sys::StagedCopy::kNotStaged) staged.Error = rc;
      break;
    }
    staged.Copies.push_back(std::move(copy));
  }
  return staged;
}

void TOutbNode::AttachFileBox(const std::vector<std::string>& files, TOutbFlavor flavor,
                              TOutbType outbType, TOutbSendMode mode, TStagedCopies& staged) {
  const std::string& root = outbound_->FileBoxesPath();
  const std::string boxDir = FileBoxDirName(addr_, root, flavor, outbType == otLongFileBox);
  const std::string boxBelow = boxDir.substr(root.size());
  RefuseLinksBelow(root, boxBelow, true);
  if (!DirectoryPresent(boxDir) && !sys::MakeDir(boxDir)) sys::ThrowLastError(boxDir);
  // The files this call put into the box, taken back when a later one
  // fails: copies are removed, moved files go back where they came from.
  std::size_t done = 0;
  try {
    for (; done < files.size(); ++done) {
      const std::string& path = files[done];
      const std::string below = boxBelow + ExtractFileName(path);
      if (mode == smKillSent) {
        MoveIntoBox(path, root, below);
        continue;
      }
      // A copy staged before the lock only gets its name here; one that
      // could not be staged is made now.
      int rc = 0;
      if (done < staged.Copies.size()) {
        rc = staged.Copies[done]->Publish();
      } else if (done == staged.Copies.size() && staged.Error != 0) {
        rc = staged.Error;
      } else {
        rc = sys::CopyNoReplace(path, root, below);
      }
      if (rc != 0) ThrowCopyError(rc, path, root + below);
    }
  } catch (...) {
    while (done-- > 0) {
      const std::string& path = files[done];
      const std::string below = boxBelow + ExtractFileName(path);
      if (mode != smKillSent) {
        sys::RemoveFileBelow(root, below);
      } else if (sys::RenameNoReplace(root + below, path) != 0 &&
                 sys::CopyNoReplace(root + below, path) == 0) {
        sys::RemoveFileBelow(root, below);
      }
    }
    throw;
  }
  for (const std::string& path : files) {
    AddFile(mode == smKillSent ? root + boxBelow + ExtractFileName(path) : path, flavor, outbType);
    DoLog('+', "Created filebox attach " + path + " to " + addr_.ToString());
  }
}

}  // namespace brnet
