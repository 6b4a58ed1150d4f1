// A node's state files as binkd and other users leave them, read by brnet
// queue, and a request line as a user gives it to brnet request, from any
// bytes: ".try" bytes, NUL, ".hld" bytes, NUL, the request line. The queue
// is whole JSON with no raw control byte, and its text has none but line
// ends; a request accepted is read back as exactly one line, the line
// given; one refused is a usage error that leaves no request file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "CliError.h"
#include "Commands.h"
#include "JsonCheck.h"
#include "Manage.h"
#include "outbound/OutbEdit.h"

using namespace brnet;
using namespace brnet::cli;
namespace fs = std::filesystem;

namespace {

const SetupSources kSources = {[] { return PluginSetup{}; }, "", false};

// The outbound of this process, made once: in memory where that is possible.
const std::string& Out() {
  static const std::string out = [] {
    std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
    base += "/fuzz_node_files.XXXXXX";
    if (::mkdtemp(base.data()) == nullptr) std::abort();
    static const std::string made = base;
    std::atexit([] { fs::remove_all(made); });
    return base + "/out";
  }();
  return out;
}

void Put(const std::string& name, std::string_view data) {
  std::FILE* f = std::fopen((Out() + "/" + name).c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}

// What a command printed on standard output; its exit status through STATUS.
template <class Run>
std::string Captured(Run run, int& status) {
  static const int memory = ::memfd_create("fuzz_node_files", 0);
  std::fflush(stdout);
  const int saved = ::dup(1);
  if (::ftruncate(memory, 0) != 0 || ::lseek(memory, 0, SEEK_SET) != 0) std::abort();
  ::dup2(memory, 1);
  try {
    status = run();
  } catch (const CliError& e) {
    status = e.Status();
  }
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(saved);
  std::string text(static_cast<std::size_t>(::lseek(memory, 0, SEEK_END)), '\0');
  if (::pread(memory, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
    std::abort();
  return text;
}

void Queue() {
  int status = -1;
  const std::string json = Captured(
      [] {
        return QueueCommand({"--json", "-m", "2:5020/100", "-d", Out()}, kSources);
      },
      status);
  if (status != 0 || !fuzz::JsonReader(json).WholeValue()) std::abort();
  const std::string text = Captured(
      [] {
        return QueueCommand({"-m", "2:5020/100", "-d", Out()}, kSources);
      },
      status);
  for (char c : text) {
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) std::abort();
  }
}

void Request(const std::string& line) {
  int status = -1;
  Captured(
      [&] {
        return RequestCommand({"-q", "--no-poll", "-m", "2:5020/100", "-d", Out(), "1234", line},
                              kSources);
      },
      status);
  const std::vector<std::string> lines = ReadLinesBelow({Out() + "/", "139c04d2.req"});
  if (status == 0 && lines != std::vector<std::string>{line}) std::abort();
  if (status != 0 && (status != 2 || !lines.empty())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t first = std::min(input.find('\0'), input.size());
  const std::size_t second = std::min(input.find('\0', first + 1), input.size());
  fs::remove_all(Out());
  fs::create_directories(Out());
  Put("139c04d2.flo", "/nowhere/a.zip\r\n");
  Put("139c04d2.try", input.substr(0, first));
  if (first < size) Put("139c04d2.hld", input.substr(first + 1, second - first - 1));
  Queue();
  // An argument ends at a NUL.
  const std::size_t third = std::min(input.find('\0', second + 1), input.size());
  if (second < size) Request(std::string(input.substr(second + 1, third - second - 1)));
  return 0;
}
