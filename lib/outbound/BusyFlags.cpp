#include "outbound/BusyFlags.h"

#include <algorithm>
#include <utility>

#include "sys/Error.h"
#include "sys/File.h"
#include "sys/FileSystem.h"
#include "sys/Process.h"
#include "util/Files.h"
#include "util/Paths.h"

namespace brnet {
namespace {

constexpr const char* kUnit = "Outbound";
constexpr TBusyFlagType kTypesInOrder[] = {bfNormal, bfBink, bfSemaphore};
// What the second line of our flag files begins with.
constexpr std::string_view kNoteTag = "brnet32 ";
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
  std::string File;
  std::string Note;
  std::vector<std::string> Dirs;
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
    if (!sys::MakeDir(prefix)) {
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
    if (std::find(keep.begin(), keep.end(), prefix) == keep.end()) made.push_back(prefix);
  }
  return made;
}

bool IsDiskFull(const EInOutError& e) {
  return sys::RunErrorText(e.ErrorCode()) == sys::RunErrorMessage(sys::reDiskFull);
}

// Creates the flag file FILE exclusively with *NOTE in it: false when the
// name is taken, EInOutError on any other failure, which leaves nothing
// behind. On a full disk the flag stays, empty (it works by its existence,
// as other programs' flags do; only it is never judged stale), and *NOTE
// becomes what it holds.
bool CreateNoteFile(const std::string& file, std::string* note) {
  sys::File flag;
  if (!flag.Open(file, sys::FileMode::kCreateExclusive)) return false;
  try {
    try {
      flag.Write(*note);
    } catch (const EInOutError& e) {
      if (!IsDiskFull(e)) throw;
      flag.Truncate(0);
      note->clear();
    }
    flag.Close();
  } catch (...) {
    if (flag.IsOpen()) {
      try {
        flag.Close();
      } catch (...) {
      }
    }
    sys::RemoveFile(file);
    throw;
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
  const std::vector<std::string> made = MakeFlagDirs(full, path);
  bool created = false;
  try {
    created = CreateNoteFile(full, &note);
  } catch (...) {
    RemoveMadeDirs(made);
    throw;
  }
  if (created) {
    for (const std::string& found : FlagSpellings(flagPath)) {
      if (found != full) {
        sys::RemoveFile(full);
        created = false;
        break;
      }
    }
  }
  if (!created) {
    RemoveMadeDirs(made);
    return false;
  }
  HeldFiles().push_back({TFidoAddr::CreateCopy(&addr), type, path, full, note, made});
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
  if (!semaphore->Acquire()) return false;
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
// spellings the test looks for.
std::vector<std::string> ExistingFlagFiles(const TFidoAddr& addr, const std::string& path,
                                           TBusyFlagType type) {
  std::vector<std::string> files;
  if (type == bfBink) {
    for (TBusyKind kind : {bkBsy, bkCsy}) {
      for (std::string& found : FlagSpellings(BinkFlagPath(addr, path, kind))) {
        files.push_back(std::move(found));
      }
    }
  } else if (type == bfNormal) {
    const std::string base = path + BusyHashText(addr);
    for (const char* ext : {".`??", ".'??"}) {
      for (const sys::SearchRec& rec : sys::FindAllMatches(base + ext, sys::faAnyFile)) {
        files.push_back(path + rec.Name);
      }
    }
  }
  return files;
}

// Takes the stale flag FILE, which read NOTE, out of the way. Of several
// processes that judged it stale at once only one can rename it; when what
// was renamed is no longer NOTE (it was removed and raised afresh between
// the reading and the renaming), it goes back under its name.
bool TakeStaleFlag(const std::string& file, const std::string& note) {
  const std::string aside = file + ".stale-" + std::to_string(sys::CurrentProcessId());
  if (sys::RenameNoReplace(file, aside) != 0) return false;
  if (sys::ReadFileHead(aside, kNoteMax) == note) {
    sys::RemoveFile(aside);
    return true;
  }
  sys::RenameNoReplace(aside, file);
  return false;
}

}  // namespace

std::string OwnFlagNote() {
  return std::to_string(sys::CurrentProcessId()) + "\n" + std::string(kNoteTag) + sys::HostName() +
         "\n";
}

std::optional<TFlagOwner> ParseFlagNote(std::string_view note) {
  const std::size_t firstEnd = note.find('\n');
  if (firstEnd == std::string_view::npos || firstEnd == 0 || firstEnd > 10) return std::nullopt;
  const std::string_view pid = note.substr(0, firstEnd);
  if (pid.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  std::string_view rest = note.substr(firstEnd + 1);
  if (rest.substr(0, kNoteTag.size()) != kNoteTag || rest.back() != '\n') return std::nullopt;
  rest = rest.substr(kNoteTag.size(), rest.size() - kNoteTag.size() - 1);
  if (rest.find('\n') != std::string_view::npos) return std::nullopt;
  const unsigned long long value = std::stoull(std::string(pid));
  if (value == 0 || value > 0xFFFFFFFFull) return std::nullopt;
  return TFlagOwner{static_cast<std::uint32_t>(value), std::string(rest)};
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
    const std::optional<std::string> now = sys::ReadFileHead(it->File, kNoteMax);
    if (!now || *now == it->Note) sys::RemoveFile(it->File);
    RemoveMadeDirs(it->Dirs);
    it = held.erase(it);
  }
}

bool RemoveStaleBusyFlags(const TFidoAddr* addr, const std::string& path, TBusyFlagType type,
                          const TBusyLogFn& log) {
  BR_ASSERT(addr != nullptr, kUnit);
  const std::string host = sys::HostName();
  if (host.empty()) return false;
  bool removed = false;
  for (const std::string& file : ExistingFlagFiles(*addr, path, type)) {
    const std::optional<std::string> note = sys::ReadFileHead(file, kNoteMax);
    if (!note) continue;
    const std::optional<TFlagOwner> owner = ParseFlagNote(*note);
    if (!owner || owner->Host != host || sys::ProcessRuns(owner->Pid)) continue;
    if (!TakeStaleFlag(file, *note)) continue;
    removed = true;
    if (log) {
      log('!', "Removed stale busy flag " + file + " of process " + std::to_string(owner->Pid) +
                   " on " + host + ", which no longer runs");
    }
  }
  return removed;
}

bool LockNode(const TBusyFlagSetup& setup, const TFidoAddr* addr, TBusyKind kind,
              const TBusyLogFn& log) {
  BR_ASSERT(addr != nullptr, kUnit);
  const TBusyFlags scan = setup.BusyFlagsScan;
  const TBusyFlags create = setup.BusyFlagsCreate;
  std::vector<TBusyFlagType> raised;
  auto undo = [&] {
    for (TBusyFlagType type : raised) RemoveBusyFlag(addr, FlagPathFor(setup, type), type);
  };
  // A flag in the way that a crash of ours left behind goes, and the step is
  // tried once more.
  auto clearedStale = [&](TBusyFlagType type) {
    return type != bfSemaphore && RemoveStaleBusyFlags(addr, FlagPathFor(setup, type), type, log);
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
  return true;
}

void UnlockNode(const TBusyFlagSetup& setup, const TFidoAddr* addr) {
  BR_ASSERT(addr != nullptr, kUnit);
  for (TBusyFlagType type : kTypesInOrder) {
    if (HasBusyFlag(setup.BusyFlagsCreate, type)) {
      RemoveBusyFlag(addr, FlagPathFor(setup, type), type);
    }
  }
}

TBsySemaphore::TBsySemaphore(const TFidoAddr& addr, TBusyKind kind)
    : addr_(TFidoAddr::CreateCopy(&addr)), name_(SemaphoreName(addr, kind)) {}

bool TBsySemaphore::Acquire() {
  return semaphore_.Create(name_) == sys::NamedSemaphore::CreateResult::Created;
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
