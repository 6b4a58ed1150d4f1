// File-system services with the semantics of the Windows file system that the
// outbound code is written against: directory searches with "*" and "?"
// patterns and an attribute filter, exclusive creation, moves that never
// replace, copies, attributes and file times.
//
// Searches compare names without regard to case on every platform, so files
// that other programs wrote in either case are found. The POSIX half maps
// its file modes to attribute bits in one place: directory from the file
// type, read-only from the owner's write bit, hidden for names starting with
// "."; system and volume-label never occur.
//
// The names avoid those of the Windows API macros (DeleteFile, CopyFile, ...)
// so that a Win32 half can include <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brnet::sys {

class File;

// Attribute bits as the Windows file system reports them.
enum FileAttr : std::uint32_t {
  faReadOnly = 0x01,
  faHidden = 0x02,
  faSysFile = 0x04,
  faVolumeID = 0x08,
  faDirectory = 0x10,
  faArchive = 0x20,
  faAnyFile = 0x3F,
};

// A point in time: nanoseconds since 1970-01-01 00:00 UTC.
using FileTime = std::int64_t;

struct SearchRec {
  std::string Name;  // without directory
  std::uint32_t Attr = 0;
  std::int64_t Size = 0;
  FileTime Time = 0;  // last write
};

// True when NAME matches PATTERN: "*" stands for any run of characters, "?"
// for exactly one, and letters are compared without regard to case. As on
// Windows, a pattern ending in ".*" also matches the names that match it
// without that ending ("*.*" matches every name, "x.*" matches "x").
bool MatchesMask(std::string_view name, std::string_view pattern);

// The attribute filter of a search: plain, read-only and archive entries
// always pass; hidden, system, volume-label and directory entries pass only
// when FILTER holds that bit.
constexpr bool PassesAttrFilter(std::uint32_t attr, std::uint32_t filter) {
  constexpr std::uint32_t special = faHidden | faSysFile | faVolumeID | faDirectory;
  return (attr & ~filter & special) == 0;
}

// One directory search, entry by entry. PATTERN is a directory part, used as
// it is (empty for the current directory), followed by a name pattern (see
// MatchesMask). The entries "." and ".." are never reported. A directory
// that does not exist or cannot be read yields nothing.
class FileSearch {
 public:
  FileSearch(const std::string& pattern, std::uint32_t filter);
  ~FileSearch();
  FileSearch(const FileSearch&) = delete;
  FileSearch& operator=(const FileSearch&) = delete;

