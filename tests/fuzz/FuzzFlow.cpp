// Flow and request files from anywhere, as mailers and tossers leave them in
// the outbound: reading never crashes, every line becomes at most one entry
// with its prefix taken off, and the node's total is the sum of what it holds.
// The lines name arbitrary paths; looking them up only lists and stats.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "TestSupport.h"
#include "outbound/Outbound.h"

using namespace brnet;

namespace {

// Every input is a file write: keep them in memory where that is possible.
void PreferMemoryTemp() {
  if (std::filesystem::is_directory("/dev/shm")) ::setenv("TMPDIR", "/dev/shm", 0);
}

// Lines as a text reader sees them: split at LF, none after a final LF.
std::size_t LineCount(std::string_view text) {
  std::size_t lines = 0;
  for (std::size_t start = 0; start < text.size(); ++lines) {
    const std::size_t end = text.find('\n', start);
    start = end == std::string_view::npos ? text.size() : end + 1;
  }
  return lines;
}

void CheckFlow(const TOutbNode& node, std::string_view text, TOutbFlavor flavor) {
  if (node.Files().size() > LineCount(text)) std::abort();
  std::int64_t total = 0;
  for (const TOutbFile& f : node.Files()) {
    if (f.Flavor != flavor || f.OutbType != otBink || f.Size < -1) std::abort();
    if (f.Size == -1 && f.Age != 0) std::abort();
    if (f.FullName.find('\n') != std::string::npos) std::abort();
    if (!f.FullName.ends_with(f.Name)) std::abort();
    // Trimmed lines: a file entry never ends in a blank or control character.
    if (!f.FullName.empty() && static_cast<unsigned char>(f.FullName.back()) <= ' ') std::abort();
    if (f.SendMode == smNone && !f.FullName.empty() &&
        (f.FullName[0] == '^' || f.FullName[0] == '#' || f.FullName[0] == '~')) {
      std::abort();
    }
    if (f.Size != -1) total += f.Size;
  }
  if (total != node.TotalSize()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool once = (PreferMemoryTemp(), true);
  (void)once;
  if (size == 0) return 0;
  // The first byte picks the file: a flow file of some flavour, one named
  // without extension, or a request file.
  static constexpr const char* kNames[] = {"139c04d2.ilo", "139C04D2.CLO", "139c04d2.dlo",
                                           "139c04d2.flo", "139c04d2.Hlo", "139c04d2.xlo",
                                           "139c04d2",     "139c04d2.req"};
  static constexpr TOutbFlavor kFlavors[] = {flImm, flCrash, flDirect, flNormal, flHold, flNormal};
  const std::size_t pick = data[0] % 8;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  // A directory per input: the fuzzer may end the process without running
  // static destructors, and nothing must be left behind.
  test::TempDir dir;
  const std::string path = dir / kNames[pick];
  test::WriteFile(path, std::string(text));
  TOutbound outbound;
  const TFidoAddr addr = TFidoAddr::CreateFromNumbers(2, 5020, 1234, 0);
  TOutbNode& node = outbound.FindOrAddNode(&addr);
  if (pick == 7) {
    node.ReadREQ(path);
    if (node.Requests().size() != LineCount(text)) std::abort();
    return 0;
  }
  try {
    node.ReadLO(path);
  } catch (const EOutbError&) {
    if (pick != 6) std::abort();  // only the name without extension is refused
    return 0;
  }
  if (pick == 6) std::abort();
  CheckFlow(node, text, kFlavors[pick]);
  return 0;
}
