// Box copies brnet attach made: each carries the path of its original in an
// extended attribute, so that a drop can remove the copy (the original is
// still where it was) rather than leave it renamed in the box. A file moved
// into the box (--kill-sent) has no mark and is only renamed: it has no
// other copy.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "addr/FidoAddr.h"
#include "outbound/OutbEdit.h"

namespace brnet::cli {

// Marks COPY (a file in a box) as a copy of ORIGINAL when both are regular
// files of the same size; a file system without extended attributes leaves
// it unmarked.
void MarkBoxCopy(const std::string& copy, const std::string& original);

// The original of COPY when COPY is marked and the original still exists as
// a regular file of the same size; none otherwise.
std::optional<std::string> ProvenOriginal(const std::string& copy);

// Removes the proven copies in ADDR's boxes under BOXES (of FLAVOR when
// given) that TAKE accepts; DRYRUN removes nothing. The entries, each with
// its original named.
std::vector<TQueuedEntry> RemoveBoxCopies(const TFidoAddr& addr, const std::string& boxes,
                                          std::optional<TOutbFlavor> flavor,
                                          const TEntryFilter& take, bool dryRun);

}  // namespace brnet::cli
