#include "log/FidoLog.h"

#include <algorithm>
#include <cstdio>

#include "sys/Clock.h"
#include "sys/Error.h"
#include "sys/File.h"
#include "util/Ascii.h"
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

// A DOS-era end-of-file mark near the end would hide every line after it
// from older readers: cut the file at the first one.
void CutAtEofMark(sys::File& file) {
  const std::int64_t size = file.Size();
  const std::int64_t start = std::max<std::int64_t>(0, size - kCtrlZWindow);
  const std::string tail = file.ReadAt(start, static_cast<std::size_t>(size - start));
  if (auto pos = tail.find(kCtrlZ); pos != std::string::npos) {
    file.Truncate(start + static_cast<std::int64_t>(pos));
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
    if (!sys::FileExists(fileName_)) sys::CreateEmptyFile(fileName_);
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

void TLog::AppendRaw(std::string_view line) {
  BR_ASSERT(!fileName_.empty(), "FidoLog");
  sys::File file(fileName_, sys::FileMode::kAppend);
  CutAtEofMark(file);
  // A CR or LF in a caller's text would end the line early or forge one of
  // its own.
  std::string data = EscapeLineBreaks(line);
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
