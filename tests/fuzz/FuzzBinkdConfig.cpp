// binkd's configuration is outside input: whatever a file holds, reading it
// ends in a result or a configuration error, never anything else. Includes
// read the same text again, so nesting and its limit are reached too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "BinkdConfig.h"

using namespace brnet::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    for (const std::string& word : BinkdWords(std::string_view(text).substr(start, end - start))) {
      if (word.find('\0') != std::string::npos) std::abort();
    }
    start = end + 1;
  }
  const BinkdIncludeReader sameText = [&](const std::string&, std::string&) {
    return std::optional<std::string>(text);
  };
  try {
    const BinkdConfig config = ParseBinkdConfig(text, "/etc/binkd/binkd.cfg", sameText);
    const BinkdSettings settings = ResolveBinkdSettings(config, "/etc/binkd/binkd.cfg");
    // A relative outbound is kept as written, with the line that says it,
    // for the refusal when it is used; an absolute one has no such line.
    if (settings.Outbound.empty()) std::abort();
    if ((settings.Outbound[0] != '/') != !settings.RelativeAt.empty()) std::abort();
    if (settings.DefaultZone <= 0) std::abort();
    if (settings.KillOldBsy < 0) std::abort();
    // The node lines and own addresses it holds decide a domain and a call.
    BinkdDomainOfZone(settings, 21);
    brnet::TFidoAddr node = brnet::TFidoAddr::CreateFromNumbers(2, 5020, 1234, 0);
    WhyBinkdWillNotCall(settings, node);
  } catch (const EConfigError&) {
  }
  return 0;
}
