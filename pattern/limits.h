// pattern/limits.h: every size limit of the pattern language, with why the number is enough.
// Leaves this file: kClassTextLimit, kEscapeOutputBytes, kMaxPatternNodes, kMaxPatternStates,
// kMaxSubjectBytes. Each limit is tested where it bites (tests/pattern/).
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

}  // namespace mimoza
