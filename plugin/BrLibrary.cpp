#include "BrLibrary.h"

namespace sendrel {
namespace {

template <class F>
bool Lookup(brnet::sys::ModuleHandle handle, F& fn, const char* name) {
  fn = reinterpret_cast<F>(brnet::sys::ModuleSymbol(handle, name));
  return fn != nullptr;
}

}  // namespace

bool BrLibrary::Bind() {
  if (handle_ != nullptr) return false;
  handle_ = brnet::sys::LoadModule(kLibraryName);
  if (handle_ == nullptr) return false;
  BrEntries fn;
  const bool all = Lookup(handle_, fn.GetLastError, "brGetLastError") &&
                   Lookup(handle_, fn.SetMainAddr, "brSetMainAddr") &&
                   Lookup(handle_, fn.ValidAddr, "brValidAddr") &&
                   Lookup(handle_, fn.ParseAddr, "brParseAddr") &&
                   Lookup(handle_, fn.InitOutbound, "brInitOutbound") &&
                   Lookup(handle_, fn.FreeOutbound, "brFreeOutbound") &&
                   Lookup(handle_, fn.SetOutboundBsy, "brSetOutboundBsy") &&
                   Lookup(handle_, fn.RescanOutbound, "brRescanOutbound") &&
                   Lookup(handle_, fn.AttachFiles, "brAttachFiles") &&
                   Lookup(handle_, fn.InitLog, "brInitLog") && Lookup(handle_, fn.Log, "brLog") &&
                   Lookup(handle_, fn.FreeLog, "brFreeLog");
  fn_ = fn;
  return all;
}

void BrLibrary::Unbind() {
  if (handle_ != nullptr && brnet::sys::FreeModule(handle_)) {
    handle_ = nullptr;
    fn_ = BrEntries{};
  }
}

}  // namespace sendrel
