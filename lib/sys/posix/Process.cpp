// POSIX half of the process services: the pid, kill(pid, 0) and the host
// name.
#include "sys/Process.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace brnet::sys {

namespace {

// The process id, asked of the system once: every flag this process raises
// names it, and glibc no longer keeps it. Only a fork changes it, and the
// child forgets the copy before it returns from fork (glibc runs the handler
// in the child of every fork(); a child made by a bare clone that then calls
// into the library is not supported).
pid_t gPid = 0;

void ForgetPid() {
  gPid = 0;
}

}  // namespace

std::uint32_t CurrentProcessId() {
  if (gPid == 0) {
    static const int registered = ::pthread_atfork(nullptr, nullptr, ForgetPid);
    (void)registered;
    gPid = ::getpid();
  }
  return static_cast<std::uint32_t>(gPid);
}

bool ProcessRuns(std::uint32_t pid) {
  // 0 and values beyond pid_t would address process groups or nobody.
  if (pid == 0 || pid > static_cast<std::uint32_t>(INT_MAX)) return true;
  if (::kill(static_cast<pid_t>(pid), 0) == 0) return true;
  // EPERM: it exists and is another user's.
  return errno != ESRCH;
}

std::string HostName() {
  // Asked once per process. The name only tells flags of this machine from
  // other machines' (a flag is judged stale only on the machine that wrote
  // it); were the machine renamed while the process runs, its flags would
  // carry the old name, which other processes never judge stale, and this
  // process still knows them as its own by the note it wrote: the safe side.
  static const std::string name = [] {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return std::string();
    return std::string(buffer);
  }();
  return name;
}

}  // namespace brnet::sys
