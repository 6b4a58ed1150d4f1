// A second process for the busy-flag tests: locks one node the way the
// attach operation does, reports the outcome on stdout and holds the lock
// until its stdin ends.
//
//   busy_helper OUTPATH FLAGSPATH SCAN CREATE ADDRESS MAINADDRESS
//
// SCAN and CREATE are the busy-flag sets as numbers. Prints "locked" or
// "busy", and "unlocked" after the unlock.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "outbound/BusyFlags.h"

int main(int argc, char** argv) {
  using namespace brnet;
  if (argc != 7) {
    std::cerr << "usage: busy_helper OUTPATH FLAGSPATH SCAN CREATE ADDRESS MAINADDRESS\n";
    return 2;
  }
  TFidoAddr main = TFidoAddr::CreateFromText(argv[6], false);
  SetMainAddressRef(&main);
  TBusyFlagSetup setup;
  setup.BinkOutPath = argv[1];
  setup.FlagsPath = argv[2];
  setup.BusyFlagsScan = static_cast<TBusyFlags>(std::atoi(argv[3]));
  setup.BusyFlagsCreate = static_cast<TBusyFlags>(std::atoi(argv[4]));
  TFidoAddr addr = TFidoAddr::CreateFromText(argv[5], false);
  if (!LockNode(setup, &addr, bkBsy)) {
    std::cout << "busy" << std::endl;
    return 0;
  }
  std::cout << "locked" << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  UnlockNode(setup, &addr);
  FreeHeldSemaphores();
  std::cout << "unlocked" << std::endl;
  SetMainAddressRef(nullptr);
  return 0;
}
