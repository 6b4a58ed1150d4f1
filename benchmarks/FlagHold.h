// How long the attaches of a benchmark hold a node's ".bsy": a thread
// watches the outbound with inotify and times each flag from its creation
// (or its link under the name) to its removal. binkd refuses a whole session
// while a called-in node's flag exists, so this time is what a mailer
// waits for. The times include the watcher's wake-ups, a few microseconds
// each way.
#pragma once

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>

#include "util/Ascii.h"

namespace brnet::bench {

class FlagHoldWatch {
 public:
  explicit FlagHoldWatch(const std::string& dir) : fd_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    if (fd_ >= 0) ::inotify_add_watch(fd_, dir.c_str(), IN_CREATE | IN_MOVED_TO | IN_DELETE);
    thread_ = std::thread([this] { Run(); });
  }
  ~FlagHoldWatch() {
    stop_ = true;
    thread_.join();
    if (fd_ >= 0) ::close(fd_);
  }
  FlagHoldWatch(const FlagHoldWatch&) = delete;
  FlagHoldWatch& operator=(const FlagHoldWatch&) = delete;

  // The mean and the longest time a flag was held, in milliseconds, over
  // the flags that came and went so far.
  double MeanMs() const {
    return holds_ == 0 ? 0 : static_cast<double>(totalNs_) / 1e6 / static_cast<double>(holds_);
  }
  double LongestMs() const { return static_cast<double>(longestNs_) / 1e6; }

 private:
  static bool IsFlag(std::string_view name) {
    return name.size() > 4 && EqualsAsciiNoCase(name.substr(name.size() - 4), ".bsy");
  }

  void Run() {
    alignas(inotify_event) char buffer[4096];
    std::chrono::steady_clock::time_point raised{};
    while (!stop_) {
      pollfd wait{fd_, POLLIN, 0};
      if (::poll(&wait, 1, 20) <= 0) continue;
      const auto now = std::chrono::steady_clock::now();
      const ssize_t got = ::read(fd_, buffer, sizeof buffer);
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->len == 0 || !IsFlag(event->name)) continue;
        if ((event->mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
          raised = now;
        } else if ((event->mask & IN_DELETE) != 0 && raised.time_since_epoch().count() != 0) {
          const auto held = std::chrono::duration_cast<std::chrono::nanoseconds>(now - raised);
          totalNs_ += held.count();
          longestNs_ = std::max<long long>(longestNs_, held.count());
          ++holds_;
          raised = {};
        }
      }
    }
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::atomic<long long> totalNs_{0};
  std::atomic<long long> longestNs_{0};
  std::atomic<long long> holds_{0};
  std::thread thread_;
};

}  // namespace brnet::bench
