// brnet check: every entry of the outbound that binkd will never send, with
// the reason and the fix, one line each; --fix mends what is safe to mend.
#include "Check.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "Args.h"
#include "CheckModel.h"
#include "CliError.h"
#include "Json.h"
#include "Manage.h"
#include "ServiceUnit.h"
#include "outbound/OutbEdit.h"
#include "sys/FileSystem.h"
#include "util/Ascii.h"

namespace brnet::cli {
namespace {

std::string CheckHelp() {
  return std::string(
             "Usage: brnet check [OPTIONS] [ADDRESS...]\n"
             "Lists every entry of the outbound (every domain, the file boxes) that binkd\n"
             "will never send, and why, one line each with the fix, then a summary line.\n"
             "It reads binkd's configuration and the sandbox of its systemd service.\n"
             "Exit status 0 when all is well, 4 when problems were found, 1 on error.\n"
             "\n"
             "      --json                 print one JSON object instead\n"
             "      --fix                  mend what is safe to mend: drop entries whose file\n"
             "                             is gone, remove busy flags of dead processes and\n"
             "                             expired holds, move entries to the right domain's\n"
             "                             outbound, give the mailer's user access to flow\n"
             "                             files and directories; payload files stay\n") +
         kManageOptionsHelp;
}

// One line of the report.
void PrintProblem(const Problem& p) {
  std::printf("%s %s %s: %s; %s\n", p.Address.c_str(), p.Kind.c_str(), p.Path.c_str(),
              p.Why.c_str(), p.Fix.c_str());
}

std::string Summary(const CheckResult& result, bool fixed) {
  std::size_t fixable = 0;
  std::set<std::string> nodes;
  for (const Problem& p : result.Problems) {
    fixable += p.Fixable ? 1 : 0;
    nodes.insert(p.Address);
  }
  const auto count = [](std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  const std::string scope = count(result.Entries, "entry", "entries") + " of " +
                            count(result.Nodes, "node", "nodes") + " checked";
  if (result.Problems.empty()) {
    return (fixed ? "check: nothing left for a person, " : "check: all well, ") + scope;
  }
  std::string text = "check: " + std::to_string(result.Problems.size()) + " problem" +
                     (result.Problems.size() == 1 ? "" : "s") + " at " +
                     std::to_string(nodes.size()) + " node" + (nodes.size() == 1 ? "" : "s");
  if (fixable > 0 && !fixed) text += " (" + std::to_string(fixable) + " mended by --fix)";
  return text + "; " + scope;
}

void PrintJson(const CheckResult& result) {
  std::string out = "{\"problems\":[";
  std::size_t fixable = 0;
  for (std::size_t i = 0; i < result.Problems.size(); ++i) {
    const Problem& p = result.Problems[i];
    fixable += p.Fixable ? 1 : 0;
    out += (i ? ",{" : "{") + JsonField("address", p.Address) + "," + JsonField("kind", p.Kind) +
           "," + JsonField("path", p.Path) + "," + JsonField("why", p.Why) + "," +
           JsonField("fix", p.Fix) + ",\"fixable\":" + (p.Fixable ? "true" : "false") + "}";
  }
  out += "],\"count\":" + std::to_string(result.Problems.size()) +
         ",\"fixable\":" + std::to_string(fixable) + ",\"nodes\":" + std::to_string(result.Nodes) +
         ",\"entries\":" + std::to_string(result.Entries) + "}\n";
  std::fputs(out.c_str(), stdout);
}

int Report(const CheckResult& result, bool json, bool fixed, bool quiet) {
  if (json) {
    PrintJson(result);
  } else if (!quiet || !result.Problems.empty()) {
    for (const Problem& p : result.Problems) PrintProblem(p);
    std::printf("%s\n", Summary(result, fixed).c_str());
  }
  return result.Problems.empty() ? 0 : kExitProblems;
}

// The lines --fix printed before the session (and its log) existed.
struct FixLine {
  char Level;
  std::string Node;  // the address with its outbound's domain
  std::string Verb, What;
};

// --- fixes made before the session: access and dead holders' flags -----

// Opens ROOT followed by BELOW without following any link below ROOT, nor
// climbing out of it by ".."; -1 with errno on failure.
int OpenNoFollow(const std::string& root, const std::string& below) {
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::size_t start = 0;
  while (fd >= 0 && start < below.size()) {
    const std::size_t slash = below.find('/', start);
    const std::string part = below.substr(start, slash - start);
    start = slash == std::string::npos ? below.size() : slash + 1;
    if (part.empty()) continue;
    const int next =
        part == "." || part == ".."
            ? (errno = EPERM, -1)
            : ::openat(fd, part.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    fd = next;
  }
  return fd;
}

// Why what lies at P's path now (ST) is not handed over: it must be the
// very directory or single-named file judged, still closed to the mailer.
std::string WhyNotGrant(const MailerUser& user, const Problem& p, const struct stat& st) {
  const bool dir = S_ISDIR(st.st_mode);
  if (!dir && !S_ISREG(st.st_mode)) return "neither a file nor a directory";
  if (st.st_dev != p.Dev || st.st_ino != p.Ino) return "it was replaced since it was judged";
  // Another name of it may lie anywhere: handing it over would hand that.
  if (!dir && st.st_nlink != 1) return "it has other names (hard links); left as it is";
  if (MailerMay(user, st, dir ? 7 : 6)) return "the mailer's user may use it now";
  return {};
}

// Opens the object behind FD (ST) to the mailer's user: root's own is
// handed over, another user's gets the mailer's group and the group's
// bits. Read and write (and search, for a directory) only: no set-id,
// sticky or execute bit of a file survives, so a planted program cannot
// become the mailer's.
std::string Grant(int fd, const MailerUser& user, const struct stat& st) {
  const bool dir = S_ISDIR(st.st_mode);
  const mode_t kept = st.st_mode & (dir ? 02777 : 0666);
  if (::geteuid() == 0 && st.st_uid == 0) {
    if (::fchown(fd, user.Uid, user.Gid) != 0 || ::fchmod(fd, kept | (dir ? 0700 : 0600)) != 0)
      return std::strerror(errno);
    return {};
  }
  if (st.st_gid != user.Gid && ::fchown(fd, static_cast<uid_t>(-1), user.Gid) != 0)
    return std::string("cannot give it the mailer's group: ") + std::strerror(errno);
  if (::fchmod(fd, kept | (dir ? 0070 : 0060)) != 0) return std::strerror(errno);
  return {};
}

// Gives the mailer's user what it needs of the file or directory P names.
// The empty text when done, else why not.
std::string GrantAccess(const MailerUser& user, const Problem& p) {
  if (p.Root.empty() || p.Full.compare(0, p.Root.size(), p.Root) != 0)
    return "it does not lie below " + Printable(p.Root);
  const int fd = OpenNoFollow(p.Root, p.Full.substr(p.Root.size()));
  if (fd < 0) return std::string("cannot open it: ") + std::strerror(errno);
  struct stat st {};
  std::string why = ::fstat(fd, &st) != 0 ? std::strerror(errno) : WhyNotGrant(user, p, st);
  if (why.empty()) why = Grant(fd, user, st);
  ::close(fd);
  return why;
}

// Removes a dead holder's flag, or an expired hold, when it still holds
// what was judged.
bool RemoveIfUnchanged(const Problem& p) {
  return p.Full.compare(0, p.Root.size(), p.Root) == 0 &&
         sys::RemoveFileBelowIfHead(p.Root, p.Full.substr(p.Root.size()), p.Content);
}

std::vector<FixLine> FixBeforeSession(const CheckResult& result, const MailerUser& user,
                                      bool dryRun) {
  std::vector<FixLine> lines;
  for (const Problem& p : result.Problems) {
    if (!p.Fixable || (p.Kind != "access" && p.Kind != "stale-flag")) continue;
    if (dryRun) {
      lines.push_back(
          {' ', AddressIn(p.Addr, p.Domain), p.Kind == "access" ? "open" : "remove", p.Path});
      continue;
    }
    if (p.Kind == "access") {
      const std::string why = GrantAccess(user, p);
      if (why.empty()) {
        lines.push_back({'*', AddressIn(p.Addr, p.Domain), "open", p.Path + " to " + user.Name});
      } else {
        std::fprintf(stderr, "brnet: %s: %s\n", p.Path.c_str(), why.c_str());
      }
    } else if (RemoveIfUnchanged(p)) {
      lines.push_back({'!', AddressIn(p.Addr, p.Domain), "remove", p.Path + " (" + p.Why + ")"});
    }
  }
  return lines;
}

// --- fixes made in the session, each under the node's flags -------------

void DropMissing(NodeSession& session, const Problem& p, const std::set<std::string>& paths) {
  const TFidoAddr addr = session.Node(AddressIn(p.Addr, p.Domain));
  session.Locked(addr, [&] {
    const TEntryFilter take = [&](const std::string& path) {
      return paths.count(path) != 0 && ProvedGone(path);
    };
    for (const TQueuedEntry& e :
         DropFlowEntries(addr, session.BinkOut(), std::nullopt, take, session.DryRun()).Entries) {
      session.Report('-', addr, "drop",
                     FlavourName(e.Flavor) + " " + Printable(e.Path) + " (gone)");
    }
  });
}

void RemoveExpiredHold(NodeSession& session, const Problem& p) {
  const TFidoAddr addr = session.Node(AddressIn(p.Addr, p.Domain));
  session.Locked(addr, [&] {
    if (!session.DryRun() && !RemoveIfUnchanged(p)) {
      return;
    }
    session.Report('*', addr, "remove", p.Path + " (the hold has expired)");
  });
}

void MoveToDomain(NodeSession& session, const Problem& p) {
  const TFidoAddr from = session.Node(AddressIn(p.Addr, p.Domain));
  const TFidoAddr to = session.Node(AddressIn(p.Addr, p.TargetDomain));
  const TBsoPath fromBase = session.BasePath(from);
  const TBsoPath toBase = session.BasePath(to);
  const TEntryFilter all = [](const std::string&) { return true; };
  // The same address in two outbounds: one semaphore, two .bsy flags.
  session.Locked(from, [&] {
    session.Locked(
        to,
        [&] {
          for (const TQueuedEntry& e :
               MoveBsoEntries(fromBase, toBase, all, true, session.DryRun()).Entries) {
            session.Report('*', from, "move", Printable(e.Path) + " to " + session.Shown(to));
          }
        },
        true);
  });
}

// One fix; a node that is busy, or a fix that fails, is named and the
// others go on: what is left shows in the list that follows.
void Attempt(const std::function<void()>& fix) {
  try {
    fix();
  } catch (const CliError& e) {
    std::fprintf(stderr, "brnet: %s\n", e.what());
  }
}

// Entries whose file is gone are dropped first, node by node, so that a
// node moved to another domain afterwards takes none of them along.
void FixInSession(NodeSession& session, const CheckResult& result) {
  std::map<std::string, std::set<std::string>> missing;  // node -> paths
  std::map<std::string, const Problem*> firstMissing;
  for (const Problem& p : result.Problems) {
    if (!p.Fixable || p.Kind != "missing") continue;
    const std::string key = AddressIn(p.Addr, p.Domain);
    missing[key].insert(p.Full);
    firstMissing.emplace(key, &p);
  }
  for (const auto& node : missing) {
    Attempt([&] { DropMissing(session, *firstMissing[node.first], node.second); });
  }
  std::set<std::string> moved;
  for (const Problem& p : result.Problems) {
    if (!p.Fixable) continue;
    if (p.Kind == "hold-expired") {
      Attempt([&] { RemoveExpiredHold(session, p); });
    } else if (p.Kind == "wrong-domain" && moved.insert(AddressIn(p.Addr, p.Domain)).second) {
      Attempt([&] { MoveToDomain(session, p); });
    }
  }
}

int RunCheck(const ParsedArgs& args, const SetupSources& sources) {
  const bool json = args.Has("json"), fix = args.Has("fix"), dryRun = args.Has("dry-run");
  if (dryRun && !fix) throw UsageError("-n shows what --fix would do: give --fix too");
  CheckResult result = RunChecks(args, sources);
  if (!fix) return Report(result, json, false, args.Has("quiet"));
  for (const Problem& p : result.Problems) {
    if (p.Kind == "owner") throw Failure(p.Path + ": " + p.Why + "; nothing changed");
  }
  const std::vector<FixLine> early = FixBeforeSession(result, result.Mailer, dryRun);
  std::unique_ptr<NodeSession> made;
  try {
    made = std::make_unique<NodeSession>(args, sources, false);
  } catch (const CliError&) {
    // What was changed already is said all the same.
    for (const FixLine& line : early) {
      std::printf("%s%s %s %s\n", dryRun ? "would " : "", line.Verb.c_str(), line.Node.c_str(),
                  line.What.c_str());
    }
    throw;
  }
  NodeSession& session = *made;
  for (const FixLine& line : early) {
    session.Report(line.Level, session.Node(line.Node), line.Verb, line.What);
  }
  FixInSession(session, result);
  // What is left: read again after the fixes, or, on a dry run, what
  // --fix leaves to a person.
  if (dryRun) {
    std::erase_if(result.Problems, [](const Problem& p) { return p.Fixable; });
  } else {
    result = RunChecks(args, sources);
  }
  return Report(result, json, true, args.Has("quiet"));
}

}  // namespace

int CheckCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  const std::string help = CheckHelp();
  return RunCommand(args, ManageSpecs({{0, "json", false}, {0, "fix", false}}), help.c_str(),
                    [&](const ParsedArgs& parsed) { return RunCheck(parsed, sources); });
}

}  // namespace brnet::cli
