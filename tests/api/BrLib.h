// The shared library loaded the way a run-time caller loads it, with its
// twelve names bound by name: LoadLibraryA/GetProcAddress on Windows,
// dlopen/dlsym elsewhere.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "api/brnet32.h"
#include "support/SharedLib.h"

namespace brnet::test {

struct BrLib {
  SharedLib lib;
  brGetLastError_t GetLastError;
  brSetMainAddr_t SetMainAddr;
  brValidAddr_t ValidAddr;
  brParseAddr_t ParseAddr;
  brInitOutbound_t InitOutbound;
  brFreeOutbound_t FreeOutbound;
  brSetOutboundBsy_t SetOutboundBsy;
  brRescanOutbound_t RescanOutbound;
  brAttachFiles_t AttachFiles;
  brInitLog_t InitLog;
  brLog_t Log;
  brFreeLog_t FreeLog;

  template <class F>
  void Bind(F& fn, const char* name) {
    fn = reinterpret_cast<F>(lib.Symbol(name));
    ASSERT_NE(fn, nullptr) << name;
  }

  void Load() {
    std::string error;
    ASSERT_TRUE(lib.Open(BRNET32_PATH, &error)) << error;
    Bind(GetLastError, "brGetLastError");
    Bind(SetMainAddr, "brSetMainAddr");
    Bind(ValidAddr, "brValidAddr");
    Bind(ParseAddr, "brParseAddr");
    Bind(InitOutbound, "brInitOutbound");
    Bind(FreeOutbound, "brFreeOutbound");
    Bind(SetOutboundBsy, "brSetOutboundBsy");
    Bind(RescanOutbound, "brRescanOutbound");
    Bind(AttachFiles, "brAttachFiles");
    Bind(InitLog, "brInitLog");
    Bind(Log, "brLog");
    Bind(FreeLog, "brFreeLog");
  }

  // Unloads and checks that the library really left the process.
  void Unload() {
    ASSERT_TRUE(lib.Close());
    EXPECT_FALSE(SharedLib::IsLoaded(BRNET32_PATH)) << "the library stayed mapped after unloading";
  }

  std::string Error() const { return GetLastError(); }

  brAddrRec Parse(const char* text) {
    brAddrRec rec{1, 1, 1, 1};
    EXPECT_TRUE(ParseAddr(text, &rec)) << text << ": " << Error();
    return rec;
  }
};

// One of the two 32-bit address words of brAttachFiles.
inline uint32_t Word(uint16_t low, uint16_t high) {
  return static_cast<uint32_t>(low) | static_cast<uint32_t>(high) << 16;
}

inline bool Same(const brAddrRec& r, uint16_t zone, uint16_t net, uint16_t node, uint16_t point) {
  return r.zone == zone && r.net == net && r.node == node && r.point == point;
}

}  // namespace brnet::test
