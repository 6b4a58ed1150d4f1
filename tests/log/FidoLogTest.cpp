#include "log/FidoLog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "support/ChildProcess.h"
#include "sys/Error.h"
#include "sys/File.h"

namespace brnet {
namespace {

using test::ChildProcess;
using test::CurrentDir;
using test::Native;
using test::ReadFile;
using test::SiblingProgram;
using test::TempDir;
using test::WriteFile;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
    if (end == std::string::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

const std::regex kBinkLine(
    R"(^(.) (\d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d:\d\d:\d\d) (.{4}) (.*)$)");
const std::regex kFDLine(R"(^(.) (\d\d:\d\d:\d\d)  (.*)$)");

TEST(LogSettings, Defaults) {
  TLog log;
  EXPECT_EQ(log.Style(), lsBink);
  EXPECT_EQ(log.AppShortName(), "NONE");
  EXPECT_TRUE(log.Logging());
  EXPECT_EQ(log.FileName(), "");
  EXPECT_EQ(log.AppName(), "");
}

TEST(LogSettings, ShortNameIsFourUpperCaseCharacters) {
  TLog log;
  log.SetAppShortName("abc");
  EXPECT_EQ(log.AppShortName(), "ABC ");
  log.SetAppShortName("abcdef");
  EXPECT_EQ(log.AppShortName(), "ABCD");
  log.SetAppShortName("");
  EXPECT_EQ(log.AppShortName(), "    ");
  log.SetAppShortName("\xe0z1_");  // only a..z change case
  EXPECT_EQ(
      log.AppShortName(),
      "\xe0Z1_");  // The name stands inside every line: a line break would split or forge them.
  log.SetAppShortName("a\r\nb");
  EXPECT_EQ(log.AppShortName(), "A  B");
}

TEST(LogSettings, FileNameCreatesFileAndResolvesRelativeNames) {
  TempDir dir;
  ASSERT_TRUE(std::filesystem::create_directory(dir / "logs"));
  CurrentDir cd(dir.Path());
  TLog log;
  log.SetFileName(Native("./logs/x.log"));
  EXPECT_EQ(log.FileName(), dir / "logs/x.log");
  EXPECT_TRUE(sys::FileExists(dir / "logs/x.log"));
  EXPECT_EQ(ReadFile(dir / "logs/x.log"), "");
  WriteFile(dir / "old.log", "kept\r\n");
  log.SetFileName("old.log");
  EXPECT_EQ(ReadFile(dir / "old.log"), "kept\r\n") << "an existing log is never truncated";
  log.SetFileName(dir / "abs.log");
  EXPECT_EQ(log.FileName(), dir / "abs.log");
}

TEST(LogSettings, EmptyFileNameSwitchesLoggingOff) {
  TempDir dir;
  TLog log;
  log.SetFileName(dir / "a.log");
  log.SetFileName("");
  EXPECT_FALSE(log.Logging());
  EXPECT_EQ(log.FileName(), dir / "a.log") << "the stored name stays";
  log.Log('+', "dropped");
  log.LogStart();
  EXPECT_EQ(ReadFile(dir / "a.log"), "");
  log.SetFileName(dir / "a.log");
  EXPECT_TRUE(log.Logging());
}

TEST(LogSettings, MissingDirectoryFailsAndSwitchesLoggingOff) {
  TempDir dir;
  TLog log;
  try {
    log.SetFileName(dir / "nodir/x.log");
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()), "Path not found: " + dir / "nodir/x.log");
  }
  EXPECT_FALSE(log.Logging());
}

TEST(LogLines, BinkColumns) {
  TempDir dir;
  TLog log;
  log.SetFileName(dir / "b.log");
  log.SetAppShortName("abcd");
  log.LogStart();
  log.Log('+', "Sent file.zip");
  log.Log('!', "");
  auto lines = Lines(ReadFile(dir / "b.log"));
  ASSERT_EQ(lines.size(), 3u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kBinkLine)) << lines[0];
  EXPECT_EQ(m[1], "*");
  EXPECT_EQ(m[4], "ABCD");
  EXPECT_EQ(m[5], "Starting ABCD");
  EXPECT_EQ(lines[1].substr(0, 1), "+");
  EXPECT_EQ(lines[1].substr(17, 6), " ABCD ");
  EXPECT_EQ(lines[1].substr(23), "Sent file.zip") << "text from column 24";
  EXPECT_EQ(lines[2].size(), 23u);
}

