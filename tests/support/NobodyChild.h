// A child process that runs as the unprivileged user "nobody" (POSIX only),
// for tests of what one user can do to another: started by fork from a test
// running as root, it drops its privileges, runs BODY, reports what BODY
// returned and then waits until its parent lets it end, so that whatever it
// holds (a socket name, an open file) lasts while the parent looks.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <functional>
#include <string>

namespace brnet::test {

class NobodyChild {
 public:
  static constexpr uid_t kUid = 65534;
  static constexpr gid_t kGid = 65534;

  // Only root can become another user.
  static bool Possible() { return ::geteuid() == 0; }

  explicit NobodyChild(const std::function<std::string()>& body) {
    int report[2], hold[2];
    if (::pipe(report) != 0 || ::pipe(hold) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(report[0]);
      ::close(hold[1]);
      std::string result;
      if (::setgroups(0, nullptr) != 0 || ::setgid(kGid) != 0 || ::setuid(kUid) != 0) {
        result = "cannot become nobody";
      } else {
        try {
          result = body();
        } catch (const std::exception& e) {
          result = std::string("exception: ") + e.what();
        }
      }
      result += '\0';
      for (std::size_t done = 0; done < result.size();) {
        const ssize_t n = ::write(report[1], result.data() + done, result.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      char c;
      while (::read(hold[0], &c, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(report[1]);
    ::close(hold[0]);
    report_ = report[0];
    hold_ = hold[1];
  }
  NobodyChild(const NobodyChild&) = delete;
  NobodyChild& operator=(const NobodyChild&) = delete;
  ~NobodyChild() { End(); }

  // What BODY returned; "no child" when it could not be started.
  std::string Result() {
    if (pid_ <= 0) return "no child";
    std::string out;
    char c;
    while (report_ >= 0 && ::read(report_, &c, 1) == 1 && c != '\0') out += c;
    return out;
  }

  // Lets the child end and waits for it.
  void End() {
    if (hold_ >= 0) ::close(hold_);
    if (report_ >= 0) ::close(report_);
    hold_ = report_ = -1;
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int report_ = -1;
  int hold_ = -1;
};

}  // namespace brnet::test
