// Address texts from anywhere: parsing never crashes, and a full address
// survives parse, format, parse unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "addr/FidoAddr.h"

using brnet::TFidoAddr;

static bool Full(const TFidoAddr& a) {
  return a.Zone >= 0 && a.Net >= 0 && a.Node >= 0 && a.Point >= 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (bool wildcards : {false, true}) {
    TFidoAddr addr;
    try {
      addr.Parse(text, wildcards);
    } catch (const brnet::Exception&) {
      continue;
    }
    if (brnet::IsValidAddr(text, wildcards) != true) std::abort();
    if (!Full(addr)) continue;
    for (unsigned options : {0u, unsigned(brnet::afDomain | brnet::afFullPoint)}) {
      TFidoAddr again = TFidoAddr::CreateFromText(addr.Format(options), false);
      if (brnet::CompareAddr(addr, again) != 0) std::abort();
      if ((options & brnet::afDomain) && again.Domain != addr.Domain) std::abort();
    }
  }
  return 0;
}
