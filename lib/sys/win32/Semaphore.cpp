// Named kernel semaphores, as the busy flags of other Windows mailers are.
#include "sys/Semaphore.h"

#include <windows.h>

namespace brnet::sys {

NamedSemaphore::CreateResult NamedSemaphore::Create(const std::string& name) {
  Close();
  // An empty name would make an unnamed semaphore: no flag for anyone.
  if (name.empty()) return CreateResult::Failed;
  // Not inheritable (null security attributes): a child never keeps it.
  HANDLE h = ::CreateSemaphoreA(nullptr, 1, 1, name.c_str());
  if (h == nullptr) {
    // ERROR_INVALID_HANDLE: another kind of object holds the name.
    return ::GetLastError() == ERROR_INVALID_HANDLE ? CreateResult::Exists : CreateResult::Failed;
  }
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    // That handle opened the holder's object; dropping it leaves it theirs.
    ::CloseHandle(h);
    return CreateResult::Exists;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return CreateResult::Created;
}

void NamedSemaphore::Close() {
  if (!Held()) return;
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
}

bool NamedSemaphore::Present(const std::string& name) {
  if (name.empty()) return false;
  HANDLE h = ::OpenSemaphoreA(SYNCHRONIZE, FALSE, name.c_str());
  if (h != nullptr) {
    ::CloseHandle(h);
    return true;
  }
  // Another kind of object under the name takes it all the same: creating
  // the semaphore would fail.
  return ::GetLastError() == ERROR_INVALID_HANDLE;
}

std::string NamedSemaphore::PlaceOf(const std::string& name) {
  return name;
}

}  // namespace brnet::sys
