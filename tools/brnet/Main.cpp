// brnet: attaches files to FidoNet nodes from the shell and shows what waits
// in the outbound.
#include <string>
#include <vector>

#include "Commands.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return brnet::cli::RunBrnet(args, brnet::cli::DefaultSources());
}
