// Attaching into a file box copies the file: compared with cp(1) copying the
// same file in the same run. Attaching to a flow file appends a line under
// busy flags: compared with a plain append of the same line.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "outbound/Outbound.h"

namespace {

using brnet::test::TempDir;

constexpr std::size_t kFileSize = 64 << 20;

std::string MakeFile(const TempDir& dir) {
  const std::string path = dir / "payload.bin";
  brnet::test::WriteFile(path, std::string(kFileSize, 'x'));
  return path;
}

void BM_FileBoxCopy(benchmark::State& state) {
  TempDir dir;
  const std::string src = MakeFile(dir);
  const std::vector<std::string> files = {src};
  brnet::test::ScopedMainAddress main("2:5020/100");
  const brnet::TFidoAddr dest = brnet::TFidoAddr::CreateFromText("2:5020/1234", false);
  for (auto _ : state) {
    brnet::TOutbound outbound;
    outbound.SetFileBoxesPath(dir / "boxes");
    outbound.AttachFiles(&dest, &files, brnet::flNormal, brnet::otFileBox, brnet::smNone);
    state.PauseTiming();
    std::filesystem::remove_all(dir / "boxes");
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_FileBoxCopy)->Unit(benchmark::kMillisecond);

void BM_FileBoxCopy_Baseline(benchmark::State& state) {
  TempDir dir;
  const std::string src = MakeFile(dir);
  const std::string command = "cp " + src + " " + dir / "copy.bin";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    state.PauseTiming();
    std::filesystem::remove(dir / "copy.bin");
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_FileBoxCopy_Baseline)->Unit(benchmark::kMillisecond);

void BM_BinkAttach(benchmark::State& state) {
  TempDir dir;
  brnet::test::ScopedMainAddress main("2:5020/100");
  const brnet::TFidoAddr dest = brnet::TFidoAddr::CreateFromText("2:5020/1234", false);
  const std::vector<std::string> files = {"/home/sysop/files/nodelist.zip"};
  brnet::TOutbound outbound;
  outbound.SetBinkOutPath(dir / "out");
  outbound.SetBusyFlagsCreate(brnet::BusyFlagBit(brnet::bfBink));
  outbound.SetBusyFlagsScan(brnet::BusyFlagBit(brnet::bfBink));
  for (auto _ : state) {
    outbound.AttachFiles(&dest, &files, brnet::flCrash, brnet::otBink, brnet::smNone);
  }
}
BENCHMARK(BM_BinkAttach);

void BM_BinkAttach_Baseline(benchmark::State& state) {
  TempDir dir;
  const std::string flow = dir / "139c04d2.clo";
  const std::string line = "/home/sysop/files/nodelist.zip\r\n";
  for (auto _ : state) {
    int fd = ::open(flow.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
    ::close(fd);
  }
}
BENCHMARK(BM_BinkAttach_Baseline);

}  // namespace
