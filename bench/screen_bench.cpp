// bench/screen_bench.cpp: one refresh of the interactive face (ComposeFrame at 80 x 24) with a
// full transcript, at the newest turn (every keystroke) and scrolled back to the oldest (the
// most a refresh wraps), against the floor of a refresh with an empty transcript; and reading a
// full history file into the editor, as a session starts.
// The transcript holds Transcript::kMaxTurns turns of a 12-character line and a 1,500-character
// answer, the longest answers seen in use. Report ratios of Newest and Oldest to Empty.
#include <benchmark/benchmark.h>

#include <clocale>
#include <string>

#include "terminal/common/history.h"
#include "terminal/faces/line_editor.h"
#include "terminal/faces/screen.h"

namespace mimoza {
namespace {

ScreenView FullView() {
  ScreenView view;
  std::string answer;
  while (answer.size() < 1500 * 3) answer += "長い答えの一行です。";
  for (int64_t turn = 0; turn < Transcript::kMaxTurns; ++turn) {
    view.transcript.Add(EntryUser, "こんにちは、ミモザさん" + std::to_string(turn));
    view.transcript.Add(EntryResponse, answer);
  }
  return view;
}

void Empty(benchmark::State& state) {
  const ScreenView view;
  for (auto _ : state) benchmark::DoNotOptimize(ComposeFrame(view));
}
BENCHMARK(Empty);

void Newest(benchmark::State& state) {
  const ScreenView view = FullView();
  for (auto _ : state) benchmark::DoNotOptimize(ComposeFrame(view));
  state.counters["bytes"] = static_cast<double>(ComposeFrame(view).size());
}
BENCHMARK(Newest);

void Oldest(benchmark::State& state) {
  ScreenView view = FullView();
  ScrollTranscript(view, INT32_MAX);
  for (auto _ : state) benchmark::DoNotOptimize(ComposeFrame(view));
  state.counters["rows_back"] = view.transcriptScroll;
}
BENCHMARK(Oldest)->Unit(benchmark::kMillisecond);

void LoadFullHistory(benchmark::State& state) {
  std::string file;
  for (size_t i = 0; i < LineEditor::kMaxHistory; ++i) {
    file += "今日はいい天気ですね、ミモザ" + std::to_string(i) + "\n";
  }
  for (auto _ : state) {
    LineEditor editor;
    for (const std::string& line : SplitHistory(file)) editor.Remember(line);
    benchmark::DoNotOptimize(editor);
  }
}
BENCHMARK(LoadFullHistory)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace mimoza

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "C.UTF-8");  // wcwidth knows wide characters only under UTF-8
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
