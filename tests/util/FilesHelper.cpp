// A second process for the file-utility tests: one of several racers for a
// file name.
//   files_helper create-exclusive NAME
//       prints "ready", waits for the end of its standard input (the start
//       signal, given to all racers at once), then creates NAME with
//       CreateFileExclusive
// Exit codes: 0 created, 1 refused, 2 bad arguments.
#include <cstdio>
#include <iostream>
#include <string>

#include "util/Files.h"

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "create-exclusive" && argc == 3) {
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return brnet::CreateFileExclusive(argv[2]) ? 0 : 1;
  }
  std::fprintf(stderr, "usage: files_helper create-exclusive NAME\n");
  return 2;
}
