// The spool as the mailer sees it: which binkd domain (outbound directory
// and default zone) a destination belongs to, the zone checks every command
// makes, and brnet run as root working as the owner of the directory it
// writes into. What is made there and who may send what is the library's
// policy (sys/SpoolAccess.h, sys/posix/Owner.h), the same for every front
// end.
//
// Every command that touches an outbound calls ResolveDestination (or
// Places, for all of them) first and, before it writes, EnterSpool.
#pragma once

#include <string>
#include <vector>

#include "Commands.h"
#include "Setup.h"
#include "outbound/OutbNaming.h"

namespace brnet::cli {

// One binkd domain's outbound: the directory of its default zone.
struct OutboundPlace {
  std::string Domain;  // binkd's name for it (aliases followed); empty when unknown
  std::string Dir;
  int DefaultZone = 0;  // 0 when no configuration said it
  bool Main = false;    // the main address's domain
};

// The place of DOMAIN (empty: the main address's); an unknown domain is
// refused, naming the domains the configuration has.
OutboundPlace PlaceOf(const Resolved& setup, const std::string& domain);

// Every domain's outbound, the main one first.
std::vector<OutboundPlace> Places(const Resolved& setup);

// A destination with the outbound its mail goes to.
struct Destination {
  TFidoAddr Addr;
  OutboundPlace Place;
  // The address as brnet shows it: with "@domain" for another domain.
  std::string Text() const;
};

// TEXT parsed (parts left out taken from the main address, the zone from
// its domain's default zone), its domain picked (without "@domain", the one
// binkd picks for its zone: BinkdDomainOfZone), and checked: not empty, no
// zone 0, no wildcard, and a main domain whose default zone is the main
// address's. Leaves MAIN naming the destination's domain (see
// MainAddressScope::NameZone).
Destination ResolveDestination(const Resolved& setup, MainAddressScope& main,
                               const std::string& text);

// Warns on stderr, unless QUIET, when the binkd configuration in use never
// calls DEST (WhyBinkdWillNotCall): the mail would wait for ever unless the
// node calls in.
void WarnIfNotCalled(const Resolved& setup, const Destination& dest, bool quiet);

// Run as root while DIR (or its nearest existing parent) belongs to another
// user: becomes that user (group list, group, user) for the rest of the
// run, so that the kernel judges everything brnet does there as the
// mailer's own. The directory is opened once without following a link and
// its owner taken from that handle; a link, or a directory that a third
// user could swap (an ancestor writable by someone but root and the owner),
// is refused, and after the switch the directory must still be the one
// looked at. Refuses, saying why, when it cannot. Does nothing for any
// other user; a root-owned directory keeps root after the same checks.
void EnterSpool(const std::string& dir);

}  // namespace brnet::cli
