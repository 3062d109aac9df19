// bench/dictionary_bench.cpp: LookupAnswer on generated dictionaries, against the floor of
// reading the file as text and finding every tag.
// Dictionaries of 1,000, 10,000 and 100,000 entries are generated deterministically into a
// temporary directory: Japanese keys of 2 to 12 characters, two thirds plain words and the rest
// alternations, classes, quantifiers, anchors and ".*", each with one to three answers, CR LF
// line ends. Lines of 40 and 5999 bytes are looked up in them. Report ratios of Lookup to Floor
// of the same entry count, and Naive (compile and search every key) for comparison.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "knowledge/knowledge.h"
#include "knowledge/knowledge_internal.h"
#include "knowledge/text_file.h"
#include "pattern/pattern.h"

namespace mimoza {
namespace {

// ---- Generated text ---------------------------------------------------------------------------
// Characters as code page 932 bytes: hiragana carry most of the text, then kanji, then katakana,
// drawn from pools small enough that words repeat across keys and lines as in real chat.
class TextMaker {
 public:
  explicit TextMaker(uint32_t seed) : rng_(seed) {}

  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }

  std::string Char() {
    const uint32_t kind = Below(10);
    if (kind < 6) return Wide(0x82, 0x9F + Below(0x53));  // ぁ to ん
    if (kind < 9) {                                       // 120 kanji of the first level
      const uint32_t k = Below(120);
      return Wide(0x88 + k / 24, 0x9F + k % 24 * 2);
    }
    return Wide(0x83, 0x40 + Below(0x3F));  // ァ to ミ: trail bytes 0x40 to 0x7E
  }

  std::string Word(uint32_t chars) {
    std::string word;
    for (uint32_t i = 0; i < chars; ++i) word += Char();
    return word;
  }

  // Key: two thirds plain words; the rest one of six pattern shapes.
  std::string Key() {
    const uint32_t chars = 2 + Below(11);
    if (Below(3) < 2) return Word(chars);
    const uint32_t half = chars / 2 > 0 ? chars / 2 : 1;
    switch (Below(6)) {
      case 0:
        return Word(half) + "|" + Word(chars - half) + (Below(2) ? "|" + Word(2) : "");
      case 1:
        return "[" + Char() + Char() + "]" + Word(chars - 1);
      case 2:
        return Word(half) + Char() + (Below(2) ? "+" : "?") + Word(chars - half);
      case 3:
        return "^" + Word(chars);
      case 4:
        return Word(chars) + "$";
      default:
        return Word(half) + ".*" + Word(chars - half);
    }
  }

  std::string Dictionary(int entries) {
    std::string text;
    for (int i = 0; i < entries; ++i) {
      text += "<KEY>" + Key() + "</KEY>\r\n";
      const uint32_t answers = 1 + Below(3);
      for (uint32_t a = 0; a < answers; ++a) text += "<ANS>" + Word(2 + Below(15)) + "</ANS>\r\n";
    }
    return text;
  }

  // Line: bytes of text, ending in an ASCII byte when the length is odd.
  std::string Line(size_t bytes) {
    std::string line;
    while (line.size() + 2 <= bytes) line += Char();
    if (line.size() < bytes) line += "!";
    return line;
  }

 private:
  static std::string Wide(uint32_t lead, uint32_t trail) {
    return {static_cast<char>(lead), static_cast<char>(trail)};
  }
  std::mt19937 rng_;
};

// ---- Files ------------------------------------------------------------------------------------
// One directory holds a dictionary per entry count, each made once; Use makes the one asked for
// the working directory's Dictionary.txt.
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

// Floor: the file read as text and every tag found, without any key test.
void BM_Floor(benchmark::State& state) {
  UseDictionary(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TextBuffer text;
    ReadTextFile("Dictionary.txt", &text);
    const char* end = text.bytes + text.length;
    int64_t tags = 0;
    for (const char* at = text.bytes;
         (at = static_cast<const char*>(std::memchr(at, '<', static_cast<size_t>(end - at))));
         ++at) {
      if (end - at >= 5 &&
          (std::memcmp(at, "<KEY", 4) == 0 || std::memcmp(at, "</KEY>", 6) == 0 ||
           std::memcmp(at, "<ANS>", 5) == 0 || std::memcmp(at, "</ANS>", 6) == 0)) {
        ++tags;
      }
    }
    benchmark::DoNotOptimize(tags);
  }
}

void BM_Lookup(benchmark::State& state) {
  UseDictionary(static_cast<int>(state.range(0)));
  const std::string line = LineOf(state.range(1));
  static char out[6001];
  int64_t found = 0;
  Dictionary dictionary;
  for (auto _ : state) found += dictionary.LookupAnswer(line.c_str(), PatternKey, out, 6000);
  state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}

// Naive: what a lookup costs when every key is compiled and searched.
void BM_Naive(benchmark::State& state) {
  UseDictionary(static_cast<int>(state.range(0)));
  const std::string line = LineOf(state.range(1));
  for (auto _ : state) {
    TextBuffer text;
    ReadTextFile("Dictionary.txt", &text);
    const char* end = text.bytes + text.length;
    int64_t matched = 0;
    char key[6001];
    for (const char* at = text.bytes;;) {
      const char* open = FindBytes(at, "<KEY>", 5, end);
      if (open == nullptr) break;
      const char* close = FindBytes(open, "</KEY>", 6, end);
      if (close == nullptr) break;
      std::memcpy(key, open + 5, static_cast<size_t>(close - open - 5));
      key[close - open - 5] = '\0';
      Pattern* pattern = CompilePattern(key);
      MatchSpan* spans = nullptr;
      matched += SearchPattern(pattern, line.c_str(), &spans, 0) > 0;
      FreeSpans(spans);
      FreePattern(pattern);
      at = close + 6;
    }
    benchmark::DoNotOptimize(matched);
  }
}

// KiBOf: a "Vm...:" figure of /proc/self/status, in KiB.
long KiBOf(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char row[256];
  long kib = -1;
  const size_t length = std::strlen(field);
  while (std::fgets(row, sizeof row, f) != nullptr) {
    if (std::strncmp(row, field, length) == 0) kib = std::strtol(row + length, nullptr, 10);
  }
  std::fclose(f);
  return kib;
}

// PeakMemory: the resident peak one lookup adds (the kernel's high-water mark, reset before the
// lookup), against the file's size.
void BM_PeakMemory(benchmark::State& state) {
  UseDictionary(static_cast<int>(state.range(0)));
  const std::string line = LineOf(state.range(1));
  const auto fileBytes = static_cast<double>(std::filesystem::file_size("Dictionary.txt"));
  static char out[6001];
  // Large blocks straight from and back to the system, and the free heap handed back, so the
  // resident size shows what this lookup holds rather than what earlier runs left cached.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  malloc_trim(0);
  for (auto _ : state) {
    const long before = KiBOf("VmRSS:");
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", f);  // resets VmHWM to the current resident size
      std::fclose(f);
    }
    Dictionary dictionary;
    dictionary.LookupAnswer(line.c_str(), PatternKey, out, 6000);
    state.counters["peak_KiB"] = static_cast<double>(KiBOf("VmHWM:") - before);
    state.counters["file_KiB"] = fileBytes / 1024;
  }
}

BENCHMARK(BM_Floor)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lookup)
    ->ArgsProduct({{1000, 10000, 100000}, {40, 5999}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Naive)->ArgsProduct({{1000, 10000}, {40}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PeakMemory)
    ->ArgsProduct({{10000, 100000}, {5999}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mimoza

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
  std::filesystem::remove_all(mimoza::BenchDir(), ignored);
  return 0;
}
