// One log line is one open, one locked append and one close. The baseline
// does the same file work without the log: open, append, close.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <string>

#include "TestSupport.h"
#include "log/FidoLog.h"

namespace {

const std::string kText = "Created Bink attach /home/sysop/files/nodelist.zip to 2:5020/1234";

void BM_LogLine(benchmark::State& state) {
  brnet::test::TempDir dir;
  brnet::TLog log;
  log.SetFileName(dir / "bench.log");
  for (auto _ : state) log.Log('+', kText);
}
BENCHMARK(BM_LogLine);

void BM_LogLine_Baseline(benchmark::State& state) {
  brnet::test::TempDir dir;
  const std::string path = dir / "bench.log";
  const std::string line = "+ 08 Dec 14:30:00 BENC " + kText + "\r\n";
  for (auto _ : state) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    benchmark::DoNotOptimize(::write(fd, line.data(), line.size()));
    ::close(fd);
  }
}
BENCHMARK(BM_LogLine_Baseline);

}  // namespace
