// POSIX half of the file-system layer.
#include "sys/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "sys/Error.h"
#include "sys/File.h"
#include "sys/Process.h"
#include "sys/posix/Below.h"
#include "sys/posix/FdIo.h"
#include "sys/posix/Owner.h"
#include "sys/posix/Syscalls.h"

namespace brnet::sys {

using posix::kNewDirMode;
using posix::kNewFileMode;
using posix::Syscalls;
namespace {

// The one place where POSIX file modes become attribute bits.
std::uint32_t AttributesOf(const struct stat& st, std::string_view name) {
  std::uint32_t attr = 0;
  if (S_ISDIR(st.st_mode)) attr |= faDirectory;
  if ((st.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
  if (!name.empty() && name.front() == '.' && name != "." && name != "..") attr |= faHidden;
  return attr;
}

std::string_view LastComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

FileTime ToFileTime(const struct timespec& ts) {
  return static_cast<FileTime>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Stats PATH, following a symbolic link; a dangling link is seen as itself.
bool StatEntry(const std::string& path, struct stat& st) {
  return ::stat(path.c_str(), &st) == 0 || ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

// ---- Directory search ----

struct FileSearch::Impl {
  DIR* dir = nullptr;
  std::string dirPart;
  std::string mask;
  std::uint32_t filter = 0;
  ~Impl() {
    if (dir != nullptr) ::closedir(dir);
  }
};

FileSearch::FileSearch(const std::string& pattern, std::uint32_t filter)
    : impl_(std::make_unique<Impl>()) {
  std::size_t slash = pattern.find_last_of('/');
  impl_->dirPart = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  impl_->mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  impl_->filter = filter;
  if (impl_->mask.empty()) return;
  impl_->dir = ::opendir(impl_->dirPart.empty() ? "." : impl_->dirPart.c_str());
}

FileSearch::~FileSearch() = default;

bool FileSearch::Next(SearchRec& rec) {
  if (impl_->dir == nullptr) return false;
  while (const dirent* entry = ::readdir(impl_->dir)) {
    std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    if (!MatchesMask(name, impl_->mask)) continue;
    struct stat st {};
    if (!StatEntry(impl_->dirPart + std::string(name), st)) continue;  // vanished meanwhile
    std::uint32_t attr = AttributesOf(st, name);
    if (!PassesAttrFilter(attr, impl_->filter)) continue;
    rec.Name = std::string(name);
    rec.Attr = attr;
    rec.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
    rec.Time = ToFileTime(st.st_mtim);
    return true;
  }
  return false;
}

// ---- Looking names up ----

namespace {

// The entries that PART, in its usual spellings, names in each of DIRS: any
// entry when LAST (a symbolic link as itself), else directories, returned
// with the separator. On a case-insensitive file system several spellings
// reach one entry: it is reported once, under the first that reached it.
std::vector<std::string> ProbeSpellings(const std::vector<std::string>& dirs, std::string_view part,
                                        bool last, std::size_t limit) {
  std::vector<std::pair<dev_t, ino_t>> seen;
  std::vector<std::string> found;
  if (part == "." || part == "..") return found;  // never names of entries
  const std::vector<std::string> spellings = UsualSpellings(part);
  for (const std::string& dir : dirs) {
    for (const std::string& spelling : spellings) {
      if (found.size() >= limit) return found;
      const std::string path = dir + spelling;
      struct stat st {};
      const bool exists = last ? ::lstat(path.c_str(), &st) == 0
                               : ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      if (!exists) continue;
      const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
      if (std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
      seen.push_back(id);
      found.push_back(last ? path : path + '/');
    }
  }
  return found;
}

}  // namespace

std::vector<std::string> FindUsualSpellings(const std::string& root, std::string_view below,
                                            std::size_t limit) {
  std::vector<std::string> current{root};
  bool anyPart = false;
  while (!below.empty() && !current.empty()) {
    const std::size_t cut = below.find('/');
    const std::string_view part = below.substr(0, cut);
    below = cut == std::string_view::npos ? std::string_view{} : below.substr(cut + 1);
    if (part.empty()) continue;
    anyPart = true;
    const bool last = below.find_first_not_of('/') == std::string_view::npos;
    current = ProbeSpellings(current, part, last, last ? limit : SIZE_MAX);
  }
  if (!anyPart) current.clear();
  return current;
}

std::optional<SearchRec> EntryInfo(const std::string& path) {
  struct stat st {};
  if (path.empty() || !StatEntry(path, st)) return std::nullopt;
  SearchRec rec;
  rec.Name = std::string(LastComponent(path));
  rec.Attr = AttributesOf(st, rec.Name);
  rec.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
  rec.Time = ToFileTime(st.st_mtim);
  return rec;
}

// ---- Attributes, directories and files ----

int FileAttributes(const std::string& path) {
  struct stat st {};
  if (path.empty() || !StatEntry(path, st)) return -1;
  return static_cast<int>(AttributesOf(st, LastComponent(path)));
}

bool SetReadOnly(const std::string& path, bool readOnly) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  // Read-only means nobody may write; writable gives the owner the right back.
  mode = readOnly ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
  return ::chmod(path.c_str(), mode) == 0;
}

bool MakeDir(const std::string& path, const std::string& model) {
  if (Syscalls().mkdirat(AT_FDCWD, path.c_str(), kNewDirMode) != 0) return false;
  if (const int err = posix::GiveMadeDirToDirOwner(AT_FDCWD, path, model); err != 0) {
    ::rmdir(path.c_str());
    errno = err;
    return false;
  }
  return true;
}

bool IsSymbolicLink(const std::string& path) {
  std::string entry = path;
  while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
  struct stat st {};
  return !entry.empty() && ::lstat(entry.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool RemoveEmptyDir(const std::string& path) {
  return ::rmdir(path.c_str()) == 0;
}

bool RemoveFile(const std::string& path) {
  // Without AT_REMOVEDIR, Linux refuses a directory (EISDIR) itself: no look
  // at the entry first, which would also leave a gap for a swap.
  return Syscalls().unlinkat(AT_FDCWD, path.c_str(), 0) == 0;
}

bool CreateNewFile(const std::string& path) {
  int fd = Syscalls().open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
  if (fd < 0) return false;
  int err = posix::GiveToDirOwner(fd, AT_FDCWD, path);
  if (err == 0 && Syscalls().close(fd) == 0) return true;
  if (err != 0) Syscalls().close(fd);
  // Reported as not created: then it must not be there.
  if (err == 0) err = errno;
  Syscalls().unlinkat(AT_FDCWD, path.c_str(), 0);
  errno = err;
  return false;
}

namespace {

// TO's directory part (empty for the current directory) and its name.
std::pair<std::string, std::string> SplitTarget(const std::string& to) {
  const std::size_t slash = to.find_last_of('/');
  if (slash == std::string::npos) return {std::string(), to};
  return {to.substr(0, slash + 1), to.substr(slash + 1)};
}

// Gives the entry FROMNAME in FROMDIR the name TONAME in TODIR, never
// replacing an entry of that name. Returns 0 or the error code.
int RenameAtNoReplace(int fromDir, const char* fromName, int toDir, const char* toName) {
  if (Syscalls().renameat2(fromDir, fromName, toDir, toName, RENAME_NOREPLACE) == 0) return 0;
  int err = errno;
  if (err != EINVAL && err != ENOSYS) return err;
  // A file system without the no-replace flag: a new link fails on an
  // existing name just the same, then the old name goes.
  if (Syscalls().linkat(fromDir, fromName, toDir, toName, 0) != 0) return errno;
  if (Syscalls().unlinkat(fromDir, fromName, 0) != 0) {
    err = errno;
    Syscalls().unlinkat(toDir, toName, 0);
    return err;
  }
  return 0;
}

// The directory of ROOT followed by BELOW, reached without following links,
// or the error code of the failure.
int OpenTargetDir(const std::string& root, std::string_view below, posix::ParentDir& parent) {
  try {
    parent = posix::OpenParentBelow(root, below);
    return 0;
  } catch (const EInOutError& e) {
    return e.ErrorCode();
  }
}

}  // namespace

int RenameNoReplace(const std::string& from, const std::string& root, std::string_view below) {
  posix::ParentDir parent;
  if (const int err = OpenTargetDir(root, below, parent); err != 0) return err;
  return RenameAtNoReplace(AT_FDCWD, from.c_str(), parent.Dir.Get(), parent.Name.c_str());
}

int RenameReplacingBelow(const std::string& root, std::string_view fromBelow,
                         std::string_view toBelow) {
  posix::ParentDir from;
  posix::ParentDir to;
  if (const int err = OpenTargetDir(root, fromBelow, from); err != 0) return err;
  if (const int err = OpenTargetDir(root, toBelow, to); err != 0) return err;
  if (Syscalls().renameat2(from.Dir.Get(), from.Name.c_str(), to.Dir.Get(), to.Name.c_str(), 0) ==
      0) {
    return 0;
  }
  return errno;
}

int RemoveBelow(const std::string& root, std::string_view below) {
  posix::ParentDir parent;
  if (const int err = OpenTargetDir(root, below, parent); err != 0) return err;
  return Syscalls().unlinkat(parent.Dir.Get(), parent.Name.c_str(), 0) == 0 ? 0 : errno;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  const auto [dir, name] = SplitTarget(to);
  return RenameNoReplace(from, dir, name);
}

namespace {

// Copies everything from IN to OUT: in the kernel where the file systems
// allow it, else through a buffer. Returns 0 or the error code.
int CopyContents(int in, int out) {
  bool copiedAny = false;
  for (;;) {
    ssize_t n = Syscalls().copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n == 0) return 0;
    if (n > 0) {
      copiedAny = true;
      continue;
    }
    if (errno == EINTR) continue;
    const bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                             errno == EOPNOTSUPP || errno == EPERM;
    if (copiedAny || !unsupported) return errno;
    break;
  }
  char buffer[65536];
  for (;;) {
    const std::int64_t n = posix::ReadFull(in, buffer, sizeof buffer);
    if (n < 0) return errno;
    if (int err = posix::WriteAll(out, buffer, static_cast<std::size_t>(n)); err != 0) return err;
    if (static_cast<std::size_t>(n) < sizeof buffer) return 0;
  }
}

// Writes IN's contents and times into OUT and puts them on disk. Returns 0
// or the error code.
int FillCopy(int in, int out, const struct stat& st) {
  if (const int err = CopyContents(in, out); err != 0) return err;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out, times);
  if (Syscalls().fsync(out) != 0) return errno;
  return 0;
}

// A file without a name in DIR (O_TMPFILE), or -1 with errno set.
// A copy is a new file of the mailer's: readable and writable for all less
// the umask, not the source's private mode; only a read-only source (the
// Windows attribute a copy keeps) stays read-only.
mode_t CopyMode(const struct stat& source) {
  return (source.st_mode & S_IWUSR) != 0 ? kNewFileMode : (kNewFileMode & ~0222);
}

int OpenUnnamed(int dir, mode_t mode) {
  return Syscalls().openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}

// A new file under a temporary NAME in DIR, or -1 with errno set: EEXIST
// when the name is taken.
int OpenTempName(int dir, const std::string& name, mode_t mode) {
  return Syscalls().openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           mode);
}

// FD, just made in DIR (unnamed, or under the temporary NAME, removed
// then), given to DIR's owner (Owner.h); -1 with errno set when it cannot
// be, FD closed.
int Given(int fd, int dir, const std::string& name = {}) {
  if (fd < 0) return fd;
  const int err = posix::GiveToDirOwner(fd, dir);
  if (err == 0) return fd;
  if (!name.empty()) Syscalls().unlinkat(dir, name.c_str(), 0);
  Syscalls().close(fd);
  errno = err;
  return -1;
}

// Gives the unnamed file OUT the name NAME in DIR; a taken name fails with
// EEXIST. Through /proc, which needs no privilege; AT_EMPTY_PATH, which
// does, where /proc is not mounted.
int NameUnnamed(int out, int dir, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(out);
  if (Syscalls().linkat(AT_FDCWD, self.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return 0;
  }
  if (errno != ENOENT) return errno;
  if (Syscalls().linkat(out, "", dir, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  return errno;
}

// A temporary name of this half: ".brnet32-HOST-PID-N.tmp". It starts with
// "." and ends in ".tmp", which no mailer sends or reads as a flag, and it
// names its owner as a flag does, so that what a killed owner left can be
// told from what a live one is writing.
std::string TempName() {
  static unsigned counter = 0;
  return ".brnet32-" + HostName() + "-" + std::to_string(::getpid()) + "-" +
         std::to_string(++counter) + ".tmp";
}

// Removes from DIRPATH (DIR) the temporary files of owners on this host
// that no longer run: left by a kill, they would otherwise stay for ever,
// copies of whole files among them.
void RemoveDeadTemps(const std::string& dirPath, int dir) {
  const std::string prefix = ".brnet32-" + HostName() + "-";
  for (const SearchRec& rec : FindAllMatches(dirPath + ".brnet32-*.tmp", faHidden)) {
    if (!rec.Name.starts_with(prefix)) continue;
    const std::string rest = rec.Name.substr(prefix.size());
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string::npos || dash > 10 ||
        rest.find_first_not_of("0123456789") < dash) {
      continue;
    }
    const unsigned long long pid = std::stoull(rest.substr(0, dash));
    if (pid == 0 || pid > 0xFFFFFFFFull || ProcessRuns(static_cast<std::uint32_t>(pid))) continue;
    Syscalls().unlinkat(dir, rec.Name.c_str(), 0);
  }
}

// The file FROM opened to be copied, with what fstat says of it; a
// directory is refused.
int OpenCopySource(const std::string& from, posix::UniqueFd& in, struct stat& st) {
  in = posix::UniqueFd(Syscalls().open(from.c_str(), O_RDONLY | O_CLOEXEC, 0));
  if (in.Get() < 0) return errno;
  if (::fstat(in.Get(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? EISDIR : 0;
}

// A descriptor of the configured directory ROOT itself (OpenConfiguredDir).
int OpenRootDir(const std::string& root) {
  return posix::OpenConfiguredDir(root);
}

// Copies IN into DIR/NAME through a temporary name in TEMPDIR (a directory
// the mailer does not send from, on the same file system), renamed to NAME
// without replacing once the copy is whole. The temporary file is removed
// on every failure.
int CopyThroughTempName(int in, const struct stat& st, int tempDir, int dir,
                        const std::string& name) {
  std::string temp;
  int out = -1;
  for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
    temp = TempName();
    out = Given(OpenTempName(tempDir, temp, CopyMode(st)), tempDir, temp);
    if (out < 0 && errno != EEXIST) return errno;
  }
  if (out < 0) return EEXIST;
  int err = FillCopy(in, out, st);
  if (Syscalls().close(out) != 0 && err == 0) err = errno;
  if (err == 0) err = RenameAtNoReplace(tempDir, temp.c_str(), dir, name.c_str());
  if (err != 0) Syscalls().unlinkat(tempDir, temp.c_str(), 0);
  return err;
}

}  // namespace

int CopyNoReplace(const std::string& from, const std::string& root, std::string_view below) {
  posix::UniqueFd in;
  struct stat st {};
  if (const int err = OpenCopySource(from, in, st); err != 0) return err;
  posix::ParentDir parent;
  if (const int err = OpenTargetDir(root, below, parent); err != 0) return err;
  // A taken name is refused before anything is copied.
  struct stat existing {};
  if (::fstatat(parent.Dir.Get(), parent.Name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    return EEXIST;
  }
  posix::UniqueFd out(Given(OpenUnnamed(parent.Dir.Get(), CopyMode(st)), parent.Dir.Get()));
  if (out.Get() < 0) {
    const int err = errno;
    if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL) return err;
    // No unnamed files here: a temporary name in ROOT, outside BELOW's
    // directory.
    posix::UniqueFd tempDir(OpenRootDir(root));
    if (tempDir.Get() < 0) return errno;
    RemoveDeadTemps(root, tempDir.Get());
    return CopyThroughTempName(in.Get(), st, tempDir.Get(), parent.Dir.Get(), parent.Name);
  }
  if (const int err = FillCopy(in.Get(), out.Get(), st); err != 0) return err;
  if (const int err = NameUnnamed(out.Get(), parent.Dir.Get(), parent.Name); err != 0) return err;
  // The copy is whole and on disk under its name: closing can lose nothing.
  Syscalls().close(out.Release());
  return 0;
}

int CopyNoReplace(const std::string& from, const std::string& to) {
  const auto [dir, name] = SplitTarget(to);
  return CopyNoReplace(from, dir, name);
}

StagedCopy::~StagedCopy() {
  Discard();
}

void StagedCopy::Discard() {
  if (handle_ >= 0) Syscalls().close(static_cast<int>(handle_));
  handle_ = -1;
  if (!temp_.empty()) {
    posix::UniqueFd dir(OpenRootDir(root_));
    if (dir.Get() >= 0) Syscalls().unlinkat(dir.Get(), temp_.c_str(), 0);
    temp_.clear();
  }
  staged_ = false;
}

int StagedCopy::Stage(const std::string& from, const std::string& root, std::string_view below) {
  Discard();
  from_ = from;
  root_ = root;
  below_ = std::string(below);
  posix::UniqueFd in;
  struct stat st {};
  if (const int err = OpenCopySource(from, in, st); err != 0) return err;
  // A taken name is refused before anything is copied; a target directory
  // that does not exist yet is made later, under the lock.
  posix::ParentDir parent;
  if (OpenTargetDir(root, below, parent) == 0) {
    struct stat existing {};
    if (::fstatat(parent.Dir.Get(), parent.Name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
      return EEXIST;
    }
  }
  posix::UniqueFd rootDir(OpenRootDir(root));
  if (rootDir.Get() < 0) return kNotStaged;
  posix::UniqueFd out(Given(OpenUnnamed(rootDir.Get(), CopyMode(st)), rootDir.Get()));
  if (out.Get() < 0) {
    const int err = errno;
    if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL) return kNotStaged;
    // No unnamed files here: a temporary name in ROOT, outside every box.
    RemoveDeadTemps(root, rootDir.Get());
    for (int attempt = 0; attempt < 100 && out.Get() < 0; ++attempt) {
      const std::string temp = TempName();
      out = posix::UniqueFd(
          Given(OpenTempName(rootDir.Get(), temp, CopyMode(st)), rootDir.Get(), temp));
      if (out.Get() < 0 && errno != EEXIST) return kNotStaged;
      if (out.Get() >= 0) temp_ = temp;
    }
    if (out.Get() < 0) return kNotStaged;
    int fillErr = FillCopy(in.Get(), out.Get(), st);
    if (Syscalls().close(out.Release()) != 0 && fillErr == 0) fillErr = errno;
    if (fillErr != 0) {
      Discard();
      return fillErr;
    }
    staged_ = true;
    return 0;
  }
  if (const int err = FillCopy(in.Get(), out.Get(), st); err != 0) return err;
  handle_ = out.Release();
  staged_ = true;
  return 0;
}

int StagedCopy::Publish() {
  if (!staged_) return EINVAL;
  posix::ParentDir parent;
  if (const int err = OpenTargetDir(root_, below_, parent); err != 0) return err;
  int err;
  if (handle_ >= 0) {
    err = NameUnnamed(static_cast<int>(handle_), parent.Dir.Get(), parent.Name);
  } else {
    posix::UniqueFd rootDir(OpenRootDir(root_));
    if (rootDir.Get() < 0) return errno;
    err = RenameAtNoReplace(rootDir.Get(), temp_.c_str(), parent.Dir.Get(), parent.Name.c_str());
    if (err == 0) temp_.clear();
  }
  // The target directory is another file system (a box mounted on its
  // own): the copy is made there as CopyNoReplace makes it.
  if (err == EXDEV) err = CopyNoReplace(from_, root_, below_);
  Discard();
  return err;
}

namespace {

// Writes DATA into the new file OUT; true when it is all there, false when
// the disk had no room for it, after which OUT is empty again. Any other
// failure is returned as its error code through ERR.
bool FillWhole(int out, std::string_view data, int& err) {
  err = posix::WriteAll(out, data.data(), data.size());
  if (err != ENOSPC) return err == 0;
  err = Syscalls().ftruncate(out, 0) == 0 ? 0 : errno;
  return false;
}

}  // namespace

WholeFile CreateWholeFile(const std::string& root, std::string_view below, std::string_view data,
                          bool emptyOnFullDisk, File* keep) {
  const posix::ParentDir parent = posix::OpenParentBelow(root, below);
  const int dir = parent.Dir.Get();
  // A file that cannot be made where the name is taken already counts as
  // the taken name, as for an exclusive create, which checks the name first.
  const auto failed = [&](int err) {
    struct stat st {};
    if (::fstatat(dir, parent.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      return WholeFile::kNameTaken;
    }
    throw EInOutError(IoErrorText(err, parent.Path), err);
  };
  // Without a name while it is written: a kill leaves nothing at all.
  posix::UniqueFd out(Given(OpenUnnamed(dir, kNewFileMode), dir));
  std::string temp;
  if (out.Get() < 0) {
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return failed(errno);
    // No unnamed files on this file system: a temporary name beside it.
    RemoveDeadTemps(root + std::string(below.substr(0, below.size() - parent.Name.size())), dir);
    for (int attempt = 0; attempt < 100 && out.Get() < 0; ++attempt) {
      temp = TempName();
      out = posix::UniqueFd(Given(OpenTempName(dir, temp, kNewFileMode), dir, temp));
      if (out.Get() < 0 && errno != EEXIST) return failed(errno);
    }
    if (out.Get() < 0) throw EInOutError(IoErrorText(EEXIST, parent.Path), EEXIST);
  }
  int err = 0;
  const bool whole = FillWhole(out.Get(), data, err);
  if (!whole && err == 0 && !emptyOnFullDisk) err = ENOSPC;
  if (err == 0) {
    // linkat never replaces: a name taken meanwhile, by anybody, fails it.
    err =
        temp.empty()
            ? NameUnnamed(out.Get(), dir, parent.Name)
            : (Syscalls().linkat(dir, temp.c_str(), dir, parent.Name.c_str(), 0) == 0 ? 0 : errno);
  }
  if (!temp.empty()) Syscalls().unlinkat(dir, temp.c_str(), 0);
  if (err == EEXIST) return WholeFile::kNameTaken;
  if (err != 0) throw EInOutError(IoErrorText(err, parent.Path), err);
  // What the file holds is under its name already: closing loses nothing.
  // Kept open instead, it is the same file as under the name (the temporary
  // name, if any, is gone), written at its end.
  if (keep != nullptr) {
    keep->Adopt(out.Release(), parent.Path, FileMode::kAppendUnlocked);
  } else {
    Syscalls().close(out.Release());
  }
  return whole ? WholeFile::kCreated : WholeFile::kCreatedEmpty;
}

namespace {

// The head of the open file FD when it is an ordinary file.
std::optional<std::string> ReadHead(int fd, std::size_t maxBytes) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string data(maxBytes, '\0');
  const std::int64_t n = posix::ReadFull(fd, data.data(), maxBytes);
  if (n < 0) return std::nullopt;
  data.resize(static_cast<std::size_t>(n));
  return data;
}

}  // namespace

std::optional<std::string> ReadFileHead(const std::string& root, std::string_view below,
                                        std::size_t maxBytes) {
  posix::ParentDir parent;
  if (OpenTargetDir(root, below, parent) != 0) return std::nullopt;
  // Non-blocking, so that a FIFO under the name cannot hang the open.
  posix::UniqueFd fd(Syscalls().openat(parent.Dir.Get(), parent.Name.c_str(),
                                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  if (fd.Get() < 0) return std::nullopt;
  return ReadHead(fd.Get(), maxBytes);
}

bool RemoveFileBelow(const std::string& root, std::string_view below) {
  posix::ParentDir parent;
  if (OpenTargetDir(root, below, parent) != 0) return false;
  // Without AT_REMOVEDIR unlinkat never takes a directory.
  return Syscalls().unlinkat(parent.Dir.Get(), parent.Name.c_str(), 0) == 0;
}

bool RemoveFileBelowIfHead(const std::string& root, std::string_view below, std::string_view head) {
  posix::ParentDir parent;
  // A directory that cannot be opened to read the file leaves it unread:
  // ours still, it is removed if it can be.
  if (OpenTargetDir(root, below, parent) != 0) return RemoveFileBelow(root, below);
  posix::UniqueFd fd(Syscalls().openat(parent.Dir.Get(), parent.Name.c_str(),
                                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  if (fd.Get() >= 0) {
    // One read of one byte more than HEAD: an ordinary file gives all it
    // holds up to that count in one call, so a shorter count is its end.
    // What is no ordinary file reads as nothing (a FIFO) and stays, or
    // fails to read (a directory, which unlinkat never removes).
    std::string data(head.size() + 1, '\0');
    ssize_t n;
    do {
      n = ::read(fd.Get(), data.data(), data.size());
    } while (n < 0 && errno == EINTR);
    if (n >= 0) {
      data.resize(static_cast<std::size_t>(n));
      if (head.empty() ? !data.empty() : !data.starts_with(head)) return false;
    }
  }
  return Syscalls().unlinkat(parent.Dir.Get(), parent.Name.c_str(), 0) == 0;
}

bool RemoveFileBelowIfKept(const std::string& root, std::string_view below, File& kept,
                           std::int64_t size, std::string_view head) {
  if (!kept.IsOpen()) return RemoveFileBelowIfHead(root, below, head);
  // Closed whatever happens: the name is what others look at.
  struct Closer {
    File& file;
    ~Closer() {
      try {
        file.Close();
      } catch (const Exception&) {
      }
    }
  } closer{kept};
  posix::ParentDir parent;
  // A directory that cannot be opened leaves the name unlooked-at: ours
  // still, it is removed if it can be.
  if (OpenTargetDir(root, below, parent) != 0) return RemoveFileBelow(root, below);
  // The name is compared with the file by identity, not by what it holds:
  // an inode this process holds open cannot be freed and given to another
  // file, so the same device and inode under the name mean our very flag,
  // and a flag somebody raised under the name since is never removed. Its
  // length tells whether a program that opens flags without creating them
  // anew has written its own over ours.
  struct stat named {
  }, ours{};
  if (::fstatat(parent.Dir.Get(), parent.Name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
      ::fstat(static_cast<int>(kept.NativeHandle()), &ours) != 0 || named.st_dev != ours.st_dev ||
      named.st_ino != ours.st_ino || named.st_size != size) {
    return false;
  }
  return Syscalls().unlinkat(parent.Dir.Get(), parent.Name.c_str(), 0) == 0;
}

int RenameInDirBelow(const std::string& root, std::string_view below, const std::string& name) {
  posix::ParentDir parent;
  if (const int err = OpenTargetDir(root, below, parent); err != 0) return err;
  return RenameAtNoReplace(parent.Dir.Get(), parent.Name.c_str(), parent.Dir.Get(), name.c_str());
}

bool IsFileExistsError(int code) {
  return code == EEXIST;
}

bool IsAccessDeniedError(int code) {
  return code == EACCES || code == EPERM;
}

std::string SystemErrorMessage(int code) {
  char buffer[256];
  return std::string(::strerror_r(code, buffer, sizeof buffer));
}

bool LastWriteTime(const std::string& path, FileTime& time) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  time = ToFileTime(st.st_mtim);
  return true;
}

namespace {

// The whole of the open file FD (PATH, for messages), when it is an ordinary
// file of at most MAXBYTES bytes; else EInOutError. A file that grows while
// it is read is read up to one byte past the limit and refused then.
std::string ReadWholeOpen(int fd, const std::string& path, std::size_t maxBytes) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) ThrowLastError(path);
  if (!S_ISREG(st.st_mode)) throw EInOutError(IoErrorText(EACCES, path), EACCES);
  if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    throw EInOutError(TooLargeText(path, st.st_size, maxBytes), EFBIG);
  }
  std::string data(static_cast<std::size_t>(st.st_size) + 1, '\0');
  std::size_t got = 0;
  for (;;) {
    if (got == data.size()) data.resize(std::min(data.size() * 2, maxBytes + 1));
    const std::int64_t n = posix::ReadFull(fd, data.data() + got, data.size() - got);
    if (n < 0) ThrowLastError(path);
    got += static_cast<std::size_t>(n);
    if (got > maxBytes) throw EInOutError(TooLargeText(path, got, maxBytes), EFBIG);
    if (got < data.size()) break;
  }
  data.resize(got);
  return data;
}

}  // namespace

std::optional<std::string> ReadWholeFileBelow(const std::string& root, std::string_view below,
                                              std::size_t maxBytes) {
  posix::ParentDir parent;
  if (const int err = OpenTargetDir(root, below, parent); err == ENOENT || err == ENOTDIR) {
    return std::nullopt;
  } else if (err != 0) {
    parent = posix::OpenParentBelow(root, below);  // raises the error naming the place
  }
  posix::UniqueFd fd(Syscalls().openat(parent.Dir.Get(), parent.Name.c_str(),
                                       O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  if (fd.Get() < 0) {
    const int err = errno;
    if (err == ENOENT) return std::nullopt;
    if (err == ELOOP && posix::IsLinkAt(parent.Dir.Get(), parent.Name)) {
      posix::ThrowLinkRefused(parent.Path);
    }
    throw EInOutError(IoErrorText(err, parent.Path), err);
  }
  return ReadWholeOpen(fd.Get(), parent.Path, maxBytes);
}

std::string ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  posix::UniqueFd fd(Syscalls().open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
  if (fd.Get() < 0) ThrowLastError(path);
  return ReadWholeOpen(fd.Get(), path, maxBytes);
}

std::optional<std::string> ReadFileHead(const std::string& path, std::size_t maxBytes) {
  // Non-blocking, so that a FIFO under the name cannot hang the open.
  posix::UniqueFd fd(
      Syscalls().open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  if (fd.Get() < 0) return std::nullopt;
  return ReadHead(fd.Get(), maxBytes);
}

}  // namespace brnet::sys
