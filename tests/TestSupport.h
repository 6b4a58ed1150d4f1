// Small helpers shared by the unit tests.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "addr/FidoAddr.h"

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

// A fresh directory, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "brnet-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

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
