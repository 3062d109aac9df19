// fuzz/pattern_fuzz.cpp: arbitrary bytes -> pattern text and subject -> compile, search, free.
// The input is split at its first NUL: the pattern text before it, the subject after it. Small
// inputs are also searched with the plain walk, whose result and whole-match span the bounded
// walk must reproduce.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pattern/automaton.h"
#include "pattern/pattern.h"
#include "pattern/search.h"

namespace {

// Longer pattern texts add nothing new; the subject bound is the longest line the program reads.
constexpr size_t kMaxPatternBytes = 4096;
constexpr size_t kMaxSubjectBytes = 5999;
// The plain walk may take exponential time; it only runs on inputs this small.
constexpr size_t kMaxPlainBytes = 12;
// (state, position) pairs one search may cover here, under the sanitizers, in a fraction of the
// 2-second limit per input.
constexpr size_t kMaxPairs = 1000000;
// Even short texts can make it exponential ("(()?){21}"); past this many steps it is not compared.
constexpr int64_t kMaxPlainSteps = 200000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const void* nul = std::memchr(bytes, 0, size);
  size_t split = nul == nullptr ? size : static_cast<size_t>(static_cast<const char*>(nul) - bytes);
  std::string pattern(bytes, split < kMaxPatternBytes ? split : kMaxPatternBytes);
  std::string subject;
  if (split < size) {
    subject.assign(bytes + split + 1, size - split - 1);
    subject = subject.substr(0, kMaxSubjectBytes);
    subject = subject.substr(0, std::strlen(subject.c_str()));
  }

  mimoza::Pattern* compiled = mimoza::CompilePattern(pattern.c_str());
  // A search costs up to states x subject length steps, within its budget of steps; shorten the
  // subject so that many inputs run in the time one budget-long search would take.
  if (compiled != nullptr) {
    size_t states = static_cast<size_t>(compiled->stateCount);
    size_t longest = kMaxPairs / states > 0 ? kMaxPairs / states - 1 : 0;
    if (subject.size() > longest) subject.resize(longest);
  }
  for (int32_t ignoreCase = 0; ignoreCase <= 1; ++ignoreCase) {
    mimoza::MatchSpan* spans = nullptr;
    int32_t slots = mimoza::SearchPattern(compiled, subject.c_str(), &spans, ignoreCase);
    if (slots > 0) {
      // Every span lies inside the subject.
      const char* end = subject.c_str() + subject.size();
      for (int32_t i = 0; i < slots; ++i) {
        if ((spans[i].start != nullptr &&
             (spans[i].start < subject.c_str() || spans[i].start > end)) ||
            (spans[i].end != nullptr && (spans[i].end < subject.c_str() || spans[i].end > end))) {
          std::abort();
        }
      }
    }
    if (pattern.size() <= kMaxPlainBytes && subject.size() <= kMaxPlainBytes) {
      mimoza::MatchSpan* plain = nullptr;
      mimoza::PatternWork work;
      work.stepLimit = kMaxPlainSteps;
      int32_t plainSlots = mimoza::SearchWith(compiled, subject.c_str(), &plain, ignoreCase,
                                              mimoza::WalkPlain, &work);
      if (work.end == mimoza::WorkDone &&
          (plainSlots != slots ||
           (slots > 0 && (plain[0].start != spans[0].start || plain[0].end != spans[0].end)))) {
        std::abort();
      }
      mimoza::FreeSpans(plain);
    }
    mimoza::FreeSpans(spans);
  }
  mimoza::FreePattern(compiled);
  return 0;
}
