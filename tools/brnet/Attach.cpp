// brnet attach: every file checked first, then attached through the
// library's outbound under the node's busy flags.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "Args.h"
#include "BoxCopies.h"
#include "CliError.h"
#include "Commands.h"
#include "Flags.h"
#include "Progress.h"
#include "ServiceUnit.h"
#include "Spool.h"
#include "log/FidoLog.h"
#include "msgbase/MailMsg.h"
#include "outbound/Outbound.h"
#include "sys/FileSystem.h"
#include "sys/Path.h"
#include "sys/SpoolAccess.h"
#include "util/Ascii.h"
#include "util/Words.h"

namespace brnet::cli {
namespace {

constexpr const char* kHelp =
    "Usage: brnet attach [OPTIONS] ADDRESS FILE...\n"
    "Attaches the FILEs to the node ADDRESS for the mailer to send. Every FILE is\n"
    "checked first; when one is refused, nothing is attached.\n"
    "\n"
    "  -f, --flavour FLAVOUR      immediate, crash, direct, normal (default) or hold;\n"
    "                             also i, c, d, n, h\n"
    "      --kill-sent            the mailer deletes each file after sending it\n"
    "      --trunc-sent           the mailer truncates each file after sending it\n"
    "  -t, --type TYPE            bink (flow files, default), netmail (file-attach\n"
    "                             messages), box or longbox (copies in file boxes)\n"
    "  -m, --main ADDRESS         your own address\n"
    "  -d, --dir DIR              the directory of the type: outbound, netmail\n"
    "                             directory or file boxes\n"
    "  -c, --binkd-config FILE    take address and directories from binkd's configuration\n"
    "  -w, --wait SECONDS         when the node is busy, retry until it is free or the\n"
    "                             time is up\n"
    "  -l, --log FILE             write what was attached to a mailer-style log\n"
    "  -a, --again                queue a file that waits for the node already\n"
    "  -q, --quiet                print nothing on success, no warning of what is\n"
    "                             expected\n"
    "  -h, --help                 show this text\n";

const std::vector<OptionSpec> kSpecs = {
    {'f', "flavour", true},      {0, "kill-sent", false}, {0, "trunc-sent", false},
    {'t', "type", true},         {'m', "main", true},     {'d', "dir", true},
    {'c', "binkd-config", true}, {'w', "wait", true},     {'l', "log", true},
    {'q', "quiet", false},       {'h', "help", false},    {'a', "again", false},
};

struct Request {
  TOutbFlavor Flavor = flNormal;
  TOutbSendMode Mode = smNone;
  TOutbType Type = otBink;
  int WaitSeconds = 0;
  std::string Log;
  bool Quiet = false;
  bool Again = false;
};

int ParseSeconds(const std::string& text) {
  if (text.empty() || text.size() > 6 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    throw UsageError("--wait needs a number of seconds: \"" + text + "\"");
  }
  return std::stoi(text);
}

Request ParseRequest(const ParsedArgs& args) {
  Request r;
  if (args.Has("flavour")) r.Flavor = ParseFlavourName(args.Value("flavour"));
  if (args.Has("kill-sent") && args.Has("trunc-sent")) {
    throw UsageError("--kill-sent and --trunc-sent exclude each other");
  }
  if (args.Has("kill-sent")) r.Mode = smKillSent;
  if (args.Has("trunc-sent")) r.Mode = smTruncSent;
  if (args.Has("wait")) r.WaitSeconds = ParseSeconds(args.Value("wait"));
  r.Log = args.Value("log");
  r.Quiet = args.Has("quiet");
  r.Again = args.Has("again");
  return r;
}

// A path with its line breaks shown as \n and \r.
std::string Shown(const std::string& path) {
  return Escaped(path);
}

// NAME made absolute against the current directory; "." parts dropped, ".."
// left alone (through a symbolic link it does not mean the textual parent).
std::string Absolute(const std::string& name) {
  std::string full = name;
  if (full.empty() || full[0] != '/') {
    const std::string cwd = sys::CurrentDirectory();
    if (cwd.empty())
      throw Failure("cannot read the current directory: " + std::string(std::strerror(errno)));
    full = cwd + "/" + name;
  }
  std::string out;
  std::size_t start = 0;
  while (start <= full.size()) {
    std::size_t end = full.find('/', start);
    if (end == std::string::npos) end = full.size();
    const std::string part = full.substr(start, end - start);
    if (!part.empty() && part != ".") out += "/" + part;
    start = end + 1;
  }
  return out.empty() ? "/" : out;
}

std::string BaseName(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

// Why FILE (absolute) cannot be attached; empty when it can. The owner of
// SPOOL is the user who has to read it (and delete or truncate it) when it
// is sent. The library refuses the same, at the first such file; here
// every file is named at once.
std::string Refusal(const std::string& file, const Request& r, const std::string& spool) {
  if (file.find_first_of("\r\n") != std::string::npos) {
    return "the path contains a line break; the mailer reads one path per line";
  }
  if (std::any_of(file.begin(), file.end(), IsControlChar)) {
    return "the path contains a control character";
  }
  if (r.Type != otFileBox && r.Type != otLongFileBox && !file.empty() &&
      (file.back() == ' ' || file.front() == ' ')) {
    return "the path begins or ends with a blank, which the mailer trims off (it would take "
           "another file)";
  }
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory; attach the files in it";
  if (!S_ISREG(st.st_mode)) return "is not a regular file";
  // A box copy is the mailer's own; a moved file needs its directory.
  const bool copied = (r.Type == otFileBox || r.Type == otLongFileBox) && r.Mode != smKillSent;
  if (!copied) {
    const sys::MailerNeeds needs =
        r.Mode == smKillSent && r.Type != otFileBox && r.Type != otLongFileBox
            ? sys::MailerNeeds::kReadDelete
        : r.Mode == smTruncSent && r.Type == otBink ? sys::MailerNeeds::kReadTruncate
                                                    : sys::MailerNeeds::kRead;
    const std::string cannot = sys::MailerCannot(spool, file, needs);
    if (!cannot.empty()) return cannot;
  }
  if (::access(file.c_str(), R_OK) != 0)
    return std::string("not readable: ") + std::strerror(errno);
  if (r.Type == otArcMail && file.find_first_of(" \t") != std::string::npos) {
    return "a netmail attach lists its files separated by blanks; this path has a blank";
  }
  if (r.Type == otArcMail && file.size() > TMailMsg::kMaxSubjectLength) {
    return "a netmail attach holds a path of at most " +
           std::to_string(TMailMsg::kMaxSubjectLength) + " characters";
  }
  return {};
}

// Refusals of box copies: a name already waiting in the box, or twice in
// the list.
void CheckBox(const std::vector<std::string>& files, const std::string& boxDir,
              std::vector<std::string>& refusals) {
  std::set<std::string> names;
  for (const std::string& file : files) {
    const std::string name = BaseName(file);
    struct stat st {};
    if (::lstat((boxDir + name).c_str(), &st) == 0) {
      refusals.push_back(Shown(file) + ": " + boxDir + name + " is waiting in the box already");
    } else if (!names.insert(name).second) {
      refusals.push_back(Shown(file) + ": another file of the same name goes into " + boxDir);
    }
  }
}

// The live lines of the node's flow files, every flavour: path -> the flow
// file it waits in.
std::map<std::string, std::string> Waiting(const std::string& base) {
  std::map<std::string, std::string> waiting;
  const std::size_t slash = base.find_last_of('/') + 1;
  for (int f = 0; f < kFlavorCount; ++f) {
    const std::string name = base.substr(slash) + std::string(FlowFileExt[f]);
    // Read as the scan reads it: no link, no FIFO, nothing huge. One that
    // cannot be read is not ours to append to: only the check is skipped.
    std::optional<std::string> text;
    try {
      text = sys::ReadWholeFileBelow(base.substr(0, slash), name, sys::kMaxListFileBytes);
    } catch (const EInOutError& e) {
      std::fprintf(stderr, "brnet: warning: %s; not checked for files waiting in it\n",
                   Escaped(PlatformWording(e.what())).c_str());
    }
    if (!text) continue;
    for (std::string line : TextLines(*text)) {
      while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
      if (line.empty() || line[0] == '~') continue;
      if (line[0] == '^' || line[0] == '#') line.erase(0, 1);
      waiting.emplace(line, base + std::string(FlowFileExt[f]));
    }
  }
  return waiting;
}

std::vector<std::string> CheckedFiles(const std::vector<std::string>& operands, const Request& r,
                                      const std::string& boxDir, const std::string& flowBase,
                                      const std::string& spool) {
  std::vector<std::string> files;
  std::vector<std::string> refusals;
  const std::map<std::string, std::string> waiting =
      flowBase.empty() || r.Again ? std::map<std::string, std::string>{} : Waiting(flowBase);
  for (const std::string& operand : operands) {
    files.push_back(Absolute(operand));
    if (auto it = waiting.find(files.back()); it != waiting.end()) {
      refusals.push_back(Shown(files.back()) + ": waits for the node already, in " + it->second +
                         " (--again queues it once more)");
      continue;
    }
    const std::string why = Refusal(files.back(), r, spool);
    if (!why.empty()) refusals.push_back(Shown(files.back()) + ": " + why);
  }
  if (refusals.empty() && !boxDir.empty()) CheckBox(files, boxDir, refusals);
  if (refusals.empty()) return files;
  for (std::size_t i = 0; i + 1 < refusals.size(); ++i) {
    std::fprintf(stderr, "brnet: %s\n", refusals[i].c_str());
  }
  throw Failure(refusals.back() + (operands.size() > 1 ? " (nothing attached)" : ""));
}

// Files binkd's service will not see, or not delete or truncate after
// sending: attached all the same (the unit may change before the call),
// but said, unless -q.
void WarnService(const std::vector<std::string>& files, TOutbSendMode mode) {
  const ServiceSandbox sandbox = ReadBinkdService();
  for (const std::string& file : files) {
    const std::string why = ServiceCannot(sandbox, file, mode);
    if (!why.empty())
      std::fprintf(stderr, "brnet: warning: %s: %s\n", Shown(file).c_str(), why.c_str());
  }
}

std::vector<CopyTarget> BoxTargets(const std::vector<std::string>& files,
                                   const std::string& boxDir) {
  std::vector<CopyTarget> targets;
  for (const std::string& file : files) {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) targets.push_back({boxDir + BaseName(file), st.st_size});
  }
  return targets;
}

void SetUpOutbound(TOutbound& outb, const Request& r, const std::string& dir) {
  switch (r.Type) {
    case otBink:
      outb.SetBinkOutPath(dir);
      break;
    case otArcMail:
      outb.SetNetmailPath(dir);
      break;
    case otFileBox:
    case otLongFileBox:
      outb.SetFileBoxesPath(dir);
      break;
  }
  // The flags the plug-in raises and honours for each type.
  const TBusyFlags flags =
      r.Type == otBink ? BusyFlagBit(bfBink) | BusyFlagBit(bfSemaphore) : BusyFlagBit(bfSemaphore);
  outb.SetBusyFlagsCreate(flags);
  outb.SetBusyFlagsScan(flags);
}

// Where a busy node's flags are: the Bink outbound, and binkd's kill-old-bsy.
struct BusyPlace {
  std::string Shown;
  std::string BinkOut;  // empty for the other types: they raise no flag files
  std::int64_t KillOldBsy = 0;
};

// Flags older than kill-old-bsy removed, as binkd removes them; true when one was.
bool RemoveOld(const TFidoAddr& dest, const BusyPlace& place, const Request& r) {
  const std::vector<std::string> removed = RemoveOldFlags(dest, place.BinkOut, place.KillOldBsy);
  for (const std::string& text : removed) {
    if (!r.Quiet) std::fprintf(stderr, "brnet: attach: removed %s\n", text.c_str());
  }
  return !removed.empty();
}

// AttachFiles, tried again while the node is busy and the wait lasts.
void AttachWaiting(TOutbound& outb, const TFidoAddr& dest, const std::vector<std::string>& files,
                   const Request& r, const std::string& boxDir, const BusyPlace& place) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(r.WaitSeconds);
  bool told = false;
  bool cleared = false;
  for (;;) {
    try {
      BoxProgress progress(boxDir.empty() ? std::vector<CopyTarget>{} : BoxTargets(files, boxDir));
      outb.AttachFiles(&dest, &files, r.Flavor, r.Type, r.Mode);
      return;
    } catch (const ENodeBusy& e) {
      if (!cleared && (cleared = true) && RemoveOld(dest, place, r)) continue;
      if (Clock::now() >= deadline) {
        throw Failure(
            BusyText(place.Shown, dest, place.BinkOut, place.KillOldBsy, e.what()) +
            (r.WaitSeconds > 0 ? " (waited " + std::to_string(r.WaitSeconds) + " s)" : "") +
            "; nothing attached");
      }
      if (!told && !r.Quiet) {
        std::fprintf(stderr, "brnet: attach: node %s is busy; waiting up to %d s\n",
                     place.Shown.c_str(), r.WaitSeconds);
        told = true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  }
}

int Attach(const ParsedArgs& args, const SetupSources& sources) {
  if (args.Operands.empty())
    throw UsageError("missing ADDRESS (brnet attach [OPTIONS] ADDRESS FILE...)");
  if (args.Operands.size() < 2) throw UsageError("no FILE given to attach");
  Request r = ParseRequest(args);
  const Resolved setup = ResolveSetup(SetupOptionsFrom(args), sources);
  r.Type = setup.Type;
  if (setup.MainAddress.empty()) throw Failure(NoMainAddressText());
  if (setup.DirOf(r.Type).empty()) throw Failure(NoDirectoryText(r.Type));
  const bool box = r.Type == otFileBox || r.Type == otLongFileBox;
  if (box && r.Flavor != flNormal && r.Flavor != flHold) {
    throw Failure("flavour " + FlavourName(r.Flavor) +
                  ": file boxes have normal and hold only; give -f normal or -f hold");
  }
  MainAddressScope main(setup.MainAddress);
  const Destination target = ResolveDestination(setup, main, args.Operands[0]);
  const TFidoAddr& dest = target.Addr;
  const std::string& dir = r.Type == otBink ? target.Place.Dir : setup.DirOf(r.Type);
  // The log is the caller's: opened before root becomes the mailer's user.
  TLog log;
  if (!r.Log.empty()) {
    log.SetFileName(r.Log);
    log.KeepOpen();
  }
  // Whatever is made from here on is the mailer's.
  EnterSpool(dir);
  const std::string slashed = dir + (dir.back() == '/' ? "" : "/");
  const std::string boxDir =
      box ? FileBoxDirName(dest, slashed, r.Flavor, r.Type == otLongFileBox) : std::string();
  const std::string flowBase = r.Type == otBink ? BinkBaseName(dest, slashed) : std::string();
  const std::vector<std::string> files =
      CheckedFiles({args.Operands.begin() + 1, args.Operands.end()}, r, boxDir, flowBase, dir);
  // A box file is the mailer's own, copied or moved into the spool.
  if (!r.Quiet && !box) WarnService(files, r.Mode);

  TOutbound outb;
  if (!r.Log.empty()) {
    // Four characters in every line ("BRNE"), the whole name in the banner.
    log.SetAppShortName("BRNET");
    log.SetAppName("BRNET");
    log.LogStart();
    outb.SetOnLogString(
        [&log](const void*, char level, std::string_view text) { log.Log(level, text); });
  }
  SetUpOutbound(outb, r, dir);
  const BusyPlace busy{target.Text(), r.Type == otBink ? dir : std::string(), setup.KillOldBsy};
  try {
    AttachWaiting(outb, dest, files, r, boxDir, busy);
  } catch (const CliError&) {
    throw;
  } catch (const std::exception& e) {
    throw Failure(e.what());
  }
  // Held mail waits for the node to call: whether binkd would call it does
  // not matter then.
  if (r.Type != otArcMail && r.Flavor != flHold) WarnIfNotCalled(setup, target, r.Quiet);
  // A drop removes what it knows to be a copy.
  for (const std::string& file : files) {
    if (box && r.Mode != smKillSent) MarkBoxCopy(boxDir + BaseName(file), file);
  }
  if (!r.Quiet) {
    for (const std::string& file : files) {
      std::printf("%s %s %s %s\n", target.Text().c_str(), FlavourName(r.Flavor).c_str(),
                  ModeName(r.Mode).c_str(), file.c_str());
    }
  }
  return 0;
}

}  // namespace

TOutbFlavor ParseFlavourName(const std::string& text) {
  const std::string f = ToAsciiLower(text);
  if (f == "immediate" || f == "imm" || f == "i") return flImm;
  if (f == "crash" || f == "c") return flCrash;
  if (f == "direct" || f == "d") return flDirect;
  if (f == "normal" || f == "n") return flNormal;
  if (f == "hold" || f == "h") return flHold;
  throw UsageError("unknown flavour: \"" + text +
                   "\"; give immediate, crash, direct, normal or hold");
}

int AttachCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  return RunCommand(args, kSpecs, kHelp,
                    [&](const ParsedArgs& parsed) { return Attach(parsed, sources); });
}

}  // namespace brnet::cli
