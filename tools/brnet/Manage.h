// What brnet's outbound-managing commands (poll, request, hold, unhold,
// drop, reflavour) share: the set-up attach makes (settings, main address,
// log, the busy flags it raises and honours), the node's lock with its
// wait, --dry-run, and the parsing of flavours, durations and times.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Args.h"
#include "Commands.h"
#include "Spool.h"
#include "log/FidoLog.h"
#include "outbound/Outbound.h"

namespace brnet::cli {

int PollCommand(const std::vector<std::string>& args, const SetupSources& sources);
int RequestCommand(const std::vector<std::string>& args, const SetupSources& sources);
int HoldCommand(const std::vector<std::string>& args, const SetupSources& sources);
int UnholdCommand(const std::vector<std::string>& args, const SetupSources& sources);
int UnlockCommand(const std::vector<std::string>& args, const SetupSources& sources);
int DropCommand(const std::vector<std::string>& args, const SetupSources& sources);
int ReflavourCommand(const std::vector<std::string>& args, const SetupSources& sources);

// The options every managing command takes, EXTRA added.
std::vector<OptionSpec> ManageSpecs(std::vector<OptionSpec> extra);
// The help lines of those options.
extern const char* const kManageOptionsHelp;

// "90", "90s", "15m", "2h", "1d", "1w": seconds; a usage error names OPTION.
std::int64_t ParseDuration(const std::string& text, const std::string& option);
// A Unix time in decimal, or local "YYYY-MM-DD[ HH:MM[:SS]]" (also with "T").
std::int64_t ParseTime(const std::string& text);
// Why LINE, given to brnet request, cannot be a line of a request file;
// empty when it can.
std::string RequestRefusal(const std::string& line);

// One run of a managing command: settings resolved as attach resolves
// them, run as the outbound's owner when started as root, the main address
// in force, the log open, the outbound's places set with the busy flags
// attach raises and honours.
class NodeSession {
 public:
  NodeSession(const ParsedArgs& args, const SetupSources& sources, bool needBink);
  NodeSession(const NodeSession&) = delete;
  NodeSession& operator=(const NodeSession&) = delete;

  const Resolved& Setup() const { return setup_; }
  const std::string& BinkOut() const { return outb_.BinkOutPath(); }
  const std::string& Boxes() const { return outb_.FileBoxesPath(); }
  // The netmail directory's message base, opened; null when none is set.
  TMsgBase* Netmail();
  bool DryRun() const { return dryRun_; }
  // OPERAND as a destination address; its @domain picks the outbound that
  // Locked works in.
  TFidoAddr Node(const std::string& operand);

  // Runs WORK in the outbound of ADDR's domain (BinkOut() is that one
  // meanwhile) while ADDR is locked by its busy flags; a foreign flag (a
  // .bsy, or the .csy of a call binkd is making) is waited out for --wait
  // seconds, then the command fails as busy with nothing changed. With
  // --dry-run WORK runs without a lock: it changes nothing.
  // SEMAPHOREHELD: this process holds the node's semaphore already, for the
  // same address in another domain's outbound (a semaphore's name has no
  // domain); only the flag files are raised then.
  void Locked(const TFidoAddr& addr, const std::function<void()>& work,
              bool semaphoreHeld = false);
  // Makes BinkOut() and the library's naming those of ADDR's domain.
  void Select(const TFidoAddr& addr);

  // ADDR's files without extension in the outbound of its domain, named
  // as there (see BinkBasePath).
  TBsoPath BasePath(const TFidoAddr& addr);

  // A change, printed (with "would " before VERB on a dry run, unless
  // --quiet) and logged with LEVEL when it was made.
  void Report(char level, const TFidoAddr& addr, const std::string& verb, const std::string& what);
  // "ADDR TEXT" on standard output unless --quiet: what was found, not
  // changed.
  void Note(const TFidoAddr& addr, const std::string& text);
  // ADDR as brnet shows it: with "@domain" for another domain.
  std::string Shown(const TFidoAddr& addr) const;

 private:
  // Removes ADDR's flags older than binkd's kill-old-bsy, saying so; true
  // when it removed one.
  bool RemoveOld(const TFidoAddr& addr);
  // Locks ADDR with SETUP, waiting --wait seconds at most; fails as busy.
  void WaitForLock(const TBusyFlagSetup& setup, const TFidoAddr& addr);
  // The destination Node gave for ADDR.
  const Destination& Placed(const TFidoAddr& addr) const;

  Resolved setup_;
  std::unique_ptr<MainAddressScope> main_;
  std::vector<Destination> nodes_;
  TLog log_;
  bool logging_ = false;
  TOutbound outb_;
  int waitSeconds_ = 0;
  bool dryRun_ = false;
  bool quiet_ = false;
};

// Whether PATH matches one of PATTERNS (all match when there are none):
// shell patterns, on the file name when the pattern has no "/".
bool Matches(const std::vector<std::string>& patterns, const std::string& path);

}  // namespace brnet::cli
