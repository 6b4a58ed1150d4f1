// The set-up, locking and parsing the outbound-managing commands share.
#include "Manage.h"

#include <fnmatch.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "CliError.h"
#include "Flags.h"
#include "outbound/OutbEdit.h"
#include "util/Ascii.h"

namespace brnet::cli {
namespace {

int ParseWait(const std::string& text) {
  if (text.empty() || text.size() > 6 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    throw UsageError("--wait needs a number of seconds: \"" + text + "\"");
  }
  return std::stoi(text);
}

// A flag binkd raises around its own calls, which LockNode does not test:
// while it exists binkd is dialling the node and reads its flow files.
bool CallInProgress(const TFidoAddr& addr, const std::string& outPath) {
  return !outPath.empty() && !FindNodeFiles(addr, outPath, ".csy").empty();
}

}  // namespace

const char* const kManageOptionsHelp =
    "  -n, --dry-run              print what would change and change nothing\n"
    "  -w, --wait SECONDS         when the node is busy, retry until it is free or the\n"
    "                             time is up\n"
    "  -l, --log FILE             write what changed to a mailer-style log\n"
    "  -q, --quiet                print nothing on success, no warning of what is\n"
    "                             expected\n"
    "  -m, --main ADDRESS         your own address\n"
    "  -t, --type TYPE            the type --dir is for: bink, netmail, box, longbox\n"
    "  -d, --dir DIR              the directory of that type\n"
    "  -c, --binkd-config FILE    take address and directories from binkd's configuration\n"
    "  -h, --help                 show this text\n";

std::vector<OptionSpec> ManageSpecs(std::vector<OptionSpec> extra) {
  const std::vector<OptionSpec> common = {
      {'n', "dry-run", false}, {'w', "wait", true},         {'l', "log", true},
      {'q', "quiet", false},   {'m', "main", true},         {'t', "type", true},
      {'d', "dir", true},      {'c', "binkd-config", true}, {'h', "help", false},
  };
  extra.insert(extra.end(), common.begin(), common.end());
  return extra;
}

std::int64_t ParseDuration(const std::string& text, const std::string& option) {
  const std::size_t digits = text.find_first_not_of("0123456789");
  const std::string number = text.substr(0, digits);
  const std::string unit = digits == std::string::npos ? "s" : ToAsciiLower(text.substr(digits));
  std::int64_t scale = 0;
  if (unit == "s") scale = 1;
  if (unit == "m") scale = 60;
  if (unit == "h") scale = 3600;
  if (unit == "d") scale = 86400;
  if (unit == "w") scale = 7 * 86400;
  if (number.empty() || number.size() > 9 || scale == 0) {
    throw UsageError(option + " needs a duration such as 90s, 15m, 2h, 1d or 1w: \"" + text + "\"");
  }
  return std::stoll(number) * scale;
}

namespace {

// YYYY-MM-DD, then maybe " HH:MM" or "THH:MM", then maybe ":SS".
bool IsTimeForm(const std::string& text) {
  static constexpr const char* kForms[] = {"dddd-dd-dd", "dddd-dd-dd dd:dd", "dddd-dd-dd dd:dd:dd"};
  for (const char* form : kForms) {
    const std::string_view f(form);
    if (text.size() != f.size()) continue;
    bool fits = true;
    for (std::size_t i = 0; i < f.size() && fits; ++i) {
      const char c = text[i];
      fits = f[i] == 'd' ? c >= '0' && c <= '9' : f[i] == ' ' ? c == ' ' || c == 'T' : c == f[i];
    }
    if (fits) return true;
  }
  return false;
}

}  // namespace

std::int64_t ParseTime(const std::string& text) {
  if (!text.empty() && text.size() <= 12 &&
      text.find_first_not_of("0123456789") == std::string::npos) {
    return std::stoll(text);
  }
  // strptime alone takes "2-12-024: 8" as 04:08 on the 2nd: the digits
  // must stand where the form has them.
  if (!IsTimeForm(text)) {
    throw UsageError("--until needs a Unix time or a local time such as \"2026-12-24 18:00\": \"" +
                     text + "\"");
  }
  for (const char* format :
       {"%Y-%m-%d %H:%M:%S", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%dT%H:%M", "%Y-%m-%d"}) {
    std::tm tm{};
    const char* end = ::strptime(text.c_str(), format, &tm);
    if (end == nullptr || *end != '\0') continue;
    tm.tm_isdst = -1;
    // mktime carries a day past the month's end into the next month:
    // "2099-02-30" is no date, not the 2nd of March.
    const std::tm given = tm;
    const std::time_t t = std::mktime(&tm);
    if (tm.tm_mday != given.tm_mday || tm.tm_mon != given.tm_mon) {
      throw UsageError("--until: \"" + text + "\" is no date of the calendar");
    }
    if (t != static_cast<std::time_t>(-1)) return t;
  }
  throw UsageError("--until needs a Unix time or a local time such as \"2026-12-24 18:00\": \"" +
                   text + "\"");
}

NodeSession::NodeSession(const ParsedArgs& args, const SetupSources& sources, bool needBink) {
  SetupOptions options = SetupOptionsFrom(args);
  options.AllPlaces = true;
  setup_ = ResolveSetup(options, sources);
  if (args.Has("wait")) waitSeconds_ = ParseWait(args.Value("wait"));
  dryRun_ = args.Has("dry-run");
  quiet_ = args.Has("quiet");
  if (setup_.MainAddress.empty()) throw Failure(NoMainAddressText());
  if (needBink && setup_.BinkOut.empty()) throw Failure(NoDirectoryText(otBink));
  if (setup_.BinkOut.empty() && setup_.Boxes.empty() && setup_.Netmail.empty()) {
    throw Failure(NoDirectoryText(otBink));
  }
  main_ = std::make_unique<MainAddressScope>(setup_.MainAddress);
  if (!setup_.BinkOut.empty()) CheckDefaultZone(setup_, main_->Addr());
  // The log is the caller's, opened before root becomes the mailer's user;
  // whatever is made in the spool from here on is the mailer's.
  if (!args.Value("log").empty()) {
    log_.SetFileName(args.Value("log"));
    log_.KeepOpen();
  }
  EnterSpool(!setup_.BinkOut.empty() ? setup_.BinkOut
             : !setup_.Boxes.empty() ? setup_.Boxes
                                     : setup_.Netmail);
  if (!args.Value("log").empty()) {
    log_.SetAppShortName("BRNET");
    log_.SetAppName("BRNET");
    log_.LogStart();
    logging_ = true;
  }
  if (!setup_.BinkOut.empty()) outb_.SetBinkOutPath(setup_.BinkOut);
  if (!setup_.Boxes.empty()) outb_.SetFileBoxesPath(setup_.Boxes);
  if (!setup_.Netmail.empty()) outb_.SetNetmailPath(setup_.Netmail);
  // The flags attach raises and honours for a Bink outbound: binkd's .bsy
  // and the plug-in's semaphore.
  const TBusyFlags flags = BusyFlagBit(bfBink) | BusyFlagBit(bfSemaphore);
  outb_.SetBusyFlagsCreate(flags);
  outb_.SetBusyFlagsScan(flags);
}

TMsgBase* NodeSession::Netmail() {
  return outb_.NetmailPath().empty() ? nullptr : &outb_.OpenNetmailBase();
}

TFidoAddr NodeSession::Node(const std::string& operand) {
  if (ParseDestination(operand).HasWildcard())
    throw UsageError("a wildcard names no single node: " + operand);
  nodes_.push_back(ResolveDestination(setup_, *main_, operand));
  return nodes_.back().Addr;
}

const Destination& NodeSession::Placed(const TFidoAddr& addr) const {
  const std::string text = addr.Format(afDomain);
  for (const Destination& d : nodes_) {
    if (d.Addr.Format(afDomain) == text) return d;
  }
  throw std::logic_error("no destination parsed for " + text);
}

std::string NodeSession::Shown(const TFidoAddr& addr) const {
  const Destination& dest = Placed(addr);
  return dest.Place.Main ? addr.ToString() : dest.Text();
}

void NodeSession::Select(const TFidoAddr& addr) {
  const Destination& dest = Placed(addr);
  main_->NameZone(dest.Place.Main ? 0 : dest.Place.DefaultZone);
  if (!dest.Place.Dir.empty()) outb_.SetBinkOutPath(dest.Place.Dir);
}

void NodeSession::Locked(const TFidoAddr& addr, const std::function<void()>& work,
                         bool semaphoreHeld) {
  // The node's flow files, flags and zone directories are named as in its
  // domain's outbound.
  Select(addr);
  if (dryRun_) {
    work();
    return;
  }
  TBusyFlagSetup setup = outb_.BusySetup();
  if (semaphoreHeld) {
    setup.BusyFlagsCreate &= static_cast<TBusyFlags>(~BusyFlagBit(bfSemaphore));
    setup.BusyFlagsScan &= static_cast<TBusyFlags>(~BusyFlagBit(bfSemaphore));
  }
  WaitForLock(setup, addr);
  // WORK may lock another node, naming zones as in its domain.
  const auto unlock = [&] {
    Select(addr);
    UnlockNode(setup, &addr);
  };
  try {
    work();
  } catch (const CliError&) {
    unlock();
    throw;
  } catch (const std::exception& e) {
    unlock();
    throw Failure(e.what());
  }
  unlock();
}

void NodeSession::WaitForLock(const TBusyFlagSetup& setup, const TFidoAddr& addr) {
  const auto log = [this](char level, const std::string& text) {
    if (logging_) log_.Log(level, text);
  };
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(waitSeconds_);
  bool told = false;
  bool cleared = false;
  for (;;) {
    bool locked = false;
    try {
      locked = LockNode(setup, &addr, bkBsy, log);
    } catch (const std::exception& e) {
      throw Failure(e.what());
    }
    if (locked && !CallInProgress(addr, BinkOut())) return;
    if (locked) UnlockNode(setup, &addr);
    // binkd's kill-old-bsy: a flag older than that was left by a crash.
    if (!cleared && (cleared = true) && RemoveOld(addr)) continue;
    if (Clock::now() >= deadline) {
      throw Failure(BusyText(Shown(addr), addr, BinkOut(), setup_.KillOldBsy) +
                    (waitSeconds_ > 0 ? " (waited " + std::to_string(waitSeconds_) + " s)" : "") +
                    "; nothing changed");
    }
    if (!told && !quiet_) {
      std::fprintf(stderr, "brnet: %s: node %s is busy; waiting up to %d s\n",
                   CurrentCommand().c_str(), Shown(addr).c_str(), waitSeconds_);
      told = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
}

bool NodeSession::RemoveOld(const TFidoAddr& addr) {
  const std::vector<std::string> removed = RemoveOldFlags(addr, BinkOut(), setup_.KillOldBsy);
  for (const std::string& text : removed) {
    if (!quiet_)
      std::fprintf(stderr, "brnet: %s: removed %s\n", CurrentCommand().c_str(), text.c_str());
    if (logging_) log_.Log('!', "Removed stale busy flag " + text);
  }
  return !removed.empty();
}

void NodeSession::Note(const TFidoAddr& addr, const std::string& text) {
  if (!quiet_) std::printf("%s %s\n", Shown(addr).c_str(), text.c_str());
}

TBsoPath NodeSession::BasePath(const TFidoAddr& addr) {
  const Destination& dest = Placed(addr);
  main_->NameZone(dest.Place.Main ? 0 : dest.Place.DefaultZone);
  const std::string dir = dest.Place.Dir.empty() ? BinkOut() : dest.Place.Dir;
  return BinkBasePath(addr, dir.back() == '/' ? dir : dir + "/");
}

void NodeSession::Report(char level, const TFidoAddr& addr, const std::string& verb,
                         const std::string& what) {
  if (!quiet_) {
    std::printf("%s%s %s %s\n", dryRun_ ? "would " : "", verb.c_str(), Shown(addr).c_str(),
                Escaped(what).c_str());
  }
  if (!dryRun_ && logging_ && level != ' ') log_.Log(level, verb + " " + Shown(addr) + " " + what);
}

bool Matches(const std::vector<std::string>& patterns, const std::string& path) {
  if (patterns.empty()) return true;
  const std::string base = path.substr(path.find_last_of('/') + 1);
  for (const std::string& pattern : patterns) {
    const std::string& subject = pattern.find('/') == std::string::npos ? base : path;
    if (::fnmatch(pattern.c_str(), subject.c_str(), 0) == 0) return true;
  }
  return false;
}

}  // namespace brnet::cli