  // The next matching entry; false when there are no more.
  bool Next(SearchRec& rec);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

std::optional<SearchRec> FindFirstMatch(const std::string& pattern, std::uint32_t filter);
std::vector<SearchRec> FindAllMatches(const std::string& pattern, std::uint32_t filter);

// Every existing entry whose path below ROOT equals BELOW when names are
// compared without regard to case, each as ROOT followed by its path as it is
// spelled on disk. ROOT is used as given: empty for the current directory,
// otherwise ending in the separator. BELOW uses the platform's separator;
// "*" and "?" in it are plain characters.
std::vector<std::string> FindPathsIgnoringCase(const std::string& root, std::string_view below);

// The spellings programs give a name, each once, NAME itself first: as
// given, all lower case, all upper case and capitalised ("Bsy"), and, when
// the name has an extension, the part before its last "." and the part from
// it each in one of those forms ("139C04D2.bsy", "139c04d2.Clo").
std::vector<std::string> UsualSpellings(std::string_view name);

// Every existing entry whose path below ROOT is BELOW in one of its usual
// spellings (UsualSpellings, name by name), found by looking each spelling
// up, not by reading directories: the cost does not grow with the number of
// entries beside it. Each entry once, as ROOT followed by the spelling that
// found it, in the order of the spellings, so BELOW as given comes first
// when it exists; at most LIMIT entries. A case-insensitive file system
// finds every spelling of an entry with the first lookup (on Windows the one
// lookup made). A name in any other spelling ("139C04d2.bSy") is not found;
// FindPathsIgnoringCase finds every spelling. The last name may be any
// entry (a symbolic link counts as itself), the others directories.
std::vector<std::string> FindUsualSpellings(const std::string& root, std::string_view below,
                                            std::size_t limit = SIZE_MAX);

// The entry PATH names, as a search for it reports it (see SearchRec; the
// name is PATH's last component), from one look-up of that very name; none
// when there is no such entry.
std::optional<SearchRec> EntryInfo(const std::string& path);

// Attribute bits of PATH, or -1 when they cannot be read.
int FileAttributes(const std::string& path);
// Sets or clears the read-only attribute.
bool SetReadOnly(const std::string& path, bool readOnly);

// One level. What is made belongs to the owner and group of the directory
// it is made in, with that directory's group rights (POSIX), or, when
// MODEL is given, of MODEL: a zone's directory beside the outbound is the
// outbound's.
bool MakeDir(const std::string& path, const std::string& model = {});
bool RemoveEmptyDir(const std::string& path);  // fails when anything is left in it
bool RemoveFile(const std::string& path);

// Creates PATH as a new, empty, normal file and closes it at once. Testing
// for the name and creating the file are one step of the file system, so of
// several processes racing for a name exactly one succeeds. False when the
// name exists or the file cannot be created.
bool CreateNewFile(const std::string& path);

// True when PATH (trailing separators aside) is itself a symbolic link
// (Windows: a reparse point), whether or not it leads anywhere.
bool IsSymbolicLink(const std::string& path);

// Renames (moves) FROM to TO and never replaces an existing TO. Returns 0 or
// the system's error code.
int RenameNoReplace(const std::string& from, const std::string& to);
// The same with TO given as ROOT followed by BELOW: no component of BELOW
// is reached through a symbolic link (see File::OpenBelow); such a link
// fails with the system's code for a link where none may be.
int RenameNoReplace(const std::string& from, const std::string& root, std::string_view below);

// Gives ROOT followed by FROMBELOW the name ROOT followed by TOBELOW in one
// step, replacing an entry of that name: a file rewritten whole under a
// temporary name takes the place of the old one, so that readers see one or
// the other, never a part. Components of both are reached as for
// RenameNoReplace. Returns 0 or the system's error code.
int RenameReplacingBelow(const std::string& root, std::string_view fromBelow,
                         std::string_view toBelow);
// Deletes the file ROOT followed by BELOW, reached as for RenameNoReplace
// (a symbolic link at the name is removed itself). Returns 0 or the
// system's error code.
int RemoveBelow(const std::string& root, std::string_view below);

// Copies the file FROM to a new file TO with FROM's last-write time and
// attributes and never replaces an existing TO. The copy appears under its
// name only whole, written out to the disk: it is written without a name
// (Linux) or under a temporary name in TO's directory that starts with "."
// and is then given its name. A failed or interrupted copy leaves nothing
// under TO. Returns 0 or the system's error code.
int CopyNoReplace(const std::string& from, const std::string& to);
// The same with TO given as ROOT followed by BELOW, reached as for
// RenameNoReplace; where a temporary name is needed it is made in ROOT, so
// that it never appears in BELOW's directory (a file box the mailer sends
// from).
int CopyNoReplace(const std::string& from, const std::string& root, std::string_view below);

// CopyNoReplace in two steps, so that the long part can run before the
// target's directory is locked against other programs: Stage writes the
// whole copy, on disk, where no program looks for files (a file without a
// name in ROOT, or a temporary name there starting with "."), and Publish
// gives it the name ROOT followed by BELOW, never replacing an existing
// file, the way CopyNoReplace would have. A copy staged and never published
// is removed when the object goes; a killed process leaves no unnamed file
// behind (a temporary name stays, as with CopyNoReplace).
class StagedCopy {
 public:
  StagedCopy() = default;
  ~StagedCopy();
  StagedCopy(const StagedCopy&) = delete;
  StagedCopy& operator=(const StagedCopy&) = delete;

  // Copies FROM for its place BELOW ROOT. Returns 0, the system's error code
  // of a copy that failed as CopyNoReplace would have failed (a name already
  // taken in an existing target directory is refused before anything is
  // copied), or kNotStaged when ROOT takes no staged copy (the process may
  // not write there): CopyNoReplace is the way then.
  static constexpr int kNotStaged = -1;
  int Stage(const std::string& from, const std::string& root, std::string_view below);
  bool Staged() const { return staged_; }
  // Names the staged copy; a target directory on another file system than
  // ROOT gets a copy made there afresh. Returns 0 or the system's error code.
  int Publish();

 private:
  void Discard();

