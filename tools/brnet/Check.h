// brnet check (what binkd will never send, and why) and brnet move (a
// node's mail readdressed to another node), with what they share with
// queue: the nodes named on the command line.
#pragma once

#include <string>
#include <vector>

#include "Setup.h"
#include "Spool.h"

namespace brnet::cli {

// check's exit status when it found problems (0: none, 1: an error).
inline constexpr int kExitProblems = 4;

int CheckCommand(const std::vector<std::string>& args, const SetupSources& sources);
int MoveCommand(const std::vector<std::string>& args, const SetupSources& sources);

// The nodes ADDRESS... name (parts left out taken from the main address);
// an "@domain" narrows one to that domain's outbound. No operand takes
// every node.
class NodeFilter {
 public:
  NodeFilter(const Resolved& setup, MainAddressScope& main,
             const std::vector<std::string>& operands);
  bool Takes(const TFidoAddr& addr, const OutboundPlace& place) const;

 private:
  struct Wanted {
    TFidoAddr Addr;
    std::string Dir;  // empty: any outbound
  };
  std::vector<Wanted> wanted_;
};

// The same node: zone, net, node and point (a missing point is 0).
bool SameNode(const TFidoAddr& a, const TFidoAddr& b);

// TEXT for a terminal or log: a control character (C0, DEL, or C1 in
// UTF-8) of a name written by others shows as "?".
std::string Printable(std::string text);

// ADDR as text with "@DOMAIN" when a domain is given, which picks that
// domain's outbound whatever the address's zone.
std::string AddressIn(const TFidoAddr& addr, const std::string& domain);

}  // namespace brnet::cli
