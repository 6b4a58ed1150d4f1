// Small helpers shared by the unit tests.
#pragma once

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "addr/FidoAddr.h"
#include "sys/Path.h"

namespace brnet::test {

// Holds a main address for the duration of a test and clears it afterwards.
class ScopedMainAddress {
 public:
  explicit ScopedMainAddress(std::string_view text)
      : addr_(std::make_unique<TFidoAddr>(TFidoAddr::CreateFromText(text, false))) {
    SetMainAddressRef(addr_.get());
  }
  ScopedMainAddress(const ScopedMainAddress&) = delete;
  ScopedMainAddress& operator=(const ScopedMainAddress&) = delete;
  ~ScopedMainAddress() { SetMainAddressRef(nullptr); }
  TFidoAddr& Addr() { return *addr_; }

 private:
  std::unique_ptr<TFidoAddr> addr_;
};

// NAME written with "/" turned into the platform's separator.
inline std::string Native(std::string name) {
  std::replace(name.begin(), name.end(), '/', sys::PathDelim());
  return name;
}

// A BSO name written as on Linux ("139c04d2.pnt/00000005.bsy") in the case
// the library writes it on this platform: Windows keeps upper-case hex and
// flag extensions ("139C04D2.pnt/00000005.BSY"); flow-file and
// point-directory extensions are lower case everywhere. "/" stays.
inline std::string BsoCase(std::string name) {
#ifdef _WIN32
  std::size_t start = 0;
  while (start < name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string_view part = std::string_view(name).substr(start, end - start);
    const std::size_t dot = std::min(part.find('.'), part.size());
    const bool flag = part.substr(dot) == ".bsy" || part.substr(dot) == ".csy";
    for (std::size_t i = start; i < (flag ? end : start + dot); ++i) {
      name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    }
    start = end + 1;
  }
#endif
  return name;
}

// Entries as Tree() lists them, from names written with "/": inside a name
// the platform's separator, a directory's trailing "/" kept; sorted again,
// as "\\" sorts differently.
inline std::vector<std::string> TreeEntries(std::vector<std::string> names) {
  for (std::string& name : names) {
    const bool dir = !name.empty() && name.back() == '/';
    if (dir) name.pop_back();
    name = Native(name) + (dir ? "/" : "");
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A fresh directory, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir() {
    namespace fs = std::filesystem;
    std::mt19937_64 random(std::random_device{}() ^
                           std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      fs::path candidate = fs::temp_directory_path() / ("brnet-" + std::to_string(random()));
      std::error_code ec;
      if (fs::create_directory(candidate, ec)) path_ = candidate.string();
    }
    if (path_.empty()) throw std::runtime_error("cannot create a temporary directory");
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Windows deletes no read-only file: everything is made writable first.
    for (fs::recursive_directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code ignored;
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }
  // A name inside the directory; "/" in NAME separates as on the platform.
  std::string operator/(std::string_view name) const {
    return path_ + sys::PathDelim() + Native(std::string(name));
  }

 private:
  std::string path_;
};

// Makes DIR the current directory for the life of the object.
class CurrentDir {
 public:
  explicit CurrentDir(const std::string& dir) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  CurrentDir(const CurrentDir&) = delete;
  CurrentDir& operator=(const CurrentDir&) = delete;
  ~CurrentDir() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
  }

 private:
  std::filesystem::path old_;
};

// Takes the write permission away: the read-only attribute on Windows.
inline void MakeReadOnly(const std::string& path) {
  namespace fs = std::filesystem;
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

// Sets the last-write time of PATH to SECS since 1970 plus NANOS. The MinGW
// run-time sets whole seconds only, so NANOS counts only elsewhere.
inline void SetWriteTime(const std::string& path, std::int64_t secs, std::int64_t nanos = 0) {
  namespace fs = std::filesystem;
  namespace chrono = std::chrono;
  const chrono::sys_time<chrono::nanoseconds> when{chrono::seconds(secs) +
                                                   chrono::nanoseconds(nanos)};
  fs::last_write_time(path, fs::file_time_type::clock::from_sys(when));
}

// TEXT cut into lines at LF; a CR before it goes too, a last line without
// one counts.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

// Every entry below DIR, as sorted relative paths; directories end in "/".
inline std::vector<std::string> Tree(const std::string& dir) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  if (!fs::exists(dir)) return names;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    std::string name = fs::relative(entry.path(), dir).string();
    names.push_back(entry.is_directory() ? name + "/" : name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace brnet::test
