#include <unistd.h>

#include <cerrno>

#include <string>
#include <vector>

#include "sys/Path.h"

namespace brnet::sys {

std::string CurrentDirectory() {
  std::vector<char> buf(4096);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buf.resize(buf.size() * 2);
  }
  return std::string(buf.data());
}

}  // namespace brnet::sys
