// bench/fastest_reporter.h: Google Benchmark's console output, keeping the fastest time of every
// benchmark for the ratios each benchmark program prints after it. Leaves this file:
// FastestReporter. Used by bench/pattern_bench.cpp, bench/dictionary_bench.cpp and
// bench/check_bench.cpp.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace mimoza::bench {

class FastestReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // The machine is shared: each figure is the fastest of its repetitions.
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const double seconds =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      auto found = times_.find(name);
      if (found == times_.end() || seconds < found->second) times_[name] = seconds;
    }
    ConsoleReporter::ReportRuns(runs);
  }

 protected:
  // Seconds per iteration by "function/arguments" (the function alone when it has none).
  const std::map<std::string, double>& Times() const { return times_; }
  bool Has(const std::string& name) const { return times_.count(name) != 0; }
  double Seconds(const std::string& name) const {
    auto found = times_.find(name);
    return found == times_.end() ? 0.0 : found->second;
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace mimoza::bench
