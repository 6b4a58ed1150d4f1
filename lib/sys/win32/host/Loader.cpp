// The loader on Windows: LoadLibraryA, GetProcAddress, FreeLibrary. A plain
// name ("brnet32.dll") is looked for beside the module that holds this code
// first, so that the plug-in finds the library installed next to it even
// when the file manager's own directory comes first in the search order.
#include <windows.h>
// windows.h keeps an old 16-bit name as a macro for FreeLibrary.
#undef FreeModule

#include <string>

#include "sys/Loader.h"
#include "sys/win32/SystemMessage.h"

namespace brnet::sys {
namespace {

thread_local std::string lastError;

std::string SystemMessage(DWORD code) {
  return "Win32 Error.  Code: " + std::to_string(code) + ".\n" + SystemMessageText(code);
}

void NoteLastError(const std::string& what) {
  lastError = what + ": " + SystemMessage(::GetLastError());
}

ModuleHandle Open(const std::string& file) {
  // No "cannot find the DLL" box from the system: the caller reports it.
  const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryA(file.c_str());
  if (module == nullptr) NoteLastError(file);
  ::SetErrorMode(oldMode);
  return reinterpret_cast<ModuleHandle>(module);
}

}  // namespace

std::string PlatformLibraryName(std::string_view name) {
  return std::string(name);
}

ModuleHandle LoadModule(std::string_view name) {
  if (name.empty()) {
    lastError = "no library name";
    return nullptr;
  }
  if (name.find_first_of("\\/:") != std::string_view::npos) return Open(std::string(name));
  const std::string self = ModuleFileOf(reinterpret_cast<const void*>(&LoadModule));
  const std::size_t slash = self.find_last_of("\\/");
  if (slash != std::string::npos) {
    const std::string beside = self.substr(0, slash + 1) + std::string(name);
    if (::GetFileAttributesA(beside.c_str()) != INVALID_FILE_ATTRIBUTES) return Open(beside);
  }
  return Open(std::string(name));
}

void* ModuleSymbol(ModuleHandle module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  FARPROC symbol = ::GetProcAddress(reinterpret_cast<HMODULE>(module), name);
  if (symbol == nullptr) NoteLastError(name);
  return reinterpret_cast<void*>(symbol);
}

bool FreeModule(ModuleHandle module) {
  if (module == nullptr) return false;
  if (!::FreeLibrary(reinterpret_cast<HMODULE>(module))) {
    NoteLastError("FreeLibrary");
    return false;
  }
  return true;
}

std::string ModuleError() {
  return lastError;
}

std::string ModuleFileOf(const void* address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module)) {
    return {};
  }
  std::string file(MAX_PATH, '\0');
  while (true) {
    const DWORD n = ::GetModuleFileNameA(module, file.data(), static_cast<DWORD>(file.size()));
    if (n == 0) return {};
    if (n < file.size()) {
      file.resize(n);
      return file;
    }
    file.resize(file.size() * 2);
  }
}

}  // namespace brnet::sys
