#include "log/FidoLog.h"

#include <algorithm>
#include <cstdio>

#include "sys/Clock.h"
#include "sys/Error.h"
#include "sys/File.h"
#include "util/Ascii.h"
#include "util/Files.h"
#include "util/Paths.h"
#include "util/Words.h"

namespace brnet {
namespace {

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr char kCtrlZ = 26;
constexpr std::int64_t kCtrlZWindow = 128;

std::string TwoDigits(int value) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02d", ((value % 100) + 100) % 100);
  return buf;
}

const char* MonthName(int month) {
  return kMonths[std::clamp(month, 1, 12) - 1];
}

std::string Time(int hour, int minute, int second) {
  return TwoDigits(hour) + ":" + TwoDigits(minute) + ":" + TwoDigits(second);
}

// A DOS-era end-of-file mark at the very end would hide every line appended
// after it from older readers: take it away. Only trailing marks go; one
// anywhere else is part of the text before it and stays with everything
// after it (the name may point at any file, and nothing of it is lost).
void DropTrailingEofMarks(sys::File& file) {
  const std::int64_t size = file.Size();
  const std::int64_t start = std::max<std::int64_t>(0, size - kCtrlZWindow);
  const std::string tail = file.ReadAt(start, static_cast<std::size_t>(size - start));
  std::size_t keep = tail.size();
  while (keep > 0 && tail[keep - 1] == kCtrlZ) --keep;
  if (keep < tail.size()) file.Truncate(start + static_cast<std::int64_t>(keep));
}

// Opens the log NAME in MODE; its own name is never followed as a link.
// A log often lies in a directory other users may write into (the spool's,
// binkd's log directory of the mailer's group), and whoever runs as root
// would otherwise append to, or create, whatever file a link put there
// names. Only the directory part of NAME, the caller's own choice, is
// taken as it is. False when MODE is kCreateExclusive and the name is
// taken (a link included).
bool OpenLogFile(sys::File& file, const std::string& name, sys::FileMode mode) {
  const std::string dir = ExtractFilePath(name);
  // A missing directory is named with the log's name, as the open names it.
  if (!DirectoryPresent(dir)) {
    throw EInOutError(sys::RunErrorMessage(sys::rePathNotFound) + ": " + name, sys::rePathNotFound);
  }
  try {
    return file.OpenBelow(dir, ExtractFileName(name), mode);
  } catch (const EInOutError& e) {
    if (e.what() != sys::SymbolicLinkRefusedText(name)) throw;
    throw EInOutError("Refused to follow the symbolic link " + name +
                          ": a log is written only under its own name, never through a link "
                          "that whoever may write into its directory could have put there",
                      e.ErrorCode());
  }
}

}  // namespace

std::string LogTime::BinkStamp(int day, int month, int hour, int minute, int second) {
  return TwoDigits(day) + " " + MonthName(month) + " " + Time(hour, minute, second);
}

std::string LogTime::FDStamp(int hour, int minute, int second) {
  return Time(hour, minute, second);
}

std::string LogTime::BannerDate(int day, int month, int year) {
  return TwoDigits(day) + " " + MonthName(month) + " " + TwoDigits(year);
}

void TLog::SetFileName(std::string_view value) {
  kept_.reset();
  if (value.empty()) {
    logging_ = false;
    return;
  }
  logging_ = true;
  try {
    fileName_ = JoinToDir(value, sys::CurrentDirectory());
    // A rooted name with no drive to take it from has no full form.
    if (fileName_.empty()) {
      throw EInOutError(sys::RunErrorMessage(sys::rePathNotFound) + ": " + std::string(value),
                        sys::rePathNotFound);
    }
    sys::File made;
    OpenLogFile(made, fileName_, sys::FileMode::kCreateExclusive);
  } catch (...) {
    logging_ = false;
    throw;
  }
}

void TLog::SetAppShortName(std::string_view value) {
  std::string name = ToAsciiUpper(value.substr(0, std::min<std::size_t>(value.size(), 4)));
  // The name stands inside every line: a line break would split them.
  for (char& c : name) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  name.resize(4, ' ');
  shortName_ = name;
}

void TLog::KeepOpen() {
  if (!logging_ || fileName_.empty()) return;
  auto file = std::make_shared<sys::File>();
  OpenLogFile(*file, fileName_, sys::FileMode::kAppendUnlocked);
  kept_ = std::move(file);
}

void TLog::AppendRaw(std::string_view line) {
  BR_ASSERT(!fileName_.empty(), "FidoLog");
  if (kept_) {
    kept_->Write(EscapeControls(line) + "\r\n");
    return;
  }
  sys::File file;
  try {
    OpenLogFile(file, fileName_, sys::FileMode::kAppend);
    DropTrailingEofMarks(file);
  } catch (const EFileLocked&) {
    // Somebody keeps the log locked (any user who can read it can): the
    // line goes in without the lock rather than not at all or never. Its
    // one write still lands whole at the end; only end-of-file marks are
    // left alone, as cutting them could cut the holder's line.
    OpenLogFile(file, fileName_, sys::FileMode::kAppendUnlocked);
  }
  // A CR or LF in a caller's text would end the line early or forge one of
  // its own; any other control character (an ESC sequence in a name another
  // user chose) would reach the terminal of whoever reads the log.
  std::string data = EscapeControls(line);
  data += "\r\n";
  file.Write(data);
  file.Close();
}

void TLog::Log(char level, std::string_view text) {
  if (!logging_) return;
  const sys::DateTime now = sys::LocalNow();
  std::string line(1, level);
  line += ' ';
  if (style_ == lsBink) {
    line += LogTime::BinkStamp(now.day, now.month, now.hour, now.minute, now.second);
    line += ' ';
    line += shortName_;
    line += ' ';
  } else {
    line += LogTime::FDStamp(now.hour, now.minute, now.second);
    line += "  ";
  }
  line += text;
  AppendRaw(line);
}

void TLog::LogStart() {
  if (!logging_) return;
  if (style_ == lsBink) {
    Log('*', "Starting " + (appName_.empty() ? shortName_ : appName_));
    return;
  }
  const sys::DateTime now = sys::LocalNow();
  AppendRaw("----------  " + LogTime::BannerDate(now.day, now.month, now.year) + "," + appName_);
}

}  // namespace brnet
