// A systemd unit file is outside input: whatever binkd.service and its
// drop-ins hold, reading them gives a sandbox whose paths are absolute, and
// judging a path against it ends in an answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ServiceUnit.h"

using namespace brnet::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ServiceSandbox box;
  ApplyUnitText(box, text);
  box.Found = true;
  for (const auto* list : {&box.ReadWrite, &box.ReadOnly, &box.Inaccessible}) {
    for (const std::string& path : *list) {
      if (path.empty() || path[0] != '/') std::abort();
    }
  }
  for (const char* path : {"/", "/tmp/a", "/home/u/x", "/var/spool/ftn/f", "/srv/x"}) {
    for (brnet::TOutbSendMode mode : {brnet::smNone, brnet::smKillSent, brnet::smTruncSent}) {
      ServiceCannot(box, path, mode);
    }
  }
  return 0;
}
