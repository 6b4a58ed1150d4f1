// brnet poll, request, hold and unhold: the files that make binkd call a
// node, ask it for files, or keep binkd from calling it.
#include <algorithm>
#include <ctime>

#include "CliError.h"
#include "Flags.h"
#include "Manage.h"
#include "outbound/OutbEdit.h"
#include "util/Words.h"

namespace brnet::cli {

std::string RequestRefusal(const std::string& line) {
  if (line.empty() || line.front() == ' ') return "a request names a file first";
  if (line.find_first_of("\r\n") != std::string::npos) {
    return "a line break would make it two requests";
  }
  if (line.front() == '!') return "a request beginning with \"!\" is a password, not a file";
  if (std::any_of(line.begin(), line.end(), IsControlChar)) {
    return "a control character has no place in a request (a DOS-era mailer stops reading at "
           "^Z)";
  }
  return {};
}

namespace {

constexpr std::int64_t kDefaultHold = 86400;

std::string PollHelp() {
  return std::string(
             "Usage: brnet poll [OPTIONS] ADDRESS...\n"
             "Makes the mailer call each node: an empty flow file of the flavour, unless the\n"
             "node has one of that flavour already (none is ever emptied).\n"
             "\n"
             "  -f, --flavour FLAVOUR      immediate, crash, direct (default, as binkd -P) or\n"
             "                             normal; hold is refused, a hold poll never calls\n") +
         kManageOptionsHelp;
}

std::string RequestHelp() {
  return std::string(
             "Usage: brnet request [OPTIONS] ADDRESS 'FILE[ !PASSWORD]'...\n"
             "Asks the node for files: one line per FILE in its request file, and a poll,\n"
             "since the mailer does not call for a request alone.\n"
             "\n"
             "      --no-poll              only the request; it goes on the next call\n"
             "  -f, --flavour FLAVOUR      the poll's flavour (default direct)\n") +
         kManageOptionsHelp;
}

std::string HoldHelp() {
  return std::string(
             "Usage: brnet hold [OPTIONS] ADDRESS...\n"
             "Keeps the mailer from calling the nodes until a time; binkd removes the hold\n"
             "once the time has passed. The nodes may still call in. brnet queue shows\n"
             "the nodes held and until when; brnet unhold lets them be called again.\n"
             "\n"
             "      --for DURATION         how long: 90s, 15m, 2h, 1d (default), 1w\n"
             "      --until TIME           until a Unix time or a local \"YYYY-MM-DD HH:MM\"\n") +
         kManageOptionsHelp;
}

std::string UnholdHelp() {
  return std::string(
             "Usage: brnet unhold [OPTIONS] ADDRESS...\n"
             "Lets the mailer call the nodes again: their hold files go.\n"
             "\n") +
         kManageOptionsHelp;
}

std::string UnlockHelp() {
  return std::string(
             "Usage: brnet unlock [OPTIONS] ADDRESS...\n"
             "Removes the busy flags of the nodes that a program left behind when it died:\n"
             "brnet's own whose process no longer runs on this host, binkd's whose process\n"
             "does not run here and that binkd has not touched for two minutes, and any\n"
             "flag older than binkd's kill-old-bsy. A flag whose holder may be at work is\n"
             "named and refused, and nothing is removed for that node.\n"
             "\n") +
         kManageOptionsHelp;
}

std::string FlavourWord(TOutbFlavor flavor) {
  return FlavourName(flavor);
}

TOutbFlavor PollFlavour(const ParsedArgs& args) {
  const TOutbFlavor flavor =
      args.Has("flavour") ? ParseFlavourName(args.Value("flavour")) : flDirect;
  if (flavor == flHold) {
    throw UsageError("a hold poll never makes the mailer call; give another flavour");
  }
  return flavor;
}

void Poll(NodeSession& session, const TFidoAddr& addr, TOutbFlavor flavor) {
  const std::string out = session.BinkOut();
  const std::vector<TBsoPath> existing = FindNodeFiles(addr, out, FlowFileExt[flavor]);
  if (!existing.empty()) {
    session.Report(' ', addr, "polls already:", existing.front().Full());
    return;
  }
  if (!session.DryRun() && !MakePoll(addr, out, flavor)) {
    session.Report(' ', addr, "polls already:", FlowFileName(addr, out, flavor));
    return;
  }
  session.Report('+', addr, "poll", FlavourWord(flavor) + " " + FlowFileName(addr, out, flavor));
}

int RunPoll(const ParsedArgs& args, const SetupSources& sources) {
  if (args.Operands.empty()) throw UsageError("missing ADDRESS (brnet poll [OPTIONS] ADDRESS...)");
  const TOutbFlavor flavor = PollFlavour(args);
  NodeSession session(args, sources, true);
  std::vector<TFidoAddr> nodes;
  for (const std::string& operand : args.Operands) nodes.push_back(session.Node(operand));
  for (const TFidoAddr& addr : nodes) {
    session.Locked(addr, [&] { Poll(session, addr, flavor); });
  }
  return 0;
}

int RunRequest(const ParsedArgs& args, const SetupSources& sources) {
  if (args.Operands.size() < 2) {
    throw UsageError(
        "give ADDRESS and at least one FILE (brnet request ADDRESS 'FILE[ !PASSWORD]')");
  }
  const bool poll = !args.Has("no-poll");
  const TOutbFlavor flavor = poll ? PollFlavour(args) : flDirect;
  std::vector<std::string> lines(args.Operands.begin() + 1, args.Operands.end());
  for (const std::string& line : lines) {
    const std::string why = RequestRefusal(line);
    if (!why.empty())
      throw UsageError("request \"" + Escaped(line) + "\": " + why + "; nothing requested");
  }
  NodeSession session(args, sources, true);
  const TFidoAddr addr = session.Node(args.Operands[0]);
  session.Locked(addr, [&] {
    if (!session.DryRun()) {
      const TBsoPath req = NodeFileForWriting(addr, session.BinkOut(), ".req");
      std::vector<std::string> all = ReadLinesBelow(req);
      all.insert(all.end(), lines.begin(), lines.end());
      WriteLinesBelow(req, all);
    }
    for (const std::string& line : lines) session.Report('+', addr, "request", line);
    if (poll) Poll(session, addr, flavor);
  });
  return 0;
}

int RunHold(const ParsedArgs& args, const SetupSources& sources) {
  if (args.Operands.empty()) throw UsageError("missing ADDRESS (brnet hold ADDRESS...)");
  if (args.Has("for") && args.Has("until"))
    throw UsageError("--for and --until exclude each other");
  const std::int64_t now = std::time(nullptr);
  std::int64_t until = now + kDefaultHold;
  if (args.Has("for")) until = now + ParseDuration(args.Value("for"), "--for");
  if (args.Has("until")) until = ParseTime(args.Value("until"));
  if (until <= now) {
    throw UsageError("the hold would end in the past; binkd would just remove it");
  }
  NodeSession session(args, sources, true);
  std::vector<TFidoAddr> nodes;
  for (const std::string& operand : args.Operands) nodes.push_back(session.Node(operand));
  const std::time_t t = static_cast<std::time_t>(until);
  char shown[32];
  std::strftime(shown, sizeof shown, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
  for (const TFidoAddr& addr : nodes) {
    session.Locked(addr, [&] {
      if (!session.DryRun()) {
        // binkd writes the time as one decimal number on a line.
        WriteLinesBelow(NodeFileForWriting(addr, session.BinkOut(), ".hld"),
                        {std::to_string(until)}, "\n");
      }
      session.Report('+', addr, "hold", std::string("until ") + shown);
    });
  }
  return 0;
}

int RunUnhold(const ParsedArgs& args, const SetupSources& sources) {
  if (args.Operands.empty()) throw UsageError("missing ADDRESS (brnet unhold ADDRESS...)");
  NodeSession session(args, sources, true);
  std::vector<TFidoAddr> nodes;
  for (const std::string& operand : args.Operands) nodes.push_back(session.Node(operand));
  for (const TFidoAddr& addr : nodes) {
    session.Locked(addr, [&] {
      const std::vector<TBsoPath> holds = FindNodeFiles(addr, session.BinkOut(), ".hld");
      if (holds.empty()) session.Note(addr, "is not held (it has no hold file)");
      for (const TBsoPath& hld : holds) {
        if (!session.DryRun()) RemoveBelow(hld);
        session.Report('-', addr, "unhold", hld.Full());
      }
    });
  }
  return 0;
}

void Unlock(NodeSession& session, const TFidoAddr& addr) {
  session.Select(addr);
  const std::int64_t now = std::time(nullptr);
  const std::vector<BusyFlagView> flags = NodeBusyFlags(addr, session.BinkOut());
  std::string live;
  bool unnamed = false;
  for (const BusyFlagView& flag : flags) {
    if (StaleFlagReason(flag, session.Setup().KillOldBsy, now).empty()) {
      live += live.empty() ? "" : "; ";
      live += DescribeFlag(flag, now);
      unnamed = unnamed || flag.Pid == 0;
    }
  }
  if (!live.empty()) {
    throw Failure("node " + session.Shown(addr) + " is in use, its holder may be at work: " + live +
                  "; nothing removed" +
                  (unnamed ? " (a flag that names no process is stale only by binkd's "
                             "kill-old-bsy; remove it by hand once nothing works on the node)"
                           : ""));
  }
  if (flags.empty()) session.Note(addr, "is not locked (it has no busy flag)");
  for (const BusyFlagView& flag : flags) {
    const std::string why = StaleFlagReason(flag, session.Setup().KillOldBsy, now);
    // Ours go through the lock below, which also cuts back an append its
    // dead holder left unfinished.
    if (!flag.Ours && !session.DryRun() && !RemoveJudgedFlag(flag)) continue;
    session.Report('!', addr, "unlock", DescribeFlag(flag, now) + ": " + why);
  }
  session.Locked(addr, [] {});
}

int RunUnlock(const ParsedArgs& args, const SetupSources& sources) {
  if (args.Operands.empty()) throw UsageError("missing ADDRESS (brnet unlock ADDRESS...)");
  NodeSession session(args, sources, true);
  std::vector<TFidoAddr> nodes;
  for (const std::string& operand : args.Operands) nodes.push_back(session.Node(operand));
  for (const TFidoAddr& addr : nodes) Unlock(session, addr);
  return 0;
}

}  // namespace

int UnlockCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  const std::string help = UnlockHelp();
  return RunCommand(args, ManageSpecs({}), help.c_str(),
                    [&](const ParsedArgs& parsed) { return RunUnlock(parsed, sources); });
}

int PollCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  const std::string help = PollHelp();
  return RunCommand(args, ManageSpecs({{'f', "flavour", true}}), help.c_str(),
                    [&](const ParsedArgs& parsed) { return RunPoll(parsed, sources); });
}

int RequestCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  const std::string help = RequestHelp();
  return RunCommand(args, ManageSpecs({{'f', "flavour", true}, {0, "no-poll", false}}),
                    help.c_str(),
                    [&](const ParsedArgs& parsed) { return RunRequest(parsed, sources); });
}

int HoldCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  const std::string help = HoldHelp();
  return RunCommand(args, ManageSpecs({{0, "for", true}, {0, "until", true}}), help.c_str(),
                    [&](const ParsedArgs& parsed) { return RunHold(parsed, sources); });
}

int UnholdCommand(const std::vector<std::string>& args, const SetupSources& sources) {
  const std::string help = UnholdHelp();
  return RunCommand(args, ManageSpecs({}), help.c_str(),
                    [&](const ParsedArgs& parsed) { return RunUnhold(parsed, sources); });
}

}  // namespace brnet::cli
