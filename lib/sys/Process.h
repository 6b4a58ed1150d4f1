// Who a process is and whether it still runs: what a busy flag file records
// of the program that wrote it, so that a flag left by a crash can be told
// from one whose holder is at work.
#pragma once

#include <cstdint>
#include <string>

namespace brnet::sys {

// The id of the running process, as other processes of this machine see it.
std::uint32_t CurrentProcessId();

// False only when the system says for sure that no process PID exists on
// this machine; a process that exists but belongs to somebody else runs.
bool ProcessRuns(std::uint32_t pid);

// This machine's name as the system reports it; empty when it cannot.
std::string HostName();

}  // namespace brnet::sys
