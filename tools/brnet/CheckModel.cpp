// The judgements of brnet check, node by node.
#include "CheckModel.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <set>

#include "BinkdConfig.h"
#include "Check.h"
#include "CliError.h"
#include "QueueView.h"
#include "ServiceUnit.h"
#include "outbound/BusyFlags.h"
#include "outbound/OutbEdit.h"
#include "outbound/Outbound.h"
#include "sys/FileSystem.h"
#include "sys/SpoolAccess.h"
#include "util/Ascii.h"

namespace brnet::cli {
namespace {

// What every judgement reads.
struct Context {
  const Resolved& Setup;
  std::optional<BinkdConfig> Config;
  ServiceSandbox Sandbox;
  MailerUser Mailer;
  std::int64_t Now = 0;
  std::set<std::string> DirsSeen;
  CheckResult& Result;
};

// Everything about one node that the judgements share.
struct NodeAt {
  const TOutbNode& Node;
  const OutboundPlace& Place;
  std::string Shown;
  std::string Root;  // the place's directory, ending in "/"
};

std::string Slashed(const std::string& dir) {
  return dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

std::string DirAbove(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// The directory --fix reaches PATH below: the one above the outbound, so
// that the other zones' directories beside it are below it too.
std::string RootOf(const NodeAt& at) {
  return Slashed(DirAbove(at.Root.substr(0, at.Root.size() - 1)));
}

void Add(Context& ctx, const NodeAt& at, std::string kind, const std::string& path, std::string why,
         std::string fix, bool fixable = false) {
  Problem p;
  p.Kind = std::move(kind);
  p.Address = at.Shown;
  p.Path = Printable(path);
  p.Full = path;
  p.Why = Printable(std::move(why));
  p.Fix = std::move(fix);
  p.Fixable = fixable;
  p.Addr = at.Node.Addr();
  p.Domain = at.Place.Domain;
  p.Root = at.Place.Dir.empty() || at.Root != Slashed(at.Place.Dir) ? at.Root : RootOf(at);
  ctx.Result.Problems.push_back(std::move(p));
}

// Only root and the owner can change who may use a file.
bool CanGrant(const struct stat& st) {
  return ::geteuid() == 0 || st.st_uid == ::geteuid();
}

std::string Who(const Context& ctx) {
  return "the mailer's user " +
         (ctx.Mailer.Name.empty() ? std::to_string(ctx.Mailer.Uid) : ctx.Mailer.Name);
}

// PATH (ST as judged), which the mailer's user cannot use: --fix may open
// a directory or a regular file, and only that very one.
void AddAccess(Context& ctx, const NodeAt& at, const std::string& path, const struct stat& st,
               const std::string& why) {
  Add(ctx, at, "access", path, Who(ctx) + why,
      CanGrant(st) ? "--fix gives the mailer's user access" : "ask its owner, or run --fix as root",
      CanGrant(st) && (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)));
  ctx.Result.Problems.back().Dev = st.st_dev;
  ctx.Result.Problems.back().Ino = st.st_ino;
}

// A directory binkd works in: the mailer's user must list, enter and write it.
void JudgeDir(Context& ctx, const NodeAt& at, const std::string& dir) {
  if (!ctx.DirsSeen.insert(dir).second) return;
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || MailerMay(ctx.Mailer, st, 7)) return;
  AddAccess(ctx, at, dir, st,
            " cannot list, enter or write this directory, so binkd cannot send or remove "
            "what lies in it");
}

// A flow file, packet or request: binkd reads it, rewrites it in place and
// removes it.
void JudgeQueueFile(Context& ctx, const NodeAt& at, const std::string& path) {
  for (std::string dir = DirAbove(path); dir.size() + 1 >= at.Root.size(); dir = DirAbove(dir)) {
    JudgeDir(ctx, at, dir);
    if (dir == "/") break;
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || MailerMay(ctx.Mailer, st, 6)) return;
  AddAccess(ctx, at, path, st, " cannot read and rewrite it, so binkd cannot send it");
}

// Whether the mailer's user, and binkd's service, can read FILE and do
// what MODE asks after sending it.
void JudgeUse(Context& ctx, const NodeAt& at, const std::string& file, TOutbSendMode mode,
              bool box) {
  // A box's own directory is judged as such.
  const std::string& spool = !ctx.Setup.BinkOut.empty() ? ctx.Setup.BinkOut : ctx.Setup.Boxes;
  const sys::MailerNeeds needs = box || mode == smNone ? sys::MailerNeeds::kRead
                                 : mode == smKillSent  ? sys::MailerNeeds::kReadDelete
                                                       : sys::MailerNeeds::kReadTruncate;
  if (const std::string why = sys::MailerCannot(spool, file, needs); !why.empty()) {
    Add(ctx, at, "mailer-cannot", file, why,
        "give the mailer's user access, or attach a copy in the spool");
  }
  if (const std::string why = ServiceCannot(ctx.Sandbox, file, mode); !why.empty()) {
    Add(ctx, at, "service-cannot", file, why,
        "attach it from a place the service can use, such as the spool, or widen the unit");
  }
}

void JudgeEntry(Context& ctx, const NodeAt& at, const TOutbFile& f, std::set<std::string>& seen) {
  ++ctx.Result.Entries;
  const bool box = f.OutbType == otFileBox || f.OutbType == otLongFileBox;
  // binkd deletes a box file after sending it.
  const TOutbSendMode mode = box ? smKillSent : f.SendMode;
  struct stat st {};
  if (::stat(f.FullName.c_str(), &st) != 0) {
    // A netmail attach is dropped with its message, which may say more:
    // that is for a person.
    if (errno == ENOENT && f.OutbType == otBink) {
      const bool gone = ProvedGone(f.FullName);
      Add(ctx, at, "missing", f.FullName,
          gone ? "the file is gone: binkd marks the line done and the node gets nothing"
               : "its directory is gone, or it is a link that leads nowhere (a disk not "
                 "mounted?): binkd marks the line done and the node gets nothing",
          gone ? "--fix drops the entry" : "brnet drop " + at.Shown + " --missing drops it", gone);
    } else if (errno == ENOENT && f.OutbType == otArcMail) {
      Add(ctx, at, "missing", f.FullName, "the file of a netmail attach is gone",
          "brnet drop " + at.Shown + " --missing deletes the message");
    } else if (errno != ENOENT) {
      // Not to be looked at (a directory on the way closed to the user
      // check runs as): what the mailer and the service make of it.
      JudgeUse(ctx, at, f.FullName, mode, box);
    }
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    Add(ctx, at, "not-a-file", f.FullName,
        "not a regular file: binkd marks the line done and the node gets nothing",
        "brnet drop " + at.Shown + " PATTERN takes it out");
    return;
  }
  if (!box && !seen.insert(f.FullName).second) {
    Add(ctx, at, "twice", f.FullName, "queued more than once for the node",
        "brnet drop " + at.Shown + " --flavour FLAVOUR PATTERN takes one out");
    return;  // judged already
  }
  JudgeUse(ctx, at, f.FullName, mode, box);
}

// binkd rewrites the flags it holds this often, and more.
constexpr std::int64_t kFlagTouchSeconds = 180;

// A regular flag untouched for minutes, by its NOTE: a dead holder's on
// this machine is mended; another machine's, or one naming no process, is
// named for a person; a live process's is left.
void JudgeFlagNote(Context& ctx, const NodeAt& at, const TBsoPath& flag, const std::string& note,
                   const std::string& host) {
  const std::optional<TFlagOwner> ours = ParseFlagNote(note);
  const long pid = std::strtol(note.c_str(), nullptr, 10);
  const std::string stuck = ": binkd neither calls nor answers the node while it is there";
  if (ours && ours->Host != host) {
    Add(ctx, at, "stale-flag", flag.Full(),
        "busy flag of process " + std::to_string(pid) + " on " + ours->Host +
            ", untouched for minutes" + stuck,
        "if brnet no longer runs there, remove it by hand");
  } else if (pid <= 0 || pid > 0x7FFFFFFF) {
    Add(ctx, at, "stale-flag", flag.Full(),
        "busy flag naming no process, untouched for minutes" + stuck,
        "see who made it (ls -l), then remove it by hand");
  } else if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
    Add(ctx, at, "stale-flag", flag.Full(),
        "busy flag of process " + std::to_string(pid) + ", which no longer runs" + stuck,
        "--fix removes it", true);
    ctx.Result.Problems.back().Content = note;
    ctx.Result.Problems.back().Root = flag.Root;
  }
}

// Busy flags no process holds. binkd touches its own every minute and
// creates them with O_EXCL: one that is not a file is held by nothing,
// and one younger than a few minutes may be a live binkd's on another
// machine sharing the spool.
void JudgeFlags(Context& ctx, const NodeAt& at) {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const std::int64_t killOld = ctx.Config ? ctx.Config->KillOldBsy : 0;
  for (const char* ext : {".bsy", ".csy"}) {
    for (const TBsoPath& flag : FindNodeFiles(at.Node.Addr(), at.Root, ext)) {
      struct stat st {};
      if (::lstat(flag.Full().c_str(), &st) != 0) continue;
      if (!S_ISREG(st.st_mode)) {
        Add(ctx, at, "stale-flag", flag.Full(),
            "a busy flag that is not a file (a link, a FIFO, a directory): no process holds "
            "it, and binkd neither calls nor answers the node while it is there",
            "see who made it (ls -l), then remove it by hand");
        continue;
      }
      const std::int64_t age = ctx.Now - st.st_mtime;
      if (age <= kFlagTouchSeconds || (killOld > 0 && age <= killOld)) continue;
      const std::optional<std::string> note = sys::ReadFileHead(flag.Root, flag.Below, 256);
      if (note) JudgeFlagNote(ctx, at, flag, *note, host);
    }
  }
}

std::string TimeText(std::int64_t t) {
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  ::localtime_r(&tt, &tm);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
  return text;
}

// An expired .hld and binkd's .try after failed calls.
void JudgeState(Context& ctx, const NodeAt& at) {
  for (const TBsoPath& hold : FindNodeFiles(at.Node.Addr(), at.Root, ".hld")) {
    const std::optional<std::string> text = sys::ReadFileHead(hold.Root, hold.Below, 64);
    const std::int64_t until = text ? std::atoll(text->c_str()) : 0;
    if (until <= 0 || until > ctx.Now) continue;
    Add(ctx, at, "hold-expired", hold.Full(),
        "the hold ended " + TimeText(until) +
            " and is still there: binkd removes it when it scans, so it is not scanning this "
            "outbound",
        "--fix removes it; check that binkd runs", true);
    ctx.Result.Problems.back().Content = *text;
    ctx.Result.Problems.back().Root = hold.Root;
  }
  for (const TBsoPath& tried : FindNodeFiles(at.Node.Addr(), at.Root, ".try")) {
    const std::optional<BinkdTries> tries =
        ParseTries(sys::ReadFileHead(tried.Root, tried.Below, 300).value_or(""));
    if (!tries || (tries->Failed == 0 && tries->Comment.empty())) continue;
    const int failed = tries->Failed;
    const std::string& comment = tries->Comment;
    Add(ctx, at, "failed-calls", tried.Full(),
        "binkd's calls failed " + std::to_string(failed) + " time" + (failed == 1 ? "" : "s") +
            (comment.empty() ? "" : ", last: " + Printable(comment)),
        "see binkd's log; a password or address error needs the node line or the peer mended");
  }
}

// The domain binkd takes a bare address of ZONE to: the one whose default
// zone it is, else the domain of an address of ours in that zone, else the
// main address's.
const BinkdDomain* DomainOfZone(const Context& ctx, int zone) {
  const std::string name =
      ctx.Setup.Binkd ? BinkdDomainOfZone(*ctx.Setup.Binkd, zone) : ctx.Setup.MainDomain;
  return FindBinkdDomain(ctx.Config->Domains, name);
}

void JudgeDomainAndCall(Context& ctx, const NodeAt& at) {
  if (!ctx.Config || at.Place.Domain.empty()) return;
  const TFidoAddr& addr = at.Node.Addr();
  const std::string base = BinkBaseName(addr, at.Root);
  const BinkdDomain* right = DomainOfZone(ctx, addr.Zone);
  if (right != nullptr && !EqualsAsciiNoCase(right->Name, at.Place.Domain)) {
    Add(ctx, at, "wrong-domain", base + ".*",
        "the node's mail lies in the outbound of the domain " + at.Place.Domain +
            ", but binkd takes zone " + std::to_string(addr.Zone) + " to the domain " +
            right->Name + " and never looks for it here",
        "--fix moves it to " + right->Path, right->RelativeAt.empty());
    ctx.Result.Problems.back().TargetDomain = right->Name;
    return;
  }
  if (!ctx.Config->Skipped.empty()) return;  // node lines may stand in what was not read
  bool wantsCall = !at.Node.Packets().empty() || !at.Node.Requests().empty();
  for (const TOutbFile& f : at.Node.Files()) wantsCall = wantsCall || f.Flavor != flHold;
  TFidoAddr named = addr;
  named.Domain = at.Place.Domain;
  const std::string why =
      ctx.Setup.Binkd ? WhyBinkdWillNotCall(*ctx.Setup.Binkd, named) : std::string();
  if (wantsCall && !why.empty()) {
    Add(ctx, at, "not-called", base + ".*", why,
        "add a node line for it to binkd's configuration, or brnet move its mail to its hub");
  }
}

void JudgeNode(Context& ctx, const NodeAt& at) {
  ++ctx.Result.Nodes;
  // A list file the scan refused (too large, a link, not a file): what it
  // holds was not judged.
  for (const std::string& why : at.Node.Unreadable()) {
    Add(ctx, at, "unreadable", BinkBaseName(at.Node.Addr(), at.Root) + ".*", why,
        "mend or move aside what the reason names; its entries were not judged");
  }
  std::set<std::string> seen;
  for (const TOutbFile& f : at.Node.Files()) {
    JudgeEntry(ctx, at, f, seen);
    if (f.OutbType != otBink && !ctx.Setup.Boxes.empty()) {
      const NodeAt inBoxes{at.Node, at.Place, at.Shown, Slashed(ctx.Setup.Boxes)};
      JudgeDir(ctx, inBoxes, DirAbove(f.FullName));
    }
  }
  if (at.Place.Dir.empty()) return;
  for (const std::string_view ext : FlowFileExt) {
    for (const TBsoPath& p : FindNodeFiles(at.Node.Addr(), at.Root, ext))
      JudgeQueueFile(ctx, at, p.Full());
  }
  const std::string base = BinkBaseName(at.Node.Addr(), at.Root);
  for (const std::string& packet : at.Node.Packets())
    JudgeQueueFile(ctx, at, DirAbove(base) + "/" + packet);
  for (const TBsoPath& p : FindNodeFiles(at.Node.Addr(), at.Root, ".req"))
    JudgeQueueFile(ctx, at, p.Full());
  JudgeFlags(ctx, at);
  JudgeState(ctx, at);
  JudgeDomainAndCall(ctx, at);
}

// binkd's configuration file itself, when one was read.
std::optional<BinkdConfig> ConfigOf(const ParsedArgs& args, const Resolved& setup) {
  std::string file = args.Value("binkd-config");
  if (file.empty()) file = setup.BinkFrom.substr(0, setup.BinkFrom.find(" (domain "));
  if (file.empty()) return std::nullopt;
  try {
    BinkdConfig config = ReadBinkdConfig(file);
    for (const std::string& skipped : config.Skipped) {
      std::fprintf(stderr, "brnet: warning: %s; node lines not judged\n", skipped.c_str());
    }
    return config;
  } catch (const EConfigError& e) {
    std::fprintf(stderr, "brnet: warning: %s; node lines and domains not judged\n", e.what());
    return std::nullopt;
  }
}

// What this user cannot read (a flow file of another's, mode 0600), or
// what stops the scan of DIR (a message that is no message, a directory of
// the boxes named like a long-form box but not one), is a problem of its
// own; the rest of DIR is not judged then.
void AddUnreadable(Context& ctx, const std::string& address, const std::string& dir,
                   const std::string& why) {
  Problem p;
  p.Kind = "unreadable";
  p.Address = address;
  p.Path = Printable(dir);
  p.Why = Printable(why) + "; nothing else of it was judged";
  p.Fix = ::geteuid() == 0 ? "mend or move aside what the reason names"
                           : "give the mailer's user access, or run check as root";
  ctx.Result.Problems.push_back(std::move(p));
}

// The netmail directory's file attaches: read as the queue reads them; a
// directory that cannot be read is named and left out.
void ScanNetmail(Context& ctx, const OutboundPlace& place, const NodeFilter& filter) {
  struct stat st {};
  if (ctx.Setup.Netmail.empty() || ::stat(ctx.Setup.Netmail.c_str(), &st) != 0) return;
  TOutbound outb;
  outb.SetNetmailPath(ctx.Setup.Netmail);
  try {
    outb.Rescan();
  } catch (const std::exception& e) {
    AddUnreadable(ctx, "-", ctx.Setup.Netmail, e.what());
    return;
  }
  for (int i = 0; i < outb.NodeCount(); ++i) {
    const TOutbNode& node = outb.GetNodes(i);
    if (!filter.Takes(node.Addr(), place)) continue;
    const NodeAt at{node, place, AddressIn(node.Addr(), ""), Slashed(ctx.Setup.Netmail)};
    std::set<std::string> seen;
    for (const TOutbFile& f : node.Files()) JudgeEntry(ctx, at, f, seen);
  }
}

void ScanPlace(Context& ctx, const OutboundPlace& place, MainAddressScope& main,
               const NodeFilter& filter) {
  TOutbound outb;
  outb.SetScanAllZones(true);
  main.NameZone(place.Main ? 0 : place.DefaultZone);
  struct stat st {};
  if (!place.Dir.empty() && ::stat(place.Dir.c_str(), &st) == 0) outb.SetBinkOutPath(place.Dir);
  const bool boxes = (place.Main || place.Dir.empty()) && !ctx.Setup.Boxes.empty();
  if (boxes && ::stat(ctx.Setup.Boxes.c_str(), &st) == 0) outb.SetFileBoxesPath(ctx.Setup.Boxes);
  try {
    outb.Rescan();
  } catch (const std::exception& e) {
    AddUnreadable(ctx, place.Domain.empty() ? "-" : "@" + place.Domain,
                  place.Dir.empty() ? ctx.Setup.Boxes : place.Dir, e.what());
    return;
  }
  for (int i = 0; i < outb.NodeCount(); ++i) {
    const TOutbNode& node = outb.GetNodes(i);
    if (!filter.Takes(node.Addr(), place)) continue;
    const NodeAt at{node, place, AddressIn(node.Addr(), place.Main ? "" : place.Domain),
                    Slashed(place.Dir)};
    JudgeNode(ctx, at);
  }
  if (place.Main || place.Dir.empty()) ScanNetmail(ctx, place, filter);
}

// Whose the mailer's files are is taken from the owner of DIR (the
// outbound); when another user owns the directory above it and others may
// write there, DIR may have been made by any of them in place of the
// mailer's own: nothing is judged for, or handed to, such an owner.
void DoubtMailer(Context& ctx, const std::string& dir) {
  struct stat above {};
  const std::string parent = DirAbove(dir.back() == '/' ? dir.substr(0, dir.size() - 1) : dir);
  if (::stat(parent.c_str(), &above) != 0 || above.st_uid == 0 || above.st_uid == ctx.Mailer.Uid ||
      (above.st_mode & 022) == 0) {
    return;
  }
  Problem p;
  p.Kind = "owner";
  p.Address = "-";
  p.Path = Printable(dir);
  p.Why = "it belongs to uid " + std::to_string(ctx.Mailer.Uid) + " (" +
          Printable(ctx.Mailer.Name) + "), the directory above it to uid " +
          std::to_string(above.st_uid) +
          ", and others may write there: whose binkd's files are is in doubt";
  p.Fix = "give it to binkd's user (chown), then run check again; --fix changes nothing";
  ctx.Result.Problems.push_back(std::move(p));
}

}  // namespace

