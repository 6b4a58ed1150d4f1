// What the host tests do differently on each platform: where the settings
// live, how the plug-in's folder is filled, how build-tree paths are spelled.
// One half in posix/, one in win32/.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace sendrel_test {

// A registry of the test's own, which the test reads and writes and the
// hosts it starts use as well.
class PrivateRegistry {
 public:
  // DIR: a private directory the registry may keep its files in.
  explicit PrivateRegistry(const std::string& dir);
  ~PrivateRegistry();
  PrivateRegistry(const PrivateRegistry&) = delete;
  PrivateRegistry& operator=(const PrivateRegistry&) = delete;

  // The key that stands for "Software\Far": the host's plug-ins keep their
  // settings in its "Plugins".
  const std::string& FarKey() const { return farKey_; }
  // What the host is started with to use the same registry.
  const std::vector<std::string>& HostOptions() const { return hostOptions_; }
  const std::map<std::string, std::string>& HostEnvironment() const { return hostEnv_; }

 private:
  std::string farKey_;
  std::vector<std::string> hostOptions_;
  std::map<std::string, std::string> hostEnv_;
};

// A path in the build tree as the platform's programs spell it.
std::string BuildPath(const std::string& path);

// Makes the file AS stand for FILE: a symbolic link where links are plain,
// a copy where they need privileges.
void PlaceFile(const std::string& file, const std::string& as);

// Makes an empty file NAME (UTF-8) in DIR, even where the platform's usual
// calls would change the name (a trailing dot or blank on Windows, a device
// name); on POSIX a NAME ending in ".fifo" is made a named pipe.
void MakeOddFile(const std::string& dir, const std::string& name);
void RemoveOddFile(const std::string& dir, const std::string& name);

}  // namespace sendrel_test
