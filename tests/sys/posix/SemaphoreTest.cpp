// The POSIX half's semaphores: lock files in a directory of the user's own,
// so a name's length, the process's descriptor limit and the directory's
// owner and mode are its own failure causes.
#include "sys/Semaphore.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "support/NobodyChild.h"

namespace brnet::sys {
namespace {

namespace fs = std::filesystem;

TEST(PosixNamedSemaphore, FailuresAreNotReportedAsCreated) {
  const std::string name = "brnet-test-nofd-" + std::to_string(::getpid());
  NamedSemaphore tooLong;
  EXPECT_EQ(tooLong.Create(std::string(300, 'x')), NamedSemaphore::CreateResult::Failed)
      << "longer than a file name may be";
  // Without a free descriptor.
  pid_t child = ::fork();
  if (child == 0) {
    rlimit none{0, 0};
    ::setrlimit(RLIMIT_NOFILE, &none);
    NamedSemaphore sem;
    ::_exit(sem.Create(name) == NamedSemaphore::CreateResult::Failed ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Points BRNET_SEMAPHORE_DIR at DIR while it lives.
class ScopedPlace {
 public:
  explicit ScopedPlace(const std::string& dir) {
    if (const char* old = std::getenv("BRNET_SEMAPHORE_DIR")) old_ = old;
    ::setenv("BRNET_SEMAPHORE_DIR", dir.c_str(), 1);
  }
  ~ScopedPlace() {
    if (old_.empty()) {
      ::unsetenv("BRNET_SEMAPHORE_DIR");
    } else {
      ::setenv("BRNET_SEMAPHORE_DIR", old_.c_str(), 1);
    }
  }

 private:
  std::string old_;
};

// The names belong to the user: another user can neither take ours (the
// abstract socket names this half used before were anybody's to bind) nor
// keep us out with theirs, and a directory that is not ours alone is
// refused rather than trusted. (Another process of the same user does keep
// us out: SemaphoreProcesses.HeldByAnotherProcessAndGoneWhenItEnds.)
TEST(PosixNamedSemaphore, AnotherUserCanNeitherHoldNorSeeOurNames) {
  if (!test::NobodyChild::Possible()) GTEST_SKIP() << "needs root to run a child as nobody";
  test::TempDir tmp;
  ::chmod(tmp.Path().c_str(), 0755);
  const std::string ours = tmp / "ours", theirs = tmp / "theirs";
  fs::create_directory(theirs);
  ::chown(theirs.c_str(), test::NobodyChild::kUid, test::NobodyChild::kGid);
  const std::string name = "T-MAIL_SEM_TEST" + std::to_string(::getpid()) + ".BSY";
  ScopedPlace place(ours);
  NamedSemaphore first;
  ASSERT_EQ(first.Create("made-the-place"), NamedSemaphore::CreateResult::Created);
  EXPECT_EQ(fs::status(ours).permissions() & fs::perms::all, fs::perms::owner_all);
  test::NobodyChild other([&] {
    static NamedSemaphore inOurs, inTheirs;  // live until the child ends
    const bool tookOurs = inOurs.Create(name) == NamedSemaphore::CreateResult::Created;
    ::setenv("BRNET_SEMAPHORE_DIR", theirs.c_str(), 1);
    const bool tookTheirs = inTheirs.Create(name) == NamedSemaphore::CreateResult::Created;
    return std::string(tookOurs ? "took ours" : "refused") + ", " +
           (tookTheirs ? "holds its own" : "none of its own");
  });
  ASSERT_EQ(other.Result(), "refused, holds its own");
  EXPECT_FALSE(NamedSemaphore::Present(name));
  NamedSemaphore mine;
  EXPECT_EQ(mine.Create(name), NamedSemaphore::CreateResult::Created);

  // A place another user owns, or one open to others, or a link to ours.
  for (const std::string& bad : {theirs, std::string(tmp / "open"), std::string(tmp / "link")}) {
    SCOPED_TRACE(bad);
    if (bad.ends_with("open")) {
      fs::create_directory(bad);
      ::chmod(bad.c_str(), 0777);
    }
    if (bad.ends_with("link")) fs::create_directory_symlink(ours, bad);
    ScopedPlace elsewhere(bad);
    NamedSemaphore refused;
    EXPECT_EQ(refused.Create("T-MAIL_SEM_OTHER.BSY"), NamedSemaphore::CreateResult::Failed);
  }
}

}  // namespace
}  // namespace brnet::sys