bool ProvedGone(const std::string& path) {
  struct stat dir {
  }, name{};
  return ::stat(DirAbove(path).c_str(), &dir) == 0 && S_ISDIR(dir.st_mode) &&
         ::lstat(path.c_str(), &name) != 0 && errno == ENOENT;
}

MailerUser OwnerOf(const std::string& dir) {
  std::string path = dir.empty() ? "." : dir;
  struct stat st {};
  while (::stat(path.c_str(), &st) != 0) {
    if (path == "/" || path == ".") throw Failure(dir + ": " + std::strerror(errno));
    path = DirAbove(path);
  }
  MailerUser user;
  user.Uid = st.st_uid;
  user.Gid = st.st_gid;
  user.Groups = {st.st_gid};
  const passwd* pw = ::getpwuid(st.st_uid);
  if (pw == nullptr) return user;
  user.Name = pw->pw_name;
  user.Gid = pw->pw_gid;
  int count = 64;
  user.Groups.resize(static_cast<std::size_t>(count));
  if (::getgrouplist(pw->pw_name, pw->pw_gid, user.Groups.data(), &count) < 0) {
    user.Groups.resize(static_cast<std::size_t>(count));
    ::getgrouplist(pw->pw_name, pw->pw_gid, user.Groups.data(), &count);
  }
  user.Groups.resize(static_cast<std::size_t>(std::max(count, 0)));
  return user;
}

