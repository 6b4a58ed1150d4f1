// The plug-in's entry points, the only names it exports. Nothing thrown
// inside may reach the host, so each entry point stops it here.
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

}  // namespace

extern "C" {

SENDREL_EXPORT void FARAPI SetStartupInfo(const PluginStartupInfo* Info) {
  try {
    sendrel::Start(Info);
  } catch (...) {
  }
}

SENDREL_EXPORT void FARAPI GetPluginInfo(PluginInfo* Info) {
  if (Info == nullptr) return;
  try {
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
  } catch (...) {
  }
}

SENDREL_EXPORT HANDLE FARAPI OpenPlugin(int /*OpenFrom*/, INT_PTR /*Item*/) {
  try {
    sendrel::Plugin& p = sendrel::State();
    if (p.ready) sendrel::AttachCommand(p);
  } catch (...) {
  }
  return INVALID_HANDLE_VALUE;
}

SENDREL_EXPORT int FARAPI Configure(int /*ItemNumber*/) {
  try {
    sendrel::Plugin& p = sendrel::State();
    return p.ready ? sendrel::ConfigDialog(p) : 0;
  } catch (...) {
    return 0;
  }
}

SENDREL_EXPORT void FARAPI ExitFAR() {
  try {
    sendrel::State().br.Unbind();
  } catch (...) {
  }
}

}  // extern "C"
