// A second process for the attach tests: one of several callers attaching
// to one node through the shared library at the same time.
//   api_helper LIBRARY OUTBOUND NODE PROC CALLS [netmail]
// Loads LIBRARY as a caller does, with main address 2:5020/100 and a Bink
// outbound OUTBOUND guarded by Bink flags and semaphores, prints "ready" and
// waits for the end of its standard input (the start signal, given to all
// callers at once). Then it makes CALLS crash attaches of the three files
// /pPROC/cN/f0../f2 to 2:5020/NODE, printing "ok N" or "busy N" for each.
// With "netmail" OUTBOUND is a netmail directory instead, no busy flags are
// raised, and each call attaches the one file /pPROC/cN by a message.
// Exit codes: 0 done, 1 a call failed otherwise (its error printed as
// "error N TEXT"), 2 bad arguments or no library.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "api/brnet32.h"
#include "support/SharedLib.h"

namespace {

template <class F>
bool Bind(const brnet::test::SharedLib& lib, F& fn, const char* name) {
  fn = reinterpret_cast<F>(lib.Symbol(name));
  if (fn == nullptr) std::cerr << "api_helper: no " << name << "\n";
  return fn != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const bool netmail = argc == 7 && std::string(argv[6]) == "netmail";
  if (argc != 6 && !netmail) {
    std::cerr << "usage: api_helper LIBRARY OUTBOUND NODE PROC CALLS [netmail]\n";
    return 2;
  }
  brnet::test::SharedLib lib;
  std::string error;
  if (!lib.Open(argv[1], &error)) {
    std::cerr << "api_helper: " << error << "\n";
    return 2;
  }
  brGetLastError_t getLastError;
  brSetMainAddr_t setMainAddr;
  brInitOutbound_t initOutbound;
  brSetOutboundBsy_t setOutboundBsy;
  brAttachFiles_t attachFiles;
  if (!Bind(lib, getLastError, "brGetLastError") || !Bind(lib, setMainAddr, "brSetMainAddr") ||
      !Bind(lib, initOutbound, "brInitOutbound") ||
      !Bind(lib, setOutboundBsy, "brSetOutboundBsy") || !Bind(lib, attachFiles, "brAttachFiles")) {
    return 2;
  }
  const uint8_t flags = netmail ? 0 : BR_BSY_BINK | BR_BSY_SEMAPHORE;
  const bool outboundReady =
      netmail ? initOutbound(argv[2], nullptr, nullptr) : initOutbound(nullptr, argv[2], nullptr);
  if (!setMainAddr("2:5020/100") || !outboundReady || !setOutboundBsy(nullptr, flags, flags)) {
    std::cout << "error - " << getLastError() << std::endl;
    return 1;
  }
  const brAddrRec node{2, 5020, static_cast<uint16_t>(std::stoi(argv[3])), 0};
  const std::string proc = argv[4];
  const int calls = std::stoi(argv[5]);
  const std::string busy = "Node 2:5020/" + std::to_string(node.node) + " is busy";

  std::cout << "ready" << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  for (int c = 0; c < calls; ++c) {
    const std::string call = "/p" + proc + "/c" + std::to_string(c);
    std::vector<std::string> files;
    for (int f = 0; f < (netmail ? 1 : 3); ++f) {
      files.push_back(netmail ? call : call + "/f" + std::to_string(f));
    }
    std::vector<const char*> names;
    for (const std::string& f : files) names.push_back(f.c_str());
    if (attachFiles(brZoneNet(&node), brNodePoint(&node), names.data(),
                    static_cast<int32_t>(names.size()), BR_FLAVOR_CRASH,
                    netmail ? BR_OUTB_ARCMAIL : BR_OUTB_BINK, BR_SEND_NONE)) {
      std::cout << "ok " << c << std::endl;
    } else if (getLastError() == busy) {
      std::cout << "busy " << c << std::endl;
    } else {
      std::cout << "error " << c << " " << getLastError() << std::endl;
      return 1;
    }
  }
  return 0;
}
