// bench/dictionary_bench.cpp: Dictionary lookups on generated dictionaries, against the floor of
// reading the file and finding its tags, measured in the same run.
// Dictionaries of 1,000, 10,000 and 100,000 entries (bench/text_maker.h) are made once into a
// temporary directory; lines of 40 and 5999 bytes are looked up in them.
// - Floor: the file's bytes read into a buffer kept across iterations, every tag found by memchr
//   for "<" and a compare; no folding of line ends (that is part of a lookup's work).
// - Lookup: one lookup of a Dictionary kept across lookups, as the conversation keeps it.
// - FirstResponse: what the program does before its first answer: a new Dictionary, the title's
//   exact lookup, then the line's lookup. Compared with two floors.
// - Explain: what `mimoza explain` does for a line on a kept Dictionary: the lookup told to an
//   observer that keeps every matched key and answer (line numbers, spans, answer texts), drawing
//   nothing. Compared also with the lookup of the same dictionary and line.
// - Baseline, BaselineFirstResponse: another revision's lookup and first response, when the
//   build was configured with MIMOZA_BENCH_BASELINE=<its checkout> (see bench/CMakeLists.txt).
// - Hostile: dictionaries of a thousand distinct slow keys and one ordinary key, the line short
//   or a whole line of the slow keys' own character: a conversation's turn (kept, and the first
//   one of a fresh conversation) and the dictionary's lookup with what it keeps, against the
//   floor of the same file. Each turn must stay within about 100 ms of its floor.
// At the end every figure is printed as a ratio to the floor of its dictionary.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/fastest_reporter.h"
#include "bench/tag_floor.h"
#include "bench/text_maker.h"
#include "conversation/conversation.h"
#include "knowledge/knowledge.h"

#ifdef MIMOZA_BENCH_HAS_BASELINE
// The baseline revision's LookupAnswer and first response, built in a namespace of their own
// (bench/baseline.cpp).
extern "C" bool BaselineLookup(const char* subject, char* out, uint32_t outLen);
extern "C" bool BaselineFirstResponse(const char* line, char* out, uint32_t outLen);
#endif

