// pattern/limits.h: every size limit of the pattern language, with why the number is enough.
// Leaves this file: kClassTextLimit, kEscapeOutputBytes, kMaxPatternNodes, kMaxPatternStates,
// kMaxSubjectBytes, kMaxClassCharacters, the facts limits (kMaxFacts*), kSearchStepBudget,
// kSearchMemoryBudget, and what work is worth in search steps (kCompile*Steps,
// kFreshBytesPerStep, kStopPollSteps, kFacts*Steps). Each limit is tested where it bites
// (tests/pattern/).
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
// budget after 15 to 30 ms on the machine we measure on, and the memory budget keeps the
// largest automata from allocating a visited record of hundreds of megabytes: 24 MiB hold the
// record of 30,000 states over a whole line. A caller sharing a budget (a dictionary's turn)
// gives each search a limit of its own (PatternWork).
inline constexpr int64_t kSearchStepBudget = 2500000;
inline constexpr size_t kSearchMemoryBudget = size_t{24} << 20;

// What other work is worth in search steps, so that one limit bounds the time of everything a
// bounded task does. Measured once on the machine we build on (a virtual x86-64 server, 2025): a
// search step takes 4 to 7 ns; making a node of the syntax tree (copies of counted repeats
// included) with the automaton's edges it leads to, 12 to 20 ns; a class's byte table, made once
// for each distinct class text, 100 to 400 ns; and memory a task takes fresh from the system,
// 2.3 ns a byte, for the page faults of its first touch (a visited record, a deep walk's stack, a
// large automaton). So a step stands for about 6 ns, and 16 million steps for 100 ms.
inline constexpr int64_t kCompileNodeSteps = 3;
inline constexpr int64_t kCompileClassSteps = 48;
inline constexpr size_t kFreshBytesPerStep = 2;
// A bounded task looks at its stop flag once every this many steps: a few tens of microseconds.
inline constexpr int64_t kStopPollSteps = 4096;

// Working out a pattern's facts (pattern.h) takes at most this many steps for each byte of its
// text, and this many more: keys people write make one or two nodes a byte, a short counted
// repeat a few dozen; beyond that the facts say nothing and the pattern is searched instead.
inline constexpr int64_t kFactsStepsPerByte = 48;
inline constexpr int64_t kFactsBaseSteps = 768;

}  // namespace mimoza
