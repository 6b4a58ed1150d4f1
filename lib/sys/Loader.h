// The dynamic-library loader for the plug-in side: the host loads plug-ins,
// the plug-in loads brnet32. Never part of brnet32 itself.
#pragma once

#include <string>
#include <string_view>

namespace brnet::sys {

// An opaque handle of a loaded module; null means none.
using ModuleHandle = void*;

// The platform's file name for a library that Windows calls NAME:
// "brnet32.dll" is "libbrnet32.so" on POSIX and stays as it is on Windows.
std::string PlatformLibraryName(std::string_view name);

// Loads a library. A NAME with a directory part is loaded from there as it
// is. A plain NAME is a Windows-style name ("brnet32.dll"): it is mapped with
// PlatformLibraryName and looked for first beside the module that holds this
// loader (the plug-in), then by the system's library search. Null on failure;
// ModuleError() then tells why.
ModuleHandle LoadModule(std::string_view name);

// The address of the exported NAME, or null.
void* ModuleSymbol(ModuleHandle module, const char* name);

// Unloads; false when the system refused.
bool FreeModule(ModuleHandle module);

// The loader's description of its last failure.
std::string ModuleError();

// The full file name of the module that contains ADDRESS; empty if unknown.
std::string ModuleFileOf(const void* address);

}  // namespace brnet::sys
