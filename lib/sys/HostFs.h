// File-system questions of the plug-in side: the plug-in's and those of its
// host, farhost.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// In a namespace of their own: the library's platform layer may well grow
// functions of the same names.
namespace brnet::sys::host {

// True when PATH names anything that exists, a file or a directory. An
// empty PATH never exists.
bool PathExists(const std::string& path);

// The short (8.3) form of PATH where the platform keeps one; otherwise, and
// when it cannot be had, PATH itself. POSIX has no short names.
std::string ShortPathName(const std::string& path);

// PATH made absolute without resolving symbolic links, so that a plug-in
// linked into a folder finds its companions there; empty when PATH cannot be
// read.
std::string AbsolutePath(const std::string& path);

// PATH absolute and in its one canonical form (links resolved, and on
// Windows the long form of every name); empty, with WHY naming PATH and the
// system's reason, on failure.
std::string CanonicalPath(const std::string& path, std::string& why);

struct EntryInfo {
  bool isDir = false;
  bool readOnly = false;
  std::uint64_t size = 0;  // 0 for a directory
  // 100-nanosecond intervals since 1601-01-01, as Windows counts.
  std::uint64_t created = 0, accessed = 0, written = 0;
  std::uint32_t links = 1;
};

// What is known of PATH (a dangling symbolic link as the link itself); a
// default EntryInfo when nothing is.
EntryInfo StatEntry(const std::string& path);

// Appends the names in DIR, without "." and "..", to NAMES in the order the
// file system gives them; false with WHY naming DIR and the cause on failure.
bool ListNames(const std::string& dir, std::vector<std::string>& names, std::string& why);

// Why a file the host names cannot go to a mailer as it is.
enum class MailerPathProblem {
  kNone,
  kTooLong,              // longer than the system's paths hold
  kNotInHostCodePage,    // the host had to replace characters ("?" on Windows)
  kNotInMailerCodePage,  // a character the mailer's code page lacks (ANSI on Windows)
  kTrailingDotOrBlank,   // Win32 programs cannot open such a name
  kDirectory,
  kNotAFile,  // a device, pipe or socket (on Windows a name such as NUL.TXT)
  kMissing,   // no such file; WHY holds the system's reason
};

// HOSTPATH, a file's full name as the host spells it (the OEM code page on
// Windows, UTF-8 on POSIX), as a mailer reads it: in its short (8.3) form
// when SHORTFORM and the volume keeps one, and on Windows in CODEPAGE's
// text (the ANSI code page Windows mailers read, or the one of the file
// functions when the library opens the file). Empty with the PROBLEM (and
// for kMissing the system's text in WHY) when it cannot be had.
enum class MailerCodePage { kMailer, kFileApis };
std::string MailerPath(const std::string& hostPath, bool shortForm, MailerCodePage codePage,
                       MailerPathProblem& problem, std::string& why);

// A text of the library or of the system (the ANSI code page on Windows) in
// the host's code page (OEM on Windows); unchanged on POSIX.
std::string HostTextOf(const std::string& systemText);

// NAME matches the shell wildcard PATTERN ("*", "?"), comparing as the
// platform's file names do: with case on POSIX, without on Windows.
bool MatchesWildcard(const char* pattern, const char* name);

// The first MAXBYTES bytes (fewer when it is shorter) of the ordinary file
// PATH, opened without following a link in its last name and without
// waiting (on a FIFO, a lock or a device); none when PATH is anything else,
// is missing or cannot be read. For files others write, such as a mailer's.
std::optional<std::string> ReadHead(const std::string& path, std::size_t maxBytes);

// True when the paths A and B are spelt alike as the platform's file names
// compare: with case on POSIX, without ASCII case on Windows.
bool SameFileName(const std::string& a, const std::string& b);

}  // namespace brnet::sys::host
