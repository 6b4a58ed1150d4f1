// What brnet check judges: the outbound of every domain and the file boxes
// read node by node against binkd's configuration, its service's sandbox
// and the mailer's user; each thing binkd will not send becomes a Problem.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Args.h"
#include "Setup.h"
#include "Spool.h"

namespace brnet::cli {

struct Problem {
  std::string Kind;     // missing, not-a-file, twice, mailer-cannot, service-cannot,
                        // access, wrong-domain, not-called, stale-flag,
                        // hold-expired, failed-calls, unreadable, owner
  std::string Address;  // as brnet shows it
  std::string Path;     // the file or directory concerned, as shown
  std::string Why;
  std::string Fix;  // what --fix does, or what a person can do
  bool Fixable = false;
  // For --fix: the node, its outbound's domain (empty: the main one), the
  // directory PATH lies below (nothing below it is followed as a link),
  // what a flag or hold file held when judged, the domain to move to;
  // the path as it is (PATH may show control characters as "?") and the
  // device and inode of what was judged.
  TFidoAddr Addr;
  std::string Domain;
  std::string Root;
  std::string Full;
  std::uint64_t Dev = 0, Ino = 0;
  std::string Content;
  std::string TargetDomain;
};

// The user the mailer runs as: the owner of the spool directory.
struct MailerUser {
  uid_t Uid = 0;
  gid_t Gid = 0;
  std::vector<gid_t> Groups;
  std::string Name;
};

// The owner of DIR, or of its nearest existing parent.
MailerUser OwnerOf(const std::string& dir);

struct CheckResult {
  std::vector<Problem> Problems;
  std::size_t Nodes = 0, Entries = 0;
  MailerUser Mailer;
};

// Reads the outbound and judges it, for the nodes ARGS name (all without
// an operand).
CheckResult RunChecks(const ParsedArgs& args, const SetupSources& sources);

// Whether PATH is gone for sure: its directory is there, and no entry of
// its name (not even a link that leads nowhere). A file below a directory
// that is gone may come back with a disk not mounted now.
bool ProvedGone(const std::string& path);

// Whether USER has the rights WANT (4 read, 2 write, 1 search) on ST.
bool MailerMay(const MailerUser& user, const struct stat& st, unsigned want);

}  // namespace brnet::cli
