// pattern/search.h: (Pattern, subject line) -> match and group spans.
// Leaves this file: SearchPattern, SearchWithin, FreeSpans (declared in pattern/pattern.h),
// SearchWith, SearchWalk.
// Tested by tests/pattern/search_test.cpp.
#pragma once

#include <cstdint>

#include "pattern/pattern.h"

namespace mimoza {

enum SearchWalk : int32_t {
  WalkBounded = 0,  // remembers failed (state, position) pairs: time states x subject length
  WalkPlain = 1,    // the plain ordered walk, kept as the reference the bounded walk must equal
};

// SearchWith: SearchPattern with a chosen walk within work's limits (null: the defaults of
// pattern/limits.h); work receives the steps taken and why the search ended (a test of the
// exponential plain walk on arbitrary input sets a small limit).
int32_t SearchWith(const Pattern* pattern, const char* subject, MatchSpan** spans,
                   int32_t ignoreCase, SearchWalk walk, PatternWork* work);

}  // namespace mimoza
