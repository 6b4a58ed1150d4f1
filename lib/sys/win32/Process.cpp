// Win32 half of the process services.
#include <windows.h>

#include "sys/Process.h"

namespace brnet::sys {

std::uint32_t CurrentProcessId() {
  return ::GetCurrentProcessId();
}

bool ProcessRuns(std::uint32_t pid) {
  if (pid == 0) return true;
  HANDLE h = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (h == nullptr) {
    // Access denied: it exists and is another user's. An invalid parameter
    // is what the system says for an id no process has.
    return ::GetLastError() != ERROR_INVALID_PARAMETER;
  }
  // A process that has ended stays openable while somebody holds a handle
  // to it; its object is then signalled.
  const bool running = ::WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  ::CloseHandle(h);
  return running;
}

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!::GetComputerNameA(name, &size)) return {};
  return std::string(name, size);
}

}  // namespace brnet::sys
