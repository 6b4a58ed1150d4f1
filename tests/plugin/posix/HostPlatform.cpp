// POSIX: the hive is a file below $XDG_CONFIG_HOME, so a private directory
// there makes a private registry; plug-in folders hold links.
#include "HostPlatform.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace sendrel_test {

PrivateRegistry::PrivateRegistry(const std::string& dir)
    : farKey_("Software\\Far"),  // the host's default root key is in it
      hostEnv_({{"XDG_CONFIG_HOME", dir + "/cfg"}, {"HOME", dir}}) {
  std::filesystem::create_directories(dir + "/cfg");
  // This process reads and writes the same hive as the hosts.
  ::setenv("XDG_CONFIG_HOME", (dir + "/cfg").c_str(), 1);
}

PrivateRegistry::~PrivateRegistry() = default;

std::string BuildPath(const std::string& path) {
  return path;
}

void PlaceFile(const std::string& file, const std::string& as) {
  std::filesystem::create_symlink(file, as);
}

void MakeOddFile(const std::string& dir, const std::string& name) {
  const std::string path = dir + "/" + name;
  if (name.size() > 5 && name.compare(name.size() - 5, 5, ".fifo") == 0) {
    ::mkfifo(path.c_str(), 0600);
  } else {
    std::ofstream(path).put('x');
  }
}

void RemoveOddFile(const std::string& dir, const std::string& name) {
  std::remove((dir + "/" + name).c_str());
}

}  // namespace sendrel_test
