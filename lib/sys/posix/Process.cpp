// POSIX half of the process services: the pid, kill(pid, 0) and the host
// name.
#include "sys/Process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace brnet::sys {

std::uint32_t CurrentProcessId() {
  return static_cast<std::uint32_t>(::getpid());
}

bool ProcessRuns(std::uint32_t pid) {
  // 0 and values beyond pid_t would address process groups or nobody.
  if (pid == 0 || pid > static_cast<std::uint32_t>(INT_MAX)) return true;
  if (::kill(static_cast<pid_t>(pid), 0) == 0) return true;
  // EPERM: it exists and is another user's.
  return errno != ESRCH;
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace brnet::sys
