// A progress bar on standard error for large copies into file boxes. The
// library copies each file under the node's busy flags; meanwhile a watcher
// thread reads how far each target has grown and redraws one line. Nothing
// is drawn when standard error is not a terminal or the copy is small.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brnet::cli {

// Copies smaller than this in total finish before a bar would be read.
inline constexpr std::int64_t kLargeCopy = 4 << 20;

struct CopyTarget {
  std::string Path;   // where the copy appears
  std::int64_t Size;  // how large it will be
};

// "[#####-----]  50%  2.0 MiB of 4.0 MiB  1.3 MiB/s" in WIDTH characters
// at most.
std::string ProgressLine(std::int64_t done, std::int64_t total, double seconds, int width);

// "512 B", "1.5 KiB", "12.0 MiB", ...
std::string HumanSize(std::int64_t bytes);

class BoxProgress {
 public:
  explicit BoxProgress(std::vector<CopyTarget> targets);
  ~BoxProgress();
  BoxProgress(const BoxProgress&) = delete;
  BoxProgress& operator=(const BoxProgress&) = delete;

 private:
  std::int64_t Done() const;
  void Draw(std::int64_t done) const;
  void Watch();

  std::vector<CopyTarget> targets_;
  std::int64_t total_ = 0;
  double start_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace brnet::cli
