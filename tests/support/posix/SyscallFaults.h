// Faults injected into the library's POSIX system-call table: the N-th
// call of one kind fails with a chosen error, or a write stops half way.
// Every call of each kind is counted, so a test can first run an operation
// cleanly to learn how many steps it takes, then fail each step in turn.
#pragma once

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <string>

#include "sys/posix/Syscalls.h"

namespace brnet::test {

enum class Call {
  kOpen,
  kOpenAt,
  kClose,
  kWrite,
  kFtruncate,
  kFsync,
  kCopyFileRange,
  kLinkAt,
  kRenameAt2,
  kMkdirAt,
  kCount,
};

inline const char* CallName(Call call) {
  static constexpr std::array<const char*, static_cast<std::size_t>(Call::kCount)> names = {
      "open",  "openat",          "close",  "write",     "ftruncate",
      "fsync", "copy_file_range", "linkat", "renameat2", "mkdirat"};
  return names[static_cast<std::size_t>(call)];
}

// What the chosen call does instead of its work.
enum class Fault {
  kError,           // fails with the error
  kShortWrite,      // a write writes half its bytes and reports that
  kShortThenError,  // a write writes half, and every later write fails
  kDie,             // the process ends there, as if killed (for a forked child)
  kDieMidWrite,     // a write writes half, then the process ends
};

// The armed fault and the counts so far.
struct FaultState {
  std::array<int, static_cast<std::size_t>(Call::kCount)> counts{};
  Call call = Call::kCount;
  int nth = 0;
  int err = 0;
  Fault fault = Fault::kError;
  bool always = false;
  bool fired = false;
  bool failingWrites = false;
};

// The table is global; one object at a time replaces it and puts the
// system's calls back when destroyed.
class SyscallFaults {
 public:
  SyscallFaults() {
    state_ = FaultState{};
    auto& table = sys::posix::Syscalls();
    table.open = [](const char* p, int f, mode_t m) {
      return Step(Call::kOpen) ? Real().open(p, f, m) : -1;
    };
    table.openat = [](int d, const char* p, int f, mode_t m) {
      if (noUnnamedFiles_ && (f & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
      }
      return Step(Call::kOpenAt) ? Real().openat(d, p, f, m) : -1;
    };
    table.close = [](int fd) {
      if (Step(Call::kClose)) return Real().close(fd);
      Real().close(fd);  // the descriptor is gone all the same, as after EIO
      return -1;
    };
    table.write = [](int fd, const void* data, std::size_t count) -> ssize_t {
      if (state_.failingWrites) {
        errno = state_.err;
        return -1;
      }
      const bool chosen = Chosen(Call::kWrite);
      if (chosen && (state_.fault == Fault::kDie || state_.fault == Fault::kDieMidWrite)) {
        if (state_.fault == Fault::kDieMidWrite) (void)!Real().write(fd, data, count / 2);
        ::_exit(kDiedExit);
      }
      if (chosen && state_.fault != Fault::kError && count > 1) {
        if (state_.fault == Fault::kShortThenError) state_.failingWrites = true;
        return Real().write(fd, data, count / 2);
      }
      if (chosen) {
        errno = state_.err;
        return -1;
      }
      return Real().write(fd, data, count);
    };
    table.ftruncate = [](int fd, off_t size) {
      return Step(Call::kFtruncate) ? Real().ftruncate(fd, size) : -1;
    };
    table.fsync = [](int fd) { return Step(Call::kFsync) ? Real().fsync(fd) : -1; };
    table.copy_file_range = [](int in, off_t* io, int out, off_t* oo, std::size_t n,
                               unsigned f) -> ssize_t {
      return Step(Call::kCopyFileRange) ? Real().copy_file_range(in, io, out, oo, n, f) : -1;
    };
    table.linkat = [](int fd, const char* f, int td, const char* t, int fl) {
      return Step(Call::kLinkAt) ? Real().linkat(fd, f, td, t, fl) : -1;
    };
    table.renameat2 = [](int fd, const char* f, int td, const char* t, unsigned fl) {
      if (otherDevice_ && fd == AT_FDCWD) {
        errno = EXDEV;
        return -1;
      }
      return Step(Call::kRenameAt2) ? Real().renameat2(fd, f, td, t, fl) : -1;
    };
    table.mkdirat = [](int d, const char* p, mode_t m) {
      return Step(Call::kMkdirAt) ? Real().mkdirat(d, p, m) : -1;
    };
  }
  ~SyscallFaults() {
    sys::posix::Syscalls() = sys::posix::SystemSyscalls();
    noUnnamedFiles_ = false;
    otherDevice_ = false;
  }
  SyscallFaults(const SyscallFaults&) = delete;
  SyscallFaults& operator=(const SyscallFaults&) = delete;

  // The NTH call (from 1) of CALL does FAULT with ERR; the counts restart.
  void Arm(Call call, int nth, int err, Fault fault = Fault::kError) {
    state_ = FaultState{};
    state_.call = call;
    state_.nth = nth;
    state_.err = err;
    state_.fault = fault;
  }
  // Every call of CALL fails with ERR from now on; the counts restart.
  void FailAlways(Call call, int err) {
    Arm(call, 1, err);
    state_.always = true;
  }
  // No fault; the counts restart.
  void Disarm() { state_ = FaultState{}; }
  // Conditions that hold besides the armed fault, uncounted: a file system
  // without unnamed files (O_TMPFILE), or sources on another file system
  // (a rename by path fails with EXDEV; those between descriptors work).
  void SetNoUnnamedFiles(bool on) { noUnnamedFiles_ = on; }
  void SetOtherDevice(bool on) { otherDevice_ = on; }
  int Count(Call call) const { return state_.counts[static_cast<std::size_t>(call)]; }
  // The exit status of a process that kDie ended.
  static constexpr int kDiedExit = 86;
  // True when the armed fault has happened.
  bool Fired() const { return state_.fired; }

 private:
  static const sys::posix::SyscallTable& Real() { return sys::posix::SystemSyscalls(); }

  // Counts a call of CALL; true when it is to be made.
  static bool Chosen(Call call) {
    const int n = ++state_.counts[static_cast<std::size_t>(call)];
    if (call != state_.call || (n != state_.nth && !state_.always)) return false;
    state_.fired = true;
    return true;
  }
  static bool Step(Call call) {
    if (!Chosen(call)) return true;
    if (state_.fault == Fault::kDie || state_.fault == Fault::kDieMidWrite) ::_exit(kDiedExit);
    errno = state_.err;
    return false;
  }

  static inline FaultState state_;
  static inline bool noUnnamedFiles_ = false;
  static inline bool otherDevice_ = false;
};

}  // namespace brnet::test
