// The process whose system calls the budget test counts: one Bink attach of
// one file under the flags {Bink, semaphore} to a node whose flow file
// exists, between two markers that strace shows as failed writes to
// descriptor -1. An attach before the counted one creates the flow file and
// is the process's first, so what the count shows is the cost of every
// further attach of a long-running caller (the plug-in in FAR, brnet -w).
//
//   syscall_attach DIR
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "outbound/Outbound.h"

namespace {

void Marker(const char* text) {
  // Fails with EBADF and changes nothing; strace prints its text.
  [[maybe_unused]] const ssize_t ignored = ::write(-1, text, std::string_view(text).size());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace brnet;
  if (argc != 2) {
    std::fprintf(stderr, "usage: syscall_attach DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::filesystem::create_directories(dir + "/out");
  const std::string file = dir + "/nodelist.zip";
  std::FILE* f = std::fopen(file.c_str(), "w");
  if (f == nullptr || std::fputs("PK", f) < 0 || std::fclose(f) != 0) {
    std::perror(file.c_str());
    return 1;
  }
  TFidoAddr main = TFidoAddr::CreateFromText("2:5020/100", false);
  SetMainAddressRef(&main);
  // Semaphore names are machine-wide: a node of this process's own. Its
  // node number has letters in hexadecimal ("....7cde"), so that the flag's
  // name has as many usual spellings as most nodes' have.
  const TFidoAddr dest =
      TFidoAddr::CreateFromNumbers(2, static_cast<std::int16_t>(1 + ::getpid() % 30000), 0x7CDE, 0);
  const std::vector<std::string> files = {file};
  const TBusyFlags flags = BusyFlagBit(bfBink) | BusyFlagBit(bfSemaphore);
  try {
    for (const bool counted : {false, true}) {
      TOutbound outbound;
      outbound.SetBinkOutPath(dir + "/out");
      outbound.SetBusyFlagsCreate(flags);
      outbound.SetBusyFlagsScan(flags);
      Marker(counted ? "attach-begin counted" : "attach-begin first");
      outbound.AttachFiles(&dest, &files, flCrash, otBink, smNone);
      Marker(counted ? "attach-end counted" : "attach-end first");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "attach failed: %s\n", e.what());
    return 1;
  }
  SetMainAddressRef(nullptr);
  FreeHeldSemaphores();
  return 0;
}