TEST(LogLines, FDColumnsAndBanner) {
  TempDir dir;
  TLog log;
  log.SetStyle(lsFD);
  log.SetAppName("Name");
  log.SetFileName(dir / "f.log");
  log.LogStart();
  log.Log('#', "text\r\nwith a break\x1b[2J");
  auto lines = Lines(ReadFile(dir / "f.log"));
  ASSERT_EQ(lines.size(), 2u) << "a break in the text never splits the line";
  EXPECT_TRUE(std::regex_match(
      lines[0],
      std::regex(
          R"(^----------  \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d,Name$)")))
      << lines[0];
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[1], m, kFDLine)) << lines[1];
  // Names other users chose reach a sysop's terminal through "tail -f".
  EXPECT_EQ(lines[1].substr(12), "text\\r\\nwith a break\\x1b[2J")
      << "text from column 13, escaped";
}

TEST(LogLines, BinkBannerPrefersAppName) {
  TempDir dir;
  TLog log;
  log.SetFileName(dir / "b.log");
  log.SetAppName("Long Name");
  log.LogStart();
  EXPECT_NE(ReadFile(dir / "b.log").find("NONE Starting Long Name\r\n"), std::string::npos);
}

TEST(LogLines, StampsUseEnglishMonthsAndColons) {
  EXPECT_EQ(LogTime::BinkStamp(7, 12, 17, 40, 28), "07 Dec 17:40:28");
  EXPECT_EQ(LogTime::BinkStamp(31, 1, 0, 0, 0), "31 Jan 00:00:00");
  EXPECT_EQ(LogTime::FDStamp(9, 5, 3), "09:05:03");
  EXPECT_EQ(LogTime::BannerDate(7, 12, 2026), "07 Dec 26");
  EXPECT_EQ(LogTime::BannerDate(1, 5, 2000), "01 May 00");
}

// Only end-of-file marks at the very end go: one inside the text is part
// of it, and cutting there would lose everything after it.
TEST(LogLines, CtrlZIsRemovedOnlyAsTheLastBytes) {
  TempDir dir;
  TLog log;
  log.SetFileName(dir / "z.log");
  const std::size_t line = std::string("+ 07 Dec 17:40:28 NONE new\r\n").size();
  const std::string inside = "old line\r\n\x1a\x1a more text\r\n";
  WriteFile(dir / "z.log", inside);
  log.Log('+', "new");
  std::string text = ReadFile(dir / "z.log");
  EXPECT_EQ(text.substr(0, inside.size()), inside);
  EXPECT_EQ(text.size(), inside.size() + line) << text;
  EXPECT_EQ(text.substr(text.size() - 5), "new\r\n");

  WriteFile(dir / "z.log", "old line\r\n\x1a");
  log.Log('+', "new");
  text = ReadFile(dir / "z.log");
  EXPECT_EQ(text.substr(0, 10), "old line\r\n");
  EXPECT_EQ(text.find('\x1a'), std::string::npos) << "a final mark goes";
  EXPECT_EQ(text.size(), 10u + line);

  WriteFile(dir / "z.log", "a\x1a b\x1a\x1a\x1a");
  log.Log('+', "new");
  text = ReadFile(dir / "z.log");
  EXPECT_EQ(text.substr(0, 5), "a\x1a b+") << "the run at the end goes, the inner mark stays";

  WriteFile(dir / "z.log", "\x1a");
  log.Log('+', "new");
  EXPECT_EQ(ReadFile(dir / "z.log").size(), line) << "a file of a mark alone";
}

TEST(LogLines, CtrlZFarFromTheEndStays) {
  TempDir dir;
  TLog log;
  log.SetFileName(dir / "z.log");
  std::string old = "\x1a" + std::string(128, 'x');
  WriteFile(dir / "z.log", old);
  log.Log('+', "new");
  EXPECT_EQ(ReadFile(dir / "z.log").substr(0, old.size()), old);
}

