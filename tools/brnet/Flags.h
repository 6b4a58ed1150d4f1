// A node's busy flag files as a sysop needs to see them: who holds each one
// (our flags name process and host, binkd's a process), since when, and
// whether it is stale, left by a holder that is gone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "addr/FidoAddr.h"
#include "outbound/OutbNaming.h"

namespace brnet::cli {

struct BusyFlagView {
  TBsoPath Path;
  std::string Head;        // its first bytes, as read when judged
  std::int64_t Mtime = 0;  // last touched (binkd touches its flags every minute)
  std::uint32_t Pid = 0;   // 0 when the flag names no process
  std::string Host;        // the host our own flags name; empty for others'
  bool Ours = false;       // written by this library
};

// The node's .bsy and .csy files under OUTPATH, any spelling; a name that is
// not a regular file is shown too (it blocks binkd all the same).
std::vector<BusyFlagView> NodeBusyFlags(const TFidoAddr& addr, const std::string& outPath);

// Why FLAG is stale, or empty when its holder may be at work:
// - ours, naming this host and a process that no longer runs;
// - older than KILLOLDBSY seconds (binkd's kill-old-bsy; 0: never by age),
//   unless it is ours and its process runs here;
// - binkd's (a bare process id) whose process does not run on this host and
//   that has not been touched for two minutes, when BYHOLDER is set: binkd
//   keeps the flags of its sessions fresh.
std::string StaleFlagReason(const BusyFlagView& flag, std::int64_t killOldBsy, std::int64_t now,
                            bool byHolder = true);

// "/out/139c04d2.bsy (pid 42 on host, 2 h old)".
std::string DescribeFlag(const BusyFlagView& flag, std::int64_t now);

// "5 s", "3 min", "7 h", "2 days".
std::string AgeWords(std::int64_t seconds);

// Removes FLAG when it is still the file judged (it begins as it did).
// False when it changed or went meanwhile.
bool RemoveJudgedFlag(const BusyFlagView& flag);

// Removes the node's flags older than KILLOLDBSY (0: none), as binkd does;
// the texts of those removed, each with its reason.
std::vector<std::string> RemoveOldFlags(const TFidoAddr& addr, const std::string& outPath,
                                        std::int64_t killOldBsy);

// "node SHOWN is busy: " and its flags with their holders and ages (or,
// when no flag file is there, the reason after "is busy: " in WHY, the
// library's text, else the semaphore), with the unlock command when one is
// stale.
std::string BusyText(const std::string& shown, const TFidoAddr& addr, const std::string& outPath,
                     std::int64_t killOldBsy, const std::string& why = {});

}  // namespace brnet::cli
