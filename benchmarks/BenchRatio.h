// Ratios between benchmarks of one run, printed by the runner (BenchMain.cpp)
// after all benchmarks: each figure means something only against a baseline
// measured on the same machine at the same moment.
#pragma once

#include <string>

namespace brnet::bench {

// Asks for the ratio of the real times of NUMERATOR and DENOMINATOR (full
// benchmark names, arguments included: "BM_BinkAttach/10000"). A TARGET above
// 0 is the highest ratio accepted: the line says "ok" or "MISSED". Returns a
// value to initialise a static with, so that benchmark files register their
// ratios beside the benchmarks.
int AddRatio(const std::string& numerator, const std::string& denominator, double target = 0);

// Asks for the growth of NUMERATOR from argument SMALL to argument LARGE
// (each the rest of a full name: "/1000") against the growth of DENOMINATOR
// over the same step: (N+LARGE / N+SMALL) / (D+LARGE / D+SMALL), with its
// TARGET as for AddRatio.
int AddGrowthRatio(const std::string& numerator, const std::string& denominator,
                   const std::string& large, const std::string& small, double target);

// Asks for a check of a counter that a benchmark reports: the line says "ok"
// when its value stays at or below LIMIT.
int AddCounterLimit(const std::string& benchmark, const std::string& counter, double limit);

}  // namespace brnet::bench