bool MailerMay(const MailerUser& user, const struct stat& st, unsigned want) {
  if (user.Uid == 0) return true;
  unsigned bits = st.st_mode & 7;
  if (st.st_uid == user.Uid) {
    bits = (st.st_mode >> 6) & 7;
  } else if (st.st_gid == user.Gid ||
             std::find(user.Groups.begin(), user.Groups.end(), st.st_gid) != user.Groups.end()) {
    bits = (st.st_mode >> 3) & 7;
  }
  return (bits & want) == want;
}

std::string Printable(std::string text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    // U+0080..U+009F, which a UTF-8 terminal takes as controls (CSI).
    const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c1) text.erase(i, 1);
    if (c1 || c < ' ' || c == 0x7F) text[i] = '?';
  }
  return text;
}

bool SameNode(const TFidoAddr& a, const TFidoAddr& b) {
  return a.Zone == b.Zone && a.Net == b.Net && a.Node == b.Node &&
         std::max<int>(a.Point, 0) == std::max<int>(b.Point, 0);
}

std::string AddressIn(const TFidoAddr& addr, const std::string& domain) {
  TFidoAddr shown = addr;
  shown.Domain = domain;
  return shown.Format(afDomain);
}

NodeFilter::NodeFilter(const Resolved& setup, MainAddressScope& main,
                       const std::vector<std::string>& operands) {
  for (const std::string& text : operands) {
    const Destination dest = ResolveDestination(setup, main, text);
    wanted_.push_back({dest.Addr, text.find('@') == std::string::npos ? "" : dest.Place.Dir});
  }
  main.NameZone(0);
}

