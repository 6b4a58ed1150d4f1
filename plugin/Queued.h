// Files a node has waiting already, read from the outbound as the mailer
// reads it, so that an attach does not queue a file a second time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "api/brnet32.h"

namespace sendrel {

struct NodeQueue {
  std::uint8_t type;  // BR_OUTB_*
  std::string outbPath;
  std::uint16_t mainZone;  // the main address's zone
  brAddrRec dest;
  std::uint8_t flavor;  // BR_FLAVOR_*
};

struct WaitingFile {
  std::string file;   // as the attach names it
  std::string where;  // the flow file or the box it waits in
};

// Of FILES (each as the attach would name it, or ALSO[i], its other form),
// those queued live for the node: on a line of one of its flow files, any
// flavour (Bink), or under the same name in its box of that flavour (file
// boxes). Netmail attaches are not looked for.
std::vector<WaitingFile> WaitingFiles(const NodeQueue& q, const std::vector<std::string>& files,
                                      const std::vector<std::string>& also);

// The flow files (Bink) of the node, one per flavour.
std::vector<std::string> FlowFiles(const NodeQueue& q);
// The node's box for the flavour, ending in the separator.
std::string BoxDir(const NodeQueue& q);

// The live entries of a flow file's text: its lines without line ends,
// without the send-mode mark ("^", "#"), without lines marked sent ("~").
std::vector<std::string> LiveEntries(const std::string& flowText);

}  // namespace sendrel
