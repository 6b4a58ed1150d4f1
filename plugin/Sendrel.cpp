// The plug-in's entry points, the only names it exports. Nothing thrown
// inside may reach the host, so each entry point stops it here and shows it
// to the operator as a warning.
#include <exception>

#include "FarApi.h"
#include "Messages.h"
#include "Plugin.h"

#if defined(_WIN32)
#define SENDREL_EXPORT  // the module definition file exports the plain names
#else
#define SENDREL_EXPORT __attribute__((visibility("default")))
#endif

using namespace farapi;

namespace {

// Menu texts handed to the host; they must outlive GetPluginInfo.
const char* menuStrings[1];
const char* configStrings[1];

// Shows a failure that reached the host boundary. Should even the warning
// fail, nothing more can be done without handing the host an exception.
void ShowFailure(const char* what) noexcept {
  try {
    sendrel::State().host.Warning({what});
  } catch (...) {
  }
}

// Runs BODY; a failure is shown and FALLBACK returned.
template <class Result, class Body>
Result Guarded(Result fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    ShowFailure(e.what());
  } catch (...) {
    ShowFailure("Unknown error");
  }
  return fallback;
}

}  // namespace

extern "C" {

SENDREL_EXPORT void FARAPI SetStartupInfo(const PluginStartupInfo* Info) {
  Guarded(0, [&] {
    sendrel::Start(Info);
    return 0;
  });
}

SENDREL_EXPORT void FARAPI GetPluginInfo(PluginInfo* Info) {
  if (Info == nullptr) return;
  Guarded(0, [&] {
    const sendrel::Host& host = sendrel::State().host;
    menuStrings[0] = host.Msg(sendrel::MMenuEntry);
    configStrings[0] = host.Msg(sendrel::MConfigEntry);
    Info->StructSize = static_cast<int>(kPluginInfoSize);
    Info->Flags = 0;
    Info->DiskMenuStringsNumber = 0;
    Info->PluginMenuStrings = menuStrings;
    Info->PluginMenuStringsNumber = 1;
    Info->PluginConfigStrings = configStrings;
    Info->PluginConfigStringsNumber = 1;
    return 0;
  });
}

SENDREL_EXPORT HANDLE FARAPI OpenPlugin(int /*OpenFrom*/, INT_PTR /*Item*/) {
  Guarded(0, [] {
    sendrel::Plugin& p = sendrel::State();
    if (sendrel::Ready(p)) sendrel::AttachCommand(p);
    return 0;
  });
  return INVALID_HANDLE_VALUE;
}

SENDREL_EXPORT int FARAPI Configure(int /*ItemNumber*/) {
  return Guarded(0, [] {
    sendrel::Plugin& p = sendrel::State();
    return sendrel::Ready(p) ? sendrel::ConfigDialog(p) : 0;
  });
}

SENDREL_EXPORT void FARAPI ExitFAR() {
  Guarded(0, [] {
    sendrel::State().br.Unbind();
    return 0;
  });
}

}  // extern "C"
