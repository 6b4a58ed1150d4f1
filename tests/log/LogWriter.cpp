// A second process for the log tests.
//   log_writer lines FILE TAG COUNT
//       writes COUNT lines "process TAG line I" (short name TAG)
//   log_writer read-then-line FILE SIGNAL
//       reads FILE, creates SIGNAL when that worked, then writes one line
//       "second writer"
// Exit codes: 0 done, 1 bad arguments, 2 FILE could not be read, 3 a log
// error (printed).
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>

#include "log/FidoLog.h"

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  try {
    brnet::TLog log;
    if (mode == "lines" && argc == 5) {
      log.SetFileName(argv[2]);
      log.SetAppShortName(argv[3]);
      const int count = std::stoi(argv[4]);
      for (int i = 0; i < count; ++i) {
        log.Log('+', "process " + std::string(argv[3]) + " line " + std::to_string(i));
      }
      return 0;
    }
    if (mode == "read-then-line" && argc == 4) {
      std::ifstream in(argv[2], std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      if (!in.good() && !in.eof()) return 2;
      if (text.empty()) return 2;
      std::ofstream(argv[3]) << "read " << text.size() << "\n";
      log.SetFileName(argv[2]);
      log.Log('+', "second writer");
      return 0;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "log_writer: %s\n", e.what());
    return 3;
  }
  std::fprintf(stderr, "usage: log_writer lines FILE TAG COUNT | read-then-line FILE SIGNAL\n");
  return 1;
}
