#include "outbound/BusyFlags.h"

#include <utility>

#include "sys/FileSystem.h"
#include "util/Files.h"
#include "util/Paths.h"

namespace brnet {
namespace {

constexpr const char* kUnit = "Outbound";
constexpr TBusyFlagType kTypesInOrder[] = {bfNormal, bfBink, bfSemaphore};

// Created by the first semaphore flag, freed by the library's unload sequence
// (FreeHeldSemaphores). A plain pointer on purpose: a static object with a
// destructor would be destroyed at some point of process exit unrelated to
// that sequence, which may still call in afterwards.
THeldSemaphores* gHeld = nullptr;

THeldSemaphores& HeldList() {
  if (gHeld == nullptr) gHeld = std::make_unique<THeldSemaphores>().release();
  return *gHeld;
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

// Creates the flag ROOT + BELOW exclusively. On a case-sensitive file
// system the exclusive create alone would miss a flag that another program
// spelled in another case, so afterwards the other spellings are looked for:
// when one is there besides ours, ours goes again and the flag counts as
// taken (TWIN tells the caller so). The exclusive create comes first and the
// lookups are made afresh after it, so a flag that appears at any moment
// before them is seen by one or the other; of two programs racing, each
// sees the other's flag after its own create, and both back off.
bool CreateFlagFileIn(const TBsoPath& path, bool* twin = nullptr) {
  const std::string full = path.Full();
  if (!CreateFileExclusive(full)) return false;
  for (const std::string& found : FlagSpellings(path)) {
    if (found != full) {
      sys::RemoveFile(full);
      if (twin != nullptr) *twin = true;
      return false;
    }
  }
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

}  // namespace

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

bool CreateFlagFile(const std::string& fileName) {
  const std::string dir = ExtractFilePath(fileName);
  return CreateFlagFileIn({dir, fileName.substr(dir.size())});
}

bool CreateBusyFlag(const TFidoAddr* addr, const std::string& path, TBusyFlagType type,
                    TBusyKind kind) {
  BR_ASSERT(addr != nullptr, kUnit);
  if (kind == bkNone) return true;
  if (!ValidKind(kind)) return false;
  switch (type) {
    case bfNormal:
      return CreateFlagFileIn(NormalFlagPath(*addr, path, kind));
    case bfBink: {
      bool twin = false;
      if (CreateFlagFileIn(BinkFlagPath(*addr, path, kind), &twin)) return true;
      // Directories made for our spelling must not stay behind.
      if (twin) RemoveEmptyBinkDirs(addr, path);
      return false;
    }
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
  switch (type) {
    case bfNormal:
      sys::RemoveFile(NormalFlagName(*addr, path, bkCsy));
      sys::RemoveFile(NormalFlagName(*addr, path, bkBsy));
      break;
    case bfBink:
      sys::RemoveFile(BinkFlagPath(*addr, path, bkCsy).Full());
      sys::RemoveFile(BinkFlagPath(*addr, path, bkBsy).Full());
      RemoveEmptyBinkDirs(addr, path);
      break;
    case bfSemaphore:
      if (gHeld != nullptr) gHeld->RemoveLast(*addr);
      break;
    default:
      break;
  }
}

void RemoveEmptyBinkDirs(const TFidoAddr* addr, const std::string& outPath) {
  BR_ASSERT(addr != nullptr, kUnit);
  // Removing an empty directory fails while anything at all is left in it,
  // files or subdirectories, so trying it removes exactly the directories
  // that hold no files and no subdirectories, without listing them first (a
  // hub's outbound directory holds thousands of entries).
  if (addr->Point != 0) sys::RemoveEmptyDir(BinkPointDirName(*addr, outPath));
  sys::RemoveEmptyDir(BinkZoneDirName(*addr, outPath));
}

bool LockNode(const TBusyFlagSetup& setup, const TFidoAddr* addr, TBusyKind kind) {
  BR_ASSERT(addr != nullptr, kUnit);
  const TBusyFlags scan = setup.BusyFlagsScan;
  const TBusyFlags create = setup.BusyFlagsCreate;
  std::vector<TBusyFlagType> raised;
  auto undo = [&] {
    for (TBusyFlagType type : raised) RemoveBusyFlag(addr, FlagPathFor(setup, type), type);
  };
  // Types both honoured and raised: the exclusive creation is the test.
  for (TBusyFlagType type : kTypesInOrder) {
    if (!HasBusyFlag(scan & create, type)) continue;
    if (!CreateBusyFlag(addr, FlagPathFor(setup, type), type, kind)) {
      undo();
      return false;
    }
    raised.push_back(type);
  }
  // Types only honoured.
  for (TBusyFlagType type : kTypesInOrder) {
    if (HasBusyFlag(scan, type) && !HasBusyFlag(create, type) &&
        TestBusyFlag(addr, FlagPathFor(setup, type), type) != bkNone) {
      undo();
      return false;
    }
  }
  // Types only raised: they never block.
  for (TBusyFlagType type : kTypesInOrder) {
    if (HasBusyFlag(create, type) && !HasBusyFlag(scan, type)) {
      CreateBusyFlag(addr, FlagPathFor(setup, type), type, kind);
    }
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
}

}  // namespace brnet
