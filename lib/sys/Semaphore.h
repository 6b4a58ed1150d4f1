// System-wide named semaphores, used as busy flags: the existence of the
// object under its name is the flag.
//
// The semantics are those of a Windows named kernel object: creating is atomic
// and reports when the name already exists; a presence test creates nothing;
// the object is visible to every process of the same user (Windows: of the
// session) and to no other user's; it vanishes when its holder closes it or
// ends, also by a crash. The handle is not inherited by
// child processes, so a program started by the holder never keeps it alive.
#pragma once

#include <cstdint>
#include <string>

namespace brnet::sys {

class NamedSemaphore {
 public:
  enum class CreateResult {
    Created,  // this object now holds the name
    Exists,   // somebody holds the name already
    Failed,   // the system could not create it
  };

  NamedSemaphore() = default;
  ~NamedSemaphore() { Close(); }
  NamedSemaphore(const NamedSemaphore&) = delete;
  NamedSemaphore& operator=(const NamedSemaphore&) = delete;

  // Creates the semaphore NAME with count 1 and maximum 1. Anything this
  // object held before is closed first.
  CreateResult Create(const std::string& name);
  bool Held() const { return handle_ != kNoHandle; }
  void Close();

  // True when a semaphore NAME exists; nothing is created or kept.
  static bool Present(const std::string& name);
  // Where the semaphore NAME lives, for a message about a failure to create
  // it (POSIX: its lock file, and why its directory cannot be used when it
  // is another user's, a link or open to others; Windows: its name).
  static std::string PlaceOf(const std::string& name);

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
  std::string name_;         // POSIX: the lock file's name, removed on closing
  unsigned long owner_ = 0;  // POSIX: tells a forked child from its creator
};

}  // namespace brnet::sys
