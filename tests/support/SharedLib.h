// A shared library loaded at run time, as a caller of brnet32 loads it:
// LoadLibraryA and GetProcAddress on Windows, dlopen and dlsym elsewhere.
#pragma once

#include <string>

namespace brnet::test {

class SharedLib {
 public:
  SharedLib() = default;
  ~SharedLib();
  SharedLib(const SharedLib&) = delete;
  SharedLib& operator=(const SharedLib&) = delete;

  // Loads PATH; false with the system's reason in ERROR on failure.
  bool Open(const std::string& path, std::string* error);
  bool IsOpen() const { return handle_ != nullptr; }
  // The address of an exported name, or null.
  void* Symbol(const char* name) const;
  // Drops this reference; false when the system reports a failure.
  bool Close();

  // True while the library at PATH is mapped into this process.
  static bool IsLoaded(const std::string& path);

 private:
  void* handle_ = nullptr;
};

}  // namespace brnet::test
