// The box-copy progress bar.
#include "Progress.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace brnet::cli {
namespace {

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int TerminalWidth() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::string OneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace

std::string HumanSize(std::int64_t bytes) {
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024;
  int unit = 0;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  return OneDecimal(value) + " " + kUnits[unit];
}

std::string ProgressLine(std::int64_t done, std::int64_t total, double seconds, int width) {
  const double part = total > 0 ? std::clamp(static_cast<double>(done) / total, 0.0, 1.0) : 1.0;
  const std::int64_t rate = seconds > 0 ? static_cast<std::int64_t>(done / seconds) : 0;
  std::string tail = "  " + std::to_string(static_cast<int>(part * 100)) + "%  " + HumanSize(done) +
                     " of " + HumanSize(total) + "  " + HumanSize(rate) + "/s";
  const int bar = std::max(10, width - static_cast<int>(tail.size()) - 3);
  const int filled = static_cast<int>(part * bar);
  std::string line(1, '[');
  line.append(filled, '#').append(bar - filled, '-').append(1, ']').append(tail);
  if (width > 0 && static_cast<int>(line.size()) > width - 1) line.resize(std::max(0, width - 1));
  return line;
}

BoxProgress::BoxProgress(std::vector<CopyTarget> targets) : targets_(std::move(targets)) {
  for (const CopyTarget& t : targets_) total_ += t.Size;
  if (total_ < kLargeCopy || ::isatty(STDERR_FILENO) == 0) return;
  start_ = Now();
  thread_ = std::thread([this] { Watch(); });
}

BoxProgress::~BoxProgress() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  Draw(Done());
  std::fputc('\n', stderr);
}

std::int64_t BoxProgress::Done() const {
  std::int64_t done = 0;
  for (const CopyTarget& t : targets_) {
    struct stat st {};
    if (::stat(t.Path.c_str(), &st) == 0) done += std::min<std::int64_t>(st.st_size, t.Size);
  }
  return done;
}

void BoxProgress::Draw(std::int64_t done) const {
  std::fprintf(stderr, "\r%s", ProgressLine(done, total_, Now() - start_, TerminalWidth()).c_str());
  std::fflush(stderr);
}

void BoxProgress::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, std::chrono::milliseconds(200), [this] { return stop_; })) {
    Draw(Done());
  }
}

}  // namespace brnet::cli
