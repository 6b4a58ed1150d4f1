// Domains, zone checks and the mailer's user.
#include "Spool.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "CliError.h"
#include "util/Ascii.h"

namespace brnet::cli {
namespace {

std::string KnownDomains(const Resolved& setup) {
  std::string names;
  for (const BinkdDomain& d : setup.Domains) names += (names.empty() ? "" : ", ") + d.Name;
  return names.empty() ? "none: no binkd configuration names domains" : names;
}

std::string DirAbove(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool InGroups(const MailerUser& user, gid_t gid) {
  return user.Gid == gid ||
         std::find(user.Groups.begin(), user.Groups.end(), gid) != user.Groups.end();
}

// Whether USER has the rights WANT (a mix of 4, 2, 1) on ST by its mode
// bits: the owner's, else the group's, else the others'.
bool Allows(const MailerUser& user, const struct stat& st, unsigned want) {
  if (user.Uid == 0) return (want & 1) == 0 || (st.st_mode & 0111) != 0 || S_ISDIR(st.st_mode);
  unsigned bits;
  if (st.st_uid == user.Uid) {
    bits = (st.st_mode >> 6) & 7;
  } else if (InGroups(user, st.st_gid)) {
    bits = (st.st_mode >> 3) & 7;
  } else {
    bits = st.st_mode & 7;
  }
  return (bits & want) == want;
}

std::string Who(const MailerUser& user) {
  return "the mailer's user " + (user.Name.empty() ? std::to_string(user.Uid) : user.Name);
}

}  // namespace

OutboundPlace PlaceOf(const Resolved& setup, const std::string& domain) {
  OutboundPlace place{setup.MainDomain, setup.BinkOut, setup.BinkDefaultZone, true};
  if (domain.empty()) return place;
  const TFidoAddr* main = MainAddress();
  const bool mainsOwn = main != nullptr && EqualsAsciiNoCase(main->Domain, domain);
  const BinkdDomain* found = nullptr;
  try {
    found = FindBinkdDomain(setup.Domains, domain);
  } catch (const EConfigError& e) {
    throw Failure(setup.BinkFrom + ": " + e.what());
  }
  if (found == nullptr) {
    // Without a configuration no domain can be checked: the one outbound.
    if (setup.Domains.empty()) {
      if (!mainsOwn) {
        std::fprintf(stderr,
                     "brnet: warning: no binkd configuration names domains; @%s goes to the "
                     "outbound given\n",
                     domain.c_str());
      }
      return place;
    }
    throw Failure("unknown domain \"" + domain +
                  "\"; the binkd configuration has: " + KnownDomains(setup));
  }
  if (EqualsAsciiNoCase(found->Name, setup.MainDomain)) return place;
  if (!found->RelativeAt.empty()) {
    throw Failure(found->RelativeAt + "the directory \"" + found->Path + "\" of the domain " +
                  found->Name +
                  " is relative; binkd takes it against its own working directory, which brnet "
                  "cannot know: make it absolute");
  }
  return {found->Name, found->Path, found->DefaultZone, false};
}

std::vector<OutboundPlace> Places(const Resolved& setup) {
  std::vector<OutboundPlace> places;
  if (!setup.BinkOut.empty()) places.push_back(PlaceOf(setup, {}));
  for (const BinkdDomain& d : setup.Domains) {
    if (!d.AliasFor.empty() || EqualsAsciiNoCase(d.Name, setup.MainDomain)) continue;
    if (!d.RelativeAt.empty()) {
      std::fprintf(
          stderr, "brnet: warning: %sthe directory \"%s\" of the domain %s is relative; left out\n",
          d.RelativeAt.c_str(), d.Path.c_str(), d.Name.c_str());
      continue;
    }
    places.push_back({d.Name, d.Path, d.DefaultZone, false});
  }
  return places;
}

std::string Destination::Text() const {
  TFidoAddr shown = Addr;
  shown.Domain = Place.Main ? std::string() : Place.Domain;
  return shown.Format(afDomain);
}

Destination ResolveDestination(const Resolved& setup, MainAddressScope& main,
                               const std::string& text) {
  CheckDefaultZone(setup, main.Addr());
  ParseDestination(text);  // a malformed text is refused as such first
  const std::size_t at = text.find('@');
  Destination dest;
  dest.Place = PlaceOf(setup, at == std::string::npos ? std::string() : text.substr(at + 1));
  // Parts left out come from the main address, the zone from the domain's.
  main.NameZone(dest.Place.Main ? 0 : dest.Place.DefaultZone);
  dest.Addr = ParseDestination(text);
  return dest;
}

MailerUser OwnerOf(const std::string& dir) {
  std::string path = dir.empty() ? "." : dir;
  struct stat st {};
  while (::stat(path.c_str(), &st) != 0) {
    if (path == "/" || path == ".") throw Failure(dir + ": " + std::strerror(errno));
    path = DirAbove(path);
  }
  MailerUser user;
  user.Uid = st.st_uid;
  user.Gid = st.st_gid;
  if (const passwd* pw = ::getpwuid(st.st_uid)) {
    user.Name = pw->pw_name;
    user.Gid = pw->pw_gid;
    int count = 64;
    user.Groups.resize(static_cast<std::size_t>(count));
    if (::getgrouplist(pw->pw_name, pw->pw_gid, user.Groups.data(), &count) < 0) {
      user.Groups.resize(static_cast<std::size_t>(count));
      ::getgrouplist(pw->pw_name, pw->pw_gid, user.Groups.data(), &count);
    }
    user.Groups.resize(static_cast<std::size_t>(std::max(count, 0)));
  } else {
    user.Groups = {st.st_gid};
  }
  return user;
}

void EnterSpool(const std::string& dir) {
  if (::geteuid() != 0) return;
  const MailerUser user = OwnerOf(dir);
  if (user.Uid == 0) return;
  const std::string why = "running as root, brnet works as " + Who(user) + ", the owner of " + dir +
                          ", but cannot become it: ";
  if (::setgroups(user.Groups.size(), user.Groups.data()) != 0)
    throw Failure(why + "setgroups: " + std::strerror(errno));
  if (::setresgid(user.Gid, user.Gid, user.Gid) != 0)
    throw Failure(why + "setgid: " + std::strerror(errno));
  if (::setresuid(user.Uid, user.Uid, user.Uid) != 0)
    throw Failure(why + "setuid: " + std::strerror(errno));
}

std::string MailerCannot(const MailerUser& user, const std::string& file, TOutbSendMode mode) {
  // Every directory on the way must be searchable.
  for (std::string dir = DirAbove(file);; dir = DirAbove(dir)) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0 && !Allows(user, st, 1)) {
      return Who(user) + " cannot enter " + dir + " (no search permission)";
    }
    if (dir == "/") break;
  }
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return std::strerror(errno);
  if (!Allows(user, st, 4)) return Who(user) + " cannot read it";
  if (mode == smTruncSent && !Allows(user, st, 2)) {
    return "--trunc-sent, but " + Who(user) + " cannot write it, so could not truncate it";
  }
  struct stat parent {};
  if (mode == smKillSent &&
      (::stat(DirAbove(file).c_str(), &parent) != 0 || !Allows(user, parent, 3))) {
    return "--kill-sent, but " + Who(user) + " cannot write its directory " + DirAbove(file) +
           ", so could not delete it";
  }
  // In a sticky directory (/tmp) only the file's or the directory's owner
  // may delete.
  if (mode == smKillSent && (parent.st_mode & S_ISVTX) != 0 && user.Uid != 0 &&
      st.st_uid != user.Uid && parent.st_uid != user.Uid) {
    return "--kill-sent, but its directory " + DirAbove(file) + " is sticky and " + Who(user) +
           " owns neither, so could not delete it";
  }
  return {};
}

}  // namespace brnet::cli
