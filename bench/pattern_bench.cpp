// bench/pattern_bench.cpp: compile + search + free of realistic dictionary keys against one
// Japanese line, for the pattern matcher, PCRE2's interpreter and std::regex in the same run;
// and the pathological patterns that make a backtracking matcher take exponential time.
// At the end the figures are printed as ratios against the baselines measured in this run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "bench/fastest_reporter.h"
#include "pattern/pattern.h"

#ifdef MIMOZA_HAVE_PCRE2
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#endif

namespace {

struct Key {
  const char* pattern;  // as the dictionary holds it (code page 932)
  const char* foreign;  // the same intent for a byte-wise engine, where it must differ
};

// Keys of the sizes a taught dictionary holds: literals of 2 to 12 characters, alternations,
// classes, anchors and a few ".*".
const Key kKeys[] = {
    {"\x93V\x8B"
     "C",
     nullptr},                                                                 // 天気
    {"\x82\xCD\x82\xA2|\x82\xA4\x82\xF1|^\x82\xE2\x82\xC1\x82\xC4", nullptr},  // はい|うん|^やって
    {"\x8EU\x95\xE0", nullptr},                                                // 散歩
    {"\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD", nullptr},                     // こんにちは
    {"\x82\xA8\x82\xCD\x82\xE6\x82\xA4|\x82\xB1\x82\xF1\x82\xCE\x82\xF1\x82\xCD",
     nullptr},  // おはよう|こんばんは
    {"\x97\xC7\x82\xA2\x93V\x8B"
     "C",
     nullptr},           // 良い天気
    {"\x89J", nullptr},  // 雨
    {"\\d+", nullptr},   // \d+
    {".*\x93V\x8B"
     "C.*",
     nullptr},                                              // .*天気.*
    {"[\x82\x9F-\x82\xF1]+", "(?:\x82[\x9F-\xF1])+"},       // [ぁ-ん]+
    {"\x82\xA0\x82\xE8\x82\xAA\x82\xC6\x82\xA4", nullptr},  // ありがとう
    {"\x8D"
     "D\x82\xAB|\x8C\x99\x82\xA2",
     nullptr},                                                              // 好き|嫌い
    {"^\x8D\xA1\x93\xFA", nullptr},                                         // ^今日
    {"\x8Ds\x82\xB1\x82\xA4$", nullptr},                                    // 行こう$
    {"\x89\xBD\x82\xF0\x82\xB5\x82\xC4\x82\xA2\x82\xE9\x82\xCC", nullptr},  // 何をしているの
    {"\x82\xA8\x95\xA0\x82\xAA\x82\xB7\x82\xA2\x82\xBD", nullptr},          // お腹がすいた
    {".*\x82\xCB", nullptr},                                                // .*ね
    {"[0-9]+\x8E\x9E", nullptr},                                            // [0-9]+時
    {"(\x8EU\x95\xE0|\x94\x83\x82\xA2\x95\xA8)\x82\xC9\x8Ds", nullptr},  // (散歩|買い物)に行
    {"\x94\xE6\x82\xEA\x82\xBD|\x96\xB0\x82\xA2", nullptr},              // 疲れた|眠い
    {"\x96\xCA\x94\x92\x82\xA2", nullptr},                               // 面白い
    {"\x96\xBE\x93\xFA\x82\xCD\x90\xB0\x82\xEA\x82\xE9\x82\xA9\x82\xC8",
     nullptr},                                                      // 明日は晴れるかな
    {"\x82\xB2\x82\xDF\x82\xF1\x82\xC8\x82\xB3\x82\xA2", nullptr},  // ごめんなさい
    {"\x82\xB3\x82\xE6\x82\xA4\x82\xC8\x82\xE7|\x82\xDC\x82\xBD\x82\xCB|\x83o\x83"
     "C\x83o\x83"
     "C",
     nullptr},                                 // さようなら|またね|バイバイ
    {"[\x82\xCD\x82\xAA]", "\x82[\xCD\xAA]"},  // [はが]
    {"\x82\xC6\x82\xC4\x82\xE0.*\x93V\x8B"
     "C",
     nullptr},                                                           // とても.*天気
    {"\x89\xB9\x8Ay\x82\xF0\x92\xAE\x82\xAB\x82\xBD\x82\xA2", nullptr},  // 音楽を聴きたい
    {"\x8D\xA1\x93\xFA\x82\xCD\x82\xC6\x82\xC4\x82\xE0\x97\xC7\x82\xA2\x93V\x8B"
     "C",
     nullptr},  // 今日はとても良い天気
    {"\x8C\xB3\x8B"
     "C\x81H",
     nullptr},                                                   // 元気？
    {"\x92N\x82\xC5\x82\xB7\x82\xA9", nullptr},                  // 誰ですか
    {"\x8Ay\x82\xB5\x82\xA9\x82\xC1\x82\xBD\x82\xCB", nullptr},  // 楽しかったね
    {"[^\x81"
     "A]+\x81"
     "A",
     "(?:[^\x81]|\x81[^A])+\x81"
     "A"},  // [^、]+、
};
constexpr int64_t kKeyCount = static_cast<int64_t>(sizeof(kKeys) / sizeof(kKeys[0]));

// 今日はとても良い天気ですね、散歩に行こう (40 bytes)
const char kLine[] =
    "\x8D\xA1\x93\xFA\x82\xCD\x82\xC6\x82\xC4\x82\xE0\x97\xC7\x82\xA2\x93V\x8B"
    "C\x82\xC5\x82\xB7"
    "\x82\xCB\x81"
    "A\x8EU\x95\xE0\x82\xC9\x8Ds\x82\xB1\x82\xA4";
static_assert(sizeof(kLine) == 41);

const char* Foreign(const Key& key) { return key.foreign != nullptr ? key.foreign : key.pattern; }

void BM_KeysMimoza(benchmark::State& state) {
  int64_t matches = 0;
  for (auto _ : state) {
    for (const Key& key : kKeys) {
      mimoza::Pattern* pattern = mimoza::CompilePattern(key.pattern);
      mimoza::MatchSpan* spans = nullptr;
      matches += mimoza::SearchPattern(pattern, kLine, &spans, 0) > 0 ? 1 : 0;
      mimoza::FreeSpans(spans);
      mimoza::FreePattern(pattern);
    }
  }
  state.SetItemsProcessed(state.iterations() * kKeyCount);
  state.counters["matches"] =
      static_cast<double>(matches) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_KeysMimoza)->Repetitions(5);

#ifdef MIMOZA_HAVE_PCRE2
void BM_KeysPcre2(benchmark::State& state) {
  int64_t matches = 0;
  for (auto _ : state) {
    for (const Key& key : kKeys) {
      int error = 0;
      PCRE2_SIZE offset = 0;
      pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(Foreign(key)),
                                       PCRE2_ZERO_TERMINATED, 0, &error, &offset, nullptr);
      if (code == nullptr) continue;
      pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
      matches += pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(kLine), sizeof(kLine) - 1, 0, 0,
                             data, nullptr) >= 0
                     ? 1
                     : 0;
      pcre2_match_data_free(data);
      pcre2_code_free(code);
    }
  }
  state.SetItemsProcessed(state.iterations() * kKeyCount);
  state.counters["matches"] =
      static_cast<double>(matches) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_KeysPcre2)->Repetitions(5);
