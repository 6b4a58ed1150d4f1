// Busy flags: how programs that share an outbound (mailers, tossers, this
// library) tell each other that somebody is working on one node.
//
// Three independent types: a flag file beside the node's BSO files, a flag
// file named by a hash of the address in a flags directory, and a named
// kernel semaphore "T-MAIL_SEM_" + hash. A flag that exists already is a
// false result; any other failure to create one raises the system's error
// naming the file. Removals take only what this process raised and ignore
// what is gone, and tests treat every error as "no flag". A missing address
// is an assertion failure of unit Outbound.
//
// A flag file holds what binkd writes into its own, the process id on a
// line, and then "brnet32 " and the host name on a second line; a Bink flag
// gets a third, "append START FLOW", while its holder appends to the flow
// file FLOW (below the outbound) from length START on. A flag that says so,
// names this host and a process that no longer runs was left by a crash: a
// lock that finds one removes it, logs one "!" line and goes on, and cuts
// the flow file the dead holder was appending to back to START, so that no
// line of an append cut short by the crash is left for the mailer. Flags of
// other programs are never judged that way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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

// Where a lock reports the stale flags it removed: level and text.
using TBusyLogFn = std::function<void(char, const std::string&)>;

// The path a flag type lives under: FlagsPath, BinkOutPath, or none.
std::string FlagPathFor(const TBusyFlagSetup& setup, TBusyFlagType type);

// What this process writes into each flag file it creates.
std::string OwnFlagNote();
// The process and host a flag file written by this library names.
struct TFlagOwner {
  std::uint32_t Pid = 0;
  std::string Host;
  std::string AppendFlow;  // the flow file being appended to, if any
  std::int64_t AppendStart = 0;
  // Where the append was to end; -1 when the note does not say.
  std::int64_t AppendEnd = -1;
};
// The owner NOTE (a flag file's content) names when this library wrote it;
// none for anything else, such as binkd's flags or an empty file.
std::optional<TFlagOwner> ParseFlagNote(std::string_view note);

// True when the flag now exists and this call raised it; bkNone succeeds
// without doing anything. False when the flag exists already (for files: a
// file of the same name in another case too, as on a case-insensitive file
// system); a flag file that cannot be created for any other reason raises
// EInOutError naming the file or directory. A flag file gets the missing
// directories it lies in; those beyond PATH are removed again with it.
bool CreateBusyFlag(const TFidoAddr* addr, const std::string& path, TBusyFlagType type,
                    TBusyKind kind);
// Which flag of TYPE exists for ADDR; BSY wins over CSY. File names are
// matched without regard to case.
TBusyKind TestBusyFlag(const TFidoAddr* addr, const std::string& path, TBusyFlagType type);
// Removes the flags of TYPE, of either kind, that this process raised for
// ADDR under PATH, and the directories made for them when they are empty.
// A flag file whose content is no longer ours stays: somebody else made it.
void RemoveBusyFlag(const TFidoAddr* addr, const std::string& path, TBusyFlagType type);
// Removes the flag files of TYPE for ADDR under PATH, of either kind, that
// this library wrote on this host for a process that no longer runs, each
// reported through LOG as one "!" line. True when it removed one. The
// owners of those that announced an append are added to APPENDS when given.
bool RemoveStaleBusyFlags(const TFidoAddr* addr, const std::string& path, TBusyFlagType type,
                          const TBusyLogFn& log, std::vector<TFlagOwner>* appends = nullptr);

// Writes into the Bink flag this process holds for ADDR that it is about to
// append to the flow file FLOWBELOW (below the flag's own root) from length
// START on. Nothing when it holds no Bink flag; a note that cannot be
// written only leaves the flow file uncut after a crash, as it was before.
void NoteFlowAppend(const TFidoAddr& addr, const std::string& flowBelow, std::int64_t start,
                    std::int64_t end);

// Locks ADDR: raises and tests flags by the two sets, in the order bfNormal,
// bfBink, bfSemaphore (a flag file type whose path is empty is left out);
// a stale flag of this library in the way is removed
// and the step tried once more. False when the node is busy; then every
// flag raised here is gone again, as it is when a flag cannot be created
// and the system's error is raised. LOG, when given, hears of stale flags.
bool LockNode(const TBusyFlagSetup& setup, const TFidoAddr* addr, TBusyKind kind,
              const TBusyLogFn& log = {});
// Removes the flags this process raised for ADDR, of every type in
// BusyFlagsCreate; flags of other programs stay.
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
  // The same, telling an existing semaphore from one that failed (errno,
  // or the last error, says why).
  sys::NamedSemaphore::CreateResult Create();

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
// Frees the list and closes every semaphore still in it, and forgets the
// flag files raised (which stay on disk, as after a crash); part of the
// library's unload sequence.
void FreeHeldSemaphores();

}  // namespace brnet
