// brnet drop and reflavour: queued entries of a node taken out of the
// queue, or moved to another flavour, in its flow files and file boxes.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "BoxCopies.h"
#include "CliError.h"
#include "Manage.h"
#include "QueueView.h"
#include "outbound/OutbEdit.h"
#include "sys/FileSystem.h"

namespace brnet::cli {
namespace {

std::string DropHelp() {
  return std::string(
             "Usage: brnet drop [OPTIONS] ADDRESS [PATTERN...]\n"
             "Takes queued entries of the node out of the queue: lines of its flow files,\n"
             "files in its file boxes and unsent netmail file attaches (the message is\n"
             "deleted). The files named stay where they are, even with --kill-sent. A box\n"
             "copy brnet attach made is removed (its original stays); any other box file\n"
             "is renamed to \".NAME\" in its box, which mailers skip.\n"
             "A PATTERN is a shell pattern on the path (on the file name when it has no\n"
             "\"/\"); without one every entry is taken. Lines the mailer marked as sent stay.\n"
             "brnet queue shows the box files drops left; --leftovers removes them for good\n"
             "(a file moved into the box with --kill-sent has no other copy).\n"
             "\n"
             "      --missing              only entries whose file is gone\n"
             "      --leftovers            remove the box files earlier drops left instead\n"
             "  -f, --flavour FLAVOUR      only entries of this flavour\n") +
         kManageOptionsHelp;
}

std::string ReflavourHelp() {
  return std::string(
             "Usage: brnet reflavour [OPTIONS] ADDRESS FLAVOUR [PATTERN...]\n"
             "Moves queued entries of the node to another flavour: flow-file lines between\n"
             "flow files, box files between the plain and the hold box, the flavour of\n"
             "unsent netmail file attaches. Each entry is added\n"
             "where it goes before it leaves where it was: an interruption can leave it\n"
             "queued twice, never lost.\n"
             "\n"
             "      --from FLAVOUR         only entries of this flavour\n") +
         kManageOptionsHelp;
}

bool Missing(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) != 0;
}

std::optional<TOutbFlavor> FlavourOption(const ParsedArgs& args, const std::string& name) {
  if (!args.Has(name)) return std::nullopt;
  return ParseFlavourName(args.Value(name));
}

// Reports ENTRIES and fails when there were none: a pattern that matched
// nothing is most often a typing error.
int Finish(NodeSession& session, const TFidoAddr& addr, const std::vector<TQueuedEntry>& entries,
           const std::string& verb, const std::string& to) {
  for (const TQueuedEntry& entry : entries) {
    session.Report(verb == "drop" ? '-' : '*', addr, verb,
                   FlavourName(entry.Flavor) + to + " " + entry.Path);
  }
  if (entries.empty()) {
    throw Failure("no queued entry of " + session.Shown(addr) + " matches; nothing changed");
  }
  return 0;
}

// The ".NAME" files earlier drops left in the node's boxes, removed.
std::vector<TQueuedEntry> RemoveLeftovers(NodeSession& session, const TFidoAddr& addr,
                                          const std::vector<std::string>& patterns) {
  std::vector<TQueuedEntry> removed;
  if (session.Boxes().empty()) return removed;
  for (const LeftoverView& left : DroppedLeftovers(addr, session.Boxes())) {
    const std::string name = left.Path.substr(left.Path.find_last_of('/') + 1);
    if (!Matches(patterns, left.Path) && !Matches(patterns, name.substr(1))) continue;
    const std::string below = left.Path.substr(session.Boxes().size());
    if (!session.DryRun() && !sys::RemoveFileBelow(session.Boxes(), below)) {
      throw Failure("cannot remove " + left.Path + ": " + std::strerror(errno));
    }
    removed.push_back({left.Path, left.Path, flNormal, ""});
  }
  return removed;
}

int RunLeftovers(const ParsedArgs& args, const SetupSources& sources) {
  const std::vector<std::string> patterns(args.Operands.begin() + 1, args.Operands.end());
  NodeSession session(args, sources, false);
  const TFidoAddr addr = session.Node(args.Operands[0]);
  std::vector<TQueuedEntry> removed;
  session.Locked(addr, [&] { removed = RemoveLeftovers(session, addr, patterns); });
  for (const TQueuedEntry& entry : removed) session.Report('-', addr, "remove", entry.Path);
  if (removed.empty()) {
    throw Failure("no dropped box file of " + session.Shown(addr) + " matches; nothing removed");
  }
  return 0;
}

int RunDrop(const ParsedArgs& args, const SetupSources& sources) {
  if (args.Operands.empty()) throw UsageError("missing ADDRESS (brnet drop ADDRESS [PATTERN...])");
  if (args.Has("leftovers")) {
    if (args.Has("missing") || args.Has("flavour")) {
      throw UsageError("--leftovers takes no --missing or --flavour");
    }
    return RunLeftovers(args, sources);
  }
  const std::optional<TOutbFlavor> flavor = FlavourOption(args, "flavour");
  const std::vector<std::string> patterns(args.Operands.begin() + 1, args.Operands.end());
  const bool missing = args.Has("missing");
  const TEntryFilter take = [&](const std::string& path) {
    return Matches(patterns, path) && (!missing || Missing(path));
  };
  NodeSession session(args, sources, false);
  const TFidoAddr addr = session.Node(args.Operands[0]);
  std::vector<TQueuedEntry> entries;
  session.Locked(addr, [&] {
    if (!session.BinkOut().empty()) {
      entries = DropFlowEntries(addr, session.BinkOut(), flavor, take, session.DryRun()).Entries;
    }
    if (!session.Boxes().empty()) {
      // brnet's own copies go (their originals stay); the rest is renamed.
      for (TQueuedEntry& e :
           RemoveBoxCopies(addr, session.Boxes(), flavor, take, session.DryRun())) {
        entries.push_back(std::move(e));
      }
      const TEntryFilter rest = [&](const std::string& path) {
        return take(path) && !ProvenOriginal(path);
      };
      for (TQueuedEntry& e :
           DropBoxEntries(addr, session.Boxes(), flavor, rest, session.DryRun()).Entries) {
        entries.push_back(std::move(e));
      }
    }
    if (TMsgBase* base = session.Netmail()) {
      for (TQueuedEntry& e :
           DropNetmailEntries(addr, *base, flavor, take, session.DryRun()).Entries) {
        entries.push_back(std::move(e));
      }
    }
  });
  return Finish(session, addr, entries, "drop", "");
}

int RunReflavour(const ParsedArgs& args, const SetupSources& sources) {
  if (args.Operands.size() < 2) {
    throw UsageError("give ADDRESS and FLAVOUR (brnet reflavour ADDRESS FLAVOUR [PATTERN...])");
  }
  const TOutbFlavor to = ParseFlavourName(args.Operands[1]);
  const std::optional<TOutbFlavor> from = FlavourOption(args, "from");
  if (from == to) throw UsageError("--from and FLAVOUR are the same flavour");
  const std::vector<std::string> patterns(args.Operands.begin() + 2, args.Operands.end());
  const TEntryFilter take = [&](const std::string& path) { return Matches(patterns, path); };
  NodeSession session(args, sources, false);
  const TFidoAddr addr = session.Node(args.Operands[0]);
  std::vector<TQueuedEntry> entries;
  session.Locked(addr, [&] {
    if (!session.BinkOut().empty()) {
      entries =
          ReflavourFlowEntries(addr, session.BinkOut(), from, to, take, session.DryRun()).Entries;
    }
    if (!session.Boxes().empty()) {
      for (TQueuedEntry& e :
           ReflavourBoxEntries(addr, session.Boxes(), from, to, take, session.DryRun()).Entries) {
        entries.push_back(std::move(e));
      }
    }
    if (TMsgBase* base = session.Netmail()) {
      for (TQueuedEntry& e :
           ReflavourNetmailEntries(addr, *base, from, to, take, session.DryRun()).Entries) {
        entries.push_back(std::move(e));
      }
    }
  });
  return Finish(session, addr, entries, "reflavour", " -> " + FlavourName(to));
}

}  // namespace

int DropCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  const std::string help = DropHelp();
  return RunCommand(
      args, ManageSpecs({{'f', "flavour", true}, {0, "missing", false}, {0, "leftovers", false}}),
      help.c_str(), [&](const ParsedArgs& parsed) { return RunDrop(parsed, sources); });
}

int ReflavourCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  const std::string help = ReflavourHelp();
  return RunCommand(args, ManageSpecs({{0, "from", true}}), help.c_str(),
                    [&](const ParsedArgs& parsed) { return RunReflavour(parsed, sources); });
}

}  // namespace brnet::cli
