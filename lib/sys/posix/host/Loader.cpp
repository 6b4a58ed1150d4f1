// The loader on POSIX: dlopen, dlsym, dlclose. A Windows-style plain name
// ("brnet32.dll") becomes "libbrnet32.so" and is looked for beside the
// module that holds this code first, so that a plug-in finds the library
// installed next to it, then by the system's search.
#include <dlfcn.h>

#include <string>

#include "sys/Loader.h"
#include "util/Ascii.h"

namespace brnet::sys {
namespace {

thread_local std::string lastError;

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() &&
         EqualsAsciiNoCase(text.substr(text.size() - tail.size()), tail);
}

ModuleHandle Open(const std::string& file) {
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    lastError = why != nullptr ? why : file + ": cannot be loaded";
  }
  return handle;
}

}  // namespace

std::string PlatformLibraryName(std::string_view name) {
  std::string base(name);
  if (EndsWithNoCase(base, ".dll")) base.resize(base.size() - 4);
  if (base.rfind("lib", 0) != 0) base = "lib" + base;
  return base + ".so";
}

ModuleHandle LoadModule(std::string_view name) {
  if (name.empty()) {
    lastError = "no library name";
    return nullptr;
  }
  if (name.find('/') != std::string_view::npos) return Open(std::string(name));
  const std::string file = PlatformLibraryName(name);
  const std::string self = ModuleFileOf(reinterpret_cast<const void*>(&LoadModule));
  const std::size_t slash = self.find_last_of('/');
  if (slash != std::string::npos) {
    if (ModuleHandle beside = Open(self.substr(0, slash + 1) + file)) return beside;
  }
  return Open(file);
}

void* ModuleSymbol(ModuleHandle module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  ::dlerror();
  void* symbol = ::dlsym(module, name);
  if (symbol == nullptr) {
    const char* why = ::dlerror();
    lastError = why != nullptr ? why : std::string(name) + ": not found";
  }
  return symbol;
}

bool FreeModule(ModuleHandle module) {
  if (module == nullptr) return false;
  if (::dlclose(module) != 0) {
    const char* why = ::dlerror();
    lastError = why != nullptr ? why : "dlclose failed";
    return false;
  }
  return true;
}

std::string ModuleError() {
  return lastError;
}

std::string ModuleFileOf(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

}  // namespace brnet::sys
