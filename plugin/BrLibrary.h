// The run-time binding of brnet32: the library loaded by its plain name and
// its twelve br functions looked up by name. The plug-in reaches the library
// only through this table and never links its code.
#pragma once

#include "api/brnet32.h"
#include "sys/Loader.h"

namespace sendrel {

// The twelve functions, in the order they are bound.
struct BrEntries {
  brGetLastError_t GetLastError = nullptr;
  brSetMainAddr_t SetMainAddr = nullptr;
  brValidAddr_t ValidAddr = nullptr;
  brParseAddr_t ParseAddr = nullptr;
  brInitOutbound_t InitOutbound = nullptr;
  brFreeOutbound_t FreeOutbound = nullptr;
  brSetOutboundBsy_t SetOutboundBsy = nullptr;
  brRescanOutbound_t RescanOutbound = nullptr;
  brAttachFiles_t AttachFiles = nullptr;
  brInitLog_t InitLog = nullptr;
  brLog_t Log = nullptr;
  brFreeLog_t FreeLog = nullptr;
};

class BrLibrary {
 public:
  static constexpr const char* kLibraryName = "brnet32.dll";

  BrLibrary() = default;
  BrLibrary(const BrLibrary&) = delete;
  BrLibrary& operator=(const BrLibrary&) = delete;

  // Loads the library and looks up the twelve names in order. False when a
  // library is already held (nothing changes), when it cannot be loaded, or
  // at the first missing name: the library then stays loaded and the later
  // names are not looked up.
  bool Bind();
  // Frees the library; the handle is cleared only when the system freed it.
  void Unbind();

  bool Loaded() const { return handle_ != nullptr; }
  const BrEntries& Fn() const { return fn_; }

  // A boolean result of the library, read by its low byte only.
  static bool True(brBool result) { return (result & 0xFF) != 0; }

 private:
  brnet::sys::ModuleHandle handle_ = nullptr;
  BrEntries fn_;
};

}  // namespace sendrel
