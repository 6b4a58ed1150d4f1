#include "outbound/BusyFlags.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "sys/Error.h"
#include "sys/File.h"
#include "sys/FileSystem.h"
#include "sys/Process.h"
#include "util/Ascii.h"
#include "util/Files.h"
#include "util/Paths.h"

namespace brnet {
namespace {

constexpr const char* kUnit = "Outbound";
constexpr TBusyFlagType kTypesInOrder[] = {bfNormal, bfBink, bfSemaphore};
// What the second line of our flag files begins with.
constexpr std::string_view kNoteTag = "brnet32 ";
// What the third line of a Bink flag begins with while its holder appends.
constexpr std::string_view kAppendTag = "append ";
// More than any note of ours holds; a longer file is somebody else's.
constexpr std::size_t kNoteMax = 512;

// Created by the first semaphore flag, freed by the library's unload sequence
// (FreeHeldSemaphores). A plain pointer on purpose: a static object with a
// destructor would be destroyed at some point of process exit unrelated to
// that sequence, which may still call in afterwards.
THeldSemaphores* gHeld = nullptr;

THeldSemaphores& HeldList() {
  if (gHeld == nullptr) gHeld = std::make_unique<THeldSemaphores>().release();
  return *gHeld;
}

// One flag file this process created, with what it wrote into it and the
// directories it made for it (outermost first).
struct THeldFlagFile {
  TFidoAddr Addr;
  TBusyFlagType Type;
  std::string Path;  // the type's path the flag was raised under
  TBsoPath File;     // reached from its root without following links
  std::string Note;
  std::vector<std::string> Dirs;
  // The flag itself, kept open from its creation (POSIX): the note of an
  // append is written through it, and at unlock the name is removed only
  // while it still names this very file.
  std::unique_ptr<sys::File> Kept;
  std::int64_t KeptSize = 0;  // what this process has written into it
};

// The flag files this process holds; a plain pointer for the reason above.
std::vector<THeldFlagFile>* gHeldFiles = nullptr;

std::vector<THeldFlagFile>& HeldFiles() {
  if (gHeldFiles == nullptr) gHeldFiles = std::make_unique<std::vector<THeldFlagFile>>().release();
  return *gHeldFiles;
}

bool ValidKind(TBusyKind kind) {
  return kind < kBusyKindCount;
}

// The flag files of PATH in the spellings programs write. Mailers build
// these names from hexadecimal of one case and a fixed extension (binkd:
// "139c04d2.bsy"; DOS and Windows programs: "139C04D2.BSY"), so each name
// and extension is looked up as we write it, in lower, upper and capitalised
// case: a few lookups that cost the same in an outbound of ten entries or of
// ten thousand, where reading the directory would cost a hub milliseconds on
// every attach. A name with mixed case inside its hexadecimal ("139C04d2")
// is written by no program and is not looked for.
std::vector<std::string> FlagSpellings(const TBsoPath& path) {
  return sys::FindUsualSpellings(path.Root, path.Below);
}

// Removes DIRS, innermost first, each only when it is empty.
void RemoveMadeDirs(const std::vector<std::string>& dirs) {
  for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) sys::RemoveEmptyDir(*it);
}

// Makes the directories FILE lies in that are missing. Those that PATH (the
// type's configured directory) consists of are never removed again, even
// when made here; the others (a zone's or a point's directory) are returned
// for removal with the flag. A directory that cannot be made raises the
// system's error naming it; what was made before is removed first.
std::vector<std::string> MakeFlagDirs(const std::string& file, const std::string& path) {
  const std::string dir = ExtractFilePath(file);
  std::vector<std::string> made;
  if (dir.empty()) return made;
  const std::vector<std::string> keep = DirPathPrefixes(ExpandFileName(WithTrailingSlash(path)));
  for (const std::string& prefix : DirPathPrefixes(ExpandFileName(dir))) {
    if (DirectoryPresent(prefix)) continue;
    // A zone's or a point's directory is made like PATH itself.
    const bool ofPath = std::find(keep.begin(), keep.end(), prefix) != keep.end();
    if (!sys::MakeDir(prefix, ofPath || path.empty() ? std::string() : DropTrailingSlash(path))) {
      // The system's error first: the look below would replace it.
      std::optional<EInOutError> error;
      try {
        sys::ThrowLastError(DropTrailingSlash(prefix));
      } catch (const EInOutError& e) {
        error = e;
      }
      // Another process may make the same level at the same moment.
      if (DirectoryPresent(prefix)) continue;
      RemoveMadeDirs(made);
      throw *error;
    }
    if (!ofPath) made.push_back(prefix);
  }
  return made;
}

// Creates the flag file FILE with *NOTE in it: false when the name is
// taken, EInOutError on any other failure, which leaves nothing behind. The
// flag gets its name only with its note in it, so a process killed at any
// moment never leaves an empty flag that nobody could judge stale. Only
// on a full disk is the flag named empty (it works by its existence, as
// other programs' flags do; only it is never judged stale), and *NOTE
// becomes what it holds.
bool CreateNoteFile(const TBsoPath& file, std::string* note, sys::File* kept) {
  switch (sys::CreateWholeFile(file.Root, file.Below, *note, true, kept)) {
    case sys::WholeFile::kNameTaken:
      return false;
    case sys::WholeFile::kCreatedEmpty:
      note->clear();
      return true;
    case sys::WholeFile::kCreated:
      break;
  }
  return true;
}

// Creates the flag ROOT + BELOW exclusively, for ADDR and TYPE raised under
// PATH. On a case-sensitive file system the exclusive create alone would
// miss a flag that another program spelled in another case, so afterwards
// the other spellings are looked for: when one is there besides ours, ours
// goes again and the flag counts as taken. The exclusive create comes first
// and the lookups are made afresh after it, so a flag that appears at any
// moment before them is seen by one or the other; of two programs racing,
// each sees the other's flag after its own create, and both back off.
bool CreateFlagFileIn(const TFidoAddr& addr, TBusyFlagType type, const std::string& path,
                      const TBsoPath& flagPath) {
  const std::string full = flagPath.Full();
  std::string note = OwnFlagNote();
  // The flag is created first: its directory is there for nearly every
  // lock, and a missing one fails the creation before anything is made.
  // Only then are the directories looked at and made, and the flag
  // created again; a failure with the directory there is the error.
  std::vector<std::string> made;
  auto kept = std::make_unique<sys::File>();
  bool created = false;
  try {
    created = CreateNoteFile(flagPath, &note, kept.get());
  } catch (const EInOutError&) {
    const std::string dir = ExtractFilePath(full);
    if (dir.empty() || DirectoryPresent(dir)) throw;
    made = MakeFlagDirs(full, path);
    try {
      created = CreateNoteFile(flagPath, &note, kept.get());
    } catch (...) {
      RemoveMadeDirs(made);
      throw;
    }
  }
  if (created) {
    for (const std::string& found : FlagSpellings(flagPath)) {
      if (found != full) {
        sys::RemoveFileBelow(flagPath.Root, flagPath.Below);
        created = false;
        break;
      }
    }
  }
  if (!created) {
    RemoveMadeDirs(made);
    return false;
  }
  HeldFiles().push_back(
      {TFidoAddr::CreateCopy(&addr), type, path, flagPath, note, made, std::move(kept),
       static_cast<std::int64_t>(note.size())});
  return true;
}

TBsoPath NormalFlagPath(const TFidoAddr& addr, const std::string& flagsPath, TBusyKind kind) {
  return {flagsPath, NormalFlagName(addr, "", kind)};
}

bool CreateSemaphoreFlag(const TFidoAddr& addr, TBusyKind kind) {
  THeldSemaphores& held = HeldList();
  // One semaphore per address and process, whatever its kind.
  if (held.Find(addr) != nullptr) return false;
  auto semaphore = std::make_unique<TBsySemaphore>(addr, kind);
  switch (semaphore->Create()) {
    case sys::NamedSemaphore::CreateResult::Exists:
      return false;
    case sys::NamedSemaphore::CreateResult::Failed:
      // Not "busy": nobody holds the node; the place of the semaphores is
      // wrong (another user's directory, one open to others), and only the
      // sysop can mend that.
      sys::ThrowLastError(sys::NamedSemaphore::PlaceOf(semaphore->Name()));
    case sys::NamedSemaphore::CreateResult::Created:
      break;
  }
  held.Add(std::move(semaphore));
  return true;
}

bool AnyFileMatches(const std::string& pattern) {
  return sys::FindFirstMatch(pattern, sys::faAnyFile).has_value();
}

bool BsoFlagExists(const TFidoAddr& addr, const std::string& outPath, TBusyKind kind) {
  return !FlagSpellings(BinkFlagPath(addr, outPath, kind)).empty();
}

// Every flag file of TYPE for ADDR under PATH, of either kind, in the
// spellings the test looks for, each as PATH and its path below it.
std::vector<TBsoPath> ExistingFlagFiles(const TFidoAddr& addr, const std::string& path,
                                        TBusyFlagType type) {
  std::vector<TBsoPath> files;
  if (type == bfBink) {
    for (TBusyKind kind : {bkBsy, bkCsy}) {
      const TBsoPath flag = BinkFlagPath(addr, path, kind);
      for (const std::string& found : FlagSpellings(flag)) {
        files.push_back({flag.Root, found.substr(flag.Root.size())});
      }
    }
  } else if (type == bfNormal) {
    const std::string base = path + BusyHashText(addr);
    for (const char* ext : {".`??", ".'??"}) {
      for (const sys::SearchRec& rec : sys::FindAllMatches(base + ext, sys::faAnyFile)) {
        files.push_back({path, rec.Name});
      }
    }
  }
  return files;
}

// FILE's path below its root with its last name replaced by NAME.
std::string SiblingBelow(const TBsoPath& file, const std::string& name) {
  const std::size_t slash = file.Below.find_last_of(sys::PathDelim());
  return (slash == std::string::npos ? std::string() : file.Below.substr(0, slash + 1)) + name;
}

// Takes the stale flag FILE, which read NOTE, out of the way. Of several
// processes that judged it stale at once only one can rename it. What was
// renamed is read again: when it is no longer NOTE (the flag was removed
// and raised afresh, by a live process, between the reading and the
// renaming), it goes back under its name and stays that process's flag.
bool TakeStaleFlag(const TBsoPath& file, const std::string& note) {
  const std::string name = ExtractFileName(file.Below);
  // Takes that a kill left behind go first.
  RemoveDeadOwnersFiles(file.Root, SiblingBelow(file, ""), name + ".stale-", "");
  const std::string aside = OwnedName(name + ".stale-", "");
  if (sys::RenameInDirBelow(file.Root, file.Below, aside) != 0) return false;
  const std::string asideBelow = SiblingBelow(file, aside);
  if (sys::ReadFileHead(file.Root, asideBelow, kNoteMax) == note) {
    sys::RemoveFileBelow(file.Root, asideBelow);
    return true;
  }
  sys::RenameInDirBelow(file.Root, asideBelow, name);
  return false;
}

}  // namespace

