// Runs the benchmarks and then prints their ratios: for every benchmark "X"
// that has a partner "X_Baseline", and every ratio a benchmark file asked for
// (BenchRatio.h), the ratio of the real times (the fastest of repeated runs),
// with its target. Lines start with "ratio" or "counter" so that scripts can
// pick them out; a missed target makes the exit status 3 when
// --brnet_enforce is given.
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "BenchRatio.h"

namespace brnet::bench {
namespace {

struct RatioSpec {
  std::string Numerator;
  std::string Denominator;
  double Target;
};

struct GrowthSpec {
  std::string Numerator;
  std::string Denominator;
  std::string Large;
  std::string Small;
  double Target;
};

struct LimitSpec {
  std::string Benchmark;
  std::string Counter;
  double Limit;
};

std::vector<RatioSpec>& Ratios() {
  static std::vector<RatioSpec> ratios;
  return ratios;
}

std::vector<GrowthSpec>& Growths() {
  static std::vector<GrowthSpec> growths;
  return growths;
}

std::vector<LimitSpec>& Limits() {
  static std::vector<LimitSpec> limits;
  return limits;
}

const char* Verdict(bool met) {
  return met ? "ok" : "MISSED";
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal: logs and scripts read the plain lines.
  RatioReporter()
      : ConsoleReporter(::isatty(STDOUT_FILENO) != 0
                            ? OO_Defaults
                            : static_cast<OutputOptions>(OO_Defaults & ~OO_Color)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      // Of several repetitions the fastest: on a shared machine the others
      // measure the neighbours as well.
      const double seconds =
          run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(run.time_unit);
      auto [it, added] = times_.emplace(run.benchmark_name(), seconds);
      if (!added && seconds < it->second) it->second = seconds;
      const double cpu = run.GetAdjustedCPUTime() * benchmark::GetTimeUnitMultiplier(run.time_unit);
      auto [cit, cpuAdded] = cpuTimes_.emplace(run.benchmark_name(), cpu);
      if (!cpuAdded && cpu < cit->second) cit->second = cpu;
      for (const auto& [name, counter] : run.counters) {
        counters_[run.benchmark_name() + " " + name] = counter.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Prints every ratio and limit whose benchmarks ran; false when one of
  // them missed its target.
  bool PrintRatios() const {
    bool allMet = true;
    for (const RatioSpec& wanted : AllRatios()) {
      auto num = times_.find(wanted.Numerator);
      auto den = times_.find(wanted.Denominator);
      if (num == times_.end() || den == times_.end() || den->second <= 0) continue;
      const double ratio = num->second / den->second;
      std::printf("ratio %-34s %8.2fx of %s", wanted.Numerator.c_str(), ratio,
                  wanted.Denominator.c_str());
      // CPU time beside: on a loaded machine it shows what waiting for the
      // disk or the processor added to the real time.
      const double cpuDen = cpuTimes_.at(wanted.Denominator);
      if (cpuDen > 0) std::printf("  (cpu %.2fx)", cpuTimes_.at(wanted.Numerator) / cpuDen);
      if (wanted.Target > 0) {
        std::printf("  (target <= %gx: %s)", wanted.Target, Verdict(ratio <= wanted.Target));
        allMet = allMet && ratio <= wanted.Target;
      }
      std::printf("\n");
    }
    for (const GrowthSpec& wanted : Growths()) {
      const auto growth = [&](const std::map<std::string, double>& times,
                              const std::string& name) -> double {
        auto large = times.find(name + wanted.Large);
        auto small = times.find(name + wanted.Small);
        if (large == times.end() || small == times.end() || small->second <= 0) return 0;
        return large->second / small->second;
      };
      const double num = growth(times_, wanted.Numerator);
      const double den = growth(times_, wanted.Denominator);
      if (num <= 0 || den <= 0) continue;
      const double ratio = num / den;
      std::printf("ratio %-34s %8.2fx of %s's growth %s/%s (%.2fx vs %.2fx)",
                  (wanted.Numerator + " growth").c_str(), ratio, wanted.Denominator.c_str(),
                  wanted.Large.c_str() + 1, wanted.Small.c_str() + 1, num, den);
      std::printf("  (target <= %gx: %s)\n", wanted.Target, Verdict(ratio <= wanted.Target));
      allMet = allMet && ratio <= wanted.Target;
    }
    for (const LimitSpec& wanted : Limits()) {
      auto it = counters_.find(wanted.Benchmark + " " + wanted.Counter);
      if (it == counters_.end()) continue;
      std::printf("counter %s %s = %.2f  (limit <= %g: %s)\n", wanted.Benchmark.c_str(),
                  wanted.Counter.c_str(), it->second, wanted.Limit,
                  Verdict(it->second <= wanted.Limit));
      allMet = allMet && it->second <= wanted.Limit;
    }
    std::fflush(stdout);
    return allMet;
  }

 private:
  // The requested ratios, then "X" against "X_Baseline" for every pair.
  std::vector<RatioSpec> AllRatios() const {
    std::vector<RatioSpec> all = Ratios();
    const std::string suffix = "_Baseline";
    for (const auto& [name, time] : times_) {
      const auto cut = name.find(suffix);
      if (cut == std::string::npos) continue;
      std::string partner = name.substr(0, cut) + name.substr(cut + suffix.size());
      bool listed = false;
      for (const RatioSpec& wanted : all) listed = listed || wanted.Numerator == partner;
      if (!listed) all.push_back({partner, name, 0});
    }
    return all;
  }

  std::map<std::string, double> times_;
  std::map<std::string, double> cpuTimes_;
  std::map<std::string, double> counters_;
};

}  // namespace

int AddRatio(const std::string& numerator, const std::string& denominator, double target) {
  Ratios().push_back({numerator, denominator, target});
  return 0;
}

int AddGrowthRatio(const std::string& numerator, const std::string& denominator,
                   const std::string& large, const std::string& small, double target) {
  Growths().push_back({numerator, denominator, large, small, target});
  return 0;
}

int AddCounterLimit(const std::string& benchmark, const std::string& counter, double limit) {
  Limits().push_back({benchmark, counter, limit});
  return 0;
}

}  // namespace brnet::bench

int main(int argc, char** argv) {
  bool enforce = false;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--brnet_enforce") == 0) {
      enforce = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  brnet::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const bool met = reporter.PrintRatios();
  benchmark::Shutdown();
  return enforce && !met ? 3 : 0;
}
