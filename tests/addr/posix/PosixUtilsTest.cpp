// The file utilities on POSIX: a copy whose write fails half-way (made to
// fail by a file-size limit, a resource limit Windows has no counterpart
// of), and a move onto the file's own name, which rename() refuses here.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "TestSupport.h"
#include "addr/Utils.h"

namespace brnet {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Runs BODY in a child process; its exit code is the result.
template <class F>
int InChild(F body) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Pattern(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return data;
}

TEST(PosixCopy, WriteErrorLeavesNoPartialCopy) {
  TempDir tmp;
  WriteFile(tmp / "big", Pattern(5 * 8192));
  const std::string dst = tmp / "dst";
  // A file-size limit makes the second buffer's write fail.
  int rc = InChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{8192, 8192};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
      CopyFileWithDate(tmp / "big", dst);
    } catch (const EWriteError& e) {
      return std::string(e.what()) == "Stream write error" ? 0 : 1;
    } catch (...) {
      return 2;
    }
    return 3;
  });
  EXPECT_EQ(rc, 0);
  EXPECT_FALSE(std::filesystem::exists(dst));
  EXPECT_EQ(ReadFile(tmp / "big"), Pattern(5 * 8192));
}

TEST(PosixMove, OntoItsOwnNameIsRefused) {
  TempDir tmp;
  WriteFile(tmp / "src", "new");
  test::MakeReadOnly(tmp / "src");
  // The rename refuses an existing target, and the copy onto the open source.
  EXPECT_THROW(MoveFileSafely(tmp / "src", tmp / "src"), EFCreateError);
  EXPECT_EQ(ReadFile(tmp / "src"), "new");
  EXPECT_TRUE(HasAllAttrs(tmp / "src", sys::faReadOnly)) << "source restored";
}

}  // namespace
}  // namespace brnet
