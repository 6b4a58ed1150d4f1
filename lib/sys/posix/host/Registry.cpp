// HKEY_CURRENT_USER on POSIX: one REGEDIT4-style text file per user,
// $XDG_CONFIG_HOME/brnet32/hkcu.reg (XDG_CONFIG_HOME defaults to ~/.config).
//
// Readers parse the whole file for each query; a missing, damaged or foreign
// file reads as "no such key". Writers hold an advisory lock on a companion
// lock file for read-modify-write, write a temporary file (mode 0600) and
// rename it over the hive, so that readers always see a whole file. A
// damaged or foreign file found by a writer is first set aside under a
// ".damaged" name, never overwritten.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "sys/Registry.h"
#include "sys/posix/host/RegFile.h"
#include "sys/posix/host/RegPaths.h"

namespace brnet::sys {
namespace {

using host::DirectoryOf;
using host::HiveFile;

using regfile::Hive;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

enum class ReadResult { Ok, Missing, Damaged, Failed };

ReadResult ReadHive(const std::string& file, Hive& hive) {
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return ReadResult::Failed;
  if (!S_ISREG(st.st_mode)) return ReadResult::Damaged;
  std::string text;
  char buf[8192];
  while (true) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ReadResult::Failed;
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    if (text.size() > regfile::kMaxFileSize) return ReadResult::Damaged;
  }
  auto parsed = regfile::Parse(text);
  if (!parsed) return ReadResult::Damaged;
  hive = std::move(*parsed);
  return ReadResult::Ok;
}

bool MakeDirs(const std::string& dir) {
  if (dir.empty()) return false;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Replaces FILE by TEXT in one step.
bool ReplaceFile(const std::string& file, const std::string& text) {
  std::string tmp = file + ".XXXXXX";
  Fd fd(::mkstemp(tmp.data()));
  if (fd.get() < 0) return false;
  const bool written = ::fchmod(fd.get(), 0600) == 0 && WriteAll(fd.get(), text) &&
                       ::fsync(fd.get()) == 0 && ::close(fd.release()) == 0;
  if (!written || ::rename(tmp.c_str(), file.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  Fd dir(::open(DirectoryOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return true;
}

// Keeps a file we cannot read under a name of its own, never overwriting an
// earlier one.
bool SetAside(const std::string& file) {
  for (int i = 0; i < 1000; ++i) {
    std::string name = file + ".damaged";
    if (i) name.append(1, '.').append(std::to_string(i));
    if (::link(file.c_str(), name.c_str()) == 0) return ::unlink(file.c_str()) == 0;
    if (errno != EEXIST) return false;
  }
  return false;
}

// The file a writer replaces: the hive itself, or what a symbolic link at
// its place points to.
std::string WriteTarget(const std::string& file) {
  char resolved[PATH_MAX];
  struct stat st {};
  if (::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
      ::realpath(file.c_str(), resolved) != nullptr) {
    return resolved;
  }
  return file;
}

// Runs CHANGE on the hive under the writers' lock and stores the result.
template <class Change>
bool ModifyHive(Change&& change) {
  const std::string file = HiveFile();
  if (file.empty() || !MakeDirs(DirectoryOf(file))) return false;
  Fd lock(::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() < 0) return false;
  int rc;
  do {
    rc = ::flock(lock.get(), LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return false;

  const std::string target = WriteTarget(file);
  Hive hive;
  switch (ReadHive(target, hive)) {
    case ReadResult::Ok:
    case ReadResult::Missing:
      break;
    case ReadResult::Damaged:
      if (!SetAside(target)) return false;
      hive = Hive{};
      break;
    case ReadResult::Failed:
      return false;
  }
  if (!change(hive)) return true;  // nothing to store
  return ReplaceFile(target, regfile::Format(hive));
}

std::string DwordBytes(std::uint32_t v) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return data;
}

}  // namespace

namespace host {

std::string HiveFile() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
      const passwd* pw = ::getpwuid(::getuid());
      home = pw != nullptr ? pw->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] != '/') return {};
    base = std::string(home) + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/brnet32/hkcu.reg";
}

std::string DirectoryOf(const std::string& file) {
  const std::size_t slash = file.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

}  // namespace host

std::optional<RegKey> RegKey::Open(std::string_view path) {
  if (!regfile::SplitKeyPath(path)) return std::nullopt;
  Hive hive;
  const std::string file = HiveFile();
  if (file.empty() || ReadHive(file, hive) != ReadResult::Ok || !hive.HasKey(path)) {
    return std::nullopt;
  }
  return RegKey(std::string(path), 0);
}

std::optional<RegKey> RegKey::Create(std::string_view path) {
  if (!regfile::SplitKeyPath(path)) return std::nullopt;
  const bool ok = ModifyHive([&](Hive& hive) {
    if (hive.HasKey(path)) return false;
    hive.AddKey(path);
    return true;
  });
  if (!ok) return std::nullopt;
  return RegKey(std::string(path), 1);
}

void RegKey::Close() {
  handle_ = 0;
}

std::optional<RegValue> RegKey::Query(std::string_view name) const {
  Hive hive;
  if (ReadHive(HiveFile(), hive) != ReadResult::Ok) return std::nullopt;
  const regfile::Key* key = hive.FindKey(path_);
  if (key == nullptr) return std::nullopt;
  const regfile::Value* value = Hive::FindValue(*key, name);
  if (value == nullptr) return std::nullopt;
  return value->value;
}

namespace {
bool StoreValue(const std::string& keyPath, std::string_view name, RegValue value) {
  return ModifyHive([&](Hive& hive) {
    Hive::SetValue(hive.AddKey(keyPath), name, std::move(value));
    return true;
  });
}
}  // namespace

bool RegKey::SetString(std::string_view name, std::string_view text) {
  if (handle_ == 0) return false;
  // The registry keeps C texts: everything from a NUL on is not part of it.
  std::string data(text.substr(0, text.find('\0')));
  data += '\0';
  return StoreValue(path_, name, RegValue{RegType::String, std::move(data)});
}

bool RegKey::SetDword(std::string_view name, std::uint32_t value) {
  if (handle_ == 0) return false;
  return StoreValue(path_, name, RegValue{RegType::Dword, DwordBytes(value)});
}

}  // namespace brnet::sys
