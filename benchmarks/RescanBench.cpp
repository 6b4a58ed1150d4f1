// Rescanning a Bink outbound of 1,000 and 10,000 nodes, each with a flow
// file of three files, against a walk with the same I/O done bare in the
// benchmark, and the rescan's growth from 1,000 to 10,000 nodes against the
// walk's; and the peak memory of the process during a rescan of
// 10,000 nodes.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "BenchFiles.h"
#include "BenchRatio.h"
#include "TestSupport.h"
#include "outbound/Outbound.h"

namespace {

using brnet::TOutbound;
using brnet::bench::Hex8;
using brnet::bench::PutFile;
using brnet::test::TempDir;

constexpr int kFilesPerNode = 3;

// NODES flow files in "out", each naming three files of "files"; made once
// per size and kept for every benchmark of the run.
struct Tree {
  TempDir dir;
  std::string out = dir / "out";
  std::string files = dir / "files";

  explicit Tree(int nodes) {
    std::filesystem::create_directories(out);
    std::filesystem::create_directories(files);
    for (int i = 0; i < nodes; ++i) {
      std::string lines;
      for (int f = 0; f < kFilesPerNode; ++f) {
        const std::string file =
            files + "/n" + std::to_string(i) + "-" + std::to_string(f) + ".zip";
        PutFile(file, "PK");
        lines += (f == 0 ? "^" : "") + file + "\r\n";
      }
      PutFile(out + "/" + Hex8(0x00010000u + static_cast<unsigned>(i)) + ".flo", lines);
    }
  }
};

const Tree& TreeOf(int nodes) {
  static std::map<int, std::unique_ptr<Tree>> trees;
  auto& tree = trees[nodes];
  if (!tree) tree = std::make_unique<Tree>(nodes);
  return *tree;
}

// Peak resident memory of this process, in MiB.
double PeakRssMiB() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Resets the peak to the present size (Linux), so that what the benchmarks
// before used does not count.
void ResetPeakRss() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

// One rescan of 10,000 nodes: the process's peak memory while it runs and
// holds the model, and how much it grew by.
void BM_RescanMemory(benchmark::State& state) {
  const Tree& tree = TreeOf(static_cast<int>(state.range(0)));
  brnet::test::ScopedMainAddress main("2:5020/100");
  double before = 0;
  double peak = 0;
  for (auto _ : state) {
    TOutbound outbound;
    outbound.SetBinkOutPath(tree.out);
    ResetPeakRss();
    before = PeakRssMiB();
    outbound.Rescan();
    peak = PeakRssMiB();
  }
  state.counters["peak_rss_MiB"] = peak;
  state.counters["growth_MiB"] = peak - before;
}
BENCHMARK(BM_RescanMemory)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Rescan(benchmark::State& state) {
  const Tree& tree = TreeOf(static_cast<int>(state.range(0)));
  brnet::test::ScopedMainAddress main("2:5020/100");
  TOutbound outbound;
  outbound.SetBinkOutPath(tree.out);
  for (auto _ : state) {
    outbound.Rescan();
    benchmark::DoNotOptimize(outbound.NodeCount());
  }
  if (outbound.NodeCount() != state.range(0)) state.SkipWithError("wrong node count");
}
BENCHMARK(BM_Rescan)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The I/O a rescan of the tree cannot do without, done bare: list the
// outbound, read each flow file whole, and stat each file it names (the
// model holds every file's size and date).
std::int64_t Walk(const std::string& out) {
  std::int64_t total = 0;
  DIR* handle = ::opendir(out.c_str());
  if (handle == nullptr) return 0;
  std::string text;
  char buffer[4096];
  while (const dirent* entry = ::readdir(handle)) {
    const std::string_view name = entry->d_name;
    if (name.size() < 4 || name.substr(name.size() - 3) != "flo") continue;
    const int fd = ::open((out + "/" + entry->d_name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    text.clear();
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    ::close(fd);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      std::string file = text.substr(start, end - start);
      if (!file.empty() && (file[0] == '^' || file[0] == '#')) file.erase(0, 1);
      struct stat st {};
      if (::stat(file.c_str(), &st) == 0) total += st.st_size;
    }
  }
  ::closedir(handle);
  return total;
}

void BM_RescanWalk(benchmark::State& state) {
  const Tree& tree = TreeOf(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Walk(tree.out));
}
BENCHMARK(BM_RescanWalk)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

[[maybe_unused]] const int kRatios[] = {
    brnet::bench::AddRatio("BM_Rescan/1000", "BM_RescanWalk/1000"),
    brnet::bench::AddRatio("BM_Rescan/10000", "BM_RescanWalk/10000", 3),
    brnet::bench::AddRatio("BM_Rescan/10000", "BM_Rescan/1000"),
    brnet::bench::AddRatio("BM_RescanWalk/10000", "BM_RescanWalk/1000"),
    // Ten times the nodes cost the walk itself more than ten times (the
    // file system's lookups grow with the directory): the rescan's growth is
    // held against the walk's in the same run.
    brnet::bench::AddGrowthRatio("BM_Rescan", "BM_RescanWalk", "/10000", "/1000", 1.25),
    brnet::bench::AddCounterLimit("BM_RescanMemory/10000/iterations:1", "peak_rss_MiB", 20),
};

}  // namespace
