// pattern/search.h: (Pattern, subject line) -> match and group spans.
// Leaves this file: SearchPattern, FreeSpans (declared in pattern/pattern.h), SearchWith,
// SearchWalk, SearchStats.
// Tested by tests/pattern/search_test.cpp.
#pragma once

#include <cstdint>

#include "pattern/pattern.h"

namespace mimoza {

enum SearchWalk : int32_t {
  WalkBounded = 0,  // remembers failed (state, position) pairs: time states x subject length
  WalkPlain = 1,    // the plain ordered walk, kept as the reference the bounded walk must equal
};

struct SearchStats {
  int64_t steps;     // out: (state, position) pairs entered, over all start positions
  int64_t maxSteps;  // in: give up (result 0, gaveUp set) past this many steps; 0: the budget
  bool gaveUp;       // out: the search ran out of steps or of its memory budget
};

// SearchWith: SearchPattern with a chosen walk; stats (may be null) receives the step count and
// may set another step limit than kSearchStepBudget (a test of the exponential plain walk on
// arbitrary input sets a small one).
int32_t SearchWith(const Pattern* pattern, const char* subject, MatchSpan** spans,
                   int32_t ignoreCase, SearchWalk walk, SearchStats* stats);

}  // namespace mimoza
