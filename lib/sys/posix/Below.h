// Reaching entries inside a shared directory without following symbolic
// links. The directory itself (a path the user configured) may be a link;
// every component below it is opened with O_NOFOLLOW, relative to the
// descriptor of the one before, so a link planted there, or swapped in
// meanwhile, is never followed.
#pragma once

#include <string>
#include <string_view>

namespace brnet::sys::posix {

// A descriptor owned until destruction.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset();

 private:
  int fd_ = -1;
};

// The directory holding the last component of ROOT followed by BELOW,
// opened as a path descriptor, and that last component's name.
struct ParentDir {
  UniqueFd Dir;
  std::string Name;
  std::string Path;  // ROOT followed by BELOW, for messages
};

// Opens the directory that holds BELOW's last component: ROOT as
// OpenConfiguredDir opens it, then each directory of BELOW without
// following a link. Raises EInOutError naming the link for a link, else the
// system's error naming the directory; a "." or ".." component is refused
// (EINVAL). BELOW must name at least one entry.
ParentDir OpenParentBelow(const std::string& root, std::string_view below);

// Opens the configured directory ROOT (empty for the current directory) as
// a path descriptor, or -1 with errno set. A configured link is followed,
// as sysops set them up; but root follows only a link of its own in a
// directory only root may write (else ELOOP): the spool's directories lie
// in one the mailer's user and group may write (the Debian spool is ftn's
// home), and whoever may write there could put a link in place of the
// outbound that sends root's flow files and flags into any directory.
int OpenConfiguredDir(const std::string& root);

// True when NAME in DIR is a symbolic link itself.
bool IsLinkAt(int dir, const std::string& name);

// Raises the error for a symbolic link found at PATH where none is followed.
[[noreturn]] void ThrowLinkRefused(const std::string& path);

}  // namespace brnet::sys::posix
