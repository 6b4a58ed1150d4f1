#include "support/SharedLib.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace brnet::test {

SharedLib::~SharedLib() {
  if (handle_) Close();
}

#ifdef _WIN32

bool SharedLib::Open(const std::string& path, std::string* error) {
  handle_ = reinterpret_cast<void*>(::LoadLibraryA(path.c_str()));
  if (!handle_) *error = "LoadLibraryA failed, error " + std::to_string(::GetLastError());
  return handle_ != nullptr;
}

void* SharedLib::Symbol(const char* name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

bool SharedLib::Close() {
  HMODULE h = static_cast<HMODULE>(handle_);
  handle_ = nullptr;
  return ::FreeLibrary(h) != 0;
}

bool SharedLib::IsLoaded(const std::string& path) {
  return ::GetModuleHandleA(path.c_str());
}

#else

bool SharedLib::Open(const std::string& path, std::string* error) {
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) *error = ::dlerror();
  return handle_ != nullptr;
}

void* SharedLib::Symbol(const char* name) const {
  return ::dlsym(handle_, name);
}

bool SharedLib::Close() {
  void* h = handle_;
  handle_ = nullptr;
  return ::dlclose(h) == 0;
}

bool SharedLib::IsLoaded(const std::string& path) {
  void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) ::dlclose(h);
  return h != nullptr;
}

#endif

}  // namespace brnet::test
