// File-tree helpers of the benchmarks: cheap creation of many files.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace brnet::bench {

// Creates (or replaces) PATH holding TEXT.
inline void PutFile(const std::string& path, std::string_view text = {}) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  const bool written =
      text.empty() || ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written) throw std::runtime_error("cannot write " + path);
}

// Eight lower-case hex digits, as BSO names are spelled here.
inline std::string Hex8(unsigned value) {
  char buffer[9];
  std::snprintf(buffer, sizeof buffer, "%08x", value);
  return buffer;
}

}  // namespace brnet::bench
