// The twelve exported br functions. Each turns every failure inside into a
// false result plus the last-error text; nothing else leaves the library.
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "addr/FidoAddr.h"
#include "api/LibState.h"
#include "api/brnet32.h"
#include "log/FidoLog.h"
#include "outbound/BusyFlags.h"
#include "outbound/OutbNaming.h"

namespace brnet {
namespace {

// The C header's constants are cast straight to the library's own enums and
// flag sets: they must agree value for value.
static_assert(BR_FLAVOR_IMM == flImm && BR_FLAVOR_CRASH == flCrash &&
              BR_FLAVOR_DIRECT == flDirect && BR_FLAVOR_NORMAL == flNormal &&
              BR_FLAVOR_HOLD == flHold);
static_assert(BR_OUTB_BINK == otBink && BR_OUTB_FILEBOX == otFileBox &&
              BR_OUTB_ARCMAIL == otArcMail && BR_OUTB_LONGFILEBOX == otLongFileBox);
static_assert(BR_SEND_NONE == smNone && BR_SEND_KILL == smKillSent && BR_SEND_TRUNC == smTruncSent);
static_assert(BR_BSY_NORMAL == BusyFlagBit(bfNormal) && BR_BSY_BINK == BusyFlagBit(bfBink) &&
              BR_BSY_SEMAPHORE == BusyFlagBit(bfSemaphore));

constexpr const char* kLogNotInitialized = "Log not initialized";
constexpr const char* kOutbNotInitialized = "Outbound not initialized";

std::string_view Text(const char* s) {
  return s ? std::string_view(s) : std::string_view();
}

// The signed 16-bit address parts packed in one 32-bit argument.
std::int16_t Low16(std::uint32_t word) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(word & 0xFFFFu));
}
std::int16_t High16(std::uint32_t word) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(word >> 16));
}

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

const char* BRAPI brGetLastError(void) {
  return State().LastError().c_str();
}

brBool BRAPI brSetMainAddr(const char* addr) {
  State().SetMainAddress(nullptr);
  if (addr == nullptr) return 1;
  return Guarded([&] {
    State().SetMainAddress(std::make_unique<TFidoAddr>(TFidoAddr::CreateFromText(addr, false)));
    return true;
  });
}

brBool BRAPI brValidAddr(const char* addr) {
  return IsValidAddr(Text(addr), false) ? 1 : 0;
}

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

brBool BRAPI brInitOutbound(const char* netmailPath, const char* binkOutPath,
                            const char* fileBoxesPath) {
  State().FreeOutbound();
  return Guarded([&] {
    State().SetOutbound(std::make_unique<TOutbound>());
    TOutbound& outbound = *State().Outbound();
    if (!Text(netmailPath).empty()) outbound.SetNetmailPath(netmailPath);
    if (!Text(binkOutPath).empty()) outbound.SetBinkOutPath(binkOutPath);
    if (!Text(fileBoxesPath).empty()) outbound.SetFileBoxesPath(fileBoxesPath);
    // Progress lines reach the log only when a log was set up first.
    if (TLogProxy* proxy = State().LogProxy()) outbound.SetOnLogString(proxy->Connection());
    return true;
  });
}

brBool BRAPI brFreeOutbound(void) {
  State().FreeOutbound();
  return 1;
}

brBool BRAPI brSetOutboundBsy(const char* flagsPath, uint8_t createFlags, uint8_t scanFlags) {
  TOutbound* outbound = State().Outbound();
  if (outbound == nullptr) return Fail(kOutbNotInitialized);
  return Guarded([&] {
    outbound->SetFlagsPath(Text(flagsPath));
    outbound->SetBusyFlagsCreate(createFlags);
    outbound->SetBusyFlagsScan(scanFlags);
    return true;
  });
}

brBool BRAPI brRescanOutbound(void) {
  TOutbound* outbound = State().Outbound();
  if (outbound == nullptr) return Fail(kOutbNotInitialized);
  return Guarded([&] {
    outbound->Rescan();
    return true;
  });
}

brBool BRAPI brAttachFiles(uint32_t zoneNet, uint32_t nodePoint, const char* const* files,
                           int32_t count, uint8_t flavor, uint8_t outbType, uint8_t mode) {
  TOutbound* outbound = State().Outbound();
  if (outbound == nullptr) return Fail(kOutbNotInitialized);
  if (files == nullptr || count == 0) return 1;
  return Guarded([&] {
    // A negative count is a caller's fault, not an empty list.
    if (count < 0) throw EOutbError("Invalid file count " + std::to_string(count));
    const TFidoAddr dest = TFidoAddr::CreateFromNumbers(Low16(zoneNet), High16(zoneNet),
                                                        Low16(nodePoint), High16(nodePoint));
    std::vector<std::string> list;
    for (int32_t i = 0; i < count; ++i) list.emplace_back(Text(files[i]));
    outbound->AttachFiles(&dest, &list, static_cast<TOutbFlavor>(flavor),
                          static_cast<TOutbType>(outbType), static_cast<TOutbSendMode>(mode));
    return true;
  });
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
