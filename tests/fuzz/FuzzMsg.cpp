// *.MSG files from anywhere: reading never crashes or reads out of bounds,
// the fields of a message that reads stay within their limits, and such a
// message saved over its own file reads back with the same fields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "msgbase/MsgBase.h"

using brnet::TFidoAddr;
using brnet::TMailMsg;

namespace {

struct Fields {
  std::string from, to, subject;
  std::uint32_t attrs;
  std::string fromAddr, toAddr;
  bool operator==(const Fields&) const = default;
};

Fields Snapshot(const TMailMsg& msg) {
  return {msg.FromName(),
          msg.ToName(),
          msg.Subject(),
          msg.Attributes.Bits(),
          msg.FromAddr->Format(brnet::afFullPoint),
          msg.ToAddr->Format(brnet::afFullPoint)};
}

void CheckLimits(const TMailMsg& msg) {
  if (msg.FromName().size() > 35 || msg.ToName().size() > 35 || msg.Subject().size() > 71) {
    std::abort();
  }
  if (!msg.FromAddr || !msg.ToAddr) std::abort();
  for (const auto* lines : {&msg.Body, &msg.Kludges}) {
    for (const std::string& line : *lines) {
      if (line.find_first_of(std::string("\r\0", 2)) != std::string::npos) std::abort();
    }
  }
}

// Addresses whose text form the address parser reads back.
bool Printable(const TFidoAddr& a) {
  return a.Zone >= 0 && a.Net >= 0 && a.Node >= 0 && a.Point >= 0;
}

// Every input is a file write: keep them in memory where that is possible,
// away from the disk's write-back heuristics.
void PreferMemoryTemp() {
  if (std::filesystem::is_directory("/dev/shm")) ::setenv("TMPDIR", "/dev/shm", 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool once = (PreferMemoryTemp(), true);
  (void)once;
  // A directory per input: the fuzzer may end the process without running
  // static destructors, and nothing must be left behind.
  brnet::test::TempDir dir;
  static const TFidoAddr mainAddr = TFidoAddr::CreateFromText("2:5020/100", false);
  brnet::SetMainAddressRef(&mainAddr);
  brnet::test::WriteFile(dir / "2.msg", std::string(reinterpret_cast<const char*>(data), size));

  brnet::TMsgBase base;
  base.SetPathName(dir.Path());
  base.Open();
  TMailMsg* msg = nullptr;
  try {
    msg = &base.Next();
  } catch (const brnet::Exception&) {
    return 0;
  }
  CheckLimits(*msg);
  if (!Printable(*msg->FromAddr) || !Printable(*msg->ToAddr)) return 0;
  const Fields before = Snapshot(*msg);
  base.Save();
  base.Rewind();
  if (Snapshot(base.Next()) != before) std::abort();
  return 0;
}
