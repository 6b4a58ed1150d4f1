// Domains, zone checks and root working as the spool's owner.
#include "Spool.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

// The domain TEXT names, or, without "@", the one binkd files its zone
// under (BinkdDomainOfZone); empty for the main address's.
std::string DomainOfText(const Resolved& setup, MainAddressScope& main, const std::string& text) {
  const std::size_t at = text.find('@');
  if (at != std::string::npos) return text.substr(at + 1);
  if (!setup.Binkd) return {};
  main.NameZone(0);
  const std::string domain = BinkdDomainOfZone(*setup.Binkd, ParseDestination(text).Zone);
  return EqualsAsciiNoCase(domain, setup.MainDomain) ? std::string() : domain;
}

Destination ResolveDestination(const Resolved& setup, MainAddressScope& main,
                               const std::string& text) {
  CheckDefaultZone(setup, main.Addr());
  ParseDestination(text);  // a malformed text is refused as such first
  Destination dest;
  dest.Place = PlaceOf(setup, DomainOfText(setup, main, text));
  // Parts left out come from the main address, the zone from the domain's.
  main.NameZone(dest.Place.Main ? 0 : dest.Place.DefaultZone);
  dest.Addr = ParseDestination(text);
  return dest;
}

void WarnIfNotCalled(const Resolved& setup, const Destination& dest, bool quiet) {
  if (quiet || !setup.Binkd) return;
  TFidoAddr addr = dest.Addr;
  addr.Domain = dest.Place.Domain;
  const std::string why = WhyBinkdWillNotCall(*setup.Binkd, addr);
  if (why.empty()) return;
  std::fprintf(stderr, "brnet: warning: %s: %s; queued all the same\n", dest.Text().c_str(),
               why.c_str());
}

namespace {

// Why a directory ST (reached as PATH) above the spool SPOOL could be
// swapped by a third user: an owner other than root and the spool's, or
// write access for all, or for another group than the spool's, without the
// sticky bit; empty when none. (The spool's group shares the spool anyway.)
std::string SwappableBy(const std::string& path, const struct stat& st, const struct stat& spool) {
  const uid_t owner = spool.st_uid;
  if (st.st_uid != 0 && st.st_uid != owner) return path + " belongs to another user";
  if ((st.st_mode & S_IWOTH) != 0 && (st.st_mode & S_ISVTX) == 0) {
    return path + " is writable by all";
  }
  if ((st.st_mode & S_IWGRP) != 0 && (st.st_mode & S_ISVTX) == 0 && st.st_gid != spool.st_gid) {
    return path + " is writable by its group";
  }
  return {};
}

// DIR or its nearest existing parent, refused when it is a symbolic link.
std::string ExistingSpoolDir(const std::string& dir) {
  std::string path = dir.empty() ? "." : dir;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  struct stat st {};
  while (::lstat(path.c_str(), &st) != 0) {
    if (path == "/" || path == ".") throw Failure(dir + ": " + std::strerror(errno));
    path = DirAbove(path);
  }
  if (S_ISLNK(st.st_mode)) {
    throw Failure("running as root, brnet refuses " + path +
                  ": it is a symbolic link, which whoever owns the directory it lies in could "
                  "point anywhere; configure the directory it leads to");
  }
  return path;
}

// Every directory above PATH (followed as the system follows it) must be
// safe from a third user too.
void CheckAncestors(const std::string& path, const struct stat& spool, const std::string& why) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) throw Failure(why + path + ": " + std::strerror(errno));
  std::string dir = real;
  std::free(real);
  while (dir != "/") {
    dir = DirAbove(dir);
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) throw Failure(why + dir + ": " + std::strerror(errno));
    const std::string swap = SwappableBy(dir, st, spool);
    if (!swap.empty())
      throw Failure(why + swap + ", who could put another directory in place of " + path);
  }
}

void BecomeUser(uid_t uid, gid_t gid, const std::string& why) {
  std::vector<gid_t> groups = {gid};
  if (const passwd* pw = ::getpwuid(uid)) {
    gid = pw->pw_gid;
    int count = 64;
    groups.assign(static_cast<std::size_t>(count), 0);
    if (::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) < 0) {
      groups.assign(static_cast<std::size_t>(count), 0);
      ::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count);
    }
    groups.resize(static_cast<std::size_t>(std::max(count, 0)));
  }
  if (::setgroups(groups.size(), groups.data()) != 0)
    throw Failure(why + "setgroups: " + std::strerror(errno));
  if (::setresgid(gid, gid, gid) != 0) throw Failure(why + "setgid: " + std::strerror(errno));
  if (::setresuid(uid, uid, uid) != 0) throw Failure(why + "setuid: " + std::strerror(errno));
}

struct DirHandle {
  int fd = -1;
  ~DirHandle() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

void EnterSpool(const std::string& dir) {
  if (::geteuid() != 0) return;
  const std::string path = ExistingSpoolDir(dir);
  DirHandle handle{::open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  struct stat st {};
  if (handle.fd < 0 || ::fstat(handle.fd, &st) != 0) {
    throw Failure(path + ": " + std::strerror(errno));
  }
  const std::string why = "running as root, brnet works as the owner of " + path + ", but ";
  CheckAncestors(path, st, why);
  if (st.st_uid == 0) return;
  BecomeUser(st.st_uid, st.st_gid, why + "cannot become it: ");
  // As the owner now: the directory at the name must be the one judged.
  struct stat again {};
  DirHandle now{::open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  // The owner may lack the way in that root had: said as such.
  if (now.fd < 0) throw Failure(std::string(std::strerror(errno)) + ": " + path);
  if (::fstat(now.fd, &again) != 0 || again.st_dev != st.st_dev || again.st_ino != st.st_ino) {
    throw Failure(why + "it was replaced while brnet looked at it");
  }
}

}  // namespace brnet::cli
