// binkd.service's file-system sandbox, read from systemd or the unit files,
// and the judgement of a path against it.
#include "ServiceUnit.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "util/Ascii.h"

namespace brnet::cli {
namespace {

constexpr const char* kUnit = "binkd.service";
// A unit file is small; more is not a unit.
constexpr std::size_t kMaxUnitBytes = 1 << 20;

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool IsTrue(const std::string& value) {
  const std::string v = ToAsciiLower(value);
  return v == "yes" || v == "true" || v == "on" || v == "1";
}

// "yes"/"true" as systemd spells the first level of a tri-state setting.
std::string Level(const std::string& value) {
  const std::string v = ToAsciiLower(value);
  if (IsTrue(v)) return "yes";
  if (v == "false" || v == "off" || v == "0" || v.empty()) return "no";
  return v;
}

// The paths of a list setting: blank-separated, maybe quoted, each maybe
// led by "-" (ignored when missing) or "+" (below the root directory).
std::vector<std::string> PathWords(const std::string& value) {
  std::vector<std::string> paths;
  std::istringstream in(value);
  for (std::string word; in >> word;) {
    word.erase(std::remove(word.begin(), word.end(), '"'), word.end());
    while (!word.empty() && (word[0] == '-' || word[0] == '+')) word.erase(0, 1);
    while (word.size() > 1 && word.back() == '/') word.pop_back();
    // systemd ignores a path with "." or ".." parts or doubled slashes.
    const std::string parts = word + "/";
    if (parts.find("/./") != std::string::npos || parts.find("/../") != std::string::npos ||
        parts.find("//") != std::string::npos) {
      continue;
    }
    if (!word.empty() && word[0] == '/') paths.push_back(word);
  }
  return paths;
}

// PATH as the kernel reaches it: its links and ".." resolved as far as it
// exists, the rest added as written. A link that leads into /tmp leads
// into the service's own /tmp too.
std::string Resolved(const std::string& path) {
  std::string head = path, tail;
  for (;;) {
    if (char* real = ::realpath(head.c_str(), nullptr)) {
      const std::string found = real;
      std::free(real);
      return std::filesystem::path(found + tail).lexically_normal().string();
    }
    const std::size_t slash = head.find_last_of('/');
    if (slash == std::string::npos || head == "/")
      return std::filesystem::path(path).lexically_normal().string();
    tail = head.substr(slash) + tail;
    head = slash == 0 ? "/" : head.substr(0, slash);
  }
}

bool IsBelow(const std::string& path, const std::string& dir) {
  if (dir == "/") return true;
  return path.compare(0, dir.size(), dir) == 0 &&
         (path.size() == dir.size() || path[dir.size()] == '/');
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text(kMaxUnitBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return text;
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The *.conf files of DIR by name.
std::vector<std::string> DropIns(const std::string& dir) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), ::closedir);
  if (!d) return names;
  while (const dirent* e = ::readdir(d.get())) {
    const std::string name = e->d_name;
    if (name.size() > 5 && name.ends_with(".conf")) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

ServiceSandbox ReadUnitFile(const std::string& unit, const std::vector<std::string>& dropDirs) {
  ServiceSandbox box;
  if (!IsFile(unit)) return box;
  box.Found = true;
  box.Source = unit;
  ApplyUnitText(box, ReadSmallFile(unit));
  // A drop-in of the same name in an earlier directory wins.
  std::map<std::string, std::string> chosen;
  for (const std::string& dir : dropDirs) {
    for (const std::string& name : DropIns(dir)) chosen.emplace(name, dir + "/" + name);
  }
  for (const auto& [name, path] : chosen) {
    if (!IsFile(path)) continue;
    ApplyUnitText(box, ReadSmallFile(path));
    box.Source += ", " + path;
  }
  return box;
}

ServiceSandbox FromSystemctl() {
  ServiceSandbox box;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(
      ::popen("systemctl show binkd.service -p LoadState -p PrivateTmp -p ProtectHome "
              "-p ProtectSystem -p ReadWritePaths -p ReadOnlyPaths -p InaccessiblePaths "
              "-p TemporaryFileSystem "
              "2>/dev/null",
              "r"),
      ::pclose);
  if (!pipe) return box;
  char line[4096];
  bool loaded = false;
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    const std::string text = Trim(std::string(line).substr(0, std::string(line).find('\n')));
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos) continue;
    if (text.substr(0, eq) == "LoadState") loaded = text.substr(eq + 1) == "loaded";
    ApplyUnitSetting(box, text.substr(0, eq), text.substr(eq + 1));
  }
  box.Found = loaded;
  box.Source = "systemctl show binkd.service";
  return box;
}

enum class Access { kHidden, kReadOnly, kWritable };

struct Rule {
  std::string Dir;
  Access Level;
  std::string Why;
};

// The mounts the settings make, in the order systemd applies them.
std::vector<Rule> Rules(const ServiceSandbox& box) {
  std::vector<Rule> rules;
  const auto add = [&](std::vector<std::string> dirs, Access level, const std::string& why) {
    for (const std::string& d : dirs) rules.push_back({Resolved(d), level, why});
  };
  if (box.ProtectSystem == "strict") add({"/"}, Access::kReadOnly, "ProtectSystem=strict");
  if (box.ProtectSystem == "yes" || box.ProtectSystem == "full") {
    add({"/usr", "/boot", "/efi"}, Access::kReadOnly, "ProtectSystem=" + box.ProtectSystem);
  }
  if (box.ProtectSystem == "full") add({"/etc"}, Access::kReadOnly, "ProtectSystem=full");
  for (const char* d : {"/dev", "/proc", "/sys"}) {
    if (box.ProtectSystem == "strict") rules.push_back({d, Access::kWritable, ""});
  }
  const std::vector<std::string> homes = {"/home", "/root", "/run/user"};
  if (box.ProtectHome == "yes" || box.ProtectHome == "tmpfs") {
    add(homes, Access::kHidden, "ProtectHome=" + box.ProtectHome);
  } else if (box.ProtectHome == "read-only") {
    add(homes, Access::kReadOnly, "ProtectHome=read-only");
  }
  if (box.PrivateTmp) add({"/tmp", "/var/tmp"}, Access::kHidden, "PrivateTmp=yes");
  add(box.ReadWrite, Access::kWritable, "");
  add(box.ReadOnly, Access::kReadOnly, "ReadOnlyPaths=");
  add(box.Inaccessible, Access::kHidden, "InaccessiblePaths=");
  add(box.Temporary, Access::kHidden, "TemporaryFileSystem=");
  return rules;
}

// What the service may do with PATH, and the setting that says so: a
// hidden directory hides everything below it; else the deepest rule wins.
std::pair<Access, std::string> AccessOf(const ServiceSandbox& box, const std::string& path) {
  const std::vector<Rule> rules = Rules(box);
  const Rule* deepest = nullptr;
  for (const Rule& rule : rules) {
    if (!IsBelow(path, rule.Dir)) continue;
    if (rule.Level == Access::kHidden) return {Access::kHidden, rule.Why + " hides " + rule.Dir};
    if (deepest == nullptr || rule.Dir.size() >= deepest->Dir.size()) deepest = &rule;
  }
  if (deepest == nullptr) return {Access::kWritable, ""};
  std::string why = deepest->Why;
  if (why == "ReadOnlyPaths=") why += deepest->Dir;
  return {deepest->Level, why};
}

std::string DirOf(const std::string& file) {
  const std::size_t slash = file.find_last_of('/');
  return slash == 0 || slash == std::string::npos ? "/" : file.substr(0, slash);
}

}  // namespace

