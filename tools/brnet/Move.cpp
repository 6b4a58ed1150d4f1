// brnet move: what waits for one node readdressed to another (a changed
// hub, a renumbered point), under both nodes' busy flags.

#include "Check.h"
#include "CliError.h"
#include "Manage.h"
#include "msgbase/MsgBase.h"
#include "outbound/OutbEdit.h"

namespace brnet::cli {
namespace {

std::string MoveHelp() {
  return std::string(
             "Usage: brnet move [OPTIONS] FROM TO [PATTERN...]\n"
             "Moves what waits for the node FROM to the node TO: the lines of its flow files\n"
             "(into TO's flow file of the same flavour), its packets, requests, file-box\n"
             "files and netmail file attaches (readdressed). With a PATTERN (a shell\n"
             "pattern on the path, on the file name when it has no \"/\") only the flow\n"
             "lines, packets, box files and attaches it matches, no requests. Both nodes\n"
             "are locked by their busy flags; each entry is added where it goes before it\n"
             "leaves where it was, so an interruption can leave it queued for both, never\n"
             "lost.\n") +
         kManageOptionsHelp;
}

std::vector<TQueuedEntry> MoveLocked(NodeSession& session, const TFidoAddr& from,
                                     const TFidoAddr& to,
                                     const std::vector<std::string>& patterns) {
  const TEntryFilter take = [&](const std::string& path) { return Matches(patterns, path); };
  std::vector<TQueuedEntry> moved;
  const bool bink = !session.Setup().BinkOut.empty();
  const TBsoPath fromBase = bink ? session.BasePath(from) : TBsoPath{};
  const TBsoPath toBase = bink ? session.BasePath(to) : TBsoPath{};
  session.Locked(from, [&] {
    session.Locked(
        to,
        [&] {
          if (bink) {
            moved =
                MoveBsoEntries(fromBase, toBase, take, patterns.empty(), session.DryRun()).Entries;
          }
          if (!session.Boxes().empty()) {
            for (TQueuedEntry& e :
                 MoveBoxEntries(from, to, session.Boxes(), take, session.DryRun()).Entries) {
              moved.push_back(std::move(e));
            }
          }
          if (TMsgBase* base = session.Netmail()) {
            for (TQueuedEntry& e :
                 MoveNetmailEntries(from, to, *base, take, session.DryRun()).Entries) {
              moved.push_back(std::move(e));
            }
          }
        },
        SameNode(from, to));
  });
  return moved;
}

int RunMove(const ParsedArgs& args, const SetupSources& sources) {
  if (args.Operands.size() < 2) {
    throw UsageError("give FROM and TO (brnet move FROM TO [PATTERN...])");
  }
  const std::vector<std::string> patterns(args.Operands.begin() + 2, args.Operands.end());
  NodeSession session(args, sources, false);
  const TFidoAddr from = session.Node(args.Operands[0]);
  const TFidoAddr to = session.Node(args.Operands[1]);
  if (session.Shown(from) == session.Shown(to)) {
    throw UsageError("FROM and TO are the same node: " + session.Shown(from));
  }
  const std::vector<TQueuedEntry> moved = MoveLocked(session, from, to, patterns);
  for (const TQueuedEntry& e : moved) {
    session.Report('*', from, "move",
                   FlavourName(e.Flavor) + " " + Printable(e.Path) + " to " + session.Shown(to));
  }
  if (moved.empty()) {
    throw Failure("no queued entry of " + session.Shown(from) + " matches; nothing changed");
  }
  return 0;
}

}  // namespace

int MoveCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  const std::string help = MoveHelp();
  return RunCommand(args, ManageSpecs({}), help.c_str(),
                    [&](const ParsedArgs& parsed) { return RunMove(parsed, sources); });
}

}  // namespace brnet::cli
