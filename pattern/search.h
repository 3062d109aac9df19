// pattern/search.h: (Pattern, subject line) -> match and group spans.
// Leaves this file: SearchPattern, FreeSpans (declared in pattern/pattern.h), SearchWith,
// SearchWalk, SearchStats, ClassContains, ClassByteSet.
// Tested by tests/pattern/search_test.cpp and tests/pattern/class_test.cpp.
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
  int64_t maxSteps;  // in: give up (result 0, gaveUp set) past this many steps; 0: no limit
  bool gaveUp;       // out: the search stopped at maxSteps
};

// SearchWith: SearchPattern with a chosen walk; stats (may be null) receives the step count and
// may limit it, so that the exponential plain walk can be run on arbitrary input.
int32_t SearchWith(const Pattern* pattern, const char* subject, MatchSpan** spans,
                   int32_t ignoreCase, SearchWalk walk, SearchStats* stats);

// ClassByteSet: when the class text holds no lead byte, its test depends on the first byte of
// the character only: sets bit c of set (32 bytes) for every first byte c it contains, and
// returns true. Returns false, leaving set undefined, for a class with two-byte items.
bool ClassByteSet(const char* text, uint8_t* set);

// ClassContains: 1 when the class text contains the character at s, else 0. Reads s[0] and s[1]
// only; never reads past the NUL of the class text.
int32_t ClassContains(const char* text, const char* s);

}  // namespace mimoza
