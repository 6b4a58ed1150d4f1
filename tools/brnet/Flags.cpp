// Busy flag files judged for the sysop: holder, age, staleness.
#include "Flags.h"

#include <sys/stat.h>

#include <ctime>

#include "outbound/BusyFlags.h"
#include "outbound/OutbEdit.h"
#include "sys/FileSystem.h"
#include "sys/Process.h"

namespace brnet::cli {
namespace {

constexpr std::size_t kFlagHead = 512;
// binkd touches the flags of its sessions every 60 s.
constexpr std::int64_t kBinkdTouch = 120;

std::string Slashed(const std::string& dir) {
  return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

// binkd writes "PID\n", husky tools the pid alone.
std::uint32_t BarePid(const std::string& head) {
  const std::size_t end = head.find_first_of("\r\n");
  const std::string digits = head.substr(0, end);
  if (digits.empty() || digits.size() > 10 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  const unsigned long long pid = std::stoull(digits);
  return pid == 0 || pid > 0xFFFFFFFFull ? 0 : static_cast<std::uint32_t>(pid);
}

BusyFlagView ViewOf(const TBsoPath& path) {
  BusyFlagView view;
  view.Path = path;
  struct stat st {};
  if (::lstat(path.Full().c_str(), &st) == 0) view.Mtime = st.st_mtime;
  view.Head = sys::ReadFileHead(path.Root, path.Below, kFlagHead).value_or("");
  if (const std::optional<TFlagOwner> owner = ParseFlagNote(view.Head)) {
    view.Ours = true;
    view.Pid = owner->Pid;
    view.Host = owner->Host;
    // Anyone may write a flag: its text reaches a terminal masked.
    for (char& c : view.Host) c = static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
  } else {
    view.Pid = BarePid(view.Head);
  }
  return view;
}

}  // namespace

std::vector<BusyFlagView> NodeBusyFlags(const TFidoAddr& addr, const std::string& outPath) {
  std::vector<BusyFlagView> flags;
  if (outPath.empty()) return flags;
  for (const char* ext : {".bsy", ".csy"}) {
    for (const TBsoPath& path : FindNodeFiles(addr, Slashed(outPath), ext)) {
      flags.push_back(ViewOf(path));
    }
  }
  return flags;
}

std::string AgeWords(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  if (seconds < 120) return std::to_string(seconds) + " s";
  if (seconds < 2 * 3600) return std::to_string(seconds / 60) + " min";
  if (seconds < 2 * 86400) return std::to_string(seconds / 3600) + " h";
  return std::to_string(seconds / 86400) + " days";
}

std::string StaleFlagReason(const BusyFlagView& flag, std::int64_t killOldBsy, std::int64_t now,
                            bool byHolder) {
  const std::string host = sys::HostName();
  const std::int64_t age = now - flag.Mtime;
  if (flag.Ours && flag.Host == host) {
    if (sys::ProcessRuns(flag.Pid)) return {};
    return "process " + std::to_string(flag.Pid) + " no longer runs";
  }
  if (killOldBsy > 0 && age > killOldBsy) {
    return "older than kill-old-bsy (" + AgeWords(killOldBsy) + ")";
  }
  if (byHolder && !flag.Ours && flag.Pid != 0 && !sys::ProcessRuns(flag.Pid) && age > kBinkdTouch) {
    return "process " + std::to_string(flag.Pid) + " does not run on this host and the flag " +
           "was last touched " + AgeWords(age) + " ago";
  }
  return {};
}

std::string DescribeFlag(const BusyFlagView& flag, std::int64_t now) {
  std::string holder;
  if (flag.Pid != 0) {
    holder = "pid " + std::to_string(flag.Pid) + (flag.Host.empty() ? "" : " on " + flag.Host);
  } else {
    holder = "no process named";
  }
  return flag.Path.Full() + " (" + holder + ", " + AgeWords(now - flag.Mtime) + " old)";
}

bool RemoveJudgedFlag(const BusyFlagView& flag) {
  return sys::RemoveFileBelowIfHead(flag.Path.Root, flag.Path.Below, flag.Head);
}

std::vector<std::string> RemoveOldFlags(const TFidoAddr& addr, const std::string& outPath,
                                        std::int64_t killOldBsy) {
  std::vector<std::string> removed;
  if (killOldBsy <= 0) return removed;
  const std::int64_t now = std::time(nullptr);
  for (const BusyFlagView& flag : NodeBusyFlags(addr, outPath)) {
    const std::string why = StaleFlagReason(flag, killOldBsy, now, false);
    if (why.empty() || flag.Ours) continue;  // ours go through the lock, which mends appends
    if (RemoveJudgedFlag(flag)) removed.push_back(DescribeFlag(flag, now) + ": " + why);
  }
  return removed;
}

std::string BusyText(const std::string& shown, const TFidoAddr& addr, const std::string& outPath,
                     std::int64_t killOldBsy, const std::string& why) {
  const std::int64_t now = std::time(nullptr);
  std::string text;
  bool stale = false;
  for (const BusyFlagView& flag : NodeBusyFlags(addr, outPath)) {
    text += text.empty() ? "" : "; ";
    text += DescribeFlag(flag, now);
    if (!StaleFlagReason(flag, killOldBsy, now).empty()) {
      text += ", stale";
      stale = true;
    }
  }
  // No flag file: the library's own reason (a flow file locked by another
  // program), else a semaphore.
  const std::size_t colon = why.find(" is busy: ");
  if (text.empty() && colon != std::string::npos) text = why.substr(colon + 10);
  if (text.empty()) text = "another program holds its busy semaphore or flag";
  text = "node " + shown + " is busy: " + text;
  return stale ? text + " ('brnet unlock " + shown + "' removes a stale flag)" : text;
}

}  // namespace brnet::cli
