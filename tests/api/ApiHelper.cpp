// A second process for the attach tests: one of several callers attaching
// to one node through the shared library at the same time.
//   api_helper LIBRARY OUTBOUND NODE PROC CALLS
// Loads LIBRARY as a caller does, with main address 2:5020/100 and a Bink
// outbound OUTBOUND guarded by Bink flags and semaphores, prints "ready" and
// waits for the end of its standard input (the start signal, given to all
// callers at once). Then it makes CALLS crash attaches of the three files
// /pPROC/cN/f0../f2 to 2:5020/NODE, printing "ok N" or "busy N" for each.
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
  if (argc != 6) {
    std::cerr << "usage: api_helper LIBRARY OUTBOUND NODE PROC CALLS\n";
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
  constexpr uint8_t kFlags = BR_BSY_BINK | BR_BSY_SEMAPHORE;
  if (!setMainAddr("2:5020/100") || !initOutbound(nullptr, argv[2], nullptr) ||
      !setOutboundBsy(nullptr, kFlags, kFlags)) {
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
    std::vector<std::string> files;
    for (int f = 0; f < 3; ++f) {
      files.push_back("/p" + proc + "/c" + std::to_string(c) + "/f" + std::to_string(f));
    }
    const char* names[] = {files[0].c_str(), files[1].c_str(), files[2].c_str()};
    if (attachFiles(brZoneNet(&node), brNodePoint(&node), names, 3, BR_FLAVOR_CRASH, BR_OUTB_BINK, BR_SEND_NONE)) {
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