void ApplyUnitSetting(ServiceSandbox& box, const std::string& key, const std::string& value) {
  const auto list = [&](std::vector<std::string>& to) {
    if (value.empty()) to.clear();
    for (std::string& p : PathWords(value)) to.push_back(std::move(p));
  };
  // "disconnected" gives the service a /tmp of its own too.
  if (key == "PrivateTmp") box.PrivateTmp = IsTrue(value) || ToAsciiLower(value) == "disconnected";
  if (key == "ProtectHome") box.ProtectHome = Level(value);
  if (key == "ProtectSystem") box.ProtectSystem = Level(value);
  if (key == "ReadWritePaths" || key == "ReadWriteDirectories") list(box.ReadWrite);
  if (key == "ReadOnlyPaths" || key == "ReadOnlyDirectories") list(box.ReadOnly);
  if (key == "InaccessiblePaths" || key == "InaccessibleDirectories") list(box.Inaccessible);
  // An empty file system over a directory hides what lies there.
  if (key == "TemporaryFileSystem") {
    if (value.empty()) box.Temporary.clear();
    std::istringstream in(value);
    for (std::string word; in >> word;) {
      for (std::string& p : PathWords(word.substr(0, word.find(':'))))
        box.Temporary.push_back(std::move(p));
    }
  }
}

void ApplyUnitText(ServiceSandbox& box, const std::string& text) {
  std::istringstream in(text);
  bool service = false;
  std::string pending;
  for (std::string line; std::getline(in, line);) {
    line = Trim(line);
    if (!pending.empty()) line = pending + " " + line, pending.clear();
    if (!line.empty() && line.back() == '\\') {
      pending = line.substr(0, line.size() - 1);
      continue;
    }
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      service = line == "[Service]";
      continue;
    }
    const std::size_t eq = line.find('=');
    if (service && eq != std::string::npos) {
      ApplyUnitSetting(box, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
  }
}

ServiceSandbox ReadBinkdService() {
  if (const char* named = std::getenv("BRNET_BINKD_UNIT")) {
    if (*named == '\0') return {};
    return ReadUnitFile(named, {std::string(named) + ".d"});
  }
  if (::access("/run/systemd/system", F_OK) == 0) {
    ServiceSandbox box = FromSystemctl();
    if (box.Found) return box;
  }
  const std::vector<std::string> dirs = {"/etc/systemd/system", "/run/systemd/system",
                                         "/usr/local/lib/systemd/system", "/lib/systemd/system",
                                         "/usr/lib/systemd/system"};
  std::vector<std::string> dropDirs;
  for (const std::string& d : dirs) dropDirs.push_back(d + "/" + kUnit + ".d");
  for (const std::string& d : dirs) {
    ServiceSandbox box = ReadUnitFile(d + "/" + kUnit, dropDirs);
    if (box.Found) return box;
  }
  return {};
}

std::string ServiceCannot(const ServiceSandbox& box, const std::string& file, TOutbSendMode mode) {
  if (!box.Found) return {};
  const auto [access, why] = AccessOf(box, Resolved(file));
  const std::string unit = "binkd's service (" + why + " in " + box.Source + ")";
  if (access == Access::kHidden) return unit + " cannot see it: the node would get nothing";
  if (mode == smTruncSent && access != Access::kWritable) {
    return "--trunc-sent, but " + unit + " may not write it, so could not truncate it";
  }
  if (mode == smKillSent) {
    // The name is deleted, in the directory it lies in.
    const auto [dirAccess, dirWhy] = AccessOf(box, Resolved(DirOf(file)));
    if (dirAccess != Access::kWritable) {
      return "--kill-sent, but binkd's service (" + dirWhy + " in " + box.Source +
             ") may not write its directory, so could not delete it";
    }
  }
  return {};
}

}  // namespace brnet::cli
