#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

#include "sys/HostFs.h"

namespace brnet::sys::host {
namespace {

std::uint64_t WindowsTime(const timespec& ts) {
  return (static_cast<std::uint64_t>(ts.tv_sec) + 11644473600ULL) * 10000000ULL +
         static_cast<std::uint64_t>(ts.tv_nsec) / 100;
}

// A UTF-8 text: the host's texts are, and a mailer's log and the other
// side's file names are too. The host puts U+FFFD or "?" where it could not
// decode a name; the file is then not found.
bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t n = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

std::size_t MailerPathMax() {
  return PATH_MAX - 1;
}

}  // namespace

std::string MailerPath(const std::string& hostPath, bool /*shortForm*/, MailerCodePage,
                       MailerPathProblem& problem, std::string& why) {
  problem = MailerPathProblem::kNone;
  const auto refuse = [&problem](MailerPathProblem p) {
    problem = p;
    return std::string();
  };
  if (hostPath.size() > MailerPathMax()) return refuse(MailerPathProblem::kTooLong);
  if (!IsUtf8(hostPath)) return refuse(MailerPathProblem::kNotInHostCodePage);
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) != 0) {
    why = std::strerror(errno);
    return refuse(MailerPathProblem::kMissing);
  }
  if (S_ISDIR(st.st_mode)) return refuse(MailerPathProblem::kDirectory);
  // A mailer reading a pipe or a device would wait, or send without end.
  if (!S_ISREG(st.st_mode)) return refuse(MailerPathProblem::kNotAFile);
  return hostPath;
}

std::string HostTextOf(const std::string& systemText) {
  return systemText;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string ShortPathName(const std::string& path) {
  return path;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || ::access(path.c_str(), R_OK) != 0) return {};
  if (path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) == nullptr) return {};
  std::string rel = path;
  while (rel.rfind("./", 0) == 0) rel.erase(0, 2);
  return std::string(cwd) + "/" + rel;
}

std::string CanonicalPath(const std::string& path, std::string& why) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) {
    why = path + ": " + std::strerror(errno);
    return {};
  }
  return resolved;
}

EntryInfo StatEntry(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) return {};
  EntryInfo info;
  info.isDir = S_ISDIR(st.st_mode);
  info.readOnly = (st.st_mode & S_IWUSR) == 0;
  info.size = info.isDir ? 0 : static_cast<std::uint64_t>(st.st_size);
  info.created = WindowsTime(st.st_ctim);
  info.accessed = WindowsTime(st.st_atim);
  info.written = WindowsTime(st.st_mtim);
  info.links = static_cast<std::uint32_t>(st.st_nlink);
  return info;
}

bool ListNames(const std::string& dir, std::vector<std::string>& names, std::string& why) {
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), ::closedir);
  if (!d) {
    why = dir + ": " + std::strerror(errno);
    return false;
  }
  while (const dirent* e = ::readdir(d.get())) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return true;
}

bool MatchesWildcard(const char* pattern, const char* name) {
  return ::fnmatch(pattern, name, 0) == 0;
}

std::optional<std::string> ReadHead(const std::string& path, std::size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> head;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    head.emplace(maxBytes, '\0');
    std::size_t got = 0;
    while (got < maxBytes) {
      const ssize_t n = ::read(fd, head->data() + got, maxBytes - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    head->resize(got);
  }
  ::close(fd);
  return head;
}

bool SameFileName(const std::string& a, const std::string& b) {
  return a == b;
}

}  // namespace brnet::sys::host