namespace mimoza {
namespace {

using bench::TextMaker;

// ---- Files ------------------------------------------------------------------------------------
// One directory holds a dictionary per entry count, each made once; UseDictionary makes the one
// asked for the working directory's Dictionary.txt.
std::filesystem::path BenchDir() {
  static const std::filesystem::path dir = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "dictbench-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    return std::filesystem::path(tmpl);
  }();
  return dir;
}

void UseDictionary(int entries) {
  const std::filesystem::path dir = BenchDir() / std::to_string(entries);
  if (!std::filesystem::exists(dir / "Dictionary.txt")) {
    std::filesystem::create_directories(dir);
    const std::string text = TextMaker(7).Dictionary(entries);
    std::FILE* f = std::fopen((dir / "Dictionary.txt").c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  std::filesystem::current_path(dir);
}

std::string LineOf(int64_t bytes) { return TextMaker(11).Line(static_cast<size_t>(bytes)); }

// ---- Benchmarks -------------------------------------------------------------------------------

// Floor: the bytes into a kept buffer and every tag found, without any key test.
void BM_Floor(benchmark::State& state) {
  UseDictionary(static_cast<int>(state.range(0)));
  std::vector<char> buffer;
  int64_t tags = 0;
  for (auto _ : state) {
    std::FILE* f = std::fopen("Dictionary.txt", "rb");
    std::fseek(f, 0, SEEK_END);
    buffer.resize(static_cast<size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    const int fd = fileno(f);
    size_t got = 0;
    while (got < buffer.size()) {
      const ssize_t n = read(fd, buffer.data() + got, buffer.size() - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    std::fclose(f);
    tags += bench::CountTags(buffer.data(), buffer.data() + got);
  }
  benchmark::DoNotOptimize(tags);
}

void BM_Lookup(benchmark::State& state) {
  UseDictionary(static_cast<int>(state.range(0)));
  const std::string line = LineOf(state.range(1));
  static char out[kLineBufferBytes + 1];
  Dictionary dictionary;
  dictionary.LookupAnswer(line.c_str(), PatternKey, out, kLineBufferBytes);  // as after a turn
  int64_t found = 0;
  for (auto _ : state) {
    found += dictionary.LookupAnswer(line.c_str(), PatternKey, out, kLineBufferBytes);
  }
  state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
  state.counters["kept_KiB"] = static_cast<double>(dictionary.MemoryBytes()) / 1024;
}

void BM_FirstResponse(benchmark::State& state) {
  UseDictionary(static_cast<int>(state.range(0)));
  const std::string line = LineOf(40);
  static char out[kLineBufferBytes + 1];
  for (auto _ : state) {
    Dictionary dictionary;
    dictionary.LookupAnswer(kTitleKey.key, ExactKey, out, kLineBufferBytes);
    dictionary.LookupAnswer(line.c_str(), PatternKey, out, kLineBufferBytes);
  }
}

// KeepingObserver: keeps what a lookup tells, as the terminal's record of a lookup does.
class KeepingObserver final : public LookupObserver {
 public:
  void LookupStarted() override {
    keys.clear();
    answers.clear();
  }
  void KeyMatched(const MatchedKey& key) override {
    keys.emplace_back(std::to_string(key.line) + " " + std::to_string(key.spanStart) + " " +
                      std::string(key.text, key.length));
  }
  void AnswerPooled(const char* text, uint64_t /*line*/) override { answers.emplace_back(text); }
  void LookupEnded(int32_t size, int32_t) override { pool = size; }
  std::vector<std::string> keys;
  std::vector<std::string> answers;
  int32_t pool = 0;
};

void BM_Explain(benchmark::State& state) {
  UseDictionary(static_cast<int>(state.range(0)));
  const std::string line = LineOf(state.range(1));
  Dictionary dictionary;
  KeepingObserver observer;
  ExplainLine(dictionary, line.c_str(), observer);  // as after a turn
  int64_t keys = 0;
  for (auto _ : state) {
    ExplainLine(dictionary, line.c_str(), observer);
    keys += static_cast<int64_t>(observer.keys.size());
  }
  state.counters["keys"] = static_cast<double>(keys) / static_cast<double>(state.iterations());
  state.counters["pool"] = observer.pool;
}

#ifdef MIMOZA_BENCH_HAS_BASELINE
void BM_Baseline(benchmark::State& state) {
  UseDictionary(static_cast<int>(state.range(0)));
  const std::string line = LineOf(state.range(1));
  static char out[kLineBufferBytes + 1];
  BaselineLookup(line.c_str(), out, kLineBufferBytes);  // as after a turn
  int64_t found = 0;
  for (auto _ : state) found += BaselineLookup(line.c_str(), out, kLineBufferBytes);
  state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Baseline)->ArgsProduct({{10000, 100000}, {40, 5999}})->Unit(benchmark::kMicrosecond);

void BM_BaselineFirstResponse(benchmark::State& state) {
  UseDictionary(static_cast<int>(state.range(0)));
  const std::string line = LineOf(40);
  static char out[kLineBufferBytes + 1];
  for (auto _ : state) BaselineFirstResponse(line.c_str(), out, kLineBufferBytes);
}
BENCHMARK(BM_BaselineFirstResponse)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
#endif

// ---- Hostile dictionaries -----------------------------------------------------------------------
// Case c: slow keys (.?){3000+i}.{5990} (c < 2) or (a?){8000+i}a{5990}, on 今日はいい天気ですね。
// (c even) or on a line of 5999 "a"; the ordinary key ^今日.*ね。$ answers the short line.
constexpr int kHostileCases = 4;

std::string HostileLine(int64_t c) {
  return c % 2 == 0 ? "\x8d\xa1\x93\xfa\x82\xcd\x82\xa2\x82\xa2\x93\x56\x8b\x43\x82\xc5"
                      "\x82\xb7\x82\xcb\x81\x42"
                    : std::string(kMaxLineBytes, 'a');
}

void UseHostile(int64_t c) {
  const std::filesystem::path dir = BenchDir() / ("hostile" + std::to_string(c));
  std::filesystem::create_directories(dir);
  std::string text;
  for (int i = 0; i < 1000; ++i) {
    text += c < 2 ? "<KEY>(.?){" + std::to_string(3000 + i) + "}.{5990}</KEY>\r\n"
                  : "<KEY>(a?){" + std::to_string(8000 + i) + "}a{5990}</KEY>\r\n";
    text += "<ANS>slow</ANS>\r\n";
  }
  text += "<KEY>^\x8d\xa1\x93\xfa.*\x82\xcb\x81\x42$</KEY>\r\n<ANS>ordinary</ANS>\r\n";
  std::FILE* f = std::fopen((dir / "Dictionary.txt").c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  std::filesystem::current_path(dir);
}

// A host that shows nothing.
class QuietHost final : public ConversationHost {
 public:
  void SetTitle(const char*) override {}
  void SetResponseLine(const char*) override {}
  void SetInputText(const char*) override {}
  bool IsControlKeyDown() override { return false; }
  void ShowInfoBox(const char*, const char*) override {}
};

void BM_HostileFloor(benchmark::State& state) {
  UseHostile(state.range(0));
  std::vector<char> buffer;
  int64_t tags = 0;
  for (auto _ : state) {
    std::FILE* f = std::fopen("Dictionary.txt", "rb");
    std::fseek(f, 0, SEEK_END);
    buffer.resize(static_cast<size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), f);
    std::fclose(f);
    tags += bench::CountTags(buffer.data(), buffer.data() + got);
  }
  benchmark::DoNotOptimize(tags);
}

// A turn of a kept conversation (the dialogue it may open is dropped again).
void BM_HostileTurn(benchmark::State& state) {
  UseHostile(state.range(0));
  const std::string line = HostileLine(state.range(0));
  QuietHost host;
  Conversation conversation(host);
  conversation.OpenConversation();
  conversation.SubmitLine(line.c_str());  // as after a turn: the prompts are stored
  conversation.CancelDialogue();
  int64_t steps = 0;
  for (auto _ : state) {
    conversation.SubmitLine(line.c_str());
    conversation.CancelDialogue();
    steps = std::max(steps, conversation.LastTurnSteps());
  }
  state.counters["steps"] = static_cast<double>(steps);
}

// The first turn of a fresh conversation: nothing compiled or known yet.
void BM_HostileFirstTurn(benchmark::State& state) {
  UseHostile(state.range(0));
  const std::string line = HostileLine(state.range(0));
  for (auto _ : state) {
    QuietHost host;
    Conversation conversation(host);
    conversation.OpenConversation();
    conversation.SubmitLine(line.c_str());
  }
}

// The line's lookup of a kept dictionary, and what the dictionary keeps.
void BM_HostileLookup(benchmark::State& state) {
  UseHostile(state.range(0));
  const std::string line = HostileLine(state.range(0));
  static char out[kLineBufferBytes + 1];
  Dictionary dictionary;
  dictionary.LookupAnswer(line.c_str(), PatternKey, out, kLineBufferBytes);
  for (auto _ : state) dictionary.LookupAnswer(line.c_str(), PatternKey, out, kLineBufferBytes);
  state.counters["kept_KiB"] = static_cast<double>(dictionary.MemoryBytes()) / 1024;
}

BENCHMARK(BM_HostileFloor)->DenseRange(0, kHostileCases - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HostileTurn)->DenseRange(0, kHostileCases - 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HostileFirstTurn)->DenseRange(0, kHostileCases - 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HostileLookup)->DenseRange(0, kHostileCases - 1)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Floor)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lookup)
    ->ArgsProduct({{1000, 10000, 100000}, {40, 5999}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstResponse)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Explain)->ArgsProduct({{10000, 100000}, {40, 5999}})->Unit(benchmark::kMicrosecond);

// RatioReporter: the console output, then every figure against the floor of its dictionary.
class RatioReporter : public bench::FastestReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf(
        "\nagainst the floor of the same dictionary (bytes into a kept buffer, every tag):\n");
    for (const auto& [name, seconds] : Times()) {
      const size_t slash = name.find('/');
      const std::string entries = name.substr(slash + 1, name.find('/', slash + 1) - slash - 1);
      const double floor = Seconds("BM_Floor/" + entries);
      if (floor == 0 || name.rfind("BM_Floor", 0) == 0 || name.rfind("BM_Hostile", 0) == 0) {
        continue;
      }
      const bool twice = name.rfind("BM_FirstResponse", 0) == 0;
      std::printf("%-28s %9.3f ms = %5.2fx %s\n", name.c_str(), seconds * 1e3,
                  seconds / (floor * (twice ? 2 : 1)), twice ? "two floors" : "the floor");
    }
    // Hostile dictionaries: the turns against reading the file, and the worst of them.
    std::printf("\nhostile dictionaries, against the floor of the same file:\n");
    double worst = 0;
    for (const auto& [name, seconds] : Times()) {
      if (name.rfind("BM_Hostile", 0) != 0 || name.rfind("BM_HostileFloor", 0) == 0) continue;
      const double floor = Seconds("BM_HostileFloor" + name.substr(name.find('/')));
      if (floor == 0) continue;
      std::printf("%-28s %9.3f ms = the floor + %7.3f ms (%7.1fx)\n", name.c_str(), seconds * 1e3,
                  (seconds - floor) * 1e3, seconds / floor);
      if (name.rfind("BM_HostileLookup", 0) != 0) worst = std::max(worst, seconds - floor);
    }
    std::printf("worst turn: the floor + %.3f ms (the turn's budget stands for 100 ms)\n",
                worst * 1e3);
    // Explaining, against this revision's lookup of the same line.
    std::printf("\nagainst the lookup of the same dictionary and line:\n");
    for (const auto& [name, seconds] : Times()) {
      const size_t slash = name.find('/');
      if (name.rfind("BM_Explain", 0) != 0) continue;
      const double lookup = Seconds("BM_Lookup" + name.substr(slash));
      if (lookup == 0) continue;
      std::printf("%-28s %9.3f ms = %5.2fx the lookup\n", name.c_str(), seconds * 1e3,
                  seconds / lookup);
    }
    // This revision against the other one, same dictionary and line (below 1: faster).
    std::printf("\nthis revision against the baseline's:\n");
    const std::string kBaseline = "BM_Baseline";
    for (const auto& [name, baseline] : Times()) {
      if (name.rfind(kBaseline, 0) != 0) continue;
      // BM_Baseline/... stands beside BM_Lookup/..., BM_BaselineX/... beside BM_X/...
      const std::string rest = name.substr(kBaseline.size());
      const std::string mine = "BM_" + (rest[0] == '/' ? "Lookup" + rest : rest);
      const double own = Seconds(mine);
      if (own == 0) continue;
      std::printf("%-28s %9.3f ms = %5.3fx the baseline's %9.3f ms\n", mine.c_str(), own * 1e3,
                  own / baseline, baseline * 1e3);
    }
  }
};

}  // namespace
}  // namespace mimoza

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  mimoza::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
  std::filesystem::remove_all(mimoza::BenchDir(), ignored);
  return 0;
}
