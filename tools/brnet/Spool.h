// The spool as the mailer sees it: which binkd domain (outbound directory
// and default zone) a destination belongs to, the zone checks every command
// makes, and the mailer's user: brnet run as root works as the owner of the
// directory it writes into, and every other user is told before anything is
// written when the mailer could not read (or delete, or truncate) a file.
//
// Every command that touches an outbound calls ResolveDestination (or
// Places, for all of them) first and, before it writes, EnterSpool.
#pragma once

#include <sys/types.h>

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
// its domain's default zone), its domain picked, and checked: not empty, no
// zone 0, no wildcard, and a main domain whose default zone is the main
// address's. Leaves MAIN naming the destination's domain (see
// MainAddressScope::NameZone).
Destination ResolveDestination(const Resolved& setup, MainAddressScope& main,
                               const std::string& text);

// The user the mailer runs as: the owner of the spool directory.
struct MailerUser {
  uid_t Uid = 0;
  gid_t Gid = 0;
  std::vector<gid_t> Groups;
  std::string Name;
};

// The owner of DIR, or of its nearest existing parent.
MailerUser OwnerOf(const std::string& dir);

// Run as root while DIR belongs to another user: becomes that user (group
// list, group, user) for the rest of the run, so that whatever is made
// there belongs to the mailer. Refuses, saying why, when it cannot. Does
// nothing for any other user or a root-owned directory.
void EnterSpool(const std::string& dir);

// Why USER could not read FILE (absolute), or with MODE delete or truncate
// it after sending; empty when it can. Judged from the mode bits of FILE and
// of every directory above it.
std::string MailerCannot(const MailerUser& user, const std::string& file, TOutbSendMode mode);

}  // namespace brnet::cli
