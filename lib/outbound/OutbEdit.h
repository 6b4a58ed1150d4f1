// Editing what waits for one node beside a running mailer: polls, request
// and hold files, and removing or moving queued entries between flavours.
//
// The caller holds the node's busy flags. binkd rewrites a flow file in
// place during a session (it overwrites the first byte of each sent line
// with "~") and deletes it once no live line is left, so a file is never
// edited in place here: it is written whole under a temporary name in its
// own directory and renamed over the old one. Readers see the old file or
// the new one, never a part, and a kill at any point leaves a line whole.
// Every path is reached below its configured directory without following a
// symbolic link. Internal to the library: nothing here is exported.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "addr/FidoAddr.h"
#include "outbound/OutbNaming.h"

namespace brnet {

class TMsgBase;

// The node's existing BSO files with extension EXT (".dlo", ".req",
// ".hld"), each spelling another program may have used, under OUTPATH.
std::vector<TBsoPath> FindNodeFiles(const TFidoAddr& addr, const std::string& outPath,
                                    std::string_view ext);
// The node's file with extension EXT: the first existing spelling, or the
// name this platform writes, with the zone and point directories made.
TBsoPath NodeFileForWriting(const TFidoAddr& addr, const std::string& outPath,
                            std::string_view ext);

// The lines of PATH (split at LF, a CR before it dropped); none when there
// is no such file.
std::vector<std::string> ReadLinesBelow(const TBsoPath& path);
// Replaces PATH with LINES, each ended by LINEEND: written whole under a
// temporary name beginning with "." in the same directory, written out to
// the disk, then renamed over PATH. A failure leaves PATH as it was and no
// temporary file, and raises the system's error naming the file.
void WriteLinesBelow(const TBsoPath& path, const std::vector<std::string>& lines,
                     std::string_view lineEnd = "\r\n");
// Removes PATH; a file already gone is no error.
void RemoveBelow(const TBsoPath& path);

// A line the mailer still has to act on: not empty, not marked "~" as done.
bool IsLiveFlowLine(std::string_view line);

// An empty flow file of FLAVOR, made only when the node has none of that
// flavour (never truncating one). False when one exists.
bool MakePoll(const TFidoAddr& addr, const std::string& outPath, TOutbFlavor flavor);

// One queued entry found by an edit: a flow-file line as it stands (with
// its "^" or "#"), or a file in a box.
struct TQueuedEntry {
  std::string Line;  // the flow-file line, or the box file's path
  std::string Path;  // the file it names
  TOutbFlavor Flavor;
  std::string Place;  // the flow file or box directory it is in
};
// Which entries an edit takes, by the path of the file they name.
using TEntryFilter = std::function<bool(const std::string& path)>;

// What an edit did, or with DRYRUN would do.
struct TEditResult {
  std::vector<TQueuedEntry> Entries;
};

// Removes the live lines of the node's flow files (of FLAVOR, or of every
// flavour) that TAKE accepts. Lines marked done stay; a flow file left with
// no live line is removed. The files named stay where they are.
TEditResult DropFlowEntries(const TFidoAddr& addr, const std::string& outPath,
                            std::optional<TOutbFlavor> flavor, const TEntryFilter& take,
                            bool dryRun);
// Moves the live lines TAKE accepts from the node's flow files of FROM (or
// of every flavour but TO) to its flow file of TO. Each flow file of TO
// gets them before they leave where they were: an interruption can leave
// an entry in both places, never in neither.
TEditResult ReflavourFlowEntries(const TFidoAddr& addr, const std::string& outPath,
                                 std::optional<TOutbFlavor> from, TOutbFlavor to,
                                 const TEntryFilter& take, bool dryRun);

// Moves what waits for one node to another node's files: the live
// flow-file lines and the packets TAKE accepts go to the target's flow
// file and packet of the same flavour; with WHOLE also the request lines. FROM and
// TO are the two nodes' base paths (BinkBasePath, each named as in its own
// domain's outbound). Each entry is added where it goes before it leaves
// where it was: an interruption can leave it queued for both, never for
// neither. A packet takes the target's packet name of its flavour when
// that is free, else it goes beside it and is sent through a "^" line.
// The caller holds both nodes' busy flags.
TEditResult MoveBsoEntries(const TBsoPath& from, const TBsoPath& to, const TEntryFilter& take,
                           bool whole, bool dryRun);

// File boxes of the node under BOXESPATH (ending in the separator), short
// and long form. A box file the mailer is no longer to send is renamed to
// a name beginning with ".", which mailers skip, in the same box: the file
// stays. Moving between the plain box and the hold box is one rename.
TEditResult DropBoxEntries(const TFidoAddr& addr, const std::string& boxesPath,
                           std::optional<TOutbFlavor> flavor, const TEntryFilter& take,
                           bool dryRun);
TEditResult ReflavourBoxEntries(const TFidoAddr& addr, const std::string& boxesPath,
                                std::optional<TOutbFlavor> from, TOutbFlavor to,
                                const TEntryFilter& take, bool dryRun);

// Moves the files TAKE accepts from FROM's boxes to TO's box of the same
// form and flavour, each in one rename; a name the target box holds
// already stops the move with that file's error.
TEditResult MoveBoxEntries(const TFidoAddr& from, const TFidoAddr& to,
                           const std::string& boxesPath, const TEntryFilter& take, bool dryRun);

// File-attach messages of the netmail base BASE to the node, not yet sent,
// whose subject TAKE accepts (and of FLAVOR or FROM when given). A dropped
// message is deleted; a moved one gets the flavour attributes of TO, the
// message rewritten whole under a temporary name and renamed over itself.
TEditResult DropNetmailEntries(const TFidoAddr& addr, TMsgBase& base,
                               std::optional<TOutbFlavor> flavor, const TEntryFilter& take,
                               bool dryRun);
// Readdresses the unsent file attaches of FROM whose subject TAKE accepts
// to TO (its zone and point lines made again), each message rewritten as
// reflavouring does.
TEditResult MoveNetmailEntries(const TFidoAddr& from, const TFidoAddr& to, TMsgBase& base,
                               const TEntryFilter& take, bool dryRun);
TEditResult ReflavourNetmailEntries(const TFidoAddr& addr, TMsgBase& base,
                                    std::optional<TOutbFlavor> from, TOutbFlavor to,
                                    const TEntryFilter& take, bool dryRun);

}  // namespace brnet