TEST(LogLines, DeletedFileIsNotRecreated) {
  TempDir dir;
  TLog log;
  log.SetFileName(dir / "d.log");
  ASSERT_TRUE(std::filesystem::remove(dir / "d.log"));
  try {
    log.Log('+', "x");
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()), "File not found: " + dir / "d.log");
  }
  EXPECT_FALSE(sys::FileExists(dir / "d.log"));
  EXPECT_TRUE(log.Logging()) << "the next line tries again";
}

// While a line is written, another process may read the file, and its own
// line waits until the first is complete.
TEST(LogLocking, WriterWaitsForTheLineInProgressReaderDoesNot) {
  TempDir dir;
  const std::string path = dir / "l.log", signal = dir / "read.ok";
  WriteFile(path, "first\r\n");
  std::optional<ChildProcess> child;  // waited for after the file is let go
  sys::File held(path, sys::FileMode::kAppend);
  child.emplace(SiblingProgram("log_writer"),
                std::vector<std::string>{"read-then-line", path, signal});
  for (int i = 0; i < 400 && !sys::FileExists(signal); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(sys::FileExists(signal)) << "the other process could not read the held file";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // it now tries to write
  EXPECT_EQ(held.ReadAt(0, 1000), "first\r\n") << "a line was written into a held file";
  held.Write("held line\r\n");
  held.Close();
  ASSERT_EQ(child->Wait(), 0);
  auto lines = Lines(ReadFile(path));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "held line");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[2], m, kBinkLine)) << lines[2];
  EXPECT_EQ(m[5], "second writer");
}

TEST(LogLocking, ConcurrentProcessesWriteWholeLines) {
  TempDir dir;
  const std::string path = dir / "c.log";
  TLog setup;
  setup.SetFileName(path);
  constexpr int kProcs = 4, kLines = 200;
  std::vector<std::unique_ptr<ChildProcess>> kids;
  for (int p = 0; p < kProcs; ++p) {
    kids.push_back(std::make_unique<ChildProcess>(
        SiblingProgram("log_writer"),
        std::vector<std::string>{"lines", path, "P" + std::to_string(p), std::to_string(kLines)}));
  }
  for (auto& kid : kids) EXPECT_EQ(kid->Wait(), 0);
  auto lines = Lines(ReadFile(path));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kProcs * kLines));
  std::vector<int> next(kProcs, 0);
  for (const auto& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, kBinkLine)) << line;
    int p = std::stoi(m[4].str().substr(1));
    EXPECT_EQ(m[5].str(), "process P" + std::to_string(p) + " line " + std::to_string(next[p]++));
  }
}

TEST(JoinToDir, WindowsRules) {
  using sys::PathStyle;
  auto join = [](const char* name, const char* base) {
    return JoinToDir(name, base, PathStyle::Windows);
  };
  EXPECT_EQ(join(".\\logs\\x.log", "C:\\work"), "C:\\work\\logs\\x.log");
  EXPECT_EQ(join("x.log", "C:\\"), "C:\\x.log");
  EXPECT_EQ(join("\\logs\\x.log", "C:\\work"), "C:\\logs\\x.log");
  EXPECT_EQ(join("\\\\srv\\x.log", "C:\\work"), "C:\\\\srv\\x.log");
  EXPECT_EQ(join("D:x.log", "C:\\work"), "D:x.log");
  EXPECT_EQ(join("..\\x.log", "C:\\work"), "C:\\work\\..\\x.log");
  EXPECT_EQ(join(".\\.\\x.log", "C:\\work"), "C:\\work\\.\\x.log");
  EXPECT_EQ(join("", "C:\\work"), "");
  EXPECT_EQ(join("x.log", ""), "x.log");
  EXPECT_EQ(join("\\x.log", "\\\\srv\\share"), "") << "no drive to lend";
}

TEST(JoinToDir, PosixRules) {
  using sys::PathStyle;
  auto join = [](const char* name, const char* base) {
    return JoinToDir(name, base, PathStyle::Posix);
  };
  EXPECT_EQ(join("./logs/x.log", "/work"), "/work/logs/x.log");
  EXPECT_EQ(join("x.log", "/"), "/x.log");
  EXPECT_EQ(join("/var/log/x.log", "/work"), "/var/log/x.log");
  EXPECT_EQ(join("C:x.log", "/work"), "/work/C:x.log") << "no drives on POSIX";
  EXPECT_EQ(join("../x.log", "/work/"), "/work/../x.log");
}

}  // namespace
}  // namespace brnet
