// What the library makes in a directory belongs to that directory's owner
// and group, readable and writable by them whatever the caller's umask: in
// a mailer's spool, whoever attaches (the mailer's user, a sysop of its
// group, root inside a file manager), the mailer can read, rewrite and
// delete it, and the next attach by any of them can append to it.
//
//   - Root gives it to the directory's owner and group (fchown through the
//     descriptor, right after making it, before it has its name where that
//     can be had). Any other user gives it the directory's group when a
//     member of it (a set-group-ID directory has done so already).
//   - The owner gets read and write (a directory also search); the group
//     gets what the directory's mode gives its group (read, write; a
//     directory also search and set-group-ID), unless the directory is
//     writable by all, where nothing is carried.
//   - Rights the umask left are kept; none is ever taken away.
#pragma once

#include <string>

namespace brnet::sys::posix {

// Gives FD, a file or directory this process has just made in the directory
// DIR (a descriptor; a path descriptor will do), to DIR's owner as above.
// Returns 0, or the error code when root could not give it away (the entry
// would stay root's, useless to the mailer).
int GiveToDirOwner(int fd, int dir);

// The same for FD, made under NAME in DIR; DIR may be AT_FDCWD, NAME then a
// path whose directory is opened for the purpose.
int GiveToDirOwner(int fd, int dir, const std::string& name);

// The same for the directory NAME just made in DIR (AT_FDCWD: a path),
// opened without following a link to be given; to the directory MODEL's
// owner instead when MODEL is given.
int GiveMadeDirToDirOwner(int dir, const std::string& name, const std::string& model = {});

}  // namespace brnet::sys::posix
