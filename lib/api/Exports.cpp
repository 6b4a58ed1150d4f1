// The twelve exported br functions. Each turns every failure inside into a
// false result plus the last-error text; nothing else leaves the library.
#include <memory>
#include <new>
#include <string_view>

#include "addr/FidoAddr.h"
#include "api/LibState.h"
#include "api/brnet32.h"
#include "log/FidoLog.h"

namespace brnet {
namespace {

constexpr const char* kLogNotInitialized = "Log not initialized";
constexpr const char* kOutbNotInitialized = "Outbound not initialized";

std::string_view Text(const char* s) { return s ? std::string_view(s) : std::string_view(); }

brBool Fail(const char* message) {
  State().SetLastError(message);
  return 0;
}

// Runs BODY; any failure becomes false and the last-error text. The body's
// temporaries are released by unwinding either way.
template <class Body>
brBool Guarded(Body&& body) noexcept {
  try {
    return body() ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return Fail("Out of memory");
  } catch (const std::exception& e) {
    return Fail(e.what());
  } catch (...) {
    return Fail("Unknown error");
  }
}

}  // namespace
}  // namespace brnet

using namespace brnet;

extern "C" {

const char* BRAPI brGetLastError(void) { return State().LastError().c_str(); }

brBool BRAPI brSetMainAddr(const char* addr) {
  State().SetMainAddress(nullptr);
  if (addr == nullptr) return 1;
  return Guarded([&] {
    State().SetMainAddress(std::make_unique<TFidoAddr>(TFidoAddr::CreateFromText(addr, false)));
    return true;
  });
}

brBool BRAPI brValidAddr(const char* addr) { return IsValidAddr(Text(addr), false) ? 1 : 0; }

brBool BRAPI brParseAddr(const char* addr, brAddrRec* rec) {
  if (addr == nullptr || rec == nullptr) return 0;
  return Guarded([&] {
    const TFidoAddr parsed = TFidoAddr::CreateFromText(addr, false);
    rec->zone = static_cast<std::uint16_t>(parsed.Zone);
    rec->net = static_cast<std::uint16_t>(parsed.Net);
    rec->node = static_cast<std::uint16_t>(parsed.Node);
    rec->point = static_cast<std::uint16_t>(parsed.Point);
    return true;
  });
}

brBool BRAPI brInitOutbound(const char*, const char*, const char*) {
  return Fail(kOutbNotInitialized);
}

brBool BRAPI brFreeOutbound(void) { return 1; }

brBool BRAPI brSetOutboundBsy(const char*, uint8_t, uint8_t) { return Fail(kOutbNotInitialized); }

brBool BRAPI brRescanOutbound(void) { return Fail(kOutbNotInitialized); }

brBool BRAPI brAttachFiles(brAddrRec, const char* const*, int32_t, uint8_t, uint8_t, uint8_t) {
  return Fail(kOutbNotInitialized);
}

brBool BRAPI brInitLog(const char* fileName, const char* appShortName) {
  State().FreeLog();
  return Guarded([&] {
    State().SetLog(std::make_unique<TLog>());
    TLog& log = *State().Log();
    log.SetFileName(Text(fileName));
    log.SetAppShortName(Text(appShortName));
    log.LogStart();
    State().SetLogProxy(std::make_unique<TLogProxy>(&log));
    return true;
  });
}

brBool BRAPI brLog(uint8_t level, const char* text) {
  TLog* log = State().Log();
  if (log == nullptr) return Fail(kLogNotInitialized);
  return Guarded([&] {
    log->Log(static_cast<char>(level), Text(text));
    return true;
  });
}

brBool BRAPI brFreeLog(void) {
  State().FreeLog();
  return 1;
}

}  // extern "C"