#endif

void BM_KeysStdRegex(benchmark::State& state) {
  int64_t matches = 0;
  for (auto _ : state) {
    for (const Key& key : kKeys) {
      try {
        std::regex regex(Foreign(key));
        matches += std::regex_search(kLine, regex) ? 1 : 0;
      } catch (const std::regex_error&) {
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kKeyCount);
  state.counters["matches"] =
      static_cast<double>(matches) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_KeysStdRegex)->Repetitions(5);

// Pathological patterns over the longest line the program reads; the baseline "a*b" walks the
// same line once through a greedy loop, without matching.
struct Pathological {
  const char* pattern;
  std::string subject;
};
const std::vector<Pathological>& PathologicalCases() {
  static const std::vector<Pathological> cases = {
      {"a*b", std::string(5999, 'a')},
      {"(a*)*b", std::string(5999, 'a')},
      {"(a|a)*b", std::string(5999, 'a')},
      {"(a|aa)*c", std::string(5999, 'a')},
      {"(.*)*x", std::string(5999, 'a')},
      {"^(a|a)*$", std::string(5998, 'a') + "!"},
      {"(a|aa)*$", std::string(5998, 'a') + "!"},
      {"^(a|b)*$", std::string(5999, 'a')},
  };
  return cases;
}

void BM_Pathological(benchmark::State& state) {
  const Pathological& c = PathologicalCases()[static_cast<size_t>(state.range(0))];
  state.SetLabel(c.pattern);
  for (auto _ : state) {
    mimoza::Pattern* pattern = mimoza::CompilePattern(c.pattern);
    mimoza::MatchSpan* spans = nullptr;
    benchmark::DoNotOptimize(mimoza::SearchPattern(pattern, c.subject.c_str(), &spans, 0));
    mimoza::FreeSpans(spans);
    mimoza::FreePattern(pattern);
  }
}
BENCHMARK(BM_Pathological)->DenseRange(0, 7)->Repetitions(3)->Unit(benchmark::kMicrosecond);

// RatioReporter: the console output, then every figure against its baseline of this run.
class RatioReporter : public mimoza::bench::FastestReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (Has("BM_KeysMimoza")) ReportKeys();
    if (Has("BM_Pathological/0")) ReportPathological();
  }

 private:
  // Per key and per case in microseconds.
  void ReportKeys() const {
    double keys = kKeyCount;
    double mimoza = Seconds("BM_KeysMimoza") / keys;
    std::printf("\nper key: mimoza %.3f us", mimoza * 1e6);
    if (Has("BM_KeysPcre2")) {
      double pcre2 = Seconds("BM_KeysPcre2") / keys;
      std::printf(", PCRE2 %.3f us (mimoza is %.2fx faster)", pcre2 * 1e6, pcre2 / mimoza);
    }
    double regex = Seconds("BM_KeysStdRegex") / keys;
    std::printf(", std::regex %.3f us (mimoza is %.2fx faster)\n", regex * 1e6, regex / mimoza);
  }
  void ReportPathological() const {
    double baseline = Seconds("BM_Pathological/0");
    for (size_t i = 1; i < PathologicalCases().size(); ++i) {
      double t = Seconds("BM_Pathological/" + std::to_string(i));
      std::printf("%-10s %8.1f us = %5.2fx the greedy pass of a*b (%.1f us)\n",
                  PathologicalCases()[i].pattern, t * 1e6, t / baseline, baseline * 1e6);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
