// Windows (under wine): one registry for every test that runs at the same
// time in the prefix, so each test program keeps its settings below a root
// key of its own, handed to the host with -r and removed at the end. Links
// need a privilege: plug-in folders hold copies.
#include <windows.h>

#include <filesystem>

#include "HostPlatform.h"
#include "support/ChildProcess.h"

namespace sendrel_test {

PrivateRegistry::PrivateRegistry(const std::string&)
    : farKey_("Software\\BrnetTest\\" + std::to_string(brnet::test::CurrentProcessId())),
      hostOptions_({"-r", farKey_ + "\\Plugins"}) {
  ::RegDeleteTreeA(HKEY_CURRENT_USER, farKey_.c_str());  // left by an earlier process
}

PrivateRegistry::~PrivateRegistry() {
  ::RegDeleteTreeA(HKEY_CURRENT_USER, farKey_.c_str());
}

// The build runs on the host, whose root is drive Z: under wine.
std::string BuildPath(const std::string& path) {
  std::string windows = !path.empty() && path[0] == '/' ? "Z:" + path : path;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

void PlaceFile(const std::string& file, const std::string& as) {
  std::filesystem::copy_file(file, as);
}

namespace {
// Through a name beginning "\\?\", which the system takes as it is.
std::wstring OddPath(const std::string& dir, const std::string& name) {
  return L"\\\\?\\" + std::filesystem::u8path(dir + "\\" + name).wstring();
}
}  // namespace

void MakeOddFile(const std::string& dir, const std::string& name) {
  const std::wstring path = OddPath(dir, name);
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
}

void RemoveOddFile(const std::string& dir, const std::string& name) {
  ::DeleteFileW(OddPath(dir, name).c_str());
}

}  // namespace sendrel_test
