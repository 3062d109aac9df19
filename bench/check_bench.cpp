// bench/check_bench.cpp: the dictionary checker (mimoza check) on generated dictionaries of 1,000
// to 100,000 entries (bench/text_maker.h), against the floor of finding every tag of the same
// bytes, and against the target: 100,000 entries checked in under 2 seconds.
// - Floor: every tag of the dictionary's bytes found by memchr for "<" and a compare.
// - Check: CheckDataTexts over the stored bytes, every key compiled, examined and searched.
// - CheckHard: the 100,000 entries and ten keys that each run a hard line out of the search's
//   budget, the costliest keys there are to check.
// - BaselineCheck: another revision's checker, when the build was configured with
//   MIMOZA_BENCH_BASELINE=<its checkout> (see bench/CMakeLists.txt).
// At the end every figure is printed with its ratio to the floor, to the baseline's and, for
// 100,000 entries, to the target.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/fastest_reporter.h"
#include "bench/tag_floor.h"
#include "bench/text_maker.h"
#include "knowledge/dictionary_check.h"

#ifdef MIMOZA_BENCH_HAS_BASELINE
// The baseline revision's checker, built in a namespace of its own (bench/baseline.cpp).
extern "C" long BaselineCheck(const char* bytes, size_t length);
#endif

namespace mimoza {
namespace {

constexpr double kTargetSeconds = 2.0;  // for 100,000 entries

const std::string& DictionaryOf(int64_t entries, bool hard) {
  static std::map<std::pair<int64_t, bool>, std::string> made;
  std::string& text = made[{entries, hard}];
  if (text.empty()) {
    text = bench::TextMaker(7).Dictionary(static_cast<int>(entries));
    for (int32_t i = 0; hard && i < 10; ++i) {
      text += "<KEY>(a?){" + std::to_string(5000 + i) + "}a{5000}</KEY>\r\n<ANS>x</ANS>\r\n";
    }
  }
  return text;
}

void BM_Floor(benchmark::State& state) {
  const std::string& text = DictionaryOf(state.range(0), false);
  int64_t tags = 0;
  for (auto _ : state) {
    tags += bench::CountTags(text.data(), text.data() + text.size());
  }
  benchmark::DoNotOptimize(tags);
}

void Check(benchmark::State& state, bool hard) {
  StoredFile dictionary;
  dictionary.bytes = DictionaryOf(state.range(0), hard);
  dictionary.present = true;
  size_t found = 0;
  for (auto _ : state) {
    std::vector<CheckDiagnostic> diagnostics;
    CheckDataTexts(dictionary, StoredFile{}, CheckOptions{}, &diagnostics);
    found = diagnostics.size();
  }
  state.counters["diagnostics"] = static_cast<double>(found);
}

void BM_Check(benchmark::State& state) { Check(state, false); }
void BM_CheckHard(benchmark::State& state) { Check(state, true); }

#ifdef MIMOZA_BENCH_HAS_BASELINE
void BM_BaselineCheck(benchmark::State& state) {
  const std::string& text = DictionaryOf(state.range(0), false);
  long found = 0;
  for (auto _ : state) found = BaselineCheck(text.data(), text.size());
  state.counters["diagnostics"] = static_cast<double>(found);
}
BENCHMARK(BM_BaselineCheck)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_Floor)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Check)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckHard)->Arg(100000)->Unit(benchmark::kMillisecond);

// TargetReporter: the console output, then each check against the floor and the target.
class TargetReporter : public bench::FastestReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nagainst the floor of the same bytes, and 100,000 entries against %.0f s:\n",
                kTargetSeconds);
    for (const auto& [name, seconds] : Times()) {
      if (name.rfind("BM_Floor", 0) == 0 || name.rfind("BM_Baseline", 0) == 0) continue;
      const std::string entries = name.substr(name.find('/') + 1);
      const double floor = Seconds("BM_Floor/" + entries);
      std::printf("%-22s %10.1f ms = %7.1fx the floor", name.c_str(), seconds * 1e3,
                  floor == 0 ? 0.0 : seconds / floor);
      if (entries == "100000") std::printf(", %.2f of the target", seconds / kTargetSeconds);
      const double baseline = Seconds("BM_BaselineCheck/" + entries);
      if (name.rfind("BM_Check/", 0) == 0 && baseline != 0) {
        std::printf(", %.3fx the baseline's %.1f ms", seconds / baseline, baseline * 1e3);
      }
      std::printf("\n");
    }
  }
};

}  // namespace
}  // namespace mimoza

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  mimoza::TargetReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