  std::string from_;
  std::string root_;
  std::string below_;
  std::string temp_;  // the temporary name in ROOT, when there is one
  std::intptr_t handle_ = -1;
  bool staged_ = false;
};

// How CreateWholeFile ended.
enum class WholeFile {
  kCreated,       // the file has its name and holds the data
  kCreatedEmpty,  // the disk had no room for the data: the file is named empty
  kNameTaken,     // an entry of that name exists (a dangling link included)
};

// Creates the file ROOT followed by BELOW, reached as for RenameNoReplace,
// holding DATA. The file gets its name only once it holds DATA, in one step
// that fails when the name is taken (Linux: written without a name or under
// a temporary one, then linked to the name), so that a process killed at any
// moment leaves the whole file or none. A full disk names the file empty
// when EMPTYONFULLDISK, else it fails like any other failure: that raises
// EInOutError naming the file (or the link in the way) and leaves nothing.
// KEEP, when given, receives the created file still open for appending
// without a lock (POSIX; on Windows it stays closed), so that what its
// creator adds later needs no walk to it and no open.
WholeFile CreateWholeFile(const std::string& root, std::string_view below, std::string_view data,
                          bool emptyOnFullDisk = false, File* keep = nullptr);

// ReadFileHead for ROOT followed by BELOW, reached without following a
// link below ROOT.
std::optional<std::string> ReadFileHead(const std::string& root, std::string_view below,
                                        std::size_t maxBytes);
// Removes the file ROOT followed by BELOW, reached the same way; false when
// it is not there or cannot be removed.
bool RemoveFileBelow(const std::string& root, std::string_view below);
// Removes the file ROOT followed by BELOW, reached the same way, when it
// begins with HEAD (an empty HEAD: when it is empty) or cannot be read;
// one look at the directory serves both. False when it stays or could not
// be removed.
bool RemoveFileBelowIfHead(const std::string& root, std::string_view below, std::string_view head);
// Removes the file ROOT followed by BELOW, reached the same way, when it is
// still the very file KEPT holds open (KEPT as CreateWholeFile left it) and
// SIZE bytes long, all of them written by its holder; when KEPT is not open,
// as RemoveFileBelowIfHead with HEAD. KEPT is closed.
bool RemoveFileBelowIfKept(const std::string& root, std::string_view below, File& kept,
                           std::int64_t size, std::string_view head);
// Renames ROOT followed by BELOW to NAME in the same directory, reached the
// same way, without replacing an entry of that name. 0 or the error code.
int RenameInDirBelow(const std::string& root, std::string_view below, const std::string& name);

// The system's own text for an error code returned above.
std::string SystemErrorMessage(int code);
// True when CODE, returned above, says that the target name exists already.
bool IsFileExistsError(int code);
// True when CODE, an error code of the services above or EInOutError's,
// says that this user lacks the right.
bool IsAccessDeniedError(int code);

bool LastWriteTime(const std::string& path, FileTime& time);

// What is read whole of a file another user may have written: a flow or
// request file (no mailer writes one of this size), and a configuration
// file of the mailer's.
inline constexpr std::size_t kMaxListFileBytes = 16u << 20;
inline constexpr std::size_t kMaxConfigFileBytes = 1u << 20;

// The whole of the file ROOT followed by BELOW, reached as for
// RenameNoReplace, a symbolic link at the last name refused too, and opened
// without blocking; none when there is no such file (or directory on the
// way). Anything but an
// ordinary file (a FIFO, a device, a directory) raises EInOutError naming
// it, as does a file of more than MAXBYTES bytes (TooLargeText), which is
// not read at all.
std::optional<std::string> ReadWholeFileBelow(const std::string& root, std::string_view below,
                                              std::size_t maxBytes);
// The same for PATH as it is given, following links (a configuration file
// the administrator named); a missing file raises the system's error too.
std::string ReadWholeFile(const std::string& path, std::size_t maxBytes);
// The refusal of a file of SIZE bytes, more than the MAXBYTES read of it.
std::string TooLargeText(const std::string& path, std::int64_t size, std::size_t maxBytes);

// The first MAXBYTES bytes (fewer when it is shorter) of the ordinary file
// PATH, opened without following a symbolic link in its last component;
// none when PATH is anything else or cannot be read.
std::optional<std::string> ReadFileHead(const std::string& path, std::size_t maxBytes);

}  // namespace brnet::sys
