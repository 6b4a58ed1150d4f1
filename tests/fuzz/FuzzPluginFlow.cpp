// Flow files as the sendrel plug-in reads them to find a node's waiting
// files: reading never crashes, every line gives at most one entry, and no
// entry keeps a line end, a send-mode mark or a line marked sent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Queued.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t lines = 0;
  for (std::size_t start = 0; start < text.size(); ++lines) {
    const std::size_t end = text.find('\n', start);
    start = end == std::string::npos ? text.size() : end + 1;
  }
  const auto entries = sendrel::LiveEntries(text);
  if (entries.size() > lines) std::abort();
  for (const std::string& e : entries) {
    if (e.empty() || e.find('\n') != std::string::npos || e.back() == '\r') std::abort();
    if (text.find(e) == std::string::npos) std::abort();
  }
  return 0;
}
