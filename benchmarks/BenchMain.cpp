// Runs the benchmarks and then prints, for every benchmark "X" that has a
// partner "X_Baseline", the ratio of their real times.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    const std::string suffix = "_Baseline";
    for (const auto& [name, time] : times_) {
      auto cut = name.find(suffix);
      if (cut == std::string::npos) continue;
      std::string partner = name.substr(0, cut) + name.substr(cut + suffix.size());
      auto it = times_.find(partner);
      if (it == times_.end() || time <= 0) continue;
      std::printf("ratio %-40s %.2fx of %s\n", partner.c_str(), it->second / time, name.c_str());
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