bool NodeFilter::Takes(const TFidoAddr& addr, const OutboundPlace& place) const {
  if (wanted_.empty()) return true;
  for (const Wanted& w : wanted_) {
    if (SameNode(w.Addr, addr) && (w.Dir.empty() || w.Dir == place.Dir)) return true;
  }
  return false;
}

CheckResult RunChecks(const ParsedArgs& args, const SetupSources& sources) {
  SetupOptions options = SetupOptionsFrom(args);
  options.AllPlaces = true;
  const Resolved setup = ResolveSetup(options, sources);
  if (setup.MainAddress.empty()) throw Failure(NoMainAddressText());
  if (setup.BinkOut.empty() && setup.Boxes.empty()) throw Failure(NoDirectoryText(otBink));
  MainAddressScope main(setup.MainAddress);
  if (!setup.BinkOut.empty()) CheckDefaultZone(setup, main.Addr());
  CheckResult result;
  result.Mailer = OwnerOf(!setup.BinkOut.empty() ? setup.BinkOut : setup.Boxes);
  Context ctx{setup,         ConfigOf(args, setup), ReadBinkdService(),
              result.Mailer, std::time(nullptr),    {},
              result};
  DoubtMailer(ctx, !setup.BinkOut.empty() ? setup.BinkOut : setup.Boxes);
  const NodeFilter filter(setup, main, args.Operands);
  std::vector<OutboundPlace> places = Places(setup);
  if (places.empty()) places.push_back({});  // file boxes only
  for (const OutboundPlace& place : places) ScanPlace(ctx, place, main, filter);
  if (!result.Problems.empty() && result.Problems.front().Kind == "owner") {
    for (Problem& p : result.Problems) p.Fixable = false;
  }
  return result;
}

}  // namespace brnet::cli
