// Names found on disk and flow-file lines, read back by the outbound's
// reverse rules: nothing crashes, every failure is the conversion error, and
// a box name the forward rules made reads back to its address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "outbound/OutbNaming.h"
#include "util/Numbers.h"
#include "util/Words.h"

using namespace brnet;

static void ReadBack(std::string_view name) {
  BinkNameToAddr(name, 2);
  BinkPointNameToAddr(name, name.substr(name.size() / 2), 1);
  FlowFileFlavor(name);
  FileKindOf(SplitSendMode(name).Name);
  HexToIntOrZero(name);
  Base32Val(name);
  try {
    BoxNameToAddr(name);
  } catch (const EConvertError&) {
  }
  std::string rest(name);
  while (!rest.empty()) {
    std::size_t before = rest.size();
    SplitOffFieldSkip(rest, name.empty() ? '.' : name[0]);
    if (rest.size() >= before) std::abort();  // every split makes progress
  }
  const TCharSet delims = MakeCharSet(".\\/ ");
  const int words = CountWords(name, delims);
  if (words > 0 && GetWord(words, name, delims).empty()) std::abort();
  if (!GetWord(words + 1, name, delims).empty()) std::abort();
}

static void RoundTrip(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return;
  auto number = [&](std::size_t at) {
    return static_cast<std::uint16_t>(data[at] | (data[at + 1] << 8));
  };
  // Short boxes hold 10, 15, 15 and 10 bits, long boxes whole 16-bit numbers.
  auto bits = [&](std::size_t at, unsigned mask) {
    return static_cast<std::int16_t>(number(at) & mask);
  };
  TFidoAddr addr = TFidoAddr::CreateFromNumbers(static_cast<std::int16_t>(1 + number(0) % 1023),
                                                bits(2, 0x7FFF), bits(4, 0x7FFF), bits(6, 0x3FF));
  const bool longForm = data[8] & 1;
  const TOutbFlavor flavor = (data[8] & 2) ? flHold : flNormal;
  std::string dir = FileBoxDirName(addr, "", flavor, longForm, sys::PathStyle::Posix);
  dir.pop_back();
  auto box = BoxNameToAddr(dir);
  if (!box || CompareAddr(box->Addr, addr) != 0 || box->Long != longForm ||
      box->Flavor != (flavor == flHold ? flHold : flDirect)) {
    std::abort();
  }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReadBack(std::string_view(reinterpret_cast<const char*>(data), size));
  RoundTrip(data, size);
  return 0;
}
