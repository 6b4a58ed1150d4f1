// Whether the mailer serving a spool directory can use what is attached
// there, and whether this process may write into it. The mailer runs as
// the spool directory's owner (binkd's Debian package: ftn); it reads each
// attached file by its path and, when told to, truncates or deletes it
// after sending. An attach it cannot carry out would be reported as done
// and never sent, so it is refused before anything is written.
//
// POSIX judges from the mode bits of the file and of every directory above
// it, for the owner's user and groups. Windows decides by access lists that
// no mode bits show: both answers are always empty there.
#pragma once

#include <string>

namespace brnet::sys {

enum class MailerNeeds {
  kRead,          // send it
  kReadTruncate,  // send it, then truncate it
  kReadDelete,    // send it, then delete it from its directory
};

// Why the owner of SPOOL (or of its nearest existing parent) could not do
// with FILE what NEEDS says: a text naming the user and what it lacks
// ("the mailer's user ftn cannot read it"); empty when it could.
std::string MailerCannot(const std::string& spool, const std::string& file, MailerNeeds needs);

// Why this process may not make entries in the existing directory DIR: a
// text naming DIR, its owner, group and mode and what to change; empty when
// it may, or when DIR does not exist.
std::string CannotWriteIn(const std::string& dir);

}  // namespace brnet::sys
