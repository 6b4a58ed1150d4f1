// Busy flags: how programs that share an outbound (mailers, tossers, this
// library) tell each other that somebody is working on one node.
//
// Three independent types: a flag file beside the node's BSO files, a flag
// file named by a hash of the address in a flags directory, and a named
// kernel semaphore "T-MAIL_SEM_" + hash. Creation failures are reported as
// false, removals ignore what is not there, and tests treat every error as
// "no flag". A missing address is an assertion failure of unit Outbound.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "addr/FidoAddr.h"
#include "outbound/OutbNaming.h"
#include "sys/Semaphore.h"

namespace brnet {

enum TBusyFlagType : std::uint8_t {
  bfNormal = 0,     // hash-named file in the flags directory
  bfBink = 1,       // file beside the node's BSO files
  bfSemaphore = 2,  // named kernel semaphore
};
inline constexpr int kBusyFlagTypeCount = 3;

// A set of flag types in one byte: type n is in the set when bit n is 1.
using TBusyFlags = std::uint8_t;
constexpr TBusyFlags BusyFlagBit(TBusyFlagType type) {
  return static_cast<TBusyFlags>(1u << type);
}
constexpr bool HasBusyFlag(TBusyFlags set, TBusyFlagType type) {
  return (set & BusyFlagBit(type)) != 0;
}

// What locking a node needs of an outbound: the types it honours when
// somebody else holds them, the types it raises itself, and where its flags
// live. Both paths are empty or end in the separator.
struct TBusyFlagSetup {
  TBusyFlags BusyFlagsScan = 0;
  TBusyFlags BusyFlagsCreate = 0;
  std::string FlagsPath;
  std::string BinkOutPath;
};

// The path a flag type lives under: FlagsPath, BinkOutPath, or none.
std::string FlagPathFor(const TBusyFlagSetup& setup, TBusyFlagType type);

// Creates the flag file FILENAME, empty, with any missing directories; true
// only when this call created it. A file of the same name in another case
// counts as existing, as on a case-insensitive file system.
bool CreateFlagFile(const std::string& fileName);

// True when the flag now exists and this call raised it; bkNone succeeds
// without doing anything.
bool CreateBusyFlag(const TFidoAddr* addr, const std::string& path, TBusyFlagType type,
                    TBusyKind kind);
// Which flag of TYPE exists for ADDR; BSY wins over CSY. File names are
// matched without regard to case.
TBusyKind TestBusyFlag(const TFidoAddr* addr, const std::string& path, TBusyFlagType type);
// Removes both kinds of flag of TYPE.
void RemoveBusyFlag(const TFidoAddr* addr, const std::string& path, TBusyFlagType type);
// Removes the node's point directory and then the zone directory when they
// hold no files (the default zone's directory is the outbound itself).
void RemoveEmptyBinkDirs(const TFidoAddr* addr, const std::string& outPath);

// Locks ADDR: raises and tests flags by the two sets, in the order bfNormal,
// bfBink, bfSemaphore. False when the node is busy; then every flag raised
// here is gone again.
bool LockNode(const TBusyFlagSetup& setup, const TFidoAddr* addr, TBusyKind kind);
// Removes both kinds of flag of every type in BusyFlagsCreate.
void UnlockNode(const TBusyFlagSetup& setup, const TFidoAddr* addr);

// One semaphore flag that this process holds; it lasts as long as the object.
class TBsySemaphore {
 public:
  TBsySemaphore(const TFidoAddr& addr, TBusyKind kind);
  TBsySemaphore(const TBsySemaphore&) = delete;
  TBsySemaphore& operator=(const TBsySemaphore&) = delete;

  // Creates the semaphore; false when it existed already or could not be
  // created (then it does not keep anybody away, so it must not count as
  // held). It is never waited on: its existence is the flag.
  bool Acquire();

  const TFidoAddr& Addr() const { return addr_; }
  const std::string& Name() const { return name_; }
  bool Held() const { return semaphore_.Held(); }

 private:
  TFidoAddr addr_;
  std::string name_;
  sys::NamedSemaphore semaphore_;
};

// The semaphores this process holds, at most one per address (compared with
// Matches, so the domain plays no part).
class THeldSemaphores {
 public:
  TBsySemaphore* Find(const TFidoAddr& addr) const;
  void Add(std::unique_ptr<TBsySemaphore> semaphore);
  // Destroys the last entry for ADDR, closing its semaphore; false when none.
  bool RemoveLast(const TFidoAddr& addr);
  std::size_t Count() const { return items_.size(); }

 private:
  std::vector<std::unique_ptr<TBsySemaphore>> items_;
};

// The process-wide list, or null until the first semaphore flag.
THeldSemaphores* HeldSemaphores();
// Frees the list and closes every semaphore still in it; part of the
// library's unload sequence.
void FreeHeldSemaphores();

}  // namespace brnet
