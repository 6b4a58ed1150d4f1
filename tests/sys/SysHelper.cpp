// A second process for the platform-layer tests.
//   sys_helper hold-semaphore NAME READY STOP
//       creates the semaphore NAME, then the file READY, and waits (at most
//       60 s) until the file STOP exists; it ends without closing the
//       semaphore, so the system has to drop it
//   sys_helper sleep MILLISECONDS
//   sys_helper show-pid
//       prints its process id (as sys::CurrentProcessId gives it) and the
//       host name on two lines, then waits until its standard input ends
// Exit codes: 0 done, 1 bad arguments, 2 the semaphore was not created.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "sys/Process.h"
#include "sys/Semaphore.h"

namespace {

void Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "hold-semaphore" && argc == 5) {
    brnet::sys::NamedSemaphore sem;
    if (sem.Create(argv[2]) != brnet::sys::NamedSemaphore::CreateResult::Created) return 2;
    std::ofstream(argv[3]) << "held\n";
    for (int i = 0; i < 1200 && !std::filesystem::exists(argv[4]); ++i) Pause(50);
    std::_Exit(0);  // no destructors, nothing closed: the holder just ends
  }
  if (mode == "sleep" && argc == 3) {
    Pause(std::stoi(argv[2]));
    return 0;
  }
  if (mode == "show-pid" && argc == 2) {
    std::cout << brnet::sys::CurrentProcessId() << "\n" << brnet::sys::HostName() << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
  }
  std::fprintf(stderr, "usage: sys_helper hold-semaphore NAME READY STOP | sleep MS | show-pid\n");
  return 1;
}
