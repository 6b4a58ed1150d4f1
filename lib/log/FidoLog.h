// The mailer-style log file.
//
// Every line is one open, append and close of the file, so the log is
// complete on disk after each line and free for other writers between lines.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "sys/Path.h"

namespace brnet {
namespace sys {
class File;
}

enum TLogStyle : std::uint8_t {
  lsBink = 0,  // "+ 07 Dec 17:40:28 ABCD text"
  lsFD = 1,    // "+ 17:40:28  text"
};

// A progress line reported by an object (SENDER, e.g. an outbound node).
using TLogStringEvent =
    std::function<void(const void* sender, char logLevel, std::string_view logString)>;

class TLog {
 public:
  TLog() = default;

  const std::string& FileName() const { return fileName_; }
  // An empty name switches logging off. Otherwise the name is made absolute
  // against the current directory and the file created empty if missing; a
  // failure to create it switches logging off and propagates.
  void SetFileName(std::string_view value);

  const std::string& AppShortName() const { return shortName_; }
  // Upper-cased and cut or padded with blanks to exactly four characters.
  void SetAppShortName(std::string_view value);

  TLogStyle Style() const { return style_; }
  void SetStyle(TLogStyle style) { style_ = style; }
  const std::string& AppName() const { return appName_; }
  void SetAppName(std::string_view name) { appName_ = std::string(name); }
  bool Logging() const { return logging_; }
  void SetLogging(bool on) { logging_ = on; }

  // Opens the file now and writes every later line through this one open
  // file (each line still one write at its end): for a caller that gives
  // up its rights after setting up, as brnet run as root becomes the
  // mailer's user, and keeps the log it was given.
  void KeepOpen();

  // Appends one line with LEVEL and TEXT; nothing while logging is off.
  void Log(char level, std::string_view text);
  // Writes the start banner of the current style.
  void LogStart();

 private:
  void AppendRaw(std::string_view line);

  std::string fileName_;
  std::string shortName_ = "NONE";
  TLogStyle style_ = lsBink;
  std::string appName_;
  bool logging_ = true;
  std::shared_ptr<sys::File> kept_;  // KeepOpen's file
};

// Makes a name absolute against a base directory by the platform's rules.
using sys::JoinToDir;

// "dd mmm hh:nn:ss", "hh:nn:ss" and "dd mmm yy" with English month names,
// whatever the system's regional settings.
struct LogTime {
  static std::string BinkStamp(int day, int month, int hour, int minute, int second);
  static std::string FDStamp(int hour, int minute, int second);
  static std::string BannerDate(int day, int month, int year);
};

}  // namespace brnet
