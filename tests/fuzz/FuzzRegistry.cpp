// The registry hive file is outside input (a person may edit it): parsing
// must never fail other than by refusing, and what it accepts must survive
// being written back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sys/posix/host/RegFile.h"

namespace rf = brnet::sys::regfile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto hive = rf::Parse(text);
  if (!hive) return 0;
  const std::string written = rf::Format(*hive);
  auto again = rf::Parse(written);
  if (!again || rf::Format(*again) != written) std::abort();
  for (const rf::Key& key : hive->keys) {
    if (!again->HasKey(key.path) || again->FindKey(key.path) == nullptr) std::abort();
    for (const rf::Value& v : key.values) {
      const rf::Value* back = rf::Hive::FindValue(*again->FindKey(key.path), v.name);
      if (back == nullptr || back->value.type != v.value.type || back->value.data != v.value.data) {
        std::abort();
      }
    }
  }
  return 0;
}
