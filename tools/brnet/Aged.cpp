// brnet queue --older-than: the entries that have waited too long, for cron
// and monitoring, which judge by the exit status.
#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "Json.h"
#include "Manage.h"

namespace brnet::cli {

int ReportOlder(const TOutbound& outb, std::int64_t seconds, bool json) {
  const std::int64_t now = std::time(nullptr);
  std::string out = json ? "{\"older\":[" : "";
  int count = 0;
  for (int i = 0; i < outb.NodeCount(); ++i) {
    const TOutbNode& node = outb.GetNodes(i);
    for (const TOutbFile& f : node.Files()) {
      // The age is that of the file: how long it has waited to be sent. A
      // file that is gone has no age; queue -v shows it as missing.
      struct stat st {};
      if (::stat(f.FullName.c_str(), &st) != 0) continue;
      const std::int64_t age = now - static_cast<std::int64_t>(st.st_mtime);
      if (age <= seconds) continue;
      const std::string address = node.Addr().ToString();
      if (json) {
        out += std::string(count == 0 ? "" : ",") + "{\"address\":" + JsonString(address) +
               ",\"path\":" + JsonString(f.FullName) +
               ",\"flavour\":" + JsonString(FlavourName(f.Flavor)) +
               ",\"age_seconds\":" + std::to_string(age) + "}";
      } else {
        out += address + " " + FlavourName(f.Flavor) + " " + std::to_string(age / 3600) + "h " +
               f.FullName + "\n";
      }
      ++count;
    }
  }
  if (json) out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return count > 0 ? 1 : 0;
}

}  // namespace brnet::cli
