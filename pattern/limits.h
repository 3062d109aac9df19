// pattern/limits.h: every size limit of the pattern language, with why the number is enough.
// Leaves this file: kClassTextLimit, kEscapeOutputBytes, kMaxPatternNodes, kMaxPatternStates,
// kMaxSubjectBytes, kMaxClassCharacters, the facts limits (kMaxFacts*), kSearchStepBudget,
// kSearchMemoryBudget. Each limit is tested where it bites (tests/pattern/).
#pragma once

#include <cstddef>
#include <cstdint>

namespace mimoza {

// A class text holds at most this many bytes (plus its NUL): one byte covers every single-byte
// value, and no class a person writes by hand comes near it.
inline constexpr int32_t kClassTextLimit = 255;

// DecodeEscape writes at most 11 bytes of text ("^0-9a-zA-Z_") and a NUL.
inline constexpr size_t kEscapeOutputBytes = 12;

// A pattern whose expanded syntax tree (every copy of a repeat counted) or automaton passes this
// many nodes or states compiles to null: far beyond any key a person teaches (a few dozen), and
// small enough that a search over a whole input line stays in the tens of milliseconds.
inline constexpr int32_t kMaxPatternNodes = 100000;
inline constexpr int32_t kMaxPatternStates = 100000;

// Subject positions are 32-bit offsets: a longer subject (input lines hold a few thousand bytes)
// is searched as no match.
inline constexpr size_t kMaxSubjectBytes = 0x7FFFFFFF;

// A class listed character by character holds at most this many: beyond that, a list of needles
// rules out too little to be worth searching for.
inline constexpr int32_t kMaxClassCharacters = 8;

// The key facts (pattern.h): what they list and how long a text they keep.
inline constexpr int32_t kMaxFactsTexts = 16;      // a finite language with more is not listed
inline constexpr int32_t kMaxFactsClauses = 4;     // a sequence keeps its most selective clauses
inline constexpr int32_t kMaxFactsNeedles = 8;     // a clause of more needles rules out too little
inline constexpr size_t kMaxFactsTextBytes = 512;  // longer needles are cut; longer texts unknown
// Pattern texts longer than this get no facts (ComputePatternFacts fails): a key is at most a
// line, and the facts' offsets are two bytes.
inline constexpr size_t kMaxFactsSourceBytes = 8192;

// One search takes at most this many steps (a step enters one (state, position) pair) and this
// much memory for its visited record, its stack and its log; past either it gives up and counts
// as no match. The keys people write take a few hundred steps on a whole line; a key built to be
// slow (counted repeats of optional groups over a line of the same character) reaches the step
// budget after 25 to 50 ms on the machines we measure on, and the memory budget keeps the
// largest automata from allocating a visited record of hundreds of megabytes.
inline constexpr int64_t kSearchStepBudget = 2500000;
inline constexpr size_t kSearchMemoryBudget = size_t{48} << 20;

}  // namespace mimoza
