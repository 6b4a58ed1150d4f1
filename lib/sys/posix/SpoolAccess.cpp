// POSIX half: the mailer's user is the spool directory's owner, judged by
// mode bits with that user's groups.
#include "sys/SpoolAccess.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace brnet::sys {
namespace {

// A user whose groups are looked up only when a mode's group bits decide.
struct User {
  uid_t Uid = 0;
  gid_t Gid = 0;
  std::string Name;
  bool Looked = false;
  std::vector<gid_t> Groups;
};

std::string DirAbove(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string UserName(uid_t uid) {
  const passwd* pw = ::getpwuid(uid);
  return pw != nullptr ? pw->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  const group* gr = ::getgrgid(gid);
  return gr != nullptr ? gr->gr_name : std::to_string(gid);
}

// UID as the system knows it.
User UserOf(uid_t uid, gid_t fallbackGroup) {
  User user{uid, fallbackGroup, std::to_string(uid)};
  if (const passwd* pw = ::getpwuid(uid)) {
    user.Name = pw->pw_name;
    user.Gid = pw->pw_gid;
  }
  return user;
}

// USER's groups as the system gives them at login.
const std::vector<gid_t>& GroupsOf(User& user) {
  if (user.Looked) return user.Groups;
  user.Looked = true;
  user.Groups = {user.Gid};
  if (const passwd* pw = ::getpwuid(user.Uid)) {
    int count = 64;
    user.Groups.assign(static_cast<std::size_t>(count), 0);
    if (::getgrouplist(pw->pw_name, pw->pw_gid, user.Groups.data(), &count) < 0) {
      user.Groups.assign(static_cast<std::size_t>(count), 0);
      ::getgrouplist(pw->pw_name, pw->pw_gid, user.Groups.data(), &count);
    }
    user.Groups.resize(static_cast<std::size_t>(std::max(count, 0)));
  }
  return user.Groups;
}

// The owner of PATH (or of its nearest existing parent) as ST.
bool OwnerOf(const std::string& path, struct stat& st) {
  std::string place = path.empty() ? "." : path;
  while (::stat(place.c_str(), &st) != 0) {
    if (place == "/" || place == ".") return false;
    place = DirAbove(place);
  }
  return true;
}

// Whether USER has the rights WANT (a mix of 4, 2, 1) on ST by its mode
// bits: the owner's, else the group's, else the others'.
bool Allows(User& user, const struct stat& st, unsigned want) {
  if (user.Uid == 0) return (want & 1) == 0 || (st.st_mode & 0111) != 0 || S_ISDIR(st.st_mode);
  if (st.st_uid == user.Uid) return (((st.st_mode >> 6) & 7) & want) == want;
  const unsigned group = ((st.st_mode >> 3) & 7) & want, other = st.st_mode & 7 & want;
  // The groups are looked up only where they make a difference.
  if (group == other) return other == want;
  const std::vector<gid_t>& groups = GroupsOf(user);
  const bool member = std::find(groups.begin(), groups.end(), st.st_gid) != groups.end();
  return (member ? group : other) == want;
}

std::string Who(const User& user) {
  return "the mailer's user " + user.Name;
}

// Why USER cannot delete FILE (ST) from its directory; empty when it can.
std::string CannotDelete(User& user, const std::string& file, const struct stat& st) {
  const std::string dir = DirAbove(file);
  struct stat parent {};
  if (::stat(dir.c_str(), &parent) != 0 || !Allows(user, parent, 3)) {
    return "delete after sending, but " + Who(user) + " cannot write its directory " + dir +
           ", so could not delete it";
  }
  // In a sticky directory (/tmp) only the file's or the directory's owner
  // may delete.
  if ((parent.st_mode & S_ISVTX) != 0 && user.Uid != 0 && st.st_uid != user.Uid &&
      parent.st_uid != user.Uid) {
    return "delete after sending, but its directory " + dir + " is sticky and " + Who(user) +
           " owns neither, so could not delete it";
  }
  return {};
}

// Why this process, the mailer's user itself, could not do with FILE what
// NEEDS says: the kernel judges, with one look per right.
std::string OwnCannot(const std::string& file, MailerNeeds needs) {
  if (::faccessat(AT_FDCWD, file.c_str(), R_OK, AT_EACCESS) != 0) {
    if (errno != EACCES) return {};  // the attach's own checks name it
    return Who(UserOf(::geteuid(), ::getegid())) + " cannot read it";
  }
  if (needs == MailerNeeds::kReadTruncate &&
      ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0) {
    return "truncate after sending, but " + Who(UserOf(::geteuid(), ::getegid())) +
           " cannot write it, so could not truncate it";
  }
  return {};
}

}  // namespace

std::string MailerCannot(const std::string& spool, const std::string& file, MailerNeeds needs) {
  struct stat spoolSt {};
  if (!OwnerOf(spool, spoolSt)) return {};  // no spool yet: its creation fails on its own
  const uid_t self = ::geteuid();
  if (spoolSt.st_uid == 0 && self == 0) return {};
  if (spoolSt.st_uid == self && needs != MailerNeeds::kReadDelete) return OwnCannot(file, needs);
  User user = UserOf(spoolSt.st_uid, spoolSt.st_gid);
  // Every directory on the way must be searchable.
  for (std::string dir = DirAbove(file);; dir = DirAbove(dir)) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0 && !Allows(user, st, 1)) {
      return Who(user) + " cannot enter " + dir + " (no search permission)";
    }
    if (dir == "/" || dir == ".") break;
  }
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return {};  // the attach's own checks name it
  if (!Allows(user, st, 4)) return Who(user) + " cannot read it";
  if (needs == MailerNeeds::kReadTruncate && !Allows(user, st, 2)) {
    return "truncate after sending, but " + Who(user) +
           " cannot write it, so could not truncate it";
  }
  if (needs == MailerNeeds::kReadDelete) return CannotDelete(user, file, st);
  return {};
}

std::string CannotWriteIn(const std::string& dir) {
  if (::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return {};
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  User me = UserOf(::geteuid(), ::getegid());
  const std::string group = GroupName(st.st_gid);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
  std::string text = "the user " + me.Name + " has no write access to " + dir + " (owner " +
                     UserName(st.st_uid) + ", group " + group + ", mode " + mode + "): ";
  // The groups this process has; the login groups may hold one added since.
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  groups.resize(static_cast<std::size_t>(
      std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  groups.push_back(::getegid());
  const auto in = [&](const std::vector<gid_t>& list) {
    return std::find(list.begin(), list.end(), st.st_gid) != list.end();
  };
  const bool groupWrites = (st.st_mode & S_IWGRP) != 0;
  if (!in(groups)) {
    text += in(GroupsOf(me)) ? "log in again to have the group " + group
                             : "add " + me.Name + " to the group " + group + " and log in again";
    if (!groupWrites) text += ", and ";
  }
  if (!groupWrites) text += "make it group-writable (chmod 2775 " + dir + ")";
  if (in(groups) && groupWrites) text += "ask its owner for write access";
  return text;
}

}  // namespace brnet::sys
