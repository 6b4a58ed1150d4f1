// A notice for whoever debugs the host program: the debugger's output on
// Windows, syslog at debug priority on POSIX. Never fails.
#pragma once

#include <string>

namespace brnet::sys {

void DebugOutput(const std::string& text);

}  // namespace brnet::sys