std::string OwnFlagNote() {
  return std::to_string(sys::CurrentProcessId()) + "\n" + std::string(kNoteTag) + sys::HostName() +
         "\n";
}

namespace {

// The first number of LINE and the blank after it, taken off LINE.
std::optional<std::int64_t> TakeNumber(std::string_view& line) {
  const std::size_t blank = line.find(' ');
  if (blank == 0 || blank == std::string_view::npos || blank > 18 || blank + 1 == line.size()) {
    return std::nullopt;
  }
  const std::string_view digits = line.substr(0, blank);
  if (digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  line.remove_prefix(blank + 1);
  return std::stoll(std::string(digits));
}

// The "append START END FLOW" line of a note, without its line end (an
// earlier form, "append START FLOW", does not say where the append ends).
bool ParseAppendLine(std::string_view line, TFlagOwner& owner) {
  if (!line.starts_with(kAppendTag)) return false;
  line.remove_prefix(kAppendTag.size());
  const std::optional<std::int64_t> start = TakeNumber(line);
  if (!start) return false;
  std::string_view rest = line;
  const std::optional<std::int64_t> end = TakeNumber(rest);
  owner.AppendStart = *start;
  owner.AppendEnd = end && *end >= *start ? *end : -1;
  owner.AppendFlow = std::string(owner.AppendEnd >= 0 ? rest : line);
  return true;
}

}  // namespace

std::optional<TFlagOwner> ParseFlagNote(std::string_view note) {
  const std::size_t firstEnd = note.find('\n');
  if (firstEnd == std::string_view::npos || firstEnd == 0 || firstEnd > 10) return std::nullopt;
  const std::string_view pid = note.substr(0, firstEnd);
  if (pid.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  std::string_view rest = note.substr(firstEnd + 1);
  const std::size_t secondEnd = rest.find('\n');
  if (rest.substr(0, kNoteTag.size()) != kNoteTag || secondEnd == std::string_view::npos) {
    return std::nullopt;
  }
  TFlagOwner owner;
  owner.Host = std::string(rest.substr(kNoteTag.size(), secondEnd - kNoteTag.size()));
  rest = rest.substr(secondEnd + 1);
  // A third line that a crash cut short was never complete: the append it
  // was to announce had not begun.
  const std::size_t thirdEnd = rest.find('\n');
  if (!rest.empty() && thirdEnd != std::string_view::npos &&
      (thirdEnd + 1 != rest.size() || !ParseAppendLine(rest.substr(0, thirdEnd), owner))) {
    return std::nullopt;
  }
  if (!rest.empty() && thirdEnd == std::string_view::npos &&
      !std::string_view(kAppendTag).starts_with(rest.substr(0, kAppendTag.size()))) {
    return std::nullopt;
  }
  const unsigned long long value = std::stoull(std::string(pid));
  if (value == 0 || value > 0xFFFFFFFFull) return std::nullopt;
  owner.Pid = static_cast<std::uint32_t>(value);
  return owner;
}

std::string FlagPathFor(const TBusyFlagSetup& setup, TBusyFlagType type) {
  switch (type) {
    case bfNormal:
      return setup.FlagsPath;
    case bfBink:
      return setup.BinkOutPath;
    default:
      return {};
  }
}

bool CreateBusyFlag(const TFidoAddr* addr, const std::string& path, TBusyFlagType type,
                    TBusyKind kind) {
  BR_ASSERT(addr != nullptr, kUnit);
  if (kind == bkNone) return true;
  if (!ValidKind(kind)) return false;
  switch (type) {
    case bfNormal:
      return CreateFlagFileIn(*addr, type, path, NormalFlagPath(*addr, path, kind));
    case bfBink:
      return CreateFlagFileIn(*addr, type, path, BinkFlagPath(*addr, path, kind));
    case bfSemaphore:
      return CreateSemaphoreFlag(*addr, kind);
    default:
      return false;
  }
}

TBusyKind TestBusyFlag(const TFidoAddr* addr, const std::string& path, TBusyFlagType type) {
  BR_ASSERT(addr != nullptr, kUnit);
  switch (type) {
    case bfNormal: {
      const std::string base = path + BusyHashText(*addr);
      if (AnyFileMatches(base + ".`??")) return bkBsy;
      if (AnyFileMatches(base + ".'??")) return bkCsy;
      return bkNone;
    }
    case bfBink:
      if (BsoFlagExists(*addr, path, bkBsy)) return bkBsy;
      if (BsoFlagExists(*addr, path, bkCsy)) return bkCsy;
      return bkNone;
    case bfSemaphore:
      if (sys::NamedSemaphore::Present(SemaphoreName(*addr, bkBsy))) return bkBsy;
      if (sys::NamedSemaphore::Present(SemaphoreName(*addr, bkCsy))) return bkCsy;
      return bkNone;
    default:
      return bkNone;
  }
}

void RemoveBusyFlag(const TFidoAddr* addr, const std::string& path, TBusyFlagType type) {
  BR_ASSERT(addr != nullptr, kUnit);
  if (type == bfSemaphore) {
    if (gHeld != nullptr) gHeld->RemoveLast(*addr);
    return;
  }
  if (gHeldFiles == nullptr) return;
  std::vector<THeldFlagFile>& held = *gHeldFiles;
  for (auto it = held.begin(); it != held.end();) {
    if (it->Type != type || it->Path != path || !it->Addr.Matches(addr)) {
      ++it;
      continue;
    }
    // Somebody who took our flag for stale may have raised one of theirs
    // under the name since: that one is not ours to remove. A flag that
    // cannot be read is ours still, and must not keep the node busy.
    // Ours still begins with our note: a third line of ours may follow it.
    // One look at the directory and one read serve the check and the
    // removal (the note is known, so only its length is read back).
    // The flag kept open since its creation is compared by identity (no
    // read); otherwise by its note: one look at the directory and one read
    // serve the check and the removal.
    sys::RemoveFileBelowIfKept(it->File.Root, it->File.Below, *it->Kept, it->KeptSize, it->Note);
    RemoveMadeDirs(it->Dirs);
    it = held.erase(it);
  }
}

bool RemoveStaleBusyFlags(const TFidoAddr* addr, const std::string& path, TBusyFlagType type,
                          const TBusyLogFn& log, std::vector<TFlagOwner>* appends) {
  BR_ASSERT(addr != nullptr, kUnit);
  const std::string host = sys::HostName();
  if (host.empty()) return false;
  bool removed = false;
  for (const TBsoPath& file : ExistingFlagFiles(*addr, path, type)) {
    const std::optional<std::string> note = sys::ReadFileHead(file.Root, file.Below, kNoteMax);
    if (!note) continue;
    const std::optional<TFlagOwner> owner = ParseFlagNote(*note);
    if (!owner || owner->Host != host || sys::ProcessRuns(owner->Pid)) continue;
    if (!TakeStaleFlag(file, *note)) continue;
    removed = true;
    if (log) {
      log('!', "Removed stale busy flag " + file.Full() + " of process " +
                   std::to_string(owner->Pid) + " on " + host + ", which no longer runs");
    }
    if (appends != nullptr && !owner->AppendFlow.empty()) appends->push_back(*owner);
  }
  return removed;
}

void NoteFlowAppend(const TFidoAddr& addr, const std::string& flowBelow, std::int64_t start,
                    std::int64_t end) {
  if (gHeldFiles == nullptr) return;
  for (THeldFlagFile& held : *gHeldFiles) {
    if (held.Type != bfBink || !held.Addr.Matches(&addr) || held.Note.empty()) continue;
    const std::string line =
        std::string(kAppendTag) + std::to_string(start) + " " + std::to_string(end) + " " +
        flowBelow + "\n";
    if (held.Note.size() + line.size() > kNoteMax || flowBelow.find('\n') != std::string::npos) {
      return;
    }
    try {
      // Appended behind our two lines, which stay as they are: a crash in
      // the middle of this write leaves a third line without its end, which
      // announces nothing.
      // Through the flag kept open since its creation where there is one:
      // nobody else writes into our flag, so its end is where our note ends.
      if (held.Kept->IsOpen()) {
        try {
          held.Kept->Write(line);
          held.KeptSize += static_cast<std::int64_t>(line.size());
        } catch (const Exception&) {
          // How much of the line went is unknown: the flag is judged by
          // its note from now on.
          held.Kept->Close();
          throw;
        }
      } else {
        sys::File flag;
        flag.OpenBelow(held.File.Root, held.File.Below, sys::FileMode::kAppendUnlocked);
        flag.Write(line);
        flag.Close();
      }
    } catch (const Exception&) {
    }
    return;
  }
}

namespace {

// True when FLOW, a path below BASE's root taken from a flag's note, is one
// of the node's own flow files beside its flag (in any case of its
// letters). Anybody who may raise a flag writes its note, so nothing else
// it names is ever opened: not another node's file, nor one reached
// through "..".
bool NamesOwnFlowFile(const TBsoPath& base, std::string_view flow) {
  if (flow.size() != base.Below.size() + 4) return false;
  return std::any_of(FlowFileExt.begin(), FlowFileExt.end(), [&](std::string_view ext) {
    return EqualsAsciiNoCase(flow, base.Below + std::string(ext));
  });
}

// Cuts the flow file a killed holder of the node's flags was appending to
// back to where its append began: a line cut short by the kill, and those
// before it of the same list, were never reported as attached. The node's
// flags are ours now, so nobody else has appended since. A file shorter
// than that was changed by somebody else and stays as it is.
void CutBackAppend(const TBusyFlagSetup& setup, const TFidoAddr& addr, const TFlagOwner& dead,
                   const TBusyLogFn& log) {
  const TBsoPath base = BinkBasePath(addr, setup.BinkOutPath);
  if (!NamesOwnFlowFile(base, dead.AppendFlow)) {
    if (log) {
      log('!', "Left " + base.Root + dead.AppendFlow + " alone: the stale flag of process " +
                   std::to_string(dead.Pid) + " names no flow file of " + addr.ToString());
    }
    return;
  }
  try {
    sys::File flow;
    flow.OpenBelow(base.Root, dead.AppendFlow, sys::FileMode::kAppend);
    const std::int64_t size = flow.Size();
    // An append that reached its end was whole, whatever kept its flag
    // (a removal that failed): its lines were reported as attached.
    const bool whole = dead.AppendEnd >= 0 && size >= dead.AppendEnd;
    if (size > dead.AppendStart && !whole) {
      flow.Truncate(dead.AppendStart);
      if (log) {
        log('!', "Cut " + base.Root + dead.AppendFlow + " back to " +
                     std::to_string(dead.AppendStart) + " bytes: process " +
                     std::to_string(dead.Pid) + " ended in the middle of appending to it");
      }
    }
    flow.Close();
  } catch (const Exception&) {
    // Gone or not ours to change: nothing of the dead append is left to cut.
  }
}

// The flag types SETUP gives a place: a flag file needs its directory (an
// outbound of boxes or netmail only has no Bink outbound, and an empty path
// would put its flags into the current or the root directory).
TBusyFlags PlacedTypes(const TBusyFlagSetup& setup) {
  TBusyFlags placed = BusyFlagBit(bfSemaphore);
  if (!setup.FlagsPath.empty()) placed |= BusyFlagBit(bfNormal);
  if (!setup.BinkOutPath.empty()) placed |= BusyFlagBit(bfBink);
  return placed;
}

}  // namespace

bool LockNode(const TBusyFlagSetup& setup, const TFidoAddr* addr, TBusyKind kind,
              const TBusyLogFn& log) {
  BR_ASSERT(addr != nullptr, kUnit);
  const TBusyFlags scan = setup.BusyFlagsScan & PlacedTypes(setup);
  const TBusyFlags create = setup.BusyFlagsCreate & PlacedTypes(setup);
  std::vector<TBusyFlagType> raised;
  auto undo = [&] {
    for (TBusyFlagType type : raised) RemoveBusyFlag(addr, FlagPathFor(setup, type), type);
  };
  // A flag in the way that a crash of ours left behind goes, and the step is
  // tried once more.
  std::vector<TFlagOwner> appends;
  auto clearedStale = [&](TBusyFlagType type) {
    return type != bfSemaphore && RemoveStaleBusyFlags(addr, FlagPathFor(setup, type), type, log,
                                                       type == bfBink ? &appends : nullptr);
  };
  auto tryCreate = [&](TBusyFlagType type) {
    const std::string path = FlagPathFor(setup, type);
    return CreateBusyFlag(addr, path, type, kind) ||
           (clearedStale(type) && CreateBusyFlag(addr, path, type, kind));
  };
  auto flagged = [&](TBusyFlagType type) {
    const std::string path = FlagPathFor(setup, type);
    return TestBusyFlag(addr, path, type) != bkNone &&
           (!clearedStale(type) || TestBusyFlag(addr, path, type) != bkNone);
  };
  try {
    // Types both honoured and raised: the exclusive creation is the test.
    for (TBusyFlagType type : kTypesInOrder) {
      if (!HasBusyFlag(scan & create, type)) continue;
      if (!tryCreate(type)) {
        undo();
        return false;
      }
      raised.push_back(type);
    }
    // Types only honoured.
    for (TBusyFlagType type : kTypesInOrder) {
      if (HasBusyFlag(scan, type) && !HasBusyFlag(create, type) && flagged(type)) {
        undo();
        return false;
      }
    }
    // Types only raised: one that exists already never blocks, but one that
    // cannot be created is an error all the same.
    for (TBusyFlagType type : kTypesInOrder) {
      if (HasBusyFlag(create, type) && !HasBusyFlag(scan, type) && tryCreate(type)) {
        raised.push_back(type);
      }
    }
  } catch (...) {
    undo();
    throw;
  }
  // The node is ours now: what a dead holder's append left goes.
  if (!setup.BinkOutPath.empty()) {
    for (const TFlagOwner& dead : appends) CutBackAppend(setup, *addr, dead, log);
  }
  return true;
}

void UnlockNode(const TBusyFlagSetup& setup, const TFidoAddr* addr) {
  BR_ASSERT(addr != nullptr, kUnit);
  for (TBusyFlagType type : kTypesInOrder) {
    if (HasBusyFlag(setup.BusyFlagsCreate & PlacedTypes(setup), type)) {
      RemoveBusyFlag(addr, FlagPathFor(setup, type), type);
    }
  }
}

TBsySemaphore::TBsySemaphore(const TFidoAddr& addr, TBusyKind kind)
    : addr_(TFidoAddr::CreateCopy(&addr)), name_(SemaphoreName(addr, kind)) {}

bool TBsySemaphore::Acquire() {
  return Create() == sys::NamedSemaphore::CreateResult::Created;
}

sys::NamedSemaphore::CreateResult TBsySemaphore::Create() {
  return semaphore_.Create(name_);
}

TBsySemaphore* THeldSemaphores::Find(const TFidoAddr& addr) const {
  for (const auto& item : items_) {
    if (item->Addr().Matches(&addr)) return item.get();
  }
  return nullptr;
}

void THeldSemaphores::Add(std::unique_ptr<TBsySemaphore> semaphore) {
  items_.push_back(std::move(semaphore));
}

bool THeldSemaphores::RemoveLast(const TFidoAddr& addr) {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if ((*it)->Addr().Matches(&addr)) {
      items_.erase(std::next(it).base());
      return true;
    }
  }
  return false;
}

THeldSemaphores* HeldSemaphores() {
  return gHeld;
}

void FreeHeldSemaphores() {
  // Destroying the list closes every semaphore still in it.
  std::unique_ptr<THeldSemaphores> list(std::exchange(gHeld, nullptr));
  std::unique_ptr<std::vector<THeldFlagFile>> files(std::exchange(gHeldFiles, nullptr));
}

}  // namespace brnet
